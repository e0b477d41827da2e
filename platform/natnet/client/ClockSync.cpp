#include "ClockSync.h"

#include <chrono>
#include <cmath>

namespace NatNet::Net {

uint64_t ClockSync::localNowNs()
{
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

void ClockSync::reset(uint64_t serverTicksPerSecond)
{
    std::lock_guard<std::mutex> lock(mutex_);
    frequency_ = serverTicksPerSecond;
    count_ = 0;
    next_ = 0;
    best_ = 0;
}

void ClockSync::setFrequency(uint64_t serverTicksPerSecond)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (frequency_ != serverTicksPerSecond) {
        frequency_ = serverTicksPerSecond;
        count_ = 0;
        next_ = 0;
        best_ = 0;
    }
}

bool ClockSync::contradictsModel(uint64_t midpointNs, uint64_t serverTicks, uint64_t roundTripNs) const
{
    if (count_ == 0 || frequency_ == 0) {
        return false;
    }
    const Sample& best = samples_[best_];
    const double predictedSeconds =
        static_cast<double>(static_cast<int64_t>(midpointNs - best.midpointNs)) * 1e-9;
    const double actualSeconds = static_cast<double>(static_cast<int64_t>(serverTicks - best.serverTicks)) /
                                 static_cast<double>(frequency_);
    const double tolerance = static_cast<double>(roundTripNs + best.roundTripNs + kJumpToleranceNs) * 1e-9;
    return std::fabs(actualSeconds - predictedSeconds) > tolerance;
}

bool ClockSync::addSample(uint64_t sentNs, uint64_t receivedNs, uint64_t serverTicks)
{
    if (receivedNs < sentNs || receivedNs - sentNs > kMaxRoundTripNs) {
        return false;
    }
    Sample sample;
    sample.roundTripNs = receivedNs - sentNs;
    sample.midpointNs = sentNs + sample.roundTripNs / 2;
    sample.serverTicks = serverTicks;

    std::lock_guard<std::mutex> lock(mutex_);
    if (contradictsModel(sample.midpointNs, sample.serverTicks, sample.roundTripNs)) {
        count_ = 0;
        next_ = 0;
        best_ = 0;
    }
    const size_t slot = next_;
    samples_[slot] = sample;
    next_ = (next_ + 1) % kWindow;
    if (count_ < kWindow) {
        ++count_;
    }
    if (count_ > 1 && slot == best_) {
        // The best sample was just overwritten: pick the best of the window again.
        best_ = 0;
        for (size_t i = 1; i < count_; ++i) {
            if (samples_[i].roundTripNs < samples_[best_].roundTripNs) {
                best_ = i;
            }
        }
    } else if (count_ == 1 || sample.roundTripNs <= samples_[best_].roundTripNs) {
        best_ = slot;
    }
    return true;
}

bool ClockSync::isSynchronised() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return count_ > 0;
}

uint64_t ClockSync::bestRoundTripNs() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return count_ > 0 ? samples_[best_].roundTripNs : 0;
}

double ClockSync::secondsSince(uint64_t serverTimestamp, uint64_t nowNs) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (count_ == 0 || frequency_ == 0) {
        return 0.0;
    }
    const Sample& best = samples_[best_];
    // Differences first, in integers, so that large tick counts keep their precision.
    const auto tickDelta = static_cast<int64_t>(best.serverTicks - serverTimestamp);
    const auto localDelta = static_cast<int64_t>(nowNs - best.midpointNs);
    return static_cast<double>(tickDelta) / static_cast<double>(frequency_) +
           static_cast<double>(localDelta) * 1e-9;
}

}  // namespace NatNet::Net
