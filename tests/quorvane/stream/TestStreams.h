#pragma once

// Small streams and an algorithm for the QuorvaneStream suites.
#include <Quorvane/Stream/StreamIoAlgorithm.h>
#include <Quorvane/Stream/TrackingStream.h>

#include <string>
#include <utility>

namespace Quorvane {
namespace Testing {

/// A tracking stream whose frames the test emits itself; counts live instances.
class TestTrackingStream : public TrackingStream
{
public:
    static inline int alive = 0;

    explicit TestTrackingStream(std::string name = "Tracking Stream") : TrackingStream(std::move(name))
    {
        ++alive;
    }
    ~TestTrackingStream() override
    {
        // As every host subclass does: listeners let go before the dynamic type changes.
        announceDestruction();
        close();
        --alive;
    }
    using TrackingStream::emitSignals;
};

/// Holds its stream the way the host's stream creation template does: a raw pointer that it owns
/// until the output is taken.
class HoldingAlgorithm : public StreamIoAlgorithm
{
public:
    // Named: a destructor does not dispatch to a derived class.
    ~HoldingAlgorithm() override { HoldingAlgorithm::clearStream(); }

    void execute() override
    {
        clearStream();
        held = new TestTrackingStream();
        setStatus(held->open() ? Success : Failure);
    }
    Stream* currentStream() const override { return held; }
    void clearStream() override
    {
        if (!outputTaken()) {
            delete held;
        }
        held = nullptr;
        StreamAlgorithmBase::clearStream();
    }

    TestTrackingStream* held = nullptr;
};

inline Pose translation(double x, double y, double z)
{
    Pose pose = Pose::Identity();
    pose(0, 3) = x;
    pose(1, 3) = y;
    pose(2, 3) = z;
    return pose;
}

}  // namespace Testing
}  // namespace Quorvane
