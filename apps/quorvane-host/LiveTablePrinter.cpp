#include "LiveTablePrinter.h"

#include "TerminalText.h"

#include <common/Orientation.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <limits>
#include <utility>

namespace Quorvane {
namespace Host {

namespace Internal {
namespace {
// printf's widths and precisions are the table's layout; the attribute lets the compiler check
// every pattern against its arguments.
std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

std::string format(const char* pattern, ...)  // NOLINT(cert-dcl50-cpp): see above
{
    char buffer[256];
    va_list args;
    va_start(args, pattern);
    // va_start above initialises `args`; clang's analyzer loses it on some paths.
    // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
    const int n = std::vsnprintf(buffer, sizeof buffer, pattern, args);
    va_end(args);
    if (n < 0) {
        return {};
    }
    return std::string(buffer, static_cast<std::size_t>(n) < sizeof buffer ? static_cast<std::size_t>(n)
                                                                           : sizeof buffer - 1);
}

/// Text from the server in a column: escaped for the terminal, then cut to the column.
std::string cell(const std::string& text, std::size_t width)
{
    return fitColumn(terminalSafe(text), width);
}

/// A number right-aligned in `width`: "-" when it is not finite, and in exponent form when the
/// fixed form would not fit (a huge value from the wire must not push the row apart).
std::string number(double value, int width, int precision)
{
    if (!std::isfinite(value)) {
        return format("%*s", width, "-");
    }
    std::string text = format("%*.*f", width, precision, value);
    if (text.size() > static_cast<std::size_t>(width)) {
        text = format("%*.*g", width, std::max(1, width - 7), value);
    }
    return text;
}

/// What a number column shows.
enum class Field { X, Y, Z, Quality, Rate, Age, Roll, Pitch, Yaw };

struct NumberColumn
{
    const char* header;
    Field field;
    int width;
    int precision;
};

struct Layout
{
    std::size_t idWidth;
    std::size_t nameWidth;
    std::vector<NumberColumn> numbers;
};

/// For logs and pipes: the columns as they always were, the orientation appended, so that what
/// reads the older columns by position keeps working.
const Layout& logLayout()
{
    static const Layout layout{16,
                               24,
                               {{"x mm", Field::X, 10, 2},
                                {"y mm", Field::Y, 10, 2},
                                {"z mm", Field::Z, 10, 2},
                                {"quality", Field::Quality, 8, 3},
                                {"rate Hz", Field::Rate, 8, 1},
                                {"age ms", Field::Age, 8, 0},
                                {"roll deg", Field::Roll, 9, 1},
                                {"pitch deg", Field::Pitch, 9, 1},
                                {"yaw deg", Field::Yaw, 9, 1}}};
    return layout;
}

/// For a person at a terminal: narrower, the pose first, so that position and orientation fit
/// into 80 columns.
const Layout& terminalLayout()
{
    static const Layout layout{13,
                               14,
                               {{"x mm", Field::X, 8, 1},
                                {"y mm", Field::Y, 8, 1},
                                {"z mm", Field::Z, 8, 1},
                                {"roll", Field::Roll, 6, 1},
                                {"pitch", Field::Pitch, 6, 1},
                                {"yaw", Field::Yaw, 6, 1},
                                {"qual", Field::Quality, 5, 2},
                                {"Hz", Field::Rate, 6, 1},
                                {"age ms", Field::Age, 6, 0}}};
    return layout;
}

/// The value of `field`; not a number where there is nothing to show (no tracked rotation: a
/// lost body's placeholder pose, or one that is not finite), which prints as "-".
double value(const TrackingInstrument& instrument, Field field, double ageMs,
             const std::optional<AppsCommon::RollPitchYaw>& angles)
{
    const double none = std::numeric_limits<double>::quiet_NaN();
    switch (field) {
        case Field::X:
            return instrument.pose(0, 3);
        case Field::Y:
            return instrument.pose(1, 3);
        case Field::Z:
            return instrument.pose(2, 3);
        case Field::Quality:
            return instrument.quality;
        case Field::Rate:
            return instrument.updateRateHz;
        case Field::Age:
            return ageMs;
        case Field::Roll:
            return angles ? angles->rollDeg : none;
        case Field::Pitch:
            return angles ? angles->pitchDeg : none;
        case Field::Yaw:
            return angles ? angles->yawDeg : none;
    }
    return none;
}

std::vector<std::string> table(const Layout& layout, const std::vector<TrackingInstrument>& instruments,
                               std::uint64_t frame, std::chrono::steady_clock::time_point now)
{
    const int idWidth = static_cast<int>(layout.idWidth);
    const int nameWidth = static_cast<int>(layout.nameWidth);
    std::vector<std::string> lines;
    lines.push_back(
        format("frame %llu, %zu instruments", static_cast<unsigned long long>(frame), instruments.size()));
    std::string header = format("%-*s %-*s", idWidth, "id", nameWidth, "name");
    for (const NumberColumn& column : layout.numbers) {
        header += format(" %*s", column.width, column.header);
    }
    lines.push_back(std::move(header));
    for (const TrackingInstrument& instrument : instruments) {
        const double ageMs =
            instrument.updateCount == 0
                ? -1.0
                : std::chrono::duration<double, std::milli>(now - instrument.lastUpdate).count();
        const std::optional<AppsCommon::RollPitchYaw> angles =
            instrument.isTracked() ? AppsCommon::rollPitchYaw(instrument.pose) : std::nullopt;
        std::string row = format("%-*s %-*s", idWidth, cell(instrument.identifier(), layout.idWidth).c_str(),
                                 nameWidth, cell(instrument.name(), layout.nameWidth).c_str());
        for (const NumberColumn& column : layout.numbers) {
            row +=
                " " + number(value(instrument, column.field, ageMs, angles), column.width, column.precision);
        }
        lines.push_back(std::move(row));
    }
    return lines;
}
}  // namespace
}  // namespace Internal

LiveTablePrinter::LiveTablePrinter(std::ostream& out, bool redrawInPlace, std::chrono::milliseconds interval,
                                   ScreenSize screenSize)
    : m_out(out), m_redrawInPlace(redrawInPlace), m_interval(interval), m_screenSize(std::move(screenSize))
{
}

void LiveTablePrinter::frame(const FrameSnapshot& snapshot, const FrameChanges& /*changes*/)
{
    m_latest = snapshot;
    m_dirty = true;
}

void LiveTablePrinter::refresh(std::chrono::steady_clock::time_point now)
{
    // Ages keep growing without frames, so a terminal table is redrawn anyway; a log gets a
    // new table only when something arrived.
    if (!m_dirty && !(m_redrawInPlace && m_drawnOnce)) {
        return;
    }
    if (m_drawnOnce && now - m_lastDraw < m_interval) {
        return;
    }
    draw(now);
}

void LiveTablePrinter::finish(const RunSummary& summary, std::chrono::steady_clock::time_point now)
{
    draw(now);
    m_out << Internal::format("Summary: %llu frames in %.1f s (%.1f Hz), %llu not shown\n",
                              static_cast<unsigned long long>(summary.frames), summary.durationS,
                              summary.frameRateHz, static_cast<unsigned long long>(summary.framesDropped));
    for (const RunSummary::Instrument& instrument : summary.instruments) {
        m_out << Internal::format(
            "  %-16s %-24s %8llu updates  %8.1f Hz  quality %.3f\n",
            Internal::cell(instrument.id, 16).c_str(), Internal::cell(instrument.name, 24).c_str(),
            static_cast<unsigned long long>(instrument.updates), instrument.rateHz, instrument.lastQuality);
    }
    if (summary.igtl) {
        m_out << Internal::format("OpenIGTLink: %llu clients, %llu poses sent, %llu missed\n",
                                  static_cast<unsigned long long>(summary.igtlTotals.clients),
                                  static_cast<unsigned long long>(summary.igtlTotals.posesSent),
                                  static_cast<unsigned long long>(summary.igtlTotals.posesMissed));
    }
    m_out.flush();
}

std::vector<std::string> LiveTablePrinter::formatTable(const std::vector<TrackingInstrument>& instruments,
                                                       std::uint64_t frame,
                                                       std::chrono::steady_clock::time_point now, Style style)
{
    return Internal::table(style == Style::Terminal ? Internal::terminalLayout() : Internal::logLayout(),
                           instruments, frame, now);
}

std::vector<std::string> LiveTablePrinter::fitToScreen(std::vector<std::string> lines, TerminalSize screen)
{
    const std::size_t rows = screen.rows > 1 ? screen.rows - 1 : 1;
    if (lines.size() > rows) {
        const std::size_t kept = rows - 1;
        const std::size_t left = lines.size() - kept;
        lines.resize(kept);
        lines.push_back(Internal::format("(%zu more lines: the terminal is too small)", left));
    }
    if (screen.columns > 0) {
        for (std::string& line : lines) {
            line = fitColumn(line, screen.columns);
        }
    }
    return lines;
}

void LiveTablePrinter::draw(std::chrono::steady_clock::time_point now)
{
    std::vector<std::string> lines = formatTable(m_latest.instruments, m_latest.frame, now,
                                                 m_redrawInPlace ? Style::Terminal : Style::Log);
    if (m_redrawInPlace && m_screenSize) {
        if (const std::optional<TerminalSize> screen = m_screenSize()) {
            lines = fitToScreen(std::move(lines), *screen);
        }
    }
    if (m_redrawInPlace && m_linesOnScreen > 0) {
        // Back to the first line of the previous table, then clear to the end of the screen.
        m_out << "\x1b[" << m_linesOnScreen << "F\x1b[J";
    }
    for (const std::string& line : lines) {
        m_out << line << '\n';
    }
    if (!m_redrawInPlace) {
        m_out << '\n';
    }
    m_out.flush();
    m_linesOnScreen = m_redrawInPlace ? lines.size() : 0;
    m_lastDraw = now;
    m_drawnOnce = true;
    m_dirty = false;
}

}  // namespace Host
}  // namespace Quorvane
