// The start: callback registration and the connect step against the scripted simulator on
// loopback, with the exact log lines of success and of every failure.

#include "SimTestSupport.h"

#include <Quorvane/Core/Log.h>
#include <Quorvane/Core/ScopedLogCapture.h>

#include <NatNetClient.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace Quorvane::Testing {
namespace {

using Lines = std::vector<std::string>;
using NatNet::Sim::Answer;

const char* const kStartError = "Error initializing client.  See log for details.  Exiting";

/// The stream's lines of a start against the fixture's server, with the frame rate and analog
/// sample lines as given.
Lines startLines(const std::string& frameRate, const std::string& analogSamples)
{
    return {"Server application info:",
            "Application: Motive (ver. 2.3.0.1)",
            "NatNet Version: 4.1.0.0",
            frameRate,
            analogSamples,
            "Units to MM: 1000",
            "Client initialized and ready.\n",
            "\n\nRequesting Data Descriptions...",
            "Received 0 Data Descriptions: "};
}

class ConnectStep : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_sim.setAppName("Motive");
        m_sim.setAppVersion({2, 3, 0, 1});
        m_sim.setNatNetVersion({4, 1, 0, 0});
        m_sim.setUnitsToMillimeters(1000.0f);
        m_sim.setFrameRate(120.0f);
        m_sim.setAnalogSamplesPerFrame(0);
        ASSERT_TRUE(m_sim.start());
        m_stream.setConnectionParams(paramsFor(m_sim));
    }

    Lines streamLines() const { return textsIn(m_log.sink().records(), "OptiTrackStream"); }

    std::size_t count(int level, const std::string& text) const
    {
        return m_log.sink().count(level, "OptiTrackStream", text);
    }

    /// A good start and stop (the scale is now 1000), then `spoilUnits`, then a start that must
    /// fail before the description request; `lines` are the stream's lines of that start.
    void failARestart(const std::function<void()>& spoilUnits, Lines& lines)
    {
        ASSERT_TRUE(m_stream.start());
        ASSERT_TRUE(m_stream.stop());
        spoilUnits();
        m_log.sink().clear();
        EXPECT_FALSE(m_stream.start());
        lines = streamLines();
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines.back(), kStartError);
        EXPECT_EQ(m_log.sink().count("\n\nRequesting Data Descriptions..."), 0u);
    }

    /// Frames still arrive, scaled with the earlier start's 1000.
    void expectFramesScaledByTheEarlierStart()
    {
        const auto frame = oneBodyFrame(4, 0.5f, -0.25f, 2.0f);
        ASSERT_TRUE(deliverUntilUpdated(m_sim, *frame, m_stream, "optitrack-4"));
        const auto pose = m_stream.findInstrument("optitrack-4")->pose;
        EXPECT_EQ(pose(0, 3), 500.0);
        EXPECT_EQ(pose(1, 3), -250.0);
        EXPECT_EQ(pose(2, 3), 2000.0);
    }

    ScopedLogCapture m_log{0};
    NatNet::Sim::Simulator m_sim{simulatorConfig(false)};
    OptiTrackStream m_stream;
};

TEST_F(ConnectStep, AGoodStartLogsTheServerAndBecomesRunning)
{
    ASSERT_TRUE(m_stream.start());
    EXPECT_TRUE(m_stream.isRunning());

    EXPECT_EQ(streamLines(), startLines("Mocap Framerate: 120", "Analog Samples Per Mocap Frame: 0"));
    const std::vector<int> levels = {2, 2, 2, 2, 2, 2, 0, 0, 0};
    std::vector<int> seen;
    for (const auto& record : m_log.sink().records()) {
        if (record.category == "OptiTrackStream") seen.push_back(record.level);
    }
    EXPECT_EQ(seen, levels);
    EXPECT_EQ(m_sim.counters().modelDefRequests, 1u);
}

