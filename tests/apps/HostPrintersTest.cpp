// What quorvane-host prints: the live table's cells for ordinary and odd values (orientation,
// values that are not finite or far too large), its in-place redraw on a terminal and the fit
// to the terminal's size, and JSON Lines that stay JSON whatever the values.

#include "JsonLinesPrinter.h"
#include "LiveTablePrinter.h"

#include <common/Orientation.h>

#include <Eigen/Geometry>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace Quorvane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Host::LiveTablePrinter;
using Host::TerminalSize;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

/// A tracked instrument at (x, y, z) mm turned `yawDeg` about the vertical y axis.
TrackingInstrument tracked(const std::string& name, double x, double y, double z, double yawDeg,
                           Clock::time_point at)
{
    TrackingInstrument instrument(TrackerID("optitrack-1", "", name), true);
    instrument.pose.topLeftCorner<3, 3>() =
        Eigen::AngleAxisd(yawDeg * M_PI / 180.0, Eigen::Vector3d::UnitY()).toRotationMatrix();
    instrument.pose(0, 3) = x;
    instrument.pose(1, 3) = y;
    instrument.pose(2, 3) = z;
    instrument.quality = 0.9;
    instrument.updateCount = 3;
    instrument.updateRateHz = 120.0;
    instrument.lastUpdate = at;
    return instrument;
}

/// The whitespace-separated words of a table row.
std::vector<std::string> words(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string word; in >> word;) {
        out.push_back(word);
    }
    return out;
}

TEST(LiveTablePrinter, RowsKeepTheirColumnsAndEndWithRollPitchYaw)
{
    const Clock::time_point now = Clock::now();
    const std::vector<std::string> lines =
        LiveTablePrinter::formatTable({tracked("Probe", 1.5, -2.25, 300.0, 30.0, now - 25ms)}, 7, now);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "frame 7, 1 instruments");
    EXPECT_EQ(lines[1],
              "id               name                           x mm       y mm       z mm  quality  rate Hz "
              "  age ms  roll deg pitch deg   yaw deg");
    EXPECT_EQ(lines[2],
              "optitrack-1      Probe                          1.50      -2.25     300.00    0.900    120.0 "
              "      25       0.0       0.0      30.0");
    EXPECT_EQ(lines[2].size(), lines[1].size()) << "cells line up under their headers";
}

TEST(LiveTablePrinter, TerminalStyleShowsPositionAndOrientationWithin80Columns)
{
    const Clock::time_point now = Clock::now();
    TrackingInstrument lost = tracked("A name longer than its column", -12345.67, 0, 0, 0, now - 3ms);
    lost.quality = 0.0;
    const std::vector<std::string> lines =
        LiveTablePrinter::formatTable({tracked("Probe", 1.5, -2.25, 300.0, -180.0, now - 25ms), lost}, 7, now,
                                      LiveTablePrinter::Style::Terminal);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1],
              "id            name               x mm     y mm     z mm   roll  pitch    yaw  qual     Hz "
              "age ms");
    EXPECT_EQ(lines[2],
              "optitrack-1   Probe               1.5     -2.2    300.0    0.0    0.0  180.0  0.90  120.0 "
              "    25");
    EXPECT_EQ(lines[3],
              "optitrack-1   A name longer~ -12345.7      0.0      0.0      -      -      -  0.00  120.0 "
              "     3");
    EXPECT_LE(lines[1].find("yaw") + 3, 80u);
    EXPECT_EQ(lines[2].size(), lines[1].size());
    EXPECT_EQ(lines[3].size(), lines[1].size());
}

