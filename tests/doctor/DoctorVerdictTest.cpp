// Each verdict from a situation built for real: the simulator in unicast and
// multicast on loopback, and, inside network namespaces the tests create,
// firewall rules, a missing route and a second interface.
#include "Doctor.h"
#include "DoctorTestSupport.h"
#include "ImpairingUdpRelay.h"
#include "LocalNetwork.h"
#include "NetnsSandbox.h"

#include <gtest/gtest.h>

namespace {

using DoctorTest::describe;
using DoctorTest::findCheck;
using DoctorTest::NetnsSandbox;
using DoctorTest::optionsFor;
using DoctorTest::SimulatedServer;
using NatNet::Doctor::examine;
using NatNet::Doctor::Mode;
using NatNet::Doctor::Report;
using NatNet::Doctor::Verdict;

// Declares `sandbox`, or skips the test with the reason. The argument is the name the macro
// declares, which cannot be parenthesized.
#define REQUIRE_SANDBOX(sandbox)                                                                 \
    std::string whyNot;                                                                          \
    const auto sandbox = NetnsSandbox::create(&whyNot); /* NOLINT(bugprone-macro-parentheses) */ \
    if (!(sandbox)) GTEST_SKIP() << "skipped: " << whyNot

struct ServerAndMode
{
    const char* name;
    bool multicastServer;
    Mode asked;
};

std::string rowName(const ::testing::TestParamInfo<ServerAndMode>& row)
{
    return row.param.name;
}

// A simulated server in the row's mode, started before each row's checks.
class ServerInRowMode : public ::testing::TestWithParam<ServerAndMode>
{
protected:
    void SetUp() override { ASSERT_TRUE(m_server.start(GetParam().multicastServer)); }