TEST_F(ConnectStep, TheQueriesAreSentWhateverTheLogLevel)
{
    Log::g_globalLevel = 4;
    ASSERT_TRUE(m_stream.start());
    const auto counters = m_sim.counters();
    EXPECT_EQ(counters.requestsFor("FrameRate"), 1u);
    EXPECT_EQ(counters.requestsFor("AnalogSamplesPerMocapFrame"), 1u);
    EXPECT_EQ(counters.requestsFor("UnitsToMillimeters"), 1u);
    EXPECT_EQ(counters.modelDefRequests, 1u);
    EXPECT_TRUE(m_log.sink().records().empty());
}

TEST_F(ConnectStep, AConnectFailureLogsItsErrorCode)
{
    // A server that answers nothing: the library gives up with its network error.
    m_sim.setSilent(true);
    EXPECT_FALSE(m_stream.start());
    EXPECT_FALSE(m_stream.isRunning());
    const Lines expected = {"Unable to connect to server.  Error code: 3. Exiting", kStartError};
    EXPECT_EQ(streamLines(), expected);
    EXPECT_EQ(count(4, kStartError), 1u);
}

TEST_F(ConnectStep, AnAddressTheLibraryRefusesGivesItsCode)
{
    OptiTrackConnectionParams params = paramsFor(m_sim);
    params.serverAddress = "not an address";
    m_stream.setConnectionParams(params);

    // The code the library itself gives for these parameters.
    NatNetClient probe;
    sNatNetClientConnectParams raw{};
    raw.connectionType = ConnectionType_Unicast;
    raw.serverCommandPort = params.commandPort;
    raw.serverDataPort = params.dataPort;
    raw.serverAddress = params.serverAddress.c_str();
    raw.localAddress = params.localAddress.c_str();
    const int code = probe.Connect(raw);
    ASSERT_NE(code, 0);

    EXPECT_FALSE(m_stream.start());
    EXPECT_EQ(streamLines(),
              (Lines{"Unable to connect to server.  Error code: " + std::to_string(code) + ". Exiting",
                     kStartError}));
}

TEST_F(ConnectStep, AServerWithoutHostFailsTheStart)
{
    m_sim.setNoHostPresent(true);
    EXPECT_FALSE(m_stream.start());
    EXPECT_EQ(streamLines(), (Lines{"Unable to connect to server. Host not present. Exiting.", kStartError}));
    EXPECT_EQ(m_sim.counters().requests, 0u);
}

TEST_F(ConnectStep, FailingFrameRateAndAnalogQueriesDoNotStopTheStep)
{
    m_sim.setCommandAnswer("FrameRate", Answer::Unrecognized);
    m_sim.setCommandAnswer("AnalogSamplesPerMocapFrame", Answer::Unrecognized);
    ASSERT_TRUE(m_stream.start());
    EXPECT_EQ(streamLines(), startLines("Error getting frame rate.\n", "Error getting Analog frame rate."));
    EXPECT_EQ(count(4, "Error getting frame rate.\n"), 1u);
    EXPECT_EQ(count(4, "Error getting Analog frame rate."), 1u);
}

TEST_F(ConnectStep, AnswersShorterThanFourBytesAreFailedQueries)
{
    m_sim.setCommandResponse("FrameRate", {});
    m_sim.setCommandResponse("AnalogSamplesPerMocapFrame", {1, 2, 3});
    m_sim.setCommandResponse("UnitsToMillimeters", {0x00, 0x00});
    EXPECT_FALSE(m_stream.start());
    const Lines expected = {
        "Server application info:",
        "Application: Motive (ver. 2.3.0.1)",
        "NatNet Version: 4.1.0.0",
        "Error getting frame rate.\n",
        "Error getting Analog frame rate.",
        "Error getting units to mm scale.\n",
        kStartError,
    };
    EXPECT_EQ(streamLines(), expected);
}

