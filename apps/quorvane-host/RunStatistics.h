#pragma once

#include "FrameQueue.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace Quorvane {
namespace Host {

/// What one frame changed, as indices into its `FrameSnapshot::instruments`.
struct FrameChanges
{
    /// Instruments seen for the first time (they are also in `updated` if they carry a pose).
    std::vector<std::size_t> added;
    /// Instruments whose update count advanced since the previous frame that was seen.
    std::vector<std::size_t> updated;
};

/// Totals of the OpenIGTLink server over a run.
struct IgtlTotals
{
    std::uint64_t clients = 0;
    std::uint64_t posesSent = 0;
    /// Poses a client did not get because a newer one replaced them (slow client, rate cap).
    std::uint64_t posesMissed = 0;
};

/// Totals of a run, for the summary.
struct RunSummary
{
    struct Instrument
    {
        std::string id;
        std::string name;
        /// Updates during the run (also those of frames that were not printed).
        std::uint64_t updates = 0;
        /// Updates per second between the first and the last update seen; 0 with fewer than two.
        double rateHz = 0.0;
        double lastQuality = 0.0;
    };

    std::uint64_t frames = 0;
    std::uint64_t framesDropped = 0;
    double durationS = 0.0;
    /// Frames per second between the first and the last frame seen; 0 with fewer than two.
    double frameRateHz = 0.0;
    std::vector<Instrument> instruments;
    /// Set when the run served OpenIGTLink.
    bool igtl = false;
    IgtlTotals igtlTotals;
};

/// Follows the frames of one run in order (on the printing thread): which instruments are new,
/// which were updated, and the totals for the summary. Updates are counted by the store's
/// update counter, so frames that were dropped before printing still count.
class RunStatistics
{
public:
    explicit RunStatistics(std::chrono::steady_clock::time_point start);

    FrameChanges apply(const FrameSnapshot& snapshot);
    /// Frames seen by the listener, as the queue counted them, and those it dropped.
    void setFrameCounts(std::uint64_t seen, std::uint64_t dropped);
    RunSummary summary(std::chrono::steady_clock::time_point end) const;

private:
    struct Tracked
    {
        std::string name;
        std::uint64_t lastCount = 0;
        std::uint64_t updates = 0;
        std::chrono::steady_clock::time_point firstUpdate{};
        std::chrono::steady_clock::time_point lastUpdate{};
        double lastQuality = 0.0;
    };

    std::chrono::steady_clock::time_point m_start;
    std::uint64_t m_framesApplied = 0;
    std::uint64_t m_framesSeen = 0;
    std::uint64_t m_framesDropped = 0;
    std::uint64_t m_firstFrame = 0;
    std::uint64_t m_lastFrame = 0;
    std::chrono::steady_clock::time_point m_firstFrameAt{};
    std::chrono::steady_clock::time_point m_lastFrameAt{};
    std::vector<std::string> m_order;  // identifiers in the order they were first seen
    std::map<std::string, Tracked> m_tracked;
};

}  // namespace Host
}  // namespace Quorvane
