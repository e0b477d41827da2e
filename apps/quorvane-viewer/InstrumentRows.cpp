#include "InstrumentRows.h"

#include <common/Orientation.h>

namespace Quorvane::Viewer {

std::vector<InstrumentRow> instrumentRows(const std::vector<TrackingInstrument>& instruments,
                                          std::chrono::steady_clock::time_point now)
{
    std::vector<InstrumentRow> rows;
    rows.reserve(instruments.size());
    for (const TrackingInstrument& instrument : instruments) {
        InstrumentRow row;
        row.identifier = QString::fromStdString(instrument.identifier());
        row.name = QString::fromStdString(instrument.name());
        row.tracked = instrument.isTracked();
        if (instrument.updateCount == 0) {
            row.position = QStringLiteral("no update yet");
            row.orientation = row.quality = row.rate = row.age = QStringLiteral("-");
            rows.push_back(row);
            continue;
        }
        // Trackers report a placeholder pose without valid tracking; it is not a position.
        row.position = row.tracked ? QStringLiteral("%1, %2, %3")
                                         .arg(instrument.pose(0, 3), 0, 'f', 1)
                                         .arg(instrument.pose(1, 3), 0, 'f', 1)
                                         .arg(instrument.pose(2, 3), 0, 'f', 1)
                                   : QStringLiteral("not tracked");
        const std::optional<AppsCommon::RollPitchYaw> angles =
            row.tracked ? AppsCommon::rollPitchYaw(instrument.pose) : std::nullopt;
        row.orientation = angles ? QStringLiteral("%1, %2, %3")
                                       .arg(angles->rollDeg, 0, 'f', 1)
                                       .arg(angles->pitchDeg, 0, 'f', 1)
                                       .arg(angles->yawDeg, 0, 'f', 1)
                                 : QStringLiteral("-");
        row.quality = QString::number(instrument.quality, 'f', 3);
        row.rate = QString::number(instrument.updateRateHz, 'f', 1);
        const auto age = std::chrono::duration_cast<std::chrono::milliseconds>(now - instrument.lastUpdate);
        row.age = QStringLiteral("%1 ms").arg(std::max<std::chrono::milliseconds::rep>(0, age.count()));
        rows.push_back(row);
    }
    return rows;
}

}  // namespace Quorvane::Viewer
