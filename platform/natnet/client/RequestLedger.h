// Which answers a client is owed, so that an answer is never handed to a
// request it does not belong to.
//
// NatNet answers carry no request identifier; a server answers every request
// datagram, in order, but a loaded one answers late, after the client has
// retried or given up. So every datagram that asks for an answer (each try of
// each request, and the re-registrations the client sends by itself) leaves an
// "owed" entry here, and an arriving answer settles the oldest entry of its
// kind: it completes the waiting request only when that entry is one of the
// waiting request's own tries. Answers to requests that already finished or
// timed out are late, and answers with nothing owed are unsolicited: both are
// dropped. Before a request is sent, answers still owed to earlier requests of
// its kind are waited for (up to the late-answer wait), so that the request's
// first try is not spent on them. When the wait ends with answers still owed,
// the newest of them stays owed: a server that answers each datagram only when
// the next arrives (a shifted server) or very late still gets its answers
// matched; the older ones were lost on the way and are forgotten, so that a
// lossy network costs a request at most one extra try, never a wrong answer.
// Entries left over otherwise are forgotten after kForgetAfter.
//
// Counting alone cannot see a datagram that the network duplicated: its copy
// would settle the next request's entry. So an answer with the same bytes as
// the previous answer of its kind, within kDuplicateWindow of that one's
// first arrival, never completes a request that asks another question (it may
// still settle an entry owed to a finished request, as the answer to a retry
// does). Asking the same question again takes the same answer at once.
//
// The residual risk: an answer that arrives more than kForgetAfter after its
// datagram was sent, while a newer request of its kind is open, is taken as the
// newer one's answer.
//
// Thread use: the requesting thread opens, waits and closes (one request at a
// time: requests are serialised above this); the receive thread settles
// answers and notes its own re-registrations. All members are thread-safe.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace NatNet::Net {

// What an answer answers: NAT_SERVERINFO answers NAT_CONNECT; NAT_RESPONSE and
// NAT_UNRECOGNIZED_REQUEST answer NAT_REQUEST; NAT_MODELDEF answers
// NAT_REQUEST_MODELDEF.
enum class AnswerKind : uint8_t {
    ServerInfo,
    Response,
    ModelDef,
};

enum class AnswerVerdict : uint8_t {
    Answer,       // completes the open request: its payload was copied
    Unawaited,    // answers a datagram nobody waits for (a re-registration): use it
    Late,         // owed to a request that already finished or timed out: drop
    Unsolicited,  // nothing of its kind is owed: drop
    Duplicate,    // a copy of an answer that just came (a network that duplicates): drop
};

class RequestLedger
{
public:
    using Clock = std::chrono::steady_clock;
    // The same bytes again within this time of their first arrival are a copy. Copies from a
    // duplicating switch arrive within microseconds of each other.
    static constexpr std::chrono::milliseconds kDuplicateWindow{100};

    // `lateAnswerWait`: how long a request waits for answers owed to earlier ones.
    explicit RequestLedger(std::chrono::milliseconds lateAnswerWait);
    RequestLedger(const RequestLedger&) = delete;
    RequestLedger& operator=(const RequestLedger&) = delete;

    // ---- Requesting thread ----------------------------------------------------
    // Waits until nothing of this kind is owed to earlier requests any more, or for
    // the late-answer wait, then opens a request whose answer is copied into
    // `reply` (at most `capacity` bytes). False when stopped.
    // `question` identifies what is asked (questionOf the request datagram).
    bool open(AnswerKind kind, uint64_t question, uint8_t* reply, size_t capacity);
    // One datagram of the open request is about to be sent.
    void noteTry();
    // Waits for the open request's answer until `deadline`; true once answered.
    bool waitAnswered(Clock::time_point deadline);
    struct Outcome
    {
        bool answered = false;
        uint16_t messageId = 0;
        size_t size = 0;  // bytes copied into the reply buffer
    };
    // Ends the open request; its unanswered tries stay owed (their answers are late).
    Outcome close();

    // ---- Receive thread -------------------------------------------------------
    // A datagram that asks for an answer of this kind and that nobody waits for.
    void noteUnawaited(AnswerKind kind, uint64_t question);
    // Settles an arriving answer in two steps, so that the receive thread can act
    // on an answer (apply server information) before its requester wakes:
    // `claim` takes the oldest owed entry of the kind and says whose it is;
    // `complete` then hands an Answer's payload to the waiting request (false
    // when that request has given up in between: the answer is late after all).
    struct Claim
    {
        AnswerVerdict verdict = AnswerVerdict::Unsolicited;
        uint64_t request = 0;
    };
    Claim claim(AnswerKind kind, uint16_t messageId, const uint8_t* payload, size_t size);
    bool complete(const Claim& claim, uint16_t messageId, const uint8_t* payload, size_t size);
    // Both steps at once; an Answer that could not be completed is Late.
    AnswerVerdict settle(AnswerKind kind, uint16_t messageId, const uint8_t* payload, size_t size);

    // ---- Any thread -------------------------------------------------------------
    static uint64_t questionOf(const uint8_t* datagram, size_t size);
    // Wakes every wait for good; later opens fail.
    void stop();
    // Entries still owed (tests).
    size_t owed() const;

private:
    struct Owed
    {
        AnswerKind kind = AnswerKind::Response;
        uint64_t request = 0;  // 0: nobody waits for it
        uint64_t question = 0;
        Clock::time_point lapses;
        bool suspect = false;  // kept after the late-answer wait: its answer may have been lost
    };
    // Bounded: at most this many datagrams can be owed an answer at once; the
    // oldest is forgotten first when more are sent.
    static constexpr size_t kCapacity = 256;
    // Far longer than any server takes to answer: only lost answers are forgotten.
    static constexpr std::chrono::seconds kForgetAfter{30};
    // The previous answer of a kind, to recognise its copies.
    struct Arrival
    {
        bool seen = false;
        uint16_t messageId = 0;
        size_t size = 0;
        uint64_t hash = 0;
        uint64_t question = 0;  // of the entry it settled; 0: unknown
        Clock::time_point firstSeen;
    };
    // True when these bytes repeat the previous answer of the kind within the window.
    static bool isCopyLocked(Arrival& arrival, uint16_t messageId, uint64_t hash, size_t size,
                             Clock::time_point now);

    void pushLocked(AnswerKind kind, uint64_t request, uint64_t question);
    void lapseLocked(Clock::time_point now);
    bool owesEarlierLocked(AnswerKind kind) const;
    void keepNewestEarlierLocked(AnswerKind kind);
    void eraseLocked(size_t index);

    const Clock::duration m_lateAnswerWait;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_stopped = false;
    std::array<Owed, kCapacity> m_owed{};
    size_t m_first = 0;  // ring of m_owed: oldest at m_first
    size_t m_count = 0;
    std::array<Arrival, 3> m_arrivals{};  // by AnswerKind

    // The open request.
    uint64_t m_lastRequest = 0;
    bool m_open = false;
    bool m_answered = false;
    AnswerKind m_openKind = AnswerKind::Response;
    uint64_t m_openQuestion = 0;
    uint8_t* m_reply = nullptr;
    size_t m_capacity = 0;
    uint16_t m_replyId = 0;
    size_t m_replySize = 0;
};

}  // namespace NatNet::Net
