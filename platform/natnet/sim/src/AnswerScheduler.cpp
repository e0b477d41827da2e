#include "AnswerScheduler.h"

#include <algorithm>
#include <mutex>
#include <random>

namespace NatNet::Sim::Internal {

namespace {

// A loaded server still answers; more than this many answers waiting means a
// client is flooding it, and the newest are dropped (counted).
constexpr size_t kMaxPending = 256;
// Clients that can hold a shifted answer; the oldest is forgotten beyond this.
constexpr size_t kMaxOwed = 64;

}  // namespace

AnswerScheduler::AnswerScheduler(boost::asio::io_context& io, Net::UdpSocket& socket, ServerState& state)
    : socket_(socket), state_(state), timer_(io)
{
}

void AnswerScheduler::submit(const uint8_t* bytes, size_t size, Net::Ipv4Endpoint to)
{
    Pending answer{std::vector<uint8_t>(bytes, bytes + size), to, std::chrono::steady_clock::now(), false};
    bool delayed = false;
    {
        std::lock_guard<std::mutex> lock(state_.mutex);
        if (state_.shiftAnswers) {
            auto owed = std::find_if(owed_.begin(), owed_.end(),
                                     [&](const auto& entry) { return entry.first == to; });
            ++state_.counters.answersShifted;
            if (owed == owed_.end()) {
                if (owed_.size() >= kMaxOwed) {
                    owed_.erase(owed_.begin());
                }
                owed_.emplace_back(to, std::move(answer.bytes));
                state_.changed.notify_all();
                return;  // the first request of a client gets nothing
            }
            std::swap(owed->second, answer.bytes);
        }
        answer.twice = state_.duplicateAnswers;
        if (state_.answerDelayMaxMs > 0) {
            std::uniform_int_distribution<int> draw(state_.answerDelayMinMs, state_.answerDelayMaxMs);
            answer.due += std::chrono::milliseconds(draw(state_.answerRng));
            if (!pending_.empty()) {
                answer.due = std::max(answer.due, pending_.back().due);
            }
            delayed = true;
        }
        if (delayed || !pending_.empty()) {
            if (pending_.size() >= kMaxPending) {
                ++state_.counters.answersDroppedBacklog;
                state_.changed.notify_all();
                return;
            }
            ++state_.counters.answersDelayed;
        }
        state_.changed.notify_all();
    }
    if (!delayed && pending_.empty()) {
        send(answer);
        return;
    }
    // Behind a late answer even an undelayed one waits: answers keep the requests' order.
    pending_.push_back(std::move(answer));
    if (pending_.size() == 1) {
        arm();
    }
}

void AnswerScheduler::reset()
{
    timer_.cancel();
    pending_.clear();
    owed_.clear();
}

void AnswerScheduler::send(const Pending& answer)
{
    (void)socket_.sendTo(answer.bytes.data(), answer.bytes.size(), answer.to);
    if (answer.twice) {
        (void)socket_.sendTo(answer.bytes.data(), answer.bytes.size(), answer.to);
        std::lock_guard<std::mutex> lock(state_.mutex);
        ++state_.counters.answersDuplicated;
        state_.changed.notify_all();
    }
}

void AnswerScheduler::arm()
{
    timer_.expires_at(pending_.front().due);
    timer_.async_wait([this](const boost::system::error_code& ec) {
        if (!ec) {
            onTimer();
        }
    });
}

void AnswerScheduler::onTimer()
{
    const auto now = std::chrono::steady_clock::now();
    while (!pending_.empty() && pending_.front().due <= now) {
        send(pending_.front());
        pending_.pop_front();
    }
    if (!pending_.empty()) {
        arm();
    }
}

}  // namespace NatNet::Sim::Internal
