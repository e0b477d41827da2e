#pragma once

#include <Quorvane/Core/CoreExport.h>

#include <memory>
#include <mutex>
#include <vector>

namespace Quorvane {

namespace Internal {
struct SlotState;
}

/// Base of objects whose member functions are connected to signals: connections
/// made for a receiver are disconnected when it is destroyed (with SignalBase's
/// guarantee: when the receiver is destroyed outside a slot, no call of its slots
/// is still running afterwards). Copying a receiver copies no connections.
class QUORVANE_CORE_EXPORT SignalReceiver
{
public:
    SignalReceiver();
    SignalReceiver(const SignalReceiver&);
    SignalReceiver& operator=(const SignalReceiver&);
    virtual ~SignalReceiver();

    /// Disconnects every connection made for this receiver.
    void disconnectAllSignals();
    /// Connections made for this receiver that still exist.
    std::size_t numReceivedConnections() const;

private:
    friend class SignalBase;
    void track(const std::shared_ptr<Internal::SlotState>& slot);

    mutable std::mutex m_mutex;
    std::vector<std::weak_ptr<Internal::SlotState>> m_slots;
};

}  // namespace Quorvane
