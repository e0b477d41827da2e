#pragma once

#include "InstrumentPrinter.h"

#include <chrono>
#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

namespace Quorvane {
namespace Host {

/// A table of the instruments (id, name, x, y, z in mm, quality, update rate in Hz, age of the
/// last update in ms), redrawn at most every `interval`. On a terminal (`redrawInPlace`) each
/// redraw moves the cursor back over the previous table with ANSI codes; otherwise the table
/// is printed again below, so a log file gets one table per interval.
class LiveTablePrinter : public InstrumentPrinter
{
public:
    LiveTablePrinter(std::ostream& out, bool redrawInPlace, std::chrono::milliseconds interval);

    void frame(const FrameSnapshot& snapshot, const FrameChanges& changes) override;
    void refresh(std::chrono::steady_clock::time_point now) override;
    void finish(const RunSummary& summary, std::chrono::steady_clock::time_point now) override;

    /// The table for `instruments` as lines (no ANSI codes); `now` gives the ages.
    static std::vector<std::string> formatTable(const std::vector<TrackingInstrument>& instruments,
                                                std::uint64_t frame,
                                                std::chrono::steady_clock::time_point now);

private:
    void draw(std::chrono::steady_clock::time_point now);

    std::ostream& m_out;
    const bool m_redrawInPlace;
    const std::chrono::milliseconds m_interval;
    FrameSnapshot m_latest;
    bool m_dirty = false;
    bool m_drawnOnce = false;
    std::chrono::steady_clock::time_point m_lastDraw{};
    std::size_t m_linesOnScreen = 0;
};

}  // namespace Host
}  // namespace Quorvane
