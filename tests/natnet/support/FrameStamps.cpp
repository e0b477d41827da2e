#include "FrameStamps.h"

#include <iomanip>
#include <ostream>

namespace NatNetTest {

FrameStamps stampsOf(const sFrameOfMocapData& frame)
{
    return {{frame.Timecode, frame.TimecodeSubframe},
            frame.fTimestamp,
            {frame.CameraMidExposureTimestamp, frame.CameraDataReceivedTimestamp, frame.TransmitTimestamp},
            {frame.PrecisionTimestampSecs, frame.PrecisionTimestampFractionalSecs},
            frame.params};
}

bool operator==(const FrameStamps& a, const FrameStamps& b)
{
    return a.timecode == b.timecode && a.timestamp == b.timestamp && a.ticks == b.ticks &&
           a.precision == b.precision && a.params == b.params;
}

void PrintTo(const FrameStamps& stamps, std::ostream* out)
{
    // Every digit of the timestamp: two that print alike would hide the mismatch.
    const std::streamsize precision = out->precision();
    *out << "{timecode " << stamps.timecode[0] << " subframe " << stamps.timecode[1] << ", timestamp "
         << std::setprecision(17) << stamps.timestamp << ", ticks " << stamps.ticks[0] << " "
         << stamps.ticks[1] << " " << stamps.ticks[2] << ", precision " << stamps.precision[0] << " "
         << stamps.precision[1] << ", params " << stamps.params << "}";
    out->precision(precision);
}

}  // namespace NatNetTest
