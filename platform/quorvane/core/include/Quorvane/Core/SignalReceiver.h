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
/// made for a receiver are disconnected when it is destroyed, with SignalBase's
/// guarantee. Copying a receiver copies no connections.
///
/// A receiver whose signals are emitted on other threads must call
/// disconnectAllSignals() first thing in its own destructor: this base's destructor
/// runs after the subclass's members are gone, so a call arriving in between would
/// reach a half-destroyed object.
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
