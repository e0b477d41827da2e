#include "RequestLedger.h"

#include <algorithm>
#include <cstring>

namespace NatNet::Net {

namespace {

// FNV-1a: requests and answers are short, and a copy is byte for byte the same.
uint64_t fnv1a(const uint8_t* bytes, size_t size)
{
    uint64_t hash = 14695981039346656037ull;
    for (size_t i = 0; i < size; ++i) {
        hash = (hash ^ bytes[i]) * 1099511628211ull;
    }
    return hash;
}

}  // namespace

uint64_t RequestLedger::questionOf(const uint8_t* datagram, size_t size)
{
    return fnv1a(datagram, size);
}

RequestLedger::RequestLedger(std::chrono::milliseconds lateAnswerWait) : m_lateAnswerWait(lateAnswerWait) {}

bool RequestLedger::open(AnswerKind kind, uint64_t question, uint8_t* reply, size_t capacity)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const Clock::time_point giveUp = Clock::now() + m_lateAnswerWait;
    for (;;) {
        const Clock::time_point now = Clock::now();
        lapseLocked(now);
        if (m_stopped) {
            return false;
        }
        if (!owesEarlierLocked(kind)) {
            break;
        }
        if (now >= giveUp) {
            keepNewestEarlierLocked(kind);
            break;
        }
        m_changed.wait_until(lock, giveUp);
    }
    m_open = true;
    m_answered = false;
    m_openKind = kind;
    m_openQuestion = question;
    m_reply = reply;
    m_capacity = capacity;
    m_replyId = 0;
    m_replySize = 0;
    ++m_lastRequest;
    return true;
}

void RequestLedger::noteTry()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_open) {
        pushLocked(m_openKind, m_lastRequest, m_openQuestion);
    }
}

bool RequestLedger::waitAnswered(Clock::time_point deadline)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait_until(lock, deadline, [this] { return m_answered || m_stopped; });
    return m_answered;
}

RequestLedger::Outcome RequestLedger::close()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Outcome outcome;
    outcome.answered = m_answered;
    outcome.messageId = m_replyId;
    outcome.size = m_replySize;
    m_open = false;
    m_answered = false;
    m_reply = nullptr;
    m_capacity = 0;
    return outcome;
}

void RequestLedger::noteUnawaited(AnswerKind kind, uint64_t question)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    pushLocked(kind, 0, question);
}

RequestLedger::Claim RequestLedger::claim(AnswerKind kind, uint16_t messageId, const uint8_t* payload,
                                          size_t size)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const Clock::time_point now = Clock::now();
    lapseLocked(now);
    Arrival& arrival = m_arrivals[static_cast<size_t>(kind)];
    const bool copy = isCopyLocked(arrival, messageId, fnv1a(payload, size), size, now);
    Claim result;
    for (size_t i = 0; i < m_count; ++i) {
        const Owed entry = m_owed[(m_first + i) % kCapacity];
        if (entry.kind != kind) {
            continue;
        }
        const bool forOpenRequest = m_open && !m_answered && entry.request == m_lastRequest;
        // A copy may settle what is owed to finished requests, or answer the same question again.
        if (copy && (entry.request == 0 || forOpenRequest) && arrival.question != 0 &&
            entry.question != arrival.question) {
            result.verdict = AnswerVerdict::Duplicate;
            break;
        }
        // Whose answer settled a suspect entry is unknown: its copies are not held back.
        arrival.question = entry.suspect ? 0 : entry.question;
        eraseLocked(i);
        result.request = entry.request;
        if (entry.request == 0) {
            result.verdict = AnswerVerdict::Unawaited;
        } else if (forOpenRequest) {
            result.verdict = AnswerVerdict::Answer;
        } else {
            result.verdict = AnswerVerdict::Late;
        }
        break;
    }
    if (result.verdict != AnswerVerdict::Answer) {
        // An open() may be waiting for earlier answers to settle.
        m_changed.notify_all();
    }
    return result;
}

bool RequestLedger::complete(const Claim& claim, uint16_t messageId, const uint8_t* payload, size_t size)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (claim.verdict != AnswerVerdict::Answer || !m_open || m_answered ||
            claim.request != m_lastRequest) {
            return false;
        }
        const size_t kept = std::min(size, m_capacity);
        if (kept > 0) {
            std::memcpy(m_reply, payload, kept);
        }
        m_replySize = kept;
        m_replyId = messageId;
        m_answered = true;
    }
    m_changed.notify_all();
    return true;
}

AnswerVerdict RequestLedger::settle(AnswerKind kind, uint16_t messageId, const uint8_t* payload, size_t size)
{
    const Claim taken = claim(kind, messageId, payload, size);
    if (taken.verdict == AnswerVerdict::Answer && !complete(taken, messageId, payload, size)) {
        return AnswerVerdict::Late;
    }
    return taken.verdict;
}

void RequestLedger::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopped = true;
    }
    m_changed.notify_all();
}

size_t RequestLedger::owed() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_count;
}

bool RequestLedger::isCopyLocked(Arrival& arrival, uint16_t messageId, uint64_t hash, size_t size,
                                 Clock::time_point now)
{
    const bool same =
        arrival.seen && arrival.messageId == messageId && arrival.size == size && arrival.hash == hash;
    if (same) {
        // The window runs from the first arrival of these bytes: retries answered
        // with the same bytes do not keep it open.
        return now - arrival.firstSeen < kDuplicateWindow;
    }
    arrival = Arrival{true, messageId, size, hash, 0, now};
    return false;
}

void RequestLedger::pushLocked(AnswerKind kind, uint64_t request, uint64_t question)
{
    if (m_count == kCapacity) {
        eraseLocked(0);
    }
    m_owed[(m_first + m_count) % kCapacity] =
        Owed{kind, request, question, Clock::now() + kForgetAfter, false};
    ++m_count;
}

void RequestLedger::lapseLocked(Clock::time_point now)
{
    // Entries are in sending order and share one lifetime, so the oldest go first.
    while (m_count > 0 && m_owed[m_first].lapses <= now) {
        eraseLocked(0);
    }
}

bool RequestLedger::owesEarlierLocked(AnswerKind kind) const
{
    for (size_t i = 0; i < m_count; ++i) {
        const Owed& entry = m_owed[(m_first + i) % kCapacity];
        if (entry.kind == kind && entry.request != 0) {
            return true;
        }
    }
    return false;
}

void RequestLedger::keepNewestEarlierLocked(AnswerKind kind)
{
    // A server that lags one datagram behind owes the last one; answers to the others
    // were lost on the way and will never come: each would cost every later request a try.
    bool kept = false;
    for (size_t i = m_count; i-- > 0;) {
        const Owed& entry = m_owed[(m_first + i) % kCapacity];
        if (entry.kind != kind || entry.request == 0) {
            continue;
        }
        if (kept) {
            eraseLocked(i);
        } else {
            m_owed[(m_first + i) % kCapacity].suspect = true;
            kept = true;
        }
    }
}

void RequestLedger::eraseLocked(size_t index)
{
    if (index == 0) {
        m_first = (m_first + 1) % kCapacity;
        --m_count;
        return;
    }
    // Shift the newer entries down by one; the ring holds few entries.
    for (size_t i = index; i + 1 < m_count; ++i) {
        m_owed[(m_first + i) % kCapacity] = m_owed[(m_first + i + 1) % kCapacity];
    }
    --m_count;
}

}  // namespace NatNet::Net
