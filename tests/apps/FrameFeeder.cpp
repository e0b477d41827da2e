#include "FrameFeeder.h"

#include <algorithm>
#include <chrono>

namespace Quorvane {
namespace Testing {

FrameFeeder::FrameFeeder(NatNet::Sim::Simulator& simulator, std::vector<std::string> names,
                         std::uint64_t maxFrames)
    : m_simulator(simulator), m_names(std::move(names)), m_maxFrames(maxFrames), m_thread([this] { run(); })
{
}

FrameFeeder::~FrameFeeder()
{
    stop();
}

void FrameFeeder::stop()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_stopped.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void FrameFeeder::run()
{
    NatNet::Sim::ScenarioConfig config;
    config.rigidBodies = static_cast<int>(std::max<std::size_t>(m_names.size(), 1));
    config.rateHz = 200.0;
    NatNet::Sim::Scenario scenario(config);
    sFrameOfMocapData frame{};
    for (std::uint64_t i = 0; i < m_maxFrames; ++i) {
        scenario.fill(i, frame);  // frame number 1 + i
        for (std::size_t k = 0; k < m_names.size() && k < static_cast<std::size_t>(frame.nMarkerSets); ++k) {
            // Cut to the field, always terminated (the bytes are sent as they are, UTF-8 or not).
            char* name = frame.MocapData[k].szName;
            std::fill_n(name, MAX_NAMELENGTH, '\0');
            m_names[k].copy(name, MAX_NAMELENGTH - 1);
        }
        m_simulator.sendFrame(frame);
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_stopped.wait_for(lock, std::chrono::milliseconds(5), [this] { return m_stop; })) {
            return;
        }
    }
}

}  // namespace Testing
}  // namespace Quorvane
