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

RequestLedger::RequestLedger(std::chrono::milliseconds lateAnswerWait) : lateAnswerWait_(lateAnswerWait) {}

bool RequestLedger::open(AnswerKind kind, uint64_t question, uint8_t* reply, size_t capacity)
{
    std::unique_lock<std::mutex> lock(mutex_);
    const Clock::time_point giveUp = Clock::now() + lateAnswerWait_;
    for (;;) {
        const Clock::time_point now = Clock::now();
        lapseLocked(now);
        if (stopped_) {
            return false;
        }
        if (!owesEarlierLocked(kind)) {
            break;
        }
        if (now >= giveUp) {
            keepNewestEarlierLocked(kind);
            break;
        }
        changed_.wait_until(lock, giveUp);
    }
    open_ = true;
    answered_ = false;
    openKind_ = kind;
    openQuestion_ = question;
    reply_ = reply;
    capacity_ = capacity;
    replyId_ = 0;
    replySize_ = 0;
    ++lastRequest_;
    return true;
}

void RequestLedger::noteTry()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (open_) {
        pushLocked(openKind_, lastRequest_, openQuestion_);
    }
}

bool RequestLedger::waitAnswered(Clock::time_point deadline)
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_until(lock, deadline, [this] { return answered_ || stopped_; });
    return answered_;
}

RequestLedger::Outcome RequestLedger::close()
{
    std::lock_guard<std::mutex> lock(mutex_);
    Outcome outcome;
    outcome.answered = answered_;
    outcome.messageId = replyId_;
    outcome.size = replySize_;
    open_ = false;
    answered_ = false;
    reply_ = nullptr;
    capacity_ = 0;
    return outcome;
}

void RequestLedger::noteUnawaited(AnswerKind kind, uint64_t question)
{
    std::lock_guard<std::mutex> lock(mutex_);
    pushLocked(kind, 0, question);
}

RequestLedger::Claim RequestLedger::claim(AnswerKind kind, uint16_t messageId, const uint8_t* payload,
                                          size_t size)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const Clock::time_point now = Clock::now();
    lapseLocked(now);
    Arrival& arrival = arrivals_[static_cast<size_t>(kind)];
    const bool copy = isCopyLocked(arrival, messageId, fnv1a(payload, size), size, now);
    Claim result;
    for (size_t i = 0; i < count_; ++i) {
        const Owed entry = owed_[(first_ + i) % kCapacity];
        if (entry.kind != kind) {
            continue;
        }
        const bool forOpenRequest = open_ && !answered_ && entry.request == lastRequest_;
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
        changed_.notify_all();
    }
    return result;
}

bool RequestLedger::complete(const Claim& claim, uint16_t messageId, const uint8_t* payload, size_t size)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (claim.verdict != AnswerVerdict::Answer || !open_ || answered_ || claim.request != lastRequest_) {
            return false;
        }
        const size_t kept = std::min(size, capacity_);
        if (kept > 0) {
            std::memcpy(reply_, payload, kept);
        }
        replySize_ = kept;
        replyId_ = messageId;
        answered_ = true;
    }
    changed_.notify_all();
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
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
    }
    changed_.notify_all();
}

size_t RequestLedger::owed() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return count_;
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
    if (count_ == kCapacity) {
        eraseLocked(0);
    }
    owed_[(first_ + count_) % kCapacity] = Owed{kind, request, question, Clock::now() + kForgetAfter, false};
    ++count_;
}

void RequestLedger::lapseLocked(Clock::time_point now)
{
    // Entries are in sending order and share one lifetime, so the oldest go first.
    while (count_ > 0 && owed_[first_].lapses <= now) {
        eraseLocked(0);
    }
}

bool RequestLedger::owesEarlierLocked(AnswerKind kind) const
{
    for (size_t i = 0; i < count_; ++i) {
        const Owed& entry = owed_[(first_ + i) % kCapacity];
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
    for (size_t i = count_; i-- > 0;) {
        const Owed& entry = owed_[(first_ + i) % kCapacity];
        if (entry.kind != kind || entry.request == 0) {
            continue;
        }
        if (kept) {
            eraseLocked(i);
        } else {
            owed_[(first_ + i) % kCapacity].suspect = true;
            kept = true;
        }
    }
}

void RequestLedger::eraseLocked(size_t index)
{
    if (index == 0) {
        first_ = (first_ + 1) % kCapacity;
        --count_;
        return;
    }
    // Shift the newer entries down by one; the ring holds few entries.
    for (size_t i = index; i + 1 < count_; ++i) {
        owed_[(first_ + i) % kCapacity] = owed_[(first_ + i + 1) % kCapacity];
    }
    --count_;
}

}  // namespace NatNet::Net
