#include "FrameStamps.h"

#include <iomanip>
#include <ios>
#include <ostream>

namespace NatNetTest {

FrameStamps stampsOf(const sFrameOfMocapData& frame)
{
    return {frame.Timecode,
            frame.TimecodeSubframe,
            frame.fTimestamp,
            frame.CameraMidExposureTimestamp,
            frame.CameraDataReceivedTimestamp,
            frame.TransmitTimestamp,
            frame.PrecisionTimestampSecs,
            frame.PrecisionTimestampFractionalSecs,
            frame.params};
}

bool operator==(const FrameStamps& a, const FrameStamps& b)
{
    return a.timecode == b.timecode && a.timecodeSubframe == b.timecodeSubframe &&
           a.timestamp == b.timestamp && a.cameraMidExposure == b.cameraMidExposure &&
           a.cameraDataReceived == b.cameraDataReceived && a.transmit == b.transmit &&
           a.precisionSecs == b.precisionSecs && a.precisionFractionalSecs == b.precisionFractionalSecs &&
           a.params == b.params;
}

void PrintTo(const FrameStamps& stamps, std::ostream* out)
{
    // Every digit of the timestamp: two that print alike would hide a mismatch.
    const std::ios_base::fmtflags flags = out->flags();
    const std::streamsize precision = out->precision();
    *out << "{timecode 0x" << std::hex << stamps.timecode << std::dec << ", subframe "
         << stamps.timecodeSubframe << ", timestamp " << std::setprecision(17) << stamps.timestamp
         << ", mid-exposure " << stamps.cameraMidExposure << ", received " << stamps.cameraDataReceived
         << ", transmit " << stamps.transmit << ", precision " << stamps.precisionSecs << " s + "
         << stamps.precisionFractionalSecs << ", params " << stamps.params << "}";
    out->flags(flags);
    out->precision(precision);
}

}  // namespace NatNetTest
