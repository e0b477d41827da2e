#pragma once

#include "InstrumentPrinter.h"

#include <ostream>
#include <string>

namespace Quorvane {
namespace Host {

/// JSON Lines, one object per line (keys are written in alphabetical order, "type" last):
///   {"type":"added","id":"optitrack-1","name":"Probe"}           once, before its first pose
///   {"type":"pose","id":...,"name":...,"pose":[16 numbers],"quality":...,"timestamp":...}
///   {"type":"summary","frames":...,"framesDropped":...,"durationS":...,"frameRateHz":...,
///    "instruments":[{"id":...,"name":...,"updates":...,"rateHz":...,"quality":...}]}
/// "pose" is the 4x4 matrix in column-major order, translation in millimetres; "timestamp" is
/// the stream's timestamp of the update in milliseconds.
///
/// A frame's lines are built in one buffer that lives as long as the printer, so that printing
/// costs no allocation per line once the buffer has grown to the longest frame.
class JsonLinesPrinter : public InstrumentPrinter
{
public:
    explicit JsonLinesPrinter(std::ostream& out);

    void frame(const FrameSnapshot& snapshot, const FrameChanges& changes) override;
    void refresh(std::chrono::steady_clock::time_point now) override;
    void finish(const RunSummary& summary, std::chrono::steady_clock::time_point now) override;

private:
    /// Writes the buffer to the stream and empties it, keeping its capacity.
    void flushLines();

    std::ostream& m_out;
    std::string m_lines;
};

}  // namespace Host
}  // namespace Quorvane