TEST_F(ConnectStep, ExactlyFourBytesAreRead)
{
    // 4-byte answers in the server's byte order: 250.5 as float, 7 as int.
    m_sim.setCommandResponse("FrameRate", {0x00, 0x80, 0x7a, 0x43});
    m_sim.setCommandResponse("AnalogSamplesPerMocapFrame", {0x07, 0x00, 0x00, 0x00, 0xff});
    ASSERT_TRUE(m_stream.start());
    EXPECT_EQ(count(2, "Mocap Framerate: 250.5"), 1u);
    EXPECT_EQ(count(2, "Analog Samples Per Mocap Frame: 7"), 1u);
}

TEST_F(ConnectStep, AFailingUnitsQueryKeepsTheEarlierScale)
{
    Lines lines;
    ASSERT_NO_FATAL_FAILURE(
        failARestart([this] { m_sim.setCommandAnswer("UnitsToMillimeters", Answer::Unrecognized); }, lines));
    EXPECT_EQ(lines[lines.size() - 2], "Error getting units to mm scale.\n");

    // The client stays connected with the callback registered.
    expectFramesScaledByTheEarlierStart();
}

struct ImplausibleUnitsRow
{
    const char* name;
    std::vector<std::uint8_t> answer;  // the four bytes of the float, little-endian
    const char* printed;
};

void PrintTo(const ImplausibleUnitsRow& row, std::ostream* out)
{
    *out << row.name;
}

class ImplausibleUnits : public ConnectStep, public ::testing::WithParamInterface<ImplausibleUnitsRow>
{
};

TEST_P(ImplausibleUnits, FailTheStartAndKeepTheEarlierScale)
{
    Lines lines;
    ASSERT_NO_FATAL_FAILURE(
        failARestart([this] { m_sim.setCommandResponse("UnitsToMillimeters", GetParam().answer); }, lines));
    EXPECT_EQ(lines[lines.size() - 2],
              std::string("Implausible units to mm scale: ") + GetParam().printed + "\n");
    EXPECT_EQ(count(4, lines[lines.size() - 2]), 1u);
    EXPECT_EQ(m_log.sink().countContaining("Units to MM: "), 0u);

    expectFramesScaledByTheEarlierStart();
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ImplausibleUnits,
    ::testing::Values(ImplausibleUnitsRow{"nan", {0x00, 0x00, 0xc0, 0x7f}, "nan"},
                      ImplausibleUnitsRow{"infinity", {0x00, 0x00, 0x80, 0x7f}, "inf"},
                      ImplausibleUnitsRow{"minusInfinity", {0x00, 0x00, 0x80, 0xff}, "-inf"},
                      ImplausibleUnitsRow{"zero", {0x00, 0x00, 0x00, 0x00}, "0"},
                      ImplausibleUnitsRow{"minusZero", {0x00, 0x00, 0x00, 0x80}, "-0"},
                      ImplausibleUnitsRow{"negative", {0x00, 0x00, 0x7a, 0xc4}, "-1000"},
                      // A text answer: "ok\xff\xff" reads as a NaN with the sign bit set.
                      ImplausibleUnitsRow{"textReadingAsNan", {'o', 'k', 0xff, 0xff}, "-nan"},
                      // Another answer's integer 7 read as a float: positive, but no length unit.
                      ImplausibleUnitsRow{"integerReadAsFloat", {0x07, 0x00, 0x00, 0x00}, "9.80909e-45"},
                      ImplausibleUnitsRow{"aboveKilometres", {0x80, 0x96, 0x18, 0x4b}, "1e+07"}),
    [](const ::testing::TestParamInfo<ImplausibleUnitsRow>& row) { return std::string(row.param.name); });

TEST_F(ConnectStep, ScalesFromMicrometresToKilometresAreAccepted)
{
    struct Row
    {
        std::vector<uint8_t> bytes;
        const char* logged;
    };
    for (const Row& row : {Row{{0x6f, 0x12, 0x83, 0x3a}, "Units to MM: 0.001"},
                           Row{{0x33, 0x33, 0xcb, 0x41}, "Units to MM: 25.4"},
                           Row{{0x00, 0x24, 0x74, 0x49}, "Units to MM: 1e+06"}}) {
        SCOPED_TRACE(row.logged);
        m_sim.setCommandResponse("UnitsToMillimeters", row.bytes);
        EXPECT_TRUE(m_stream.start());
        EXPECT_EQ(count(2, row.logged), 1u);
        EXPECT_TRUE(m_stream.stop());
    }
}

