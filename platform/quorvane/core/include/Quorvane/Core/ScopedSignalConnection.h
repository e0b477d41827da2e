#pragma once

#include <Quorvane/Core/CoreExport.h>
#include <Quorvane/Core/SignalConnection.h>

namespace Quorvane {

/// Owns one connection and disconnects it when destroyed or given another one, with
/// SignalBase's guarantee: when the destructor returns, no call of the slot runs any
/// more. For connections whose slot captures locals or members: declare the scoped
/// connection after what the slot uses, so it ends first, also when an exception unwinds.
/// Movable, not copyable.
class QUORVANE_CORE_EXPORT ScopedSignalConnection
{
public:
    ScopedSignalConnection() = default;
    ScopedSignalConnection(SignalConnection connection);  // NOLINT: implicit by design, a = s.connect(...)
    ~ScopedSignalConnection();

    ScopedSignalConnection(ScopedSignalConnection&& other) noexcept;
    ScopedSignalConnection& operator=(ScopedSignalConnection&& other) noexcept;
    ScopedSignalConnection(const ScopedSignalConnection&) = delete;
    ScopedSignalConnection& operator=(const ScopedSignalConnection&) = delete;

    bool connected() const { return m_connection.connected(); }
    /// Disconnects now; returns whether it was connected.
    bool disconnect();
    /// Gives the connection up without disconnecting it.
    SignalConnection release();

private:
    SignalConnection m_connection;
};

}  // namespace Quorvane
