#include "ClockSync.h"

#include <chrono>
#include <cmath>

namespace NatNet::Net {

uint64_t ClockSync::localNowNs()
{
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

void ClockSync::reset(uint64_t serverTicksPerSecond)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_frequency = serverTicksPerSecond;
    m_count = 0;
    m_next = 0;
    m_best = 0;
}

void ClockSync::setFrequency(uint64_t serverTicksPerSecond)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_frequency != serverTicksPerSecond) {
        m_frequency = serverTicksPerSecond;
        m_count = 0;
        m_next = 0;
        m_best = 0;
    }
}

bool ClockSync::contradictsModel(uint64_t midpointNs, uint64_t serverTicks, uint64_t roundTripNs) const
{
    if (m_count == 0 || m_frequency == 0) {
        return false;
    }
    const Sample& best = m_samples[m_best];
    const double predictedSeconds =
        static_cast<double>(static_cast<int64_t>(midpointNs - best.midpointNs)) * 1e-9;
    const double actualSeconds = static_cast<double>(static_cast<int64_t>(serverTicks - best.serverTicks)) /
                                 static_cast<double>(m_frequency);
    const double tolerance = static_cast<double>(roundTripNs + best.roundTripNs + kJumpToleranceNs) * 1e-9;
    return std::fabs(actualSeconds - predictedSeconds) > tolerance;
}

bool ClockSync::addSample(uint64_t sentNs, uint64_t receivedNs, uint64_t serverTicks)
{
    if (receivedNs < sentNs || receivedNs - sentNs > kMaxRoundTripNs) {
        return false;
    }
    Sample sample;
    sample.roundTripNs = receivedNs - sentNs;
    sample.midpointNs = sentNs + sample.roundTripNs / 2;
    sample.serverTicks = serverTicks;

    std::lock_guard<std::mutex> lock(m_mutex);
    if (contradictsModel(sample.midpointNs, sample.serverTicks, sample.roundTripNs)) {
        m_count = 0;
        m_next = 0;
        m_best = 0;
    }
    const size_t slot = m_next;
    m_samples[slot] = sample;
    m_next = (m_next + 1) % kWindow;
    if (m_count < kWindow) {
        ++m_count;
    }
    if (m_count > 1 && slot == m_best) {
        // The best sample was just overwritten: pick the best of the window again.
        m_best = 0;
        for (size_t i = 1; i < m_count; ++i) {
            if (m_samples[i].roundTripNs < m_samples[m_best].roundTripNs) {
                m_best = i;
            }
        }
    } else if (m_count == 1 || sample.roundTripNs <= m_samples[m_best].roundTripNs) {
        m_best = slot;
    }
    return true;
}

bool ClockSync::isSynchronised() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_count > 0;
}

uint64_t ClockSync::bestRoundTripNs() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_count > 0 ? m_samples[m_best].roundTripNs : 0;
}

double ClockSync::secondsSince(uint64_t serverTimestamp, uint64_t nowNs) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_count == 0 || m_frequency == 0) {
        return 0.0;
    }
    const Sample& best = m_samples[m_best];
    // Differences first, in integers, so that large tick counts keep their precision.
    const auto tickDelta = static_cast<int64_t>(best.serverTicks - serverTimestamp);
    const auto localDelta = static_cast<int64_t>(nowNs - best.midpointNs);
    return static_cast<double>(tickDelta) / static_cast<double>(m_frequency) +
           static_cast<double>(localDelta) * 1e-9;
}

}  // namespace NatNet::Net
