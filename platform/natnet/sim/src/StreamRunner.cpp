#include "StreamRunner.h"

#include "PreciseTimer.h"

#include "natnet/codec/FrameCodec.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>

namespace NatNet::Sim::Internal {

StreamRunner::StreamRunner(ServerState& state, FrameSender& sender, const ServerClock& clock)
    : m_state(state), m_sender(sender), m_clock(clock)
{
}

StreamRunner::~StreamRunner()
{
    stop();
}

void StreamRunner::startScenario(const ScenarioConfig& config)
{
    startThread([this, config] { runScenario(config); });
}

void StreamRunner::startReplay(std::vector<CapturedDatagram> frames, int loops)
{
    startThread([this, frames = std::move(frames), loops] { runReplay(frames, loops); });
}

void StreamRunner::stop()
{
    m_thread.stop();
    m_streaming.store(false);
}

bool StreamRunner::waitForEnd(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(m_state.mutex);
    return m_state.changed.wait_for(lock, timeout, [this] { return !m_streaming.load(); });
}

void StreamRunner::startThread(std::function<void()> body)
{
    stop();
    m_stop.store(false);
    m_streaming.store(true);
    m_thread.start(
        "natnet-sim-tx",
        [this, run = std::move(body)] {
            PreciseTimer::tuneCurrentThread();
            try {
                run();
            } catch (...) {
                // Out of memory in a frame: the stream ends.
            }
            std::lock_guard<std::mutex> lock(m_state.mutex);
            m_streaming.store(false);
            m_state.changed.notify_all();
        },
        [this] { m_stop.store(true); });
}

void StreamRunner::runScenario(const ScenarioConfig& config)
{
    Scenario scenario(config);
    auto frame = std::make_unique<sFrameOfMocapData>();
    const uint64_t total = scenario.totalFrames();
    const double periodNs = 1e9 / scenario.config().rateHz;
    // Above ~500 Hz a wake-up's jitter is a noticeable part of the period: spin the last 30 us.
    const uint64_t spin = periodNs < 2e6 ? 30'000 : 0;
    uint64_t start = ServerClock::steadyNowNs() + 1'000'000;
    for (uint64_t k = 0; total == 0 || k < total; ++k) {
        uint64_t deadline = start + static_cast<uint64_t>(std::llround(static_cast<double>(k) * periodNs));
        const uint64_t now = ServerClock::steadyNowNs();
        if (now > deadline + 100'000'000) {
            // Far behind (the machine stalled): shift the schedule instead of bursting.
            start += now - deadline;
            deadline = now;
        }
        if (!PreciseTimer::sleepUntil(deadline, spin, m_stop)) {
            return;
        }
        // One clock for everything: the frame's timestamp is the server's seconds
        // since it started, the poses are those of that moment, and the ticks agree.
        scenario.fill(k, m_clock.secondsAt(deadline), *frame);
        {
            std::lock_guard<std::mutex> lock(m_state.mutex);
            frame->params = static_cast<int16_t>((m_state.recording ? Wire::kFrameRecording : 0) |
                                                 (m_state.editMode ? Wire::kFrameEditMode : 0));
        }
        frame->CameraMidExposureTimestamp =
            m_clock.ticksAt(deadline - std::min<uint64_t>(deadline, 3'000'000));
        frame->CameraDataReceivedTimestamp =
            m_clock.ticksAt(deadline - std::min<uint64_t>(deadline, 1'000'000));
        frame->TransmitTimestamp = m_clock.ticksNow();
        m_sender.sendFrame(*frame);
    }
}

void StreamRunner::runReplay(const std::vector<CapturedDatagram>& frames, int loops)
{
    for (int loop = 0; loops <= 0 || loop < loops; ++loop) {
        const uint64_t start = ServerClock::steadyNowNs() + 1'000'000;
        const double first = frames.front().seconds;
        for (const CapturedDatagram& datagram : frames) {
            const auto offset = static_cast<uint64_t>(std::llround((datagram.seconds - first) * 1e9));
            if (!PreciseTimer::sleepUntil(start + offset, 0, m_stop)) {
                return;
            }
            m_sender.sendRawDatagram(datagram.bytes.data(), datagram.bytes.size());
        }
    }
}

}  // namespace NatNet::Sim::Internal
