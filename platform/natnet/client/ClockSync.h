// Estimate of the server's high-resolution clock from echo round trips
// (Cristian's method): the echo with the smallest round trip among the recent
// ones pins the server clock to the local steady clock.
//
// Thread use: samples are added on the receive thread, queries come from any
// thread; a small lock guards the model (never held while calling out).
#pragma once

#include <array>
#include <cstdint>
#include <mutex>

namespace NatNet::Net {

class ClockSync
{
public:
    // Local steady clock in nanoseconds; the value sent in echo requests.
    static uint64_t localNowNs();

    // Forgets every sample; frequency is the server's ticks per second (0: unknown).
    void reset(uint64_t serverTicksPerSecond);
    // Keeps the samples when the frequency is unchanged, else resets.
    void setFrequency(uint64_t serverTicksPerSecond);
    // One echo: sent at sentNs, answered at receivedNs (local clock), stamped
    // serverTicks by the server when it received the request. Returns false for
    // a sample that cannot be real (answer before the question, or too late).
    bool addSample(uint64_t sentNs, uint64_t receivedNs, uint64_t serverTicks);

    bool isSynchronised() const;
    // Smallest round trip among the kept samples, in nanoseconds (0 when none).
    uint64_t bestRoundTripNs() const;
    // Seconds from serverTimestamp (server ticks) to local time nowNs; 0 while
    // not synchronised or when the frequency is unknown.
    double secondsSince(uint64_t serverTimestamp, uint64_t nowNs) const;

    // Samples kept: at one echo every 250 ms about 16 s, short enough that
    // clock drift stays well below a millisecond.
    static constexpr size_t kWindow = 64;
    // Round trips longer than this are not used.
    static constexpr uint64_t kMaxRoundTripNs = 1'000'000'000;
    // A sample that disagrees with the model by more than its own round trip
    // plus this means the server's clock jumped (a restarted server): start over.
    static constexpr uint64_t kJumpToleranceNs = 50'000'000;

private:
    bool contradictsModel(uint64_t midpointNs, uint64_t serverTicks, uint64_t roundTripNs) const;

    struct Sample
    {
        uint64_t roundTripNs = 0;
        uint64_t midpointNs = 0;  // local time at which the server stamped serverTicks
        uint64_t serverTicks = 0;
    };

    mutable std::mutex m_mutex;
    uint64_t m_frequency = 0;
    std::array<Sample, kWindow> m_samples{};
    size_t m_count = 0;
    size_t m_next = 0;
    size_t m_best = 0;
};

}  // namespace NatNet::Net
