#pragma once

#include <Quorvane/Stream/TrackingInstrument.h>

#include <QString>

#include <chrono>
#include <vector>

namespace Quorvane::Viewer {

/// One line of the instrument table, as text.
struct InstrumentRow
{
    QString identifier;
    QString name;
    QString position;  ///< "x, y, z" in mm; "not tracked" when the last update had no valid pose
    /// "roll, pitch, yaw" in degrees (AppsCommon::rollPitchYaw); "-" without a valid tracked rotation
    QString orientation;
    QString quality;
    QString rate;  ///< updates per second
    QString age;   ///< time since the last update
    bool tracked = false;
};

/// The table's lines for a snapshot of a stream's instruments, taken at `now` (the host's steady
/// clock, the one TrackingInstrument::lastUpdate uses). Instruments never updated say so.
std::vector<InstrumentRow> instrumentRows(const std::vector<TrackingInstrument>& instruments,
                                          std::chrono::steady_clock::time_point now);

}  // namespace Quorvane::Viewer