TEST(LiveTablePrinter, OddValuesKeepTheRowsShape)
{
    const Clock::time_point now = Clock::now();
    struct Row
    {
        const char* name;
        TrackingInstrument instrument;
        std::vector<std::string> expected;  // x, y, z, quality, rate, age, roll, pitch, yaw
    };
    TrackingInstrument lost = tracked("Lost", 10, 20, 30, 45, now);
    lost.quality = 0.0;  // a lost body's pose is a placeholder: no orientation
    TrackingInstrument nanPose = tracked("NaNPose", kNaN, kInf, -kInf, 0, now);
    nanPose.pose(0, 0) = kNaN;
    TrackingInstrument huge = tracked("Huge", 1e300, -1e300, 12345678.0, 0, now);
    huge.updateRateHz = 1e200;
    TrackingInstrument never(TrackerID("optitrack-1", "", "Never"), true);
    TrackingInstrument gimbal = tracked("Gimbal", 0, 0, 0, 0, now);
    gimbal.pose.topLeftCorner<3, 3>() =
        Eigen::AngleAxisd(M_PI / 2, Eigen::Vector3d::UnitX()).toRotationMatrix();
    const std::vector<Row> rows = {
        {"LostTracking", lost, {"10.00", "20.00", "30.00", "0.000", "120.0", "0", "-", "-", "-"}},
        {"NotFinite", nanPose, {"-", "-", "-", "0.900", "120.0", "0", "-", "-", "-"}},
        {"TooLarge", huge, {"1e+300", "-1e+300", "1.23e+07", "0.900", "1e+200", "0", "0.0", "0.0", "0.0"}},
        {"NeverUpdated", never, {"0.00", "0.00", "0.00", "0.000", "0.0", "-1", "-", "-", "-"}},
        {"GimbalLock", gimbal, {"0.00", "0.00", "0.00", "0.900", "120.0", "0", "0.0", "90.0", "0.0"}},
    };
    const std::size_t width =
        LiveTablePrinter::formatTable({tracked("Probe", 0, 0, 0, 0, now)}, 1, now)[2].size();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::vector<std::string> lines = LiveTablePrinter::formatTable({row.instrument}, 1, now);
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[2].size(), width) << lines[2];
        EXPECT_EQ(lines[2].find("nan"), std::string::npos) << lines[2];
        EXPECT_EQ(lines[2].find("inf"), std::string::npos) << lines[2];
        std::vector<std::string> cells = words(lines[2]);
        ASSERT_EQ(cells.size(), 11u) << lines[2];
        cells.erase(cells.begin(), cells.begin() + 2);  // id, name
        EXPECT_EQ(cells, row.expected) << lines[2];
    }
}

TEST(LiveTablePrinter, FitToScreenCutsWideLinesAndTallTables)
{
    const std::vector<std::string> table = {
        "frame 1, 4 instruments", std::string(50, 'h'), "row 1", "row 2", "row 3", "row 4"};
    struct Row
    {
        const char* name;
        TerminalSize screen;
        std::vector<std::string> expected;
    };
    const std::vector<Row> rows = {
        {"FitsAsItIs", {80, 24}, table},
        {"Narrow",
         {20, 24},
         {"frame 1, 4 instrume~", std::string(19, 'h') + "~", "row 1", "row 2", "row 3", "row 4"}},
        // Six lines and one row kept free for the cursor: four lines and what was left out.
        {"Short",
         {80, 6},
         {"frame 1, 4 instruments", std::string(50, 'h'), "row 1", "row 2",
          "(2 more lines: the terminal is too small)"}},
        {"ExactlyTall", {80, 7}, table},
        {"OneRow", {80, 1}, {"(6 more lines: the terminal is too small)"}},
        {"NoWidthGiven", {0, 24}, table},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::vector<std::string> fitted = LiveTablePrinter::fitToScreen(table, row.screen);
        EXPECT_EQ(fitted, row.expected);
        for (const std::string& line : fitted) {
            EXPECT_LE(line.size(), row.screen.columns == 0 ? line.size() : row.screen.columns) << line;
        }
    }
}

