#include <Quorvane/Core/SignalConnection.h>

#include "SignalCore.h"

namespace Quorvane {

SignalConnection::SignalConnection() = default;

SignalConnection::SignalConnection(std::weak_ptr<Internal::SlotState> slot) : m_slot(std::move(slot)) {}

bool SignalConnection::connected() const
{
    const std::shared_ptr<Internal::SlotState> slot = m_slot.lock();
    return slot && slot->connected.load();
}

bool SignalConnection::disconnect() const
{
    return Internal::SignalCore::disconnect(m_slot.lock());
}

}  // namespace Quorvane
