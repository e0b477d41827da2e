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
    : m_socket(socket), m_state(state), m_timer(io)
{
}

void AnswerScheduler::submit(const uint8_t* bytes, size_t size, Net::Ipv4Endpoint to)
{
    Pending answer{std::vector<uint8_t>(bytes, bytes + size), to, std::chrono::steady_clock::now(), false};
    bool delayed = false;
    {
        std::lock_guard<std::mutex> lock(m_state.mutex);
        if (m_state.shiftAnswers) {
            auto owed = std::find_if(m_owed.begin(), m_owed.end(),
                                     [&](const auto& entry) { return entry.first == to; });
            ++m_state.counters.answersShifted;
            if (owed == m_owed.end()) {
                if (m_owed.size() >= kMaxOwed) {
                    m_owed.erase(m_owed.begin());
                }
                m_owed.emplace_back(to, std::move(answer.bytes));
                m_state.changed.notify_all();
                return;  // the first request of a client gets nothing
            }
            std::swap(owed->second, answer.bytes);
        }
        answer.twice = m_state.duplicateAnswers;
        if (m_state.answerDelayMaxMs > 0) {
            std::uniform_int_distribution<int> draw(m_state.answerDelayMinMs, m_state.answerDelayMaxMs);
            answer.due += std::chrono::milliseconds(draw(m_state.answerRng));
            if (!m_pending.empty()) {
                answer.due = std::max(answer.due, m_pending.back().due);
            }
            delayed = true;
        }
        if (delayed || !m_pending.empty()) {
            if (m_pending.size() >= kMaxPending) {
                ++m_state.counters.answersDroppedBacklog;
                m_state.changed.notify_all();
                return;
            }
            ++m_state.counters.answersDelayed;
        }
        m_state.changed.notify_all();
    }
    if (!delayed && m_pending.empty()) {
        send(answer);
        return;
    }
    // Behind a late answer even an undelayed one waits: answers keep the requests' order.
    m_pending.push_back(std::move(answer));
    if (m_pending.size() == 1) {
        arm();
    }
}

void AnswerScheduler::reset()
{
    m_timer.cancel();
    m_pending.clear();
    m_owed.clear();
}

void AnswerScheduler::send(const Pending& answer)
{
    (void)m_socket.sendTo(answer.bytes.data(), answer.bytes.size(), answer.to);
    if (answer.twice) {
        (void)m_socket.sendTo(answer.bytes.data(), answer.bytes.size(), answer.to);
        std::lock_guard<std::mutex> lock(m_state.mutex);
        ++m_state.counters.answersDuplicated;
        m_state.changed.notify_all();
    }
}

void AnswerScheduler::arm()
{
    m_timer.expires_at(m_pending.front().due);
    m_timer.async_wait([this](const boost::system::error_code& ec) {
        if (!ec) {
            onTimer();
        }
    });
}

void AnswerScheduler::onTimer()
{
    const auto now = std::chrono::steady_clock::now();
    while (!m_pending.empty() && m_pending.front().due <= now) {
        send(m_pending.front());
        m_pending.pop_front();
    }
    if (!m_pending.empty()) {
        arm();
    }
}

}  // namespace NatNet::Sim::Internal