TEST(LiveTablePrinter, OnATerminalEachRedrawReplacesTheLastInsideTheWindow)
{
    std::ostringstream out;
    const Clock::time_point start = Clock::now();
    LiveTablePrinter printer(out, true, 100ms, [] {
        return std::optional<TerminalSize>(TerminalSize{60, 4});
    });
    Host::FrameSnapshot snapshot{1, start, {}};
    for (int i = 0; i < 3; ++i) {
        snapshot.instruments.push_back(tracked("Body" + std::to_string(i), i, 0, 0, 0, start));
    }
    printer.frame(snapshot, {});
    printer.refresh(start);
    const std::string first = out.str();
    EXPECT_EQ(first.find('\x1b'), std::string::npos) << "nothing to go back over yet";
    printer.refresh(start + 50ms);  // within the interval: nothing
    EXPECT_EQ(out.str(), first);
    printer.refresh(start + 150ms);  // ages grow: redrawn without a new frame
    const std::string second = out.str().substr(first.size());
    // Back over the three lines the 4-row window held, clear, and again at most three lines.
    EXPECT_EQ(second.rfind("\x1b[3F\x1b[J", 0), 0u) << second;
    std::istringstream lines(out.str());
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        EXPECT_LE(line.size(), 60u + 7u) << line;  // the width, plus the cursor codes on a line
    }
    EXPECT_EQ(count, 6);
}

TEST(LiveTablePrinter, WithoutATerminalTablesAreAppendedUncutOnlyForNewFrames)
{
    std::ostringstream out;
    const Clock::time_point start = Clock::now();
    bool asked = false;
    LiveTablePrinter printer(out, false, 1000ms, [&] {
        asked = true;
        return std::optional<TerminalSize>(TerminalSize{20, 3});
    });
    printer.frame(Host::FrameSnapshot{1, start, {tracked("Probe", 0, 0, 0, 0, start)}}, {});
    printer.refresh(start);
    printer.refresh(start + 2s);  // no new frame: no new table in a log
    printer.frame(Host::FrameSnapshot{2, start, {tracked("Probe", 0, 0, 0, 0, start)}}, {});
    printer.refresh(start + 2s);
    EXPECT_FALSE(asked);
    EXPECT_EQ(out.str().find('\x1b'), std::string::npos);
    const std::string text = out.str();
    EXPECT_NE(text.find("frame 1, 1 instruments\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n\nframe 2, 1 instruments\n"), std::string::npos) << text;
    EXPECT_NE(text.find("yaw deg\n"), std::string::npos) << "not cut: " << text;
}

TEST(JsonLinesPrinter, ValuesThatAreNotFiniteStayValidJson)
{
    std::ostringstream out;
    Host::JsonLinesPrinter printer(out);
    const Clock::time_point now = Clock::now();
    TrackingInstrument odd = tracked("Odd\"Name\\", kNaN, kInf, 1e308, 0, now);
    odd.quality = -kInf;
    odd.timestampMs = std::numeric_limits<std::uint64_t>::max();
    Host::FrameChanges changes;
    changes.added = {0};
    changes.updated = {0};
    printer.frame(Host::FrameSnapshot{1, now, {odd}}, changes);
    Host::RunSummary summary;
    summary.frameRateHz = kNaN;
    summary.instruments.push_back({"optitrack-1", "", 0, 0.0, kNaN});
    printer.finish(summary, now);

    std::istringstream lines(out.str());
    std::vector<nlohmann::json> parsed;
    for (std::string line; std::getline(lines, line);) {
        ASSERT_NO_THROW(parsed.push_back(nlohmann::json::parse(line))) << line;
    }
    ASSERT_EQ(parsed.size(), 3u);
    EXPECT_EQ(parsed[1].at("name"), "Odd\"Name\\");
    EXPECT_EQ(parsed[1].at("pose").size(), 16u);
    EXPECT_TRUE(parsed[1].at("pose")[12].is_null()) << "x, column-major: element 12";
    EXPECT_EQ(parsed[1].at("pose")[14], 1e308);
    EXPECT_EQ(parsed[1].at("timestamp"), std::numeric_limits<std::uint64_t>::max());
    EXPECT_TRUE(parsed[2].at("frameRateHz").is_null());
}

}  // namespace
}  // namespace Quorvane
