#pragma once

#include "InstrumentPrinter.h"
#include "TerminalSize.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace Quorvane {
namespace Host {

/// A table of the instruments (id, name, x, y, z in mm, quality, update rate in Hz, age of the
/// last update in ms, roll, pitch, yaw in degrees as AppsCommon::rollPitchYaw gives them; "-"
/// for a value that is not finite and for the angles without a valid tracked rotation), redrawn
/// at most every `interval`. On a terminal (`redrawInPlace`) the table is the narrower
/// `Style::Terminal` one, each redraw moves the cursor back over the previous table with ANSI
/// codes and clears below, so the screen holds one table; the table is then cut to the size that
/// `screenSize` reports, since a line that wraps or a table taller than the window would throw
/// off the cursor arithmetic and scroll old tables up. Otherwise (`Style::Log`) the table is
/// printed again below, so a log file gets one table per interval.
class LiveTablePrinter : public InstrumentPrinter
{
public:
    using ScreenSize = std::function<std::optional<TerminalSize>()>;

    LiveTablePrinter(std::ostream& out, bool redrawInPlace, std::chrono::milliseconds interval,
                     ScreenSize screenSize = {});

    void frame(const FrameSnapshot& snapshot, const FrameChanges& changes) override;
    void refresh(std::chrono::steady_clock::time_point now) override;
    void finish(const RunSummary& summary, std::chrono::steady_clock::time_point now) override;

    enum class Style {
        /// Logs and pipes: the columns of earlier versions in their places, the angles appended.
        Log,
        /// A person at a terminal: narrower columns, position then orientation, to fit 80 columns.
        Terminal,
    };

    /// The table for `instruments` as lines (no ANSI codes); `now` gives the ages.
    static std::vector<std::string> formatTable(const std::vector<TrackingInstrument>& instruments,
                                                std::uint64_t frame,
                                                std::chrono::steady_clock::time_point now,
                                                Style style = Style::Log);

    /// `lines` cut to fit `screen` without wrapping or scrolling: each line to its width, and a
    /// table taller than the window to its first rows and a line that says how many were left
    /// out (one row stays free for the cursor).
    static std::vector<std::string> fitToScreen(std::vector<std::string> lines, TerminalSize screen);

private:
    void draw(std::chrono::steady_clock::time_point now);

    std::ostream& m_out;
    const bool m_redrawInPlace;
    const std::chrono::milliseconds m_interval;
    const ScreenSize m_screenSize;
    FrameSnapshot m_latest;
    bool m_dirty = false;
    bool m_drawnOnce = false;
    std::chrono::steady_clock::time_point m_lastDraw{};
    std::size_t m_linesOnScreen = 0;
};

}  // namespace Host
}  // namespace Quorvane
