#pragma once

// Shared by the fault suites: a simulator on loopback, streams pointed at it, frames that carry
// their number in rigid body 1's x position (the simulator's unit scale is set to 1, so the
// number arrives exactly), a listener that records which numbers reached the stream's update
// signal, and a foreign sender on 127.0.0.5.

#include "Eventually.h"
#include "SimulatorConnection.h"
#include "stream/OptiTrackConnectionParams.h"
#include "stream/OptiTrackStream.h"
#include "stream/OptiTrackStreamImpl.h"

#include <natnet/sim/Simulator.h>
#include <natnet_ext/NatNetExt.h>

#include <Quorvane/Core/Log.h>
#include <Quorvane/Core/NotCopyable.h>
#include <Quorvane/Core/ScopedLogCapture.h>

#include <gtest/gtest.h>

#include <NatNetTypes.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace Quorvane::FaultTesting {

using TestSupport::eventually;
using TestSupport::paramsFor;

using namespace std::chrono_literals;

/// Waits until `value()` has not changed for `quiet` (at most `timeout`): the stream has gone
/// silent. Returns whether it did.
bool waitForQuiet(const std::function<std::uint64_t()>& value, std::chrono::milliseconds quiet,
                  std::chrono::milliseconds timeout = 5000ms);

/// A group of this suite's own; the data port (ephemeral, per simulator) keeps tests apart.
inline const char* const kGroup = "239.255.42.120";

NatNet::Sim::SimulatorConfig simulatorConfig(bool multicast, std::uint16_t commandPort = 0,
                                             std::uint16_t dataPort = 0);

/// A started simulator with unit scale 1; null (with a test failure) when it cannot start.
std::unique_ptr<NatNet::Sim::Simulator> startSimulator(bool multicast, std::uint16_t commandPort = 0,
                                                       std::uint16_t dataPort = 0);

/// A zero-filled frame number `number` with tracked bodies 1 to `bodies`; body 1's x is `number`.
std::unique_ptr<sFrameOfMocapData> numberedFrame(std::int32_t number, int bodies = 4);

/// Records the numbers of the frames whose update reached the stream's signal (read back from
/// instrument "optitrack-1"), and how many emissions there were. Slots run on the NatNet thread.
class DeliveredFrames
{
public:
    explicit DeliveredFrames(OptiTrackStream& stream);

    std::uint64_t emissions() const { return m_emissions.load(); }
    std::set<std::int64_t> numbers() const;
    bool has(std::int64_t number) const;
    std::size_t countIn(std::int64_t first, std::int64_t last) const;
    /// Counts emissions from now on as "late" (after a stop or disconnect returned).
    void markStopped() { m_stopped.store(true); }
    void markRunning() { m_stopped.store(false); }
    std::uint64_t lateEmissions() const { return m_late.load(); }

private:
    void onUpdate(const OptiTrackStream& stream);

    mutable std::mutex m_mutex;
    std::set<std::int64_t> m_numbers;
    std::atomic<std::uint64_t> m_emissions{0};
    std::atomic<bool> m_stopped{false};
    std::atomic<std::uint64_t> m_late{0};
};

/// A stream driven the way its tests drive it: a callback context of our own whose client the
/// test can reach (for its counters and timeouts), registered and connected with the stream's
/// own connect step. The context goes first on destruction (it disconnects).
struct DrivenStream
{
    DrivenStream();
    /// Registers the frame callback and runs the connect step against `sim`.
    bool connect(const NatNet::Sim::Simulator& sim);
    NatNetExt::ClientCounters counters() const;

    OptiTrackStream stream;
    OptiTrackStream::Impl context;
};

/// For TEST_F: a started simulator (unit scale 1, unicast unless multicast() says otherwise) and a
/// DrivenStream connected to it whose delivered frames are recorded; warnings and errors go to a
/// recording sink, not the console. TearDown disconnects before the recorder goes, so that no frame reaches
/// it after.
class DrivenStreamTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;
    virtual bool multicast() const { return false; }

    ScopedLogCapture m_log{Log::Warning};
    std::unique_ptr<NatNet::Sim::Simulator> m_sim;
    DrivenStream m_driven;
    DeliveredFrames m_delivered{m_driven.stream};
};

/// A UDP socket on 127.0.0.5, a sender that is not the server.
class ForeignSender : private Utils::NotCopyable
{
public:
    ForeignSender();
    ~ForeignSender();

    bool send(const std::vector<std::uint8_t>& bytes, const std::string& address, std::uint16_t port);

private:
    int m_fd;
};

/// Datagrams the kernel dropped (receive buffer full) on the UDP sockets of this machine bound
/// to `port`, from /proc/net/udp; 0 when none are listed.
std::uint64_t kernelDropsOnPort(std::uint16_t port);

/// Like numberedFrame, with the timestamp 2 * number ms (+ 0.5 ms, so that truncating it to whole
/// milliseconds gives exactly 2 * number): consecutive frames never share a millisecond.
std::unique_ptr<sFrameOfMocapData> pacedFrame(std::int32_t number, int bodies = 4);

/// Sends pacedFrame(first, bodies) ... pacedFrame(last, bodies) from the simulator at `rateHz` on the calling
/// thread; before each, `beforeEach(number)` may change the scene (start an outage, ...).
void sendPacedFrames(NatNet::Sim::Simulator& sim, std::int32_t first, std::int32_t last, double rateHz,
                     const std::function<void(std::int32_t)>& beforeEach = {}, int bodies = 4);

/// Watches the instruments "optitrack-1" ... "optitrack-<bodies>" at every update signal: an
/// instrument whose update count moved must have a strictly later timestamp than at its previous
/// update (nothing moves back in time, nothing is applied twice). Also keeps, in delivery order,
/// the frame numbers read from body 1's x (a scale of 1 assumed). Slots run on the NatNet thread.
class UpdateOrder
{
public:
    UpdateOrder(OptiTrackStream& stream, int bodies);

    std::uint64_t emissions() const { return m_emissions.load(); }
    /// Updates whose timestamp was not later than the instrument's previous one.
    std::uint64_t backwards() const { return m_backwards.load(); }
    /// Updates whose pose or quality was not finite.
    std::uint64_t nonFinite() const { return m_nonFinite.load(); }
    std::vector<std::int64_t> numbers() const;

private:
    void onUpdate(const OptiTrackStream& stream);

    const int m_bodies;
    std::vector<std::uint64_t> m_lastCount;      // NatNet thread only
    std::vector<std::uint64_t> m_lastTimestamp;  // NatNet thread only
    mutable std::mutex m_mutex;
    std::vector<std::int64_t> m_numbers;
    std::atomic<std::uint64_t> m_emissions{0};
    std::atomic<std::uint64_t> m_backwards{0};
    std::atomic<std::uint64_t> m_nonFinite{0};
};

/// Whether every entry of the pose and the quality are finite.
bool isFinite(const TrackingInstrument& instrument);

/// The resident set size of this process in bytes (from /proc/self/statm).
std::uint64_t residentBytes();

}  // namespace Quorvane::FaultTesting
