#include <Quorvane/Core/SignalReceiver.h>

#include "SignalCore.h"

#include <algorithm>

namespace Quorvane {

SignalReceiver::SignalReceiver() = default;

SignalReceiver::SignalReceiver(const SignalReceiver& /*other*/) : SignalReceiver() {}

// Assigning copies no connection, so assigning to itself is harmless too.
SignalReceiver& SignalReceiver::operator=(const SignalReceiver& /*other*/)  // NOLINT(cert-oop54-cpp)
{
    return *this;  // connections belong to the object, not to its value
}

SignalReceiver::~SignalReceiver()
{
    disconnectAllSignals();
}

void SignalReceiver::disconnectAllSignals()
{
    std::vector<std::weak_ptr<Internal::SlotState>> slots;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        slots.swap(m_slots);
    }
    for (const auto& weak : slots) {
        Internal::SignalCore::disconnect(weak.lock());
    }
}

std::size_t SignalReceiver::numReceivedConnections() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<std::size_t>(std::count_if(m_slots.begin(), m_slots.end(), [](const auto& weak) {
        const auto slot = weak.lock();
        return slot && slot->connected.load();
    }));
}

void SignalReceiver::track(const std::shared_ptr<Internal::SlotState>& slot)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    // Forget connections that have ended, so a long-lived receiver does not grow.
    m_slots.erase(std::remove_if(m_slots.begin(), m_slots.end(),
                                 [](const auto& weak) {
                                     const auto s = weak.lock();
                                     return !s || !s->connected.load();
                                 }),
                  m_slots.end());
    m_slots.push_back(slot);
}

}  // namespace Quorvane
