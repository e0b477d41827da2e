// An in-process NatNet server (Motive stand-in) for tests, demos and benchmarks.
//
// It speaks the real protocol: NAT_CONNECT and NAT_DISCOVERY are answered with
// the server information, requests with NAT_RESPONSE or
// NAT_UNRECOGNIZED_REQUEST, NAT_REQUEST_MODELDEF with the model definitions
// and NAT_ECHOREQUEST with the echo and the server clock; keep-alives are never
// answered. Frames leave the data socket: to the group in multicast, or to
// every registered unicast client (the source of its NAT_CONNECT). Each
// unicast client gets the bitstream version it asked for (in its CONNECT
// options or with "Bitstream,M.m"); everything else uses the server's version.
//
// Typical test use:
//
//     NatNet::Sim::Simulator sim;                 // 127.0.0.1, ephemeral ports, unicast
//     sim.setNatNetVersion({3, 0, 0, 0});
//     sim.setUnitsToMillimeters(1.0f);
//     sim.dropNextRequests("FrameRate", 2);       // the first two tries go unanswered
//     ASSERT_TRUE(sim.start());
//     ... connect a client to 127.0.0.1:sim.commandPort() ...
//     ASSERT_TRUE(sim.waitFor([](const auto& c) { return c.clientsConnected == 1; }, 2s));
//     sim.sendFrame(frame);                       // exactly this frame, encoded per client
//     sim.startStreaming(scenarioConfig);         // or a scenario at its rate
//
// Thread use: every method may be called from any thread. The simulator runs
// one thread for the command socket ("natnet-sim-cmd") and, while streaming,
// one for the frames ("natnet-sim-tx"). stop() and the destructor join both.
#pragma once

#include "natnet/sim/Capture.h"
#include "natnet/sim/Scenario.h"
#include "natnet/sim/SimulatorConfig.h"
#include "natnet/sim/SimulatorCounters.h"

#include "NatNetTypes.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace NatNet::Sim {

// How the simulator answers a request command.
enum class Answer {
    Normal,        // the built-in answer (unknown commands: NAT_UNRECOGNIZED_REQUEST)
    Unrecognized,  // NAT_UNRECOGNIZED_REQUEST
    None,          // no answer at all
};

// Messages whose next receptions can be ignored with dropNext().
enum class MessageKind {
    Connect,
    Discovery,
    ModelDefRequest,
    EchoRequest,
};

struct ClientInfo
{
    std::string address;
    uint16_t port = 0;
    std::array<uint8_t, 4> bitstreamVersion{};  // what its frames are encoded with
    bool subscribedDataOnly = false;
};

class Simulator
{
public:
    explicit Simulator(SimulatorConfig config = {});
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Binds both sockets and starts the command thread. False (with a reason)
    // when an address is malformed or a port is taken.
    bool start(std::string* error = nullptr);
    void stop();
    bool isRunning() const;

    const SimulatorConfig& config() const { return m_config; }
    uint16_t commandPort() const;
    uint16_t dataPort() const;

    // ---- Script (any time, any thread) --------------------------------------
    void setAppName(const std::string& name);                   // default "Motive"
    void setAppVersion(const std::array<uint8_t, 4>& version);  // default 3.1.0.0
    // The server's bitstream version (2.5 ... 4.2); default 4.1.0.0.
    void setNatNetVersion(const std::array<uint8_t, 4>& version);
    std::array<uint8_t, 4> natNetVersion() const;
    void setClockFrequency(uint64_t ticksPerSecond);  // default 10 MHz
    void setUnitsToMillimeters(float value);          // default 1000 (metres)
    void setFrameRate(float value);                   // default 120
    void setAnalogSamplesPerFrame(int32_t value);     // default 0
    // Copied; encoded for each client's version (kinds a version lacks are left
    // out). False, keeping the previous list, when the list cannot be encoded.
    bool setDataDescriptions(const sDataDescriptions& descriptions);
    // Exact NAT_MODELDEF payload bytes to send instead (e.g. from a capture).
    void setModelDefinitionsPayload(std::vector<uint8_t> payload);
    // Answer NAT_CONNECT with an empty server information: a server that
    // answers but describes no host (the client reports HostPresent false).
    void setNoHostPresent(bool noHost);
    // Commands are matched on their word before the first comma, ignoring case.
    void setCommandAnswer(const std::string& command, Answer answer);
    // Answer this command with exactly these payload bytes (e.g. fewer than 4).
    void setCommandResponse(const std::string& command, std::vector<uint8_t> payload);
    // Leave the next `count` receptions of this command unanswered (retries).
    void dropNextRequests(const std::string& command, int count);
    void dropNext(MessageKind kind, int count);
    // Answer nothing at all while set (the server looks dead; it still counts).
    void setSilent(bool silent);

