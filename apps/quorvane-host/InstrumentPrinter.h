#pragma once

#include "FrameQueue.h"
#include "RunStatistics.h"

#include <chrono>

namespace Quorvane {
namespace Host {

/// Shows the instruments of a running tracking stream. Called on the printing (main) thread
/// only: every frame in order, `refresh` now and then, and `finish` once at the end.
class InstrumentPrinter
{
public:
    virtual ~InstrumentPrinter() = default;

    /// One frame with what it changed.
    virtual void frame(const FrameSnapshot& snapshot, const FrameChanges& changes) = 0;
    /// Gives a periodic display the chance to redraw.
    virtual void refresh(std::chrono::steady_clock::time_point now) = 0;
    /// The end of the run.
    virtual void finish(const RunSummary& summary, std::chrono::steady_clock::time_point now) = 0;
};

}  // namespace Host
}  // namespace Quorvane
