#include "SignalCore.h"

#include <algorithm>

namespace Quorvane {
namespace Internal {

namespace {
/// Innermost slot call running on this thread (a chain through SlotCall::m_outer).
thread_local SlotCall* t_innermostCall = nullptr;
}  // namespace

// The call counter and the connected flag are a Dekker pair (sequentially
// consistent): either the call sees "disconnected" and does not run, or the
// disconnecting thread sees the call counted and waits for it.
SlotCall::SlotCall(SlotState& slot) noexcept : m_slot(slot)
{
    m_slot.active.fetch_add(1);
    if (m_slot.connected.load()) {
        m_entered = true;
        m_outer = t_innermostCall;
        t_innermostCall = this;
    }
}

SlotCall::~SlotCall()
{
    if (m_entered) {
        t_innermostCall = m_outer;
    }
    m_slot.active.fetch_sub(1);
    if (!m_slot.connected.load()) {
        // Somebody may be waiting for this slot's calls to end. Taking the mutex
        // orders the notification after the waiter's check of the counter.
        std::lock_guard<std::mutex> lock(m_slot.idleMutex);
        m_slot.idle.notify_all();
    }
}

void SignalCore::add(std::shared_ptr<SlotState> slot)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto next = m_slots ? std::make_shared<SlotList>(*m_slots) : std::make_shared<SlotList>();
    next->push_back(std::move(slot));
    m_slots = std::move(next);
}

std::shared_ptr<const SlotList> SignalCore::snapshot() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_slots;
}

std::size_t SignalCore::size() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_slots ? m_slots->size() : 0;
}

void SignalCore::removeFromList(const SlotState* slot)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_slots) {
        return;
    }
    const auto it = std::find_if(m_slots->begin(), m_slots->end(),
                                 [slot](const std::shared_ptr<SlotState>& s) { return s.get() == slot; });
    if (it == m_slots->end()) {
        return;
    }
    if (m_slots->size() == 1) {
        m_slots.reset();
        return;
    }
    auto next = std::make_shared<SlotList>();
    next->reserve(m_slots->size() - 1);
    for (const auto& s : *m_slots) {
        if (s.get() != slot) {
            next->push_back(s);
        }
    }
    m_slots = std::move(next);
}

void SignalCore::disconnectAll()
{
    std::shared_ptr<const SlotList> slots;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        slots = std::move(m_slots);
        m_slots.reset();
    }
    if (!slots) {
        return;
    }
    for (const auto& slot : *slots) {
        slot->connected.store(false);
    }
    for (const auto& slot : *slots) {
        waitUntilIdle(*slot);
    }
}

bool SignalCore::disconnect(const std::shared_ptr<SlotState>& slot)
{
    if (!slot) {
        return false;
    }
    const bool wasConnected = slot->connected.exchange(false);
    if (const std::shared_ptr<SignalCore> core = slot->core.lock()) {
        core->removeFromList(slot.get());
    }
    waitUntilIdle(*slot);
    return wasConnected;
}

void SignalCore::waitUntilIdle(SlotState& slot)
{
    if (t_innermostCall != nullptr) {
        return;
    }
    std::unique_lock<std::mutex> lock(slot.idleMutex);
    slot.idle.wait(lock, [&slot] { return slot.active.load() == 0; });
}

}  // namespace Internal
}  // namespace Quorvane