    // ---- Misbehaviour ------------------------------------------------------------
    // "Answers" below are those to NAT_CONNECT, NAT_REQUEST (NAT_RESPONSE or
    // NAT_UNRECOGNIZED_REQUEST) and NAT_REQUEST_MODELDEF; echoes and discovery
    // are not touched. The three combine: shift, then delay, then duplicate.
    //
    // Late answers (a loaded Motive PC): each answer leaves a delay drawn
    // uniformly from [min, max] after its request came (a generator seeded with
    // `seed`, so a run repeats), never before an earlier answer: the order of the
    // requests is kept. The command thread keeps receiving meanwhile. At most 256
    // answers wait; more are dropped (answersDroppedBacklog). max 0: at once.
    void setAnswerDelay(std::chrono::milliseconds min, std::chrono::milliseconds max, uint32_t seed = 1);
    // Every answer is sent twice, back to back.
    void setDuplicateAnswers(bool duplicate);
    // Each request of a client is answered with the answer owed to that client's
    // request before it; its first request gets none.
    void setShiftedAnswers(bool shifted);
    // A NAT_SERVERINFO nobody asked for, to every unicast client (from the command
    // port) or, in multicast, to every NAT_CONNECT sender and to the group (from
    // the data port); optionally claiming another bitstream version than the
    // server's. Returns the number of datagrams sent.
    int sendUnsolicitedServerInfo();
    int sendUnsolicitedServerInfo(const std::array<uint8_t, 4>& claimedNatNetVersion);
    // Sends the frame like sendFrame, but from a second socket on the server's
    // address with another port (otherDataPort()): not the advertised data port.
    int sendFrameFromOtherPort(const sFrameOfMocapData& frame);
    uint16_t otherDataPort() const;

    // ---- Frames --------------------------------------------------------------
    // Sends this frame as it is (frame number, timestamps, params), encoded for
    // every receiver's version. Returns the number of datagrams sent.
    int sendFrame(const sFrameOfMocapData& frame);
    // Sends these exact bytes from the data socket to every receiver.
    int sendRawDatagram(const void* bytes, size_t size);
    // Streams the scenario at its rate on the "natnet-sim-tx" thread until its
    // frame count or duration is reached or stopStreaming(); also sets the frame
    // rate and unit answers and the data descriptions to the scenario's.
    bool startStreaming(const ScenarioConfig& scenario);
    // Sends the capture's frames with their original timing (raw bytes); the
    // server's version and model definitions become the capture's. `loops`
    // replays (0: until stopped).
    bool startReplay(const Capture& capture, int loops = 1);
    void stopStreaming();
    bool isStreaming() const;
    // Blocks until the stream thread has finished by itself (false on timeout).
    bool waitForStreamEnd(std::chrono::milliseconds timeout);

    // ---- Observation -----------------------------------------------------------
    // The server's high-resolution clock (the one echo answers and frame stamps use).
    uint64_t ticksNow() const;
    uint64_t clockFrequency() const;
    SimulatorCounters counters() const;
    std::vector<ClientInfo> clients() const;
    // Waits until the predicate holds for the counters (checked at every change).
    bool waitFor(const std::function<bool(const SimulatorCounters&)>& predicate,
                 std::chrono::milliseconds timeout) const;

private:
    class Impl;
    SimulatorConfig m_config;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace NatNet::Sim
