// The panel: settings read in init() and written when it goes, the connection choice driving
// discovery, the server list, selecting a server, and Connect restarting the stream.

#include "LoopbackSink.h"
#include "PanelTestSupport.h"

#include <Quorvane/Stream/DisplayWidgetMulti.h>
#include <Quorvane/Stream/InteractiveView.h>

#include <natnet/sim/Simulator.h>

#include <gtest/gtest.h>

#include <QAbstractItemModel>

#include <atomic>
#include <string>
#include <thread>
#include <tuple>

using namespace std::chrono_literals;

namespace Quorvane {
namespace {

const std::string kLooking = "Looking for servers on the local network";

class ControllerTest : public Support::PanelTest
{
protected:
    std::size_t lookingLogged() const
    {
        return m_capture.sink().count(2, "OptiTrackServerDiscovery", kLooking);
    }
    std::size_t couldNotStart() const { return m_capture.sink().count("Could not start stream"); }
};

TEST_F(ControllerTest, EmptyStoreOpensInUnicastWithEmptyFields)
{
    auto panel = makePanel();
    EXPECT_STREQ(panel->metaObject()->className(), "Quorvane::OptiTrackController");
    EXPECT_EQ(panel->metaObject()->methodCount(), panel->metaObject()->superClass()->methodCount());
    EXPECT_EQ(panel->contentsMargins(), QMargins(9, 9, 9, 9));
    EXPECT_EQ(m_ui.connectionComboBox->currentText(), "Unicast");
    EXPECT_EQ(m_ui.serverAddressLineEdit->text(), "");
    EXPECT_EQ(m_ui.commandPortSpinBox->value(), 0);
    EXPECT_EQ(m_ui.dataPortSpinBox->value(), 0);
    EXPECT_FALSE(m_ui.serversList->isEnabled());
    EXPECT_FALSE(panel->serverDiscovery().isRunning());
    EXPECT_EQ(m_capture.sink().countContaining("servers"), 0u);
    EXPECT_FALSE(panel->display()->view2D(0)->isHidden());
}

TEST_F(ControllerTest, StoredValuesAreShownAndStoredMulticastStartsDiscoveryOnce)
{
    store("optitrackController/connection", 1);
    store("optitrackController/address", "127.0.0.5");
    store("optitrackController/commandport", 70000);  // clamped by the spin box
    store("optitrackController/dataport", "fast");    // not a number: 0
    auto panel = makePanel();
    EXPECT_EQ(m_ui.connectionComboBox->currentText(), "Multicast");
    EXPECT_TRUE(m_ui.serversList->isEnabled());
    EXPECT_TRUE(panel->serverDiscovery().isRunning());
    EXPECT_EQ(lookingLogged(), 1u);
    EXPECT_EQ(m_ui.serverAddressLineEdit->text(), "127.0.0.5");
    EXPECT_EQ(m_ui.commandPortSpinBox->value(), 65535);
    EXPECT_EQ(m_ui.dataPortSpinBox->value(), 0);
}

TEST_F(ControllerTest, DestructionWritesAllFourKeys)
{
    makePanel()->findChild<QLineEdit*>("serverAddressLineEdit")->setText("127.0.0.9");
    EXPECT_EQ(stored("optitrackController/address").toString(), "127.0.0.9");
    ASSERT_TRUE(stored("optitrackController/connection").isValid());
    ASSERT_TRUE(stored("optitrackController/commandport").isValid());
    ASSERT_TRUE(stored("optitrackController/dataport").isValid());
    EXPECT_EQ(stored("optitrackController/connection").toInt(), 0);
    EXPECT_EQ(stored("optitrackController/commandport").toInt(), 0);
}

TEST_F(ControllerTest, MulticastTwiceStartsDiscoveryOnceAndUnicastStopsIt)
{
    auto panel = makePanel();
    m_ui.connectionComboBox->setCurrentIndex(1);
    emit m_ui.connectionComboBox->currentIndexChanged(1);  // the same choice made again
    EXPECT_TRUE(panel->serverDiscovery().isRunning());
    EXPECT_EQ(lookingLogged(), 1u);
    announce(*panel, Support::makeServerRecord("192.168.1.20"));
    ASSERT_TRUE(Support::processEventsUntil([&] { return m_ui.serversList->count() == 1; }, 2s));

    m_ui.connectionComboBox->setCurrentIndex(0);
    EXPECT_FALSE(panel->serverDiscovery().isRunning());
    EXPECT_FALSE(m_ui.serversList->isEnabled());
    EXPECT_EQ(m_ui.serversList->count(), 1);  // what was found stays listed
}

TEST_F(ControllerTest, ArrivingServersRebuildTheListAndDropTheSelection)
{
    auto panel = makePanel();
    Support::ServerRecordFields first;
    first.commandPort = 1610;
    announce(*panel, Support::makeServerRecord(first));
    announce(*panel, Support::makeServerRecord(first));  // announced twice: one row
    ASSERT_TRUE(Support::processEventsUntil([&] { return m_ui.serversList->count() == 1; }, 2s));
    m_ui.serversList->setCurrentRow(0);
    EXPECT_EQ(m_ui.commandPortSpinBox->value(), 1610);

    announce(*panel, Support::makeServerRecord("192.168.1.21"));
    ASSERT_TRUE(Support::processEventsUntil([&] { return m_ui.serversList->count() == 2; }, 2s));
    EXPECT_EQ(m_ui.serversList->currentItem(), nullptr);
    EXPECT_EQ(m_ui.serversList->item(1)->text(), "192.168.1.21");
    EXPECT_EQ(m_ui.serversList->item(1)->data(Qt::UserRole), QVariant(1));
    EXPECT_EQ(m_ui.serverAddressLineEdit->text(), "192.168.1.20");  // the form keeps what was copied
    EXPECT_EQ(m_ui.commandPortSpinBox->value(), 1610);
}

TEST_F(ControllerTest, ServersFoundTogetherCauseOneRebuild)
{
    auto panel = makePanel();
    int rebuilds = 0;
    QObject::connect(m_ui.serversList->model(), &QAbstractItemModel::modelReset, [&rebuilds] { ++rebuilds; });
    // All found before the UI thread runs again: one rebuild lists them all, up to the limit.
    for (int i = 0; i < 1000; ++i) {
        announce(*panel, Support::makeServerRecord("10.2." + std::to_string(i / 250) + "." +
                                                   std::to_string(i % 250)));
    }
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(rebuilds, 1);
    EXPECT_EQ(m_ui.serversList->count(), static_cast<int>(OptiTrackServerDiscovery::kServerLimit));
    EXPECT_EQ(m_ui.serversList->item(255)->text(), "10.2.1.5");
    EXPECT_EQ(m_capture.sink().count(3, "OptiTrackServerDiscovery",
                                     "Server limit of 256 reached; further servers are not listed"),
              1u);
}

TEST_F(ControllerTest, ServersFoundWhileTheListIsRebuiltAreAllListed)
{
    auto panel = makePanel();
    int rebuilds = 0;
    QObject::connect(m_ui.serversList->model(), &QAbstractItemModel::modelReset, [&rebuilds] { ++rebuilds; });
    // Found on another thread, as the library does, while the UI thread rebuilds: none is lost.
    constexpr int kServers = 200;
    std::atomic<bool> done{false};
    std::thread finder([&] {
        for (int i = 0; i < kServers; ++i) {
            announce(*panel, Support::makeServerRecord("10.3.0." + std::to_string(i)));
        }
        done = true;
    });
    const bool listed =
        Support::processEventsUntil([&] { return done && m_ui.serversList->count() == kServers; }, 10s);
    finder.join();
    ASSERT_TRUE(listed) << m_ui.serversList->count();
    EXPECT_LE(rebuilds, kServers);
    EXPECT_EQ(m_ui.serversList->item(kServers - 1)->text(), "10.3.0.199");
}

struct SelectionRow
{
    const char* name;
    bool infoValid, multicast;
    int startIndex, expectedIndex, connectionType, dataPort;
    const char* group;
};

void PrintTo(const SelectionRow& row, std::ostream* out)
{
    *out << row.name;
}

class SelectionTest : public ControllerTest, public ::testing::WithParamInterface<SelectionRow>
{
};

TEST_P(SelectionTest, SelectingAServerCopiesItsConnectionWithoutSwitchingModes)
{
    const SelectionRow& row = GetParam();
    store("optitrackController/connection", row.startIndex);
    auto panel = makePanel();
    const bool discoveryWasRunning = panel->serverDiscovery().isRunning();
    const std::size_t lookingBefore = lookingLogged();
    Support::ServerRecordFields fields;
    fields.connectionInfoValid = row.infoValid;
    fields.multicast = row.multicast;
    fields.commandPort = 1520;
    announce(*panel, Support::makeServerRecord(fields));
    ASSERT_TRUE(Support::processEventsUntil([&] { return m_ui.serversList->count() == 1; }, 2s));
    m_ui.serversList->setCurrentRow(0);

    EXPECT_EQ(m_ui.connectionComboBox->currentIndex(), row.expectedIndex);
    EXPECT_EQ(m_ui.serverAddressLineEdit->text(), "192.168.1.20");
    EXPECT_EQ(m_ui.commandPortSpinBox->value(), 1520);
    EXPECT_EQ(m_ui.dataPortSpinBox->value(), row.dataPort);
    // Shown, not chosen: the connection-type handler did not run.
    EXPECT_EQ(panel->serverDiscovery().isRunning(), discoveryWasRunning);
    EXPECT_EQ(m_ui.serversList->isEnabled(), discoveryWasRunning);
    EXPECT_EQ(lookingLogged(), lookingBefore);
    const OptiTrackConnectionParams& params = panel->connectionParameters();
    EXPECT_EQ(params.connectionType, row.connectionType);
    EXPECT_EQ(params.commandPort, 1520);
    EXPECT_EQ(params.dataPort, row.dataPort);
    EXPECT_EQ(params.localAddress, "192.168.1.5");
    EXPECT_EQ(params.multicastAddress, row.group);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, SelectionTest,
    ::testing::Values(SelectionRow{"Multicast", true, true, 0, 1, 0, 1511, "239.255.42.99"},
                      SelectionRow{"Unicast", true, false, 1, 0, 1, 1511, ""},
                      SelectionRow{"Legacy", false, false, 0, 1, 0, 0, ""}),
    [](const ::testing::TestParamInfo<SelectionRow>& row) { return std::string(row.param.name); });

TEST_F(ControllerTest, ConnectHandsTheFormToTheStream)
{
    auto panel = makePanel();
    m_ui.serverAddressLineEdit->setText("127.0.0.2");
    m_ui.commandPortSpinBox->setValue(1510);
    m_ui.dataPortSpinBox->setValue(1511);
    // A loopback address nothing listens on: the connect stays on this machine and fails.
    ASSERT_EQ(panel->connectionParameters().localAddress, "127.0.0.1");
    m_ui.connectPushButton->click();

    Properties params;
    stream()->configuration(&params);
    int type = -1;
    std::string server;
    std::string local;
    std::string group = "unset";
    unsigned short ports[2] = {0, 0};
    EXPECT_TRUE(params.param("connectionType", type) && params.param("serverAddress", server) &&
                params.param("localAddress", local) && params.param("multicastAddress", group) &&
                params.param("commandPort", ports[0]) && params.param("dataPort", ports[1]));
    EXPECT_EQ(
        std::tie(type, server, local, group, ports[0], ports[1]),
        std::make_tuple(1, std::string("127.0.0.2"), std::string("127.0.0.1"), std::string(), 1510, 1511));
    EXPECT_EQ(couldNotStart(), 1u);
    EXPECT_EQ(m_capture.sink().count(4, "", "Could not start stream"), 1u);
    EXPECT_EQ(m_ui.serverAddressLineEdit->text(), "127.0.0.2");  // nothing else changes
}

TEST_F(ControllerTest, ConnectWhileRunningClosesFirstAndStartsAgain)
{
    NatNet::Sim::SimulatorConfig config;
    config.localAddress = "127.0.0.2";  // so that the address really travels to the client
    NatNet::Sim::Simulator simulator(config);
    ASSERT_TRUE(simulator.start());
    auto panel = makePanel();
    std::vector<Stream::State> states;
    stream()->stateChanged.connect([&states](Stream::State state) { states.push_back(state); });
    m_ui.serverAddressLineEdit->setText("127.0.0.2");
    m_ui.commandPortSpinBox->setValue(simulator.commandPort());
    m_ui.dataPortSpinBox->setValue(simulator.dataPort());

    m_ui.connectPushButton->click();
    ASSERT_TRUE(stream()->isRunning());
    states.clear();
    m_ui.connectPushButton->click();
    EXPECT_TRUE(stream()->isRunning());
    const auto closed = std::find(states.begin(), states.end(), Stream::State::Closed);
    EXPECT_NE(closed, states.end());
    EXPECT_EQ(std::find(states.begin(), closed, Stream::State::Running), closed) << "closed before started";
    EXPECT_TRUE(simulator.waitFor([](const auto& c) { return c.connects >= 2; }, 2s));
    EXPECT_EQ(couldNotStart(), 0u);
    stream()->close();
}

TEST_F(ControllerTest, ConnectWithoutAStreamOnlyReportsIt)
{
    auto never = makePanel(false);  // the algorithm never executed
    m_ui.connectPushButton->click();
    auto panel = makePanel();
    m_algorithm.clearStream();  // the stream this panel was given is destroyed
    m_ui.connectPushButton->click();
    EXPECT_EQ(m_capture.sink().count(4, "", "Could not start stream"), 2u);
}

TEST_F(ControllerTest, NothingReachesAPanelThatIsGone)
{
    // A refresh still queued when the panel goes is dropped (ASan would see it arrive).
    auto panel = makePanel();
    announce(*panel, Support::makeServerRecord("192.168.1.20"));
    panel.reset();
    QCoreApplication::sendPostedEvents();

    // And a panel destroyed while discovery keeps finding a server.
    NatNet::Sim::Simulator simulator;
    ASSERT_TRUE(simulator.start());
    Support::ScopedDiscoveryTargets targets(simulator.commandPort());
    store("optitrackController/connection", 1);
    for (int round = 0; round < 3; ++round) {
        panel = makePanel();
        ASSERT_TRUE(Support::processEventsUntil([&] { return m_ui.serversList->count() == 1; }, 5s)) << round;
        EXPECT_EQ(m_ui.serversList->item(0)->text(), "127.0.0.1");
        const auto seen = simulator.counters().discoveries;
        ASSERT_TRUE(simulator.waitFor([&](const auto& c) { return c.discoveries > seen; }, 2s));
        panel.reset();
        QCoreApplication::sendPostedEvents();
    }
}

}  // namespace
}  // namespace Quorvane