TEST_F(ConnectStep, AStreamThatNeverConnectedScalesByOne)
{
    m_sim.setCommandAnswer("UnitsToMillimeters", Answer::Unrecognized);
    EXPECT_FALSE(m_stream.start());
    const auto frame = oneBodyFrame(4, 0.5f, 0.0f, 0.0f);
    ASSERT_TRUE(deliverUntilUpdated(m_sim, *frame, m_stream, "optitrack-4"));
    EXPECT_EQ(m_stream.findInstrument("optitrack-4")->pose(0, 3), 0.5);
}

TEST_F(ConnectStep, ImplausiblePosesFromTheServerAreCountedByTheStream)
{
    ASSERT_TRUE(m_stream.start());
    const auto frame = oneBodyFrame(4, 0.5f, 0.0f, 0.0f);
    ASSERT_TRUE(deliverUntilUpdated(m_sim, *frame, m_stream, "optitrack-4"));
    EXPECT_EQ(m_stream.implausiblePoseCount(), 0u);

    frame->RigidBodies[0].qx = 3.0f;  // a quaternion of length about 3.2
    const auto updates = m_stream.findInstrument("optitrack-4")->updateCount;
    ASSERT_TRUE(deliverUntilUpdated(m_sim, *frame, m_stream, "optitrack-4", updates));
    const auto instrument = m_stream.findInstrument("optitrack-4");
    EXPECT_TRUE(instrument->pose.isIdentity());
    EXPECT_EQ(instrument->quality, 0.0);
    EXPECT_GE(m_stream.implausiblePoseCount(), 1u);
    EXPECT_EQ(count(3, "Implausible pose of optitrack-4 treated as not tracked (1 since the last warning)"),
              1u);
}

TEST_F(ConnectStep, StopThenStartAndStartAfterAFailedStart)
{
    m_sim.setNoHostPresent(true);
    EXPECT_FALSE(m_stream.start());
    m_sim.setNoHostPresent(false);
    ASSERT_TRUE(m_stream.start());
    ASSERT_TRUE(m_stream.stop());
    EXPECT_FALSE(m_stream.isRunning());
    ASSERT_TRUE(m_stream.start());
    EXPECT_EQ(count(0, "Client initialized and ready.\n"), 2u);
    EXPECT_GE(m_sim.counters().connects, 3u);

    // After a stop and a new start, frames flow again.
    const auto frame = oneBodyFrame(1, 0.001f, 0.0f, 0.0f);
    ASSERT_TRUE(deliverUntilUpdated(m_sim, *frame, m_stream, "optitrack-1"));
    EXPECT_TRUE(m_stream.close());
}

TEST_F(ConnectStep, SetMaxErrorIsRefusedWhileRunning)
{
    m_stream.setMaxError(0.5);  // stopped: accepted
    ASSERT_TRUE(m_stream.start());
    m_stream.setMaxError(0.25);
    EXPECT_EQ(m_log.sink().count(3, "", "Can't set max error while stream is running"), 1u);

    const auto frame = oneBodyFrame(2, 0.0f, 0.0f, 0.0f, 0.25f);
    ASSERT_TRUE(deliverUntilUpdated(m_sim, *frame, m_stream, "optitrack-2"));
    EXPECT_DOUBLE_EQ(m_stream.findInstrument("optitrack-2")->quality, 1.5);  // 0.75 / 0.5

    ASSERT_TRUE(m_stream.stop());
    m_stream.setMaxError(0.25);
    EXPECT_EQ(m_log.sink().count("Can't set max error while stream is running"), 1u);
    ASSERT_TRUE(m_stream.start());
    const auto updates = m_stream.findInstrument("optitrack-2")->updateCount;
    ASSERT_TRUE(deliverUntilUpdated(m_sim, *frame, m_stream, "optitrack-2", updates));
    EXPECT_DOUBLE_EQ(m_stream.findInstrument("optitrack-2")->quality, 3.0);  // 0.75 / 0.25
}

