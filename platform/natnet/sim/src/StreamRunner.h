// The simulator's stream thread ("natnet-sim-tx"): a scenario at its rate on
// absolute deadlines, or the frames of a capture at their original timing.
// One stream at a time; stop() joins it.
#pragma once

#include "FrameSender.h"
#include "ServerClock.h"
#include "ServerState.h"

#include "natnet/sim/Capture.h"
#include "natnet/sim/Scenario.h"
#include "natnet/transport/NamedThread.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <vector>

namespace NatNet::Sim::Internal {

class StreamRunner
{
public:
    StreamRunner(ServerState& state, FrameSender& sender, const ServerClock& clock);
    ~StreamRunner();
    StreamRunner(const StreamRunner&) = delete;
    StreamRunner& operator=(const StreamRunner&) = delete;

    void startScenario(const ScenarioConfig& config);
    // `loops` replays (0: until stopped); frames must not be empty.
    void startReplay(std::vector<CapturedDatagram> frames, int loops);
    void stop();
    bool isStreaming() const { return m_streaming.load(); }
    // Until the stream ended by itself (false on timeout).
    bool waitForEnd(std::chrono::milliseconds timeout);

private:
    void startThread(std::function<void()> body);
    void runScenario(const ScenarioConfig& config);
    void runReplay(const std::vector<CapturedDatagram>& frames, int loops);

    ServerState& m_state;
    FrameSender& m_sender;
    const ServerClock& m_clock;
    Net::NamedThread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_streaming{false};
};

}  // namespace NatNet::Sim::Internal
