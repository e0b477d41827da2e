#include "RunStatistics.h"

#include <algorithm>

namespace Quorvane {
namespace Host {

namespace Internal {
namespace {
double seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

/// Events per second from the first to the last of `count` events.
double rate(std::uint64_t count, std::chrono::steady_clock::time_point first,
            std::chrono::steady_clock::time_point last)
{
    const double span = seconds(last - first);
    return count >= 2 && span > 0.0 ? static_cast<double>(count - 1) / span : 0.0;
}
}  // namespace
}  // namespace Internal

RunStatistics::RunStatistics(std::chrono::steady_clock::time_point start) : m_start(start) {}

FrameChanges RunStatistics::apply(const FrameSnapshot& snapshot)
{
    if (m_framesApplied == 0) {
        m_firstFrame = snapshot.frame;
        m_firstFrameAt = snapshot.receivedAt;
    }
    ++m_framesApplied;
    m_lastFrame = snapshot.frame;
    m_lastFrameAt = snapshot.receivedAt;
    m_framesSeen = std::max(m_framesSeen, snapshot.frame);

    FrameChanges changes;
    for (std::size_t i = 0; i < snapshot.instruments.size(); ++i) {
        const TrackingInstrument& instrument = snapshot.instruments[i];
        auto it = m_tracked.find(instrument.identifier());
        if (it == m_tracked.end()) {
            Tracked fresh;
            // Updates made before the listener was connected are not this run's: only the
            // latest one (the pose this frame shows) is counted.
            fresh.lastCount = instrument.updateCount > 0 ? instrument.updateCount - 1 : 0;
            it = m_tracked.emplace(instrument.identifier(), std::move(fresh)).first;
            m_order.push_back(instrument.identifier());
            changes.added.push_back(i);
        }
        Tracked& tracked = it->second;
        tracked.name = instrument.name();
        if (instrument.updateCount > tracked.lastCount) {
            if (tracked.updates == 0) {
                tracked.firstUpdate = snapshot.receivedAt;
            }
            // The store's counter also covers updates of frames that were dropped unprinted.
            tracked.updates += instrument.updateCount - tracked.lastCount;
            tracked.lastCount = instrument.updateCount;
            tracked.lastUpdate = snapshot.receivedAt;
            tracked.lastQuality = instrument.quality;
            changes.updated.push_back(i);
        }
    }
    return changes;
}

void RunStatistics::setFrameCounts(std::uint64_t seen, std::uint64_t dropped)
{
    m_framesSeen = std::max(m_framesSeen, seen);
    m_framesDropped = dropped;
}

RunSummary RunStatistics::summary(std::chrono::steady_clock::time_point end) const
{
    RunSummary out;
    out.frames = m_framesSeen;
    out.framesDropped = m_framesDropped;
    out.durationS = Internal::seconds(end - m_start);
    if (m_framesApplied >= 2) {
        out.frameRateHz = Internal::rate(m_lastFrame - m_firstFrame + 1, m_firstFrameAt, m_lastFrameAt);
    }
    for (const std::string& id : m_order) {
        const Tracked& tracked = m_tracked.at(id);
        RunSummary::Instrument instrument;
        instrument.id = id;
        instrument.name = tracked.name;
        instrument.updates = tracked.updates;
        instrument.rateHz = Internal::rate(tracked.updates, tracked.firstUpdate, tracked.lastUpdate);
        instrument.lastQuality = tracked.lastQuality;
        out.instruments.push_back(std::move(instrument));
    }
    return out;
}

}  // namespace Host
}  // namespace Quorvane