TEST_F(ConnectStep, NewParametersWaitForTheNextStart)
{
    ASSERT_TRUE(m_stream.start());
    OptiTrackConnectionParams elsewhere = paramsFor(m_sim);
    elsewhere.serverAddress = "not an address";
    m_stream.setConnectionParams(elsewhere);

    // Still connected to the first server.
    const auto frame = oneBodyFrame(6, 0.0f, 0.0f, 0.0f);
    ASSERT_TRUE(deliverUntilUpdated(m_sim, *frame, m_stream, "optitrack-6"));
    EXPECT_TRUE(m_stream.isRunning());

    ASSERT_TRUE(m_stream.stop());
    EXPECT_FALSE(m_stream.start());
}

TEST_F(ConnectStep, AnyNonZeroConnectionTypeConnectsAsUnicast)
{
    OptiTrackConnectionParams params = paramsFor(m_sim);
    params.connectionType = 7;
    m_stream.setConnectionParams(params);
    ASSERT_TRUE(m_stream.start());
    // Only a unicast client registers with the server and keeps itself alive.
    EXPECT_TRUE(
        m_sim.waitFor([](const auto& c) { return c.clientsConnected == 1 && c.keepAlives > 0; }, 3000ms));
    const auto frame = oneBodyFrame(8, 0.0f, 0.0f, 0.0f);
    EXPECT_TRUE(deliverUntilUpdated(m_sim, *frame, m_stream, "optitrack-8"));
}

TEST_F(ConnectStep, AFailedDescriptionRequestStillStarts)
{
    m_sim.dropNext(NatNet::Sim::MessageKind::ModelDefRequest, 1000);
    ASSERT_TRUE(m_stream.start());
    const Lines lines = streamLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "\n\nRequesting Data Descriptions...");
    EXPECT_EQ(lines.back(), "Unable to retrieve Data Descriptions.");
    EXPECT_EQ(count(4, "Unable to retrieve Data Descriptions."), 1u);
    EXPECT_TRUE(m_stream.isRunning());
}

TEST_F(ConnectStep, TheServersDescriptionsAreReported)
{
    sDataDescriptions models{};
    sRigidBodyDescription body{};
    std::snprintf(body.szName, sizeof body.szName, "%s", "Probe");
    body.ID = 3;
    body.parentID = -1;
    sMarkerSetDescription set{};
    std::snprintf(set.szName, sizeof set.szName, "%s", "Probe");
    char marker[] = "Probe_1";
    char* names[] = {marker};
    set.nMarkers = 1;
    set.szMarkerNames = names;
    models.nDataDescriptions = 2;
    models.arrDataDescriptions[0].type = Descriptor_MarkerSet;
    models.arrDataDescriptions[0].Data.MarkerSetDescription = &set;
    models.arrDataDescriptions[1].type = Descriptor_RigidBody;
    models.arrDataDescriptions[1].Data.RigidBodyDescription = &body;
    m_sim.setDataDescriptions(models);

    ASSERT_TRUE(m_stream.start());
    const Lines lines = streamLines();
    const Lines tail(lines.end() - 9, lines.end());
    const Lines expected = {
        "Received 2 Data Descriptions: ",
        "Data Description # 0 (type=0)",
        "MarkerSet Name: Probe",
        "Probe_1 ",
        "Data Description # 1 (type=1)",
        "RigidBody Name: Probe",
        "RigidBody ID: 3",
        "RigidBody Parent ID: -1",
        "Parent Offset: 0, 0, 0",
    };
    EXPECT_EQ(tail, expected);
}

}  // namespace
}  // namespace Quorvane::Testing
