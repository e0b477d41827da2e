#pragma once

#include "InstrumentPrinter.h"

#include <ostream>

namespace Quorvane {
namespace Host {

/// JSON Lines, one object per line:
///   {"type":"added","id":"optitrack-1","name":"Probe"}           once, before its first pose
///   {"type":"pose","id":...,"name":...,"pose":[16 numbers],"quality":...,"timestamp":...}
///   {"type":"summary","frames":...,"framesDropped":...,"durationS":...,"frameRateHz":...,
///    "instruments":[{"id":...,"name":...,"updates":...,"rateHz":...,"quality":...}]}
/// "pose" is the 4x4 matrix in column-major order, translation in millimetres; "timestamp" is
/// the stream's timestamp of the update in milliseconds.
class JsonLinesPrinter : public InstrumentPrinter
{
public:
    explicit JsonLinesPrinter(std::ostream& out);

    void frame(const FrameSnapshot& snapshot, const FrameChanges& changes) override;
    void refresh(std::chrono::steady_clock::time_point now) override;
    void finish(const RunSummary& summary, std::chrono::steady_clock::time_point now) override;

private:
    std::ostream& m_out;
};

}  // namespace Host
}  // namespace Quorvane
