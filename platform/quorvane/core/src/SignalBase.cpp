#include <Quorvane/Core/SignalBase.h>

#include <Quorvane/Core/SignalReceiver.h>

#include "SignalCore.h"

namespace Quorvane {

SignalBase::SignalBase() : m_core(std::make_shared<Internal::SignalCore>()) {}

SignalBase::~SignalBase()
{
    m_core->disconnectAll();
}

bool SignalBase::disconnect(const SignalConnection& connection)
{
    const std::shared_ptr<Internal::SlotState> slot = connection.slot().lock();
    if (!slot || slot->core.lock() != m_core) {
        return false;
    }
    return Internal::SignalCore::disconnect(slot);
}

void SignalBase::disconnectAll()
{
    m_core->disconnectAll();
}

std::size_t SignalBase::numConnections() const
{
    return m_core->size();
}

SignalConnection SignalBase::connectSlot(std::shared_ptr<Internal::SlotState> slot, SignalReceiver* receiver)
{
    slot->core = m_core;
    if (receiver != nullptr) {
        receiver->track(slot);
    }
    SignalConnection connection(slot);
    m_core->add(std::move(slot));
    return connection;
}

std::shared_ptr<const Internal::SlotList> SignalBase::snapshot() const
{
    return m_core->snapshot();
}

}  // namespace Quorvane
