#pragma once

#include <Quorvane/Core/CoreExport.h>

#include <memory>

namespace Quorvane {

namespace Internal {
struct SlotState;
}

/// Handle of one connection, returned by connect(). It may be dropped: the
/// connection lasts until it is disconnected (through this handle, the signal's
/// disconnect()/disconnectAll(), or the destruction of the receiver it was made
/// for, or of the signal). Copyable; all copies name the same connection.
class QUORVANE_CORE_EXPORT SignalConnection
{
public:
    SignalConnection();
    explicit SignalConnection(std::weak_ptr<Internal::SlotState> slot);

    /// Whether the connection still exists.
    bool connected() const;
    /// Disconnects it, with the same guarantee as SignalBase::disconnect().
    /// Returns whether it was connected.
    bool disconnect() const;

    const std::weak_ptr<Internal::SlotState>& slot() const { return m_slot; }

private:
    std::weak_ptr<Internal::SlotState> m_slot;
};

}  // namespace Quorvane
