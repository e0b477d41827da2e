// The two bookkeepers of the receive path on their own: which request an
// answer belongs to, and which frames are handed on.
#include "FrameOrder.h"
#include "RequestLedger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <random>
#include <thread>
#include <vector>

namespace NatNet::Net {

// Failure messages name the verdict.
void PrintTo(FrameVerdict verdict, std::ostream* out)
{
    static constexpr const char* kNames[] = {"Deliver", "Old", "Restart"};
    *out << kNames[static_cast<size_t>(verdict)];
}

}  // namespace NatNet::Net

namespace {

using NatNet::Net::AnswerKind;
using NatNet::Net::AnswerVerdict;
using NatNet::Net::FrameOrder;
using NatNet::Net::FrameVerdict;
using NatNet::Net::RequestLedger;
using namespace std::chrono_literals;

constexpr uint64_t kMs = 1'000'000;

TEST(FrameOrder, SequencesGetTheirVerdicts)
{
    struct Arrival
    {
        int32_t number;
        uint64_t atMs;
        FrameVerdict expected;
    };
    struct Row
    {
        const char* name;
        std::vector<Arrival> arrivals;
        uint64_t missing;
    };
    const auto D = FrameVerdict::Deliver;
    const auto O = FrameVerdict::Old;
    const auto R = FrameVerdict::Restart;
    const Row rows[] = {
        {"in order", {{1, 0, D}, {2, 1, D}, {3, 2, D}}, 0},
        {"duplicate", {{1, 0, D}, {1, 1, O}, {2, 2, D}, {2, 3, O}}, 0},
        {"overtaken, then late", {{1, 0, D}, {3, 1, D}, {2, 2, O}, {4, 3, D}}, 0},
        {"late twice counts once", {{1, 0, D}, {4, 1, D}, {2, 2, O}, {2, 3, O}}, 1},
        {"gap never filled", {{1, 0, D}, {5, 1, D}}, 3},
        {"outage", {{10, 0, D}, {5010, 1, D}}, 4999},
        {"wraps", {{INT32_MAX - 1, 0, D}, {INT32_MAX, 1, D}, {INT32_MIN, 2, D}, {INT32_MAX, 3, O}}, 0},
        {"server restart", {{90'000, 0, D}, {1, 1, R}, {2, 2, D}, {1, 3, O}}, 0},
        {"small loop followed after a stall of only old frames",
         {{600, 0, D}, {0, 10, O}, {1, 18, O}, {60, 490, O}, {61, 511, R}, {62, 519, D}},
         0},
        {"a pause is no stall", {{100, 0, D}, {99, 2000, O}, {101, 2001, D}}, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FrameOrder order;
        for (const Arrival& arrival : row.arrivals) {
            SCOPED_TRACE(arrival.number);
            EXPECT_EQ(order.admit(arrival.number, arrival.atMs * kMs), arrival.expected);
        }
        EXPECT_EQ(order.missing(), row.missing);
    }
}

TEST(FrameOrder, JitterNeverMovesBackInTimeAndLosesNothingThatArrives)
{
    // 10 kHz for one second, each frame delayed 0 to 20 ms: arrivals sorted by time.
    struct Arrival
    {
        uint64_t atNs;
        int32_t number;
    };
    std::mt19937 random(7);
    std::uniform_int_distribution<uint64_t> jitter(0, 20 * kMs);
    std::vector<Arrival> arrivals;
    for (int32_t n = 0; n < 10'000; ++n) {
        arrivals.push_back({static_cast<uint64_t>(n) * 100'000 + jitter(random), n});
    }
    std::sort(arrivals.begin(), arrivals.end(),
              [](const Arrival& a, const Arrival& b) { return a.atNs < b.atNs; });

    FrameOrder order;
    int32_t lastDelivered = -1;
    size_t delivered = 0;
    size_t old = 0;
    for (const Arrival& arrival : arrivals) {
        const FrameVerdict verdict = order.admit(arrival.number, arrival.atNs);
        ASSERT_NE(verdict, FrameVerdict::Restart) << arrival.number;
        if (verdict == FrameVerdict::Deliver) {
            ASSERT_GT(arrival.number, lastDelivered);
            lastDelivered = arrival.number;
            ++delivered;
        } else {
            ++old;
        }
    }
    EXPECT_EQ(delivered + old, arrivals.size());
    // Such jitter overtakes most frames (about 9 in 10 here); the newest still arrive.
    EXPECT_GT(delivered, arrivals.size() / 20);
    EXPECT_GT(lastDelivered, 9'800);
    EXPECT_EQ(order.missing(), 0u);  // every skipped frame came, late
}

// Opens a request for `question`'s answer of `kind` into `reply` and notes its first try.
template <size_t N>
bool ask(RequestLedger& ledger, AnswerKind kind, uint64_t question, uint8_t (&reply)[N])
{
    if (!ledger.open(kind, question, reply, N)) return false;
    ledger.noteTry();
    return true;
}

// Two answers of one kind that differ in their bytes.
constexpr uint8_t kFirstAnswer[4] = {1, 1, 1, 1};
constexpr uint8_t kSecondAnswer[4] = {2, 2, 2, 2};

TEST(RequestLedger, AnAnswerCompletesOnlyTheRequestItsDatagramBelongsTo)
{
    RequestLedger ledger(1000ms);
    uint8_t reply[8] = {};

    // Asked twice, answered twice: one answer is the request's, the other is late.
    ASSERT_TRUE(ask(ledger, AnswerKind::Response, 1, reply));
    ledger.noteTry();
    EXPECT_EQ(ledger.settle(AnswerKind::Response, 3, kFirstAnswer, 4), AnswerVerdict::Answer);
    const RequestLedger::Outcome outcome = ledger.close();
    EXPECT_TRUE(outcome.answered);
    EXPECT_EQ(outcome.size, 4u);
    EXPECT_EQ(outcome.messageId, 3);
    EXPECT_EQ(ledger.settle(AnswerKind::Response, 3, kFirstAnswer, 4), AnswerVerdict::Late);

    // Nothing owed: unsolicited. Another kind owed: still unsolicited for this one.
    EXPECT_EQ(ledger.settle(AnswerKind::Response, 3, kFirstAnswer, 4), AnswerVerdict::Unsolicited);
    ledger.noteUnawaited(AnswerKind::ServerInfo, 1);
    EXPECT_EQ(ledger.settle(AnswerKind::Response, 3, kFirstAnswer, 4), AnswerVerdict::Unsolicited);
    EXPECT_EQ(ledger.settle(AnswerKind::ServerInfo, 1, kFirstAnswer, 4), AnswerVerdict::Unawaited);

    // A request that timed out: the next one of its kind waits for the late answer,
    // which is dropped, and then gets its own.
    ASSERT_TRUE(ask(ledger, AnswerKind::Response, 1, reply));
    EXPECT_FALSE(ledger.close().answered);
    std::thread next([&] { ASSERT_TRUE(ask(ledger, AnswerKind::Response, 1, reply)); });
    std::this_thread::sleep_for(20ms);  // let it wait (the verdicts below hold either way)
    EXPECT_EQ(ledger.settle(AnswerKind::Response, 3, kFirstAnswer, 4), AnswerVerdict::Late);
    next.join();
    EXPECT_EQ(ledger.settle(AnswerKind::Response, 3, kSecondAnswer, 4), AnswerVerdict::Answer);
    EXPECT_EQ(reply[0], 2);
    ledger.close();
    EXPECT_EQ(ledger.owed(), 0u);
}

TEST(RequestLedger, KindsAreIndependentAndALostAnswerCostsATryNeverAWrongAnswer)
{
    RequestLedger ledger(50ms);
    uint8_t reply[4] = {};
    ASSERT_TRUE(ask(ledger, AnswerKind::ModelDef, 1, reply));
    ledger.close();
    // A Response request does not wait for a model definition that is owed.
    ASSERT_TRUE(ledger.open(AnswerKind::Response, 1, reply, sizeof(reply)));
    ledger.close();
    // The next model definition request waits (50 ms), then goes ahead; the answer
    // still owed stays owed, so the first answer to come is taken as that one's.
    ASSERT_TRUE(ledger.open(AnswerKind::ModelDef, 2, reply, sizeof(reply)));
    EXPECT_EQ(ledger.owed(), 1u);
    ledger.noteTry();
    EXPECT_EQ(ledger.settle(AnswerKind::ModelDef, 5, kFirstAnswer, 4), AnswerVerdict::Late);
    ledger.noteTry();
    EXPECT_EQ(ledger.settle(AnswerKind::ModelDef, 5, kSecondAnswer, 4), AnswerVerdict::Answer);
    EXPECT_EQ(reply[0], 2);
    ledger.close();
}

TEST(RequestLedger, AnAnswerClaimedAfterItsRequestGaveUpIsLate)
{
    RequestLedger ledger(1000ms);
    uint8_t reply[4] = {};
    const uint8_t payload[4] = {9, 9, 9, 9};
    ASSERT_TRUE(ask(ledger, AnswerKind::ServerInfo, 1, reply));
    const RequestLedger::Claim claim = ledger.claim(AnswerKind::ServerInfo, 1, payload, 4);
    EXPECT_EQ(claim.verdict, AnswerVerdict::Answer);
    EXPECT_FALSE(ledger.close().answered);  // the requester timed out meanwhile
    EXPECT_FALSE(ledger.complete(claim, 1, payload, 4));
    EXPECT_EQ(reply[0], 0);
}

TEST(RequestLedger, ACopyOfTheLastAnswerNeverAnswersAnotherQuestion)
{
    // A copy is known as one within the window after the first arrival of its bytes. This thread
    // takes microseconds between the two, unless a loaded machine holds it off the CPU past the
    // window: then the copy cannot be told from an answer, and the round shows nothing.
    using Clock = RequestLedger::Clock;
    constexpr auto kWindow = RequestLedger::kDuplicateWindow;
    const auto pastTheWindow = [&](Clock::time_point firstArrival) {
        return Clock::now() - firstArrival >= kWindow;
    };
    RequestLedger ledger(1000ms);
    uint8_t reply[4] = {};
    const uint8_t frameRate[4] = {0, 0, 0xF0, 0x42};
    const uint8_t units[4] = {0, 0, 0x7A, 0x44};
    constexpr uint64_t kFrameRate = 1;
    constexpr uint64_t kUnits = 2;
    ASSERT_TRUE(ask(ledger, AnswerKind::Response, kFrameRate, reply));
    const Clock::time_point frameRateArrived = Clock::now();
    EXPECT_EQ(ledger.settle(AnswerKind::Response, 3, frameRate, 4), AnswerVerdict::Answer);
    ledger.close();
    // The switch's copy of that answer arrives after the next request went out.
    ASSERT_TRUE(ask(ledger, AnswerKind::Response, kUnits, reply));
    const AnswerVerdict frameRateCopy = ledger.settle(AnswerKind::Response, 3, frameRate, 4);
    if (pastTheWindow(frameRateArrived)) {
        GTEST_SKIP() << "held off the CPU past the copy window";
    }
    EXPECT_EQ(frameRateCopy, AnswerVerdict::Duplicate);
    const Clock::time_point unitsArrived = Clock::now();
    EXPECT_EQ(ledger.settle(AnswerKind::Response, 3, units, 4), AnswerVerdict::Answer);
    EXPECT_EQ(reply[2], 0x7A);
    ledger.close();
    // The same question again: the same bytes answer it at once.
    ASSERT_TRUE(ask(ledger, AnswerKind::Response, kUnits, reply));
    EXPECT_EQ(ledger.settle(AnswerKind::Response, 3, units, 4), AnswerVerdict::Answer);
    ledger.close();
    // Another question whose true answer is the same bytes is answered once the window passed.
    ASSERT_TRUE(ask(ledger, AnswerKind::Response, kFrameRate, reply));
    const AnswerVerdict unitsCopy = ledger.settle(AnswerKind::Response, 3, units, 4);
    if (pastTheWindow(unitsArrived)) {
        GTEST_SKIP() << "held off the CPU past the copy window";
    }
    EXPECT_EQ(unitsCopy, AnswerVerdict::Duplicate);
    std::this_thread::sleep_for(kWindow + 50ms);
    EXPECT_EQ(ledger.settle(AnswerKind::Response, 3, units, 4), AnswerVerdict::Answer);
    ledger.close();
}

TEST(RequestLedger, StopWakesEveryWait)
{
    RequestLedger ledger(60'000ms);
    uint8_t reply[4] = {};
    ASSERT_TRUE(ask(ledger, AnswerKind::Response, 1, reply));
    ledger.close();
    std::thread opener([&] { EXPECT_FALSE(ledger.open(AnswerKind::Response, 1, reply, sizeof(reply))); });
    std::thread waiter([&] { EXPECT_FALSE(ledger.waitAnswered(std::chrono::steady_clock::now() + 60s)); });
    ledger.stop();
    opener.join();
    waiter.join();
}

}  // namespace
