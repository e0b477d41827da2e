#pragma once

// Sends scenario frames from a simulator with marker-set names a test chooses (the module names
// a new instrument after the marker set at its body's position), each frame with a new,
// increasing frame number, at a fixed pace, until stopped or `maxFrames` were sent.

#include "natnet/sim/Scenario.h"
#include "natnet/sim/Simulator.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace Quorvane {
namespace Testing {

class FrameFeeder
{
public:
    /// Body i gets `names[i]`; bodies without a name keep the scenario's.
    FrameFeeder(NatNet::Sim::Simulator& simulator, std::vector<std::string> names,
                std::uint64_t maxFrames = 20000);
    ~FrameFeeder();
    FrameFeeder(const FrameFeeder&) = delete;
    FrameFeeder& operator=(const FrameFeeder&) = delete;

    void stop();

private:
    void run();

    NatNet::Sim::Simulator& m_simulator;
    const std::vector<std::string> m_names;
    const std::uint64_t m_maxFrames;
    std::mutex m_mutex;
    std::condition_variable m_stopped;
    bool m_stop = false;  // guarded by m_mutex
    std::thread m_thread;
};

}  // namespace Testing
}  // namespace Quorvane
