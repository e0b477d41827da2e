#pragma once

#include "stream/OptiTrackConnectionParams.h"
#include "stream/OptiTrackExport.h"

// Complete before StreamControllerBase.h, whose inline display() converts a QPointer to it.
#include <Quorvane/Stream/DisplayWidgetMulti.h>
#include <Quorvane/Stream/StreamControllerBase.h>

#include <atomic>
#include <memory>

class QListWidgetItem;

namespace Quorvane {

class OptiTrackServerDiscovery;
class OptiTrackStream;
class StreamIoAlgorithm;
class Ui_OptiTrackController;

/// The panel of the OptiTrack stream: unicast or multicast, a list of the NatNet servers found
/// on the local network (discovery runs while "Multicast" is chosen), the server's address and
/// ports, and "Connect", which restarts the stream with what the form shows. Remembers the
/// connection choice, the address and the ports in the application's settings store
/// ("optitrackController/..."), read in init() and written when the panel is destroyed.
///
/// Threads: UI thread only. Discovery reports servers on the NatNet discovery thread; the list
/// is rebuilt by a queued call into the panel, which Qt drops if the panel is gone by then. At
/// most one rebuild is queued at a time: it lists every server stored before it runs.
class OPTITRACK_EXPORT OptiTrackController : public StreamControllerBase
{
    Q_OBJECT

public:
    explicit OptiTrackController(StreamIoAlgorithm* algorithm);
    ~OptiTrackController() override;

    /// Takes the algorithm's stream, shows the first 2D view and applies the stored settings.
    void init() override;

    /// The panel's discovery (for tests that play the NatNet library's part).
    OptiTrackServerDiscovery& serverDiscovery() const { return *m_discovery; }
    /// The parameters the next Connect starts from (type, address and ports are taken from
    /// the form then; the local and multicast address come from here).
    const OptiTrackConnectionParams& connectionParameters() const { return m_connectionParams; }

private:
    void onConnectionTypeChanged(int index);
    void onConnectClicked();
    void updateServerList();
    void onServerSelected(QListWidgetItem* current, QListWidgetItem* previous);
    /// The stream init() found, or null once the algorithm has dropped it.
    OptiTrackStream* liveStream();

    OptiTrackStream* m_stream = nullptr;  // not owned: the IO algorithm owns it
    std::unique_ptr<Ui_OptiTrackController> m_ui;
    /// Whether a list rebuild is queued on the UI thread. Set on the discovery thread, cleared on
    /// the UI thread; declared before `discovery`, whose thread is joined before it goes.
    std::atomic<bool> m_refreshPending{false};
    std::unique_ptr<OptiTrackServerDiscovery> m_discovery;
    OptiTrackConnectionParams m_connectionParams;
};

}  // namespace Quorvane