    SimulatedServer m_server;
};

using DoctorVerdictOk = ServerInRowMode;

TEST_P(DoctorVerdictOk, WhenFramesWithRigidBodiesArrive)
{
    const ServerAndMode& c = GetParam();
    auto options = optionsFor(*m_server.sim, c.asked);
    if (c.asked == Mode::Auto) options.dataPort = 1511;  // auto takes the server's own data port
    const Report report = examine(options);
    ASSERT_EQ(report.verdict, Verdict::Ok) << describe(report);
    for (const auto& check : report.checks) EXPECT_TRUE(check.ok) << check.check;
    const auto* bodies = findCheck(report, "rigid-bodies");
    ASSERT_NE(bodies, nullptr);
    EXPECT_NE(bodies->detail.find("\"Probe\""), std::string::npos) << bodies->detail;
    EXPECT_NE(findCheck(report, "round-trip"), nullptr);
    const std::string mode = c.multicastServer ? "connectionType=multicast" : "connectionType=unicast";
    EXPECT_NE(report.command.find(mode), std::string::npos) << report.command;
    EXPECT_NE(report.command.find("--set dataPort=" + std::to_string(m_server.sim->dataPort())),
              std::string::npos)
        << report.command;
}

const ServerAndMode kMatchingModes[] = {
    {"UnicastServerAuto", false, Mode::Auto},
    {"UnicastServerUnicastAsked", false, Mode::Unicast},
    {"MulticastServerMulticastAsked", true, Mode::Multicast},
    {"MulticastServerAuto", true, Mode::Auto},
};

INSTANTIATE_TEST_SUITE_P(Modes, DoctorVerdictOk, ::testing::ValuesIn(kMatchingModes), rowName);

using DoctorVerdictModeMismatch = ServerInRowMode;

TEST_P(DoctorVerdictModeMismatch, NamesTheServersModePortAndGroup)
{
    const ServerAndMode& c = GetParam();
    const Report report = examine(optionsFor(*m_server.sim, c.asked));
    ASSERT_EQ(report.verdict, Verdict::ModeMismatch) << describe(report);
    const auto& mode = report.checks.back();
    EXPECT_EQ(mode.check, "mode");
    EXPECT_NE(mode.detail.find("data port " + std::to_string(m_server.sim->dataPort())), std::string::npos)
        << mode.detail;
    if (c.multicastServer) {
        EXPECT_NE(mode.detail.find("multicast"), std::string::npos);
        EXPECT_NE(mode.detail.find("group 239.255.42.99"), std::string::npos) << mode.detail;
    }
    // The command that fits is the server's way, not the one asked.
    EXPECT_NE(report.command.find(c.multicastServer ? "connectionType=multicast" : "connectionType=unicast"),
              std::string::npos)
        << report.command;
}

const ServerAndMode kMismatchedModes[] = {
    {"MulticastServerUnicastAsked", true, Mode::Unicast},
    {"UnicastServerMulticastAsked", false, Mode::Multicast},
};

INSTANTIATE_TEST_SUITE_P(Modes, DoctorVerdictModeMismatch, ::testing::ValuesIn(kMismatchedModes), rowName);

TEST(DoctorVerdict, ServerSilentWhenNothingAnswers)
{
    SimulatedServer server;
    ASSERT_TRUE(server.start(false));
    server.sim->setSilent(true);
    const Report report = examine(optionsFor(*server.sim, Mode::Auto, 0.5));
    ASSERT_EQ(report.verdict, Verdict::ServerSilent) << describe(report);
    EXPECT_EQ(report.checks.back().check, "server-answers");
    EXPECT_FALSE(report.checks.back().fix.empty());
}

TEST(DoctorVerdict, NoRigidBodiesWhenFramesCarryNone)
{
    SimulatedServer server;
    ASSERT_TRUE(server.start(false, "127.0.0.1", 0));
    const Report report = examine(optionsFor(*server.sim, Mode::Unicast));
    ASSERT_EQ(report.verdict, Verdict::NoRigidBodies) << describe(report);
    ASSERT_NE(findCheck(report, "frames"), nullptr);
    EXPECT_TRUE(findCheck(report, "frames")->ok);
}

// A lossy link: the impairing relay between the doctor and the simulator drops
// frames at random (seeded); without loss (the control row) the same path is ok.
TEST(DoctorVerdict, FramesLostOverALossyLink)
{
    struct Case
    {
        const char* name;
        double loss;
        Verdict expected;
    };
    const Case cases[] = {
        {"no loss", 0.0, Verdict::Ok},
        {"one frame in ten lost", 0.1, Verdict::FramesLost},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedServer server;
        ASSERT_TRUE(server.start(false));
        Quorvane::TestSupport::ImpairingUdpRelayConfig config;
        config.serverCommandPort = server.sim->commandPort();
        config.serverDataPort = server.sim->dataPort();
        Quorvane::TestSupport::ImpairingUdpRelay relay(config);
        std::string error;
        ASSERT_TRUE(relay.start(&error)) << error;
        Quorvane::TestSupport::Impairment lossy;
        lossy.loss = c.loss;
        relay.setImpairment(Quorvane::TestSupport::RelayPath::Frames, lossy);

        auto options = optionsFor(*server.sim, Mode::Unicast);
        options.server = relay.address();
        options.commandPort = relay.commandPort();
        const Report report = examine(options);
        ASSERT_EQ(report.verdict, c.expected) << describe(report);
        const auto* loss = findCheck(report, "loss");
        ASSERT_NE(loss, nullptr);
        EXPECT_NE(loss->detail.find("Hz"), std::string::npos) << loss->detail;
        EXPECT_NE(loss->detail.find("kernel receive-buffer drops"), std::string::npos) << loss->detail;
        if (c.loss > 0.0) {
            EXPECT_GT(relay.counters(Quorvane::TestSupport::RelayPath::Frames).lost, 0u);
            EXPECT_FALSE(loss->fix.empty());
        }
    }
}

TEST(DoctorVerdict, NoLocalInterfaceListsThisMachinesAddresses)
{
    const auto addresses = NatNet::Doctor::localAddresses();
    std::string foreign;
    for (const char* candidate : {"198.51.100.77", "203.0.113.77", "192.0.2.177"}) {
        if (!NatNet::Doctor::findAddress(addresses, candidate)) {
            foreign = candidate;
            break;
        }
    }
    ASSERT_FALSE(foreign.empty());
    NatNet::Doctor::DoctorOptions options;
    options.server = "127.0.0.1";
    options.local = foreign;
    options.seconds = 0.5;
    const Report report = examine(options);
    ASSERT_EQ(report.verdict, Verdict::NoLocalInterface) << describe(report);
    ASSERT_EQ(report.checks.size(), 1u);
    EXPECT_NE(report.checks[0].detail.find("lo 127.0.0.1"), std::string::npos) << report.checks[0].detail;
    EXPECT_NE(report.command.find("localAddress=127.0.0.1"), std::string::npos) << report.command;
}

TEST(DoctorVerdictNetns, NoRouteWhereNoInterfaceReachesTheServer)
{
    REQUIRE_SANDBOX(sandbox);
    Report report;
    ASSERT_TRUE(sandbox->run([&] {
        NatNet::Doctor::DoctorOptions options;
        options.server = "10.203.0.1";
        options.seconds = 0.5;
        report = examine(options);
    }));
    ASSERT_EQ(report.verdict, Verdict::NoRoute) << describe(report);
    EXPECT_EQ(report.checks.back().check, "route");
    EXPECT_NE(report.checks.back().detail.find("lo 127.0.0.1"), std::string::npos);
}

// Firewall rules inside the namespace: one drops what reaches the command
// port, the other frames that come from the data port.
TEST(DoctorVerdictNetns, FirewallOnCommandPortOrDataPort)
{
    if (!DoctorTest::haveNft()) GTEST_SKIP() << "skipped: nft is not installed (scripts/install-deps.sh)";
    struct Case
    {
        const char* name;
        bool dropCommand;
        Verdict expected;
    };
    const Case cases[] = {
        {"command port dropped", true, Verdict::ServerSilent},
        {"data port dropped", false, Verdict::NoFrames},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        REQUIRE_SANDBOX(sandbox);
        SimulatedServer server;
        Report report;
        ASSERT_TRUE(sandbox->run([&] {
            if (!server.start(false)) return;
            const std::string rule = c.dropCommand ? "udp dport " + std::to_string(server.sim->commandPort())
                                                   : "udp sport " + std::to_string(server.sim->dataPort());
            std::string output;
            const bool ruled = sandbox->exec(
                "nft add table inet doctor && nft add chain inet doctor input "
                "\"{ type filter hook input priority 0; }\" && nft add rule inet doctor input " +
                    rule + " drop",
                &output);
            if (!ruled) {
                ADD_FAILURE() << "nft: " << output;
                return;
            }
            report = examine(optionsFor(*server.sim, Mode::Unicast, 1.0));
        }));
        ASSERT_TRUE(server.sim && server.sim->isRunning());
        EXPECT_EQ(report.verdict, c.expected) << describe(report);
        server.sim.reset();
    }
}

// Two interfaces on two subnets (veth pairs): the server streams multicast
// from one; told to listen on the other, the doctor sees no frame, while on
// the right one (the control row) it does.
TEST(DoctorVerdictNetns, MulticastNotReceivedOnTheWrongInterface)
{
    struct Case
    {
        const char* name;
        const char* local;
        Verdict expected;
    };
    const Case cases[] = {
        {"wrong interface", "10.201.2.1", Verdict::MulticastNotReceived},
        {"right interface", "10.201.1.1", Verdict::Ok},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        REQUIRE_SANDBOX(sandbox);
        std::string output;
        ASSERT_TRUE(
            sandbox->exec("ip link add track0 type veth peer name track1 && "
                          "ip link add office0 type veth peer name office1 && "
                          "ip addr add 10.201.1.1/24 dev track0 && ip addr add 10.201.2.1/24 dev office0 && "
                          "ip link set track1 up && ip link set track0 up && "
                          "ip link set office1 up && ip link set office0 up",
                          &output))
            << output;
        SimulatedServer server;
        Report report;
        ASSERT_TRUE(sandbox->run([&] {
            if (!server.start(true, "10.201.1.1")) return;
            auto options = optionsFor(*server.sim, Mode::Multicast);
            options.local = c.local;
            report = examine(options);
        }));
        ASSERT_TRUE(server.sim && server.sim->isRunning());
        ASSERT_EQ(report.verdict, c.expected) << describe(report);
        if (c.expected == Verdict::MulticastNotReceived) {
            const auto& frames = report.checks.back();
            EXPECT_NE(frames.detail.find("10.201.2.1"), std::string::npos) << frames.detail;
            EXPECT_NE(frames.fix.find("give --local 10.201.1.1"), std::string::npos) << frames.fix;
            EXPECT_NE(report.command.find("localAddress=10.201.1.1"), std::string::npos) << report.command;
        }
        server.sim.reset();
    }
}

}  // namespace
