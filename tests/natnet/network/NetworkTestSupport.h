// Helpers for the loopback tests of the NatNet client and simulator: connect
// parameters for an in-process simulator, a frame recorder for the callback,
// and waiting on conditions with a deadline (never a fixed sleep).
#pragma once

#include "Eventually.h"
#include "RigidBodyFrames.h"
#include "natnet/sim/Simulator.h"
#include "natnet_ext/NatNetExt.h"

#include "NatNetClient.h"
#include "NatNetTypes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace NatNetTest {

using namespace std::chrono_literals;

using TestSupport::eventually;

// A group per test binary run keeps parallel runs of different suites apart;
// the data port (ephemeral, per simulator) keeps tests apart within one.
inline const char* kTestGroup = "239.255.42.99";

inline NatNet::Sim::SimulatorConfig simConfig(bool multicast)
{
    NatNet::Sim::SimulatorConfig config;
    config.localAddress = "127.0.0.1";
    config.multicast = multicast;
    config.multicastAddress = kTestGroup;
    config.multicastTtl = 0;
    return config;
}

// Holds the strings that sNatNetClientConnectParams points to.
struct ConnectParams
{
    std::string server = "127.0.0.1";
    std::string local = "127.0.0.1";
    std::string group;
    sNatNetClientConnectParams params;

    ConnectParams(const NatNet::Sim::Simulator& sim, bool multicast)
    {
        params.connectionType = multicast ? ConnectionType_Multicast : ConnectionType_Unicast;
        params.serverCommandPort = sim.commandPort();
        params.serverDataPort = sim.dataPort();
        if (multicast) {
            group = kTestGroup;
        }
        refresh();
    }
    void refresh()
    {
        params.serverAddress = server.c_str();
        params.localAddress = local.c_str();
        params.multicastAddress = group.empty() ? nullptr : group.c_str();
    }
};

// Unicast on loopback to a stand-in server's ports (data port 0: the client's default).
inline sNatNetClientConnectParams loopbackUnicast(uint16_t commandPort, uint16_t dataPort = 0)
{
    sNatNetClientConnectParams params;
    params.connectionType = ConnectionType_Unicast;
    params.serverAddress = "127.0.0.1";
    params.localAddress = "127.0.0.1";
    params.serverCommandPort = commandPort;
    params.serverDataPort = dataPort;
    return params;
}

// Connects `client` to the in-process simulator on its ports, unicast or multicast.
inline ErrorCode connectTo(NatNetClient& client, const NatNet::Sim::Simulator& sim, bool multicast)
{
    const ConnectParams connect(sim, multicast);
    return client.Connect(connect.params);
}

// Short timeouts so that failures show quickly.
inline NatNetExt::ClientTimeouts fastTimeouts()
{
    NatNetExt::ClientTimeouts timeouts;
    timeouts.connectTries = 3;
    timeouts.connectTryMs = 100;
    timeouts.descriptionTries = 3;
    timeouts.descriptionTryMs = 200;
    return timeouts;
}

// Records what the frame callback saw (called on the receive thread).
class FrameRecorder
{
public:
    static void NATNET_CALLCONV onFrame(sFrameOfMocapData* frame, void* context)
    {
        static_cast<FrameRecorder*>(context)->record(*frame);
    }

    // Of the last frame, what the tests look at (its number is in frameNumbers()).
    struct Seen
    {
        int16_t params = 0;
        std::vector<sRigidBodyData> rigidBodies;
    };

    void record(const sFrameOfMocapData& frame)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_frameNumbers.push_back(frame.iFrame);
        m_last.params = frame.params;
        m_last.rigidBodies.assign(frame.RigidBodies, frame.RigidBodies + frame.nRigidBodies);
        ++m_count;
    }

    size_t count() const { return m_count.load(); }
    std::vector<int32_t> frameNumbers() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_frameNumbers;
    }
    Seen last() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_last;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<int32_t> m_frameNumbers;
    Seen m_last;
    std::atomic<size_t> m_count{0};
};

inline NatNetExt::ClientCounters countersOf(const NatNetClient& client)
{
    NatNetExt::ClientCounters counters;
    NatNetExt::GetClientCounters(client, &counters);
    return counters;
}

// A client whose frames go to a recorder, with the short timeouts unless given others. The
// recorder is declared first, so that it outlives the client's receive thread.
struct RecordingClient
{
    explicit RecordingClient(const NatNetExt::ClientTimeouts& timeouts = fastTimeouts())
    {
        EXPECT_EQ(NatNetExt::SetClientTimeouts(client, timeouts), ErrorCode_OK);
        client.SetFrameReceivedCallback(&FrameRecorder::onFrame, &frames);
    }

    ErrorCode connectTo(const NatNet::Sim::Simulator& sim, bool multicast)
    {
        return NatNetTest::connectTo(client, sim, multicast);
    }

    FrameRecorder frames;
    NatNetClient client;
};

}  // namespace NatNetTest
