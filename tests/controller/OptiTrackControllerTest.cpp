// The panel's behaviour: settings read in init() and written on destruction, the connection
// choice driving discovery, Connect restarting the stream, and the server list filled from
// hand-built discovery records.

#include "DiscoveryRecords.h"
#include "LoopbackSink.h"
#include "PanelTestSupport.h"

#include <Quorvane/Stream/DisplayWidgetMulti.h>
#include <Quorvane/Stream/InteractiveView.h>

#include <natnet/sim/Simulator.h>

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

using namespace std::chrono_literals;

namespace Quorvane {
namespace {

const QString kConnectionKey = QStringLiteral("optitrackController/connection");
const QString kAddressKey = QStringLiteral("optitrackController/address");
const QString kCommandPortKey = QStringLiteral("optitrackController/commandport");
const QString kDataPortKey = QStringLiteral("optitrackController/dataport");
const std::string kLooking = "Looking for servers on the local network";
const std::string kCouldNotStart = "Could not start stream";

class ControllerTest : public Support::PanelTest
{
protected:
    std::size_t lookingLogged() const { return capture.sink().count(2, "OptiTrackServerDiscovery", kLooking); }
};

// ---- settings ----------------------------------------------------------------------------

TEST_F(ControllerTest, EmptyStoreOpensInUnicastWithEmptyFields)
{
    executeAlgorithm();
    auto panel = makePanel();
    const Ui_OptiTrackController ui = widgets(*panel);

    EXPECT_EQ(ui.connectionComboBox->currentIndex(), 0);
    EXPECT_EQ(ui.connectionComboBox->currentText(), "Unicast");
    EXPECT_EQ(ui.serverAddressLineEdit->text(), "");
    EXPECT_EQ(ui.commandPortSpinBox->value(), 0);
    EXPECT_EQ(ui.dataPortSpinBox->value(), 0);
    EXPECT_FALSE(ui.multicastWidget->isEnabled());
    EXPECT_FALSE(ui.serversList->isEnabled());
    EXPECT_FALSE(panel->serverDiscovery().isRunning());
    EXPECT_EQ(capture.sink().countContaining("servers"), 0u);
    // init() shows the host display's first 2D view.
    ASSERT_NE(panel->display(), nullptr);
    EXPECT_FALSE(panel->display()->view2D(0)->isHidden());
}

TEST_F(ControllerTest, StoredMulticastOpensInMulticastWithDiscoveryRunning)
{
    store(kConnectionKey, 1);
    store(kAddressKey, QStringLiteral("127.0.0.5"));
    store(kCommandPortKey, 3000);
    store(kDataPortKey, 3001);
    executeAlgorithm();
    auto panel = makePanel();
    const Ui_OptiTrackController ui = widgets(*panel);

    EXPECT_EQ(ui.connectionComboBox->currentText(), "Multicast");
    EXPECT_TRUE(ui.multicastWidget->isEnabled());
    EXPECT_TRUE(ui.serversList->isEnabled());
    EXPECT_TRUE(panel->serverDiscovery().isRunning());
    EXPECT_EQ(lookingLogged(), 1u);
    EXPECT_EQ(ui.serverAddressLineEdit->text(), "127.0.0.5");
    EXPECT_EQ(ui.commandPortSpinBox->value(), 3000);
    EXPECT_EQ(ui.dataPortSpinBox->value(), 3001);
}

TEST_F(ControllerTest, StoredValuesOfTheWrongTypeOrRangeReadAsTheFormCanShowThem)
{
    struct Row
    {
        const char* name;
        QVariant connection, address, commandPort, dataPort;
        int expectedIndex;
        const char* expectedAddress;
        int expectedCommandPort, expectedDataPort;
    };
    const std::vector<Row> rows = {
        {"text where numbers belong", "multicast", "127.0.0.7", "fast", "1511x", 0, "127.0.0.7", 0, 0},
        {"ports out of range", 0, "", 70000, -4, 0, "", 65535, 0},
        {"numbers as text", "1", 1234, "1510", "1511", 1, "1234", 1510, 1511},
        {"unknown connection index", 5, "a", 1, 2, -1, "a", 1, 2},
    };
    executeAlgorithm();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        store(kConnectionKey, row.connection);
        store(kAddressKey, row.address);
        store(kCommandPortKey, row.commandPort);
        store(kDataPortKey, row.dataPort);
        auto panel = makePanel();
        const Ui_OptiTrackController ui = widgets(*panel);
        // An index the combo box does not have leaves it without a current item.
        EXPECT_EQ(ui.connectionComboBox->currentIndex(), row.expectedIndex);
        EXPECT_EQ(ui.serverAddressLineEdit->text(), row.expectedAddress);
        EXPECT_EQ(ui.commandPortSpinBox->value(), row.expectedCommandPort);
        EXPECT_EQ(ui.dataPortSpinBox->value(), row.expectedDataPort);
    }
}

TEST_F(ControllerTest, DestructionWritesAllFourKeys)
{
    executeAlgorithm();
    {
        auto panel = makePanel();
        widgets(*panel).serverAddressLineEdit->setText("127.0.0.9");
    }
    EXPECT_EQ(stored(kConnectionKey).toInt(), 0);
    EXPECT_EQ(stored(kAddressKey).toString(), "127.0.0.9");
    ASSERT_TRUE(stored(kCommandPortKey).isValid());
    ASSERT_TRUE(stored(kDataPortKey).isValid());
    EXPECT_EQ(stored(kCommandPortKey).toInt(), 0);
    EXPECT_EQ(stored(kDataPortKey).toInt(), 0);

    {
        auto panel = makePanel();
        const Ui_OptiTrackController ui = widgets(*panel);
        ui.connectionComboBox->setCurrentIndex(1);
        ui.commandPortSpinBox->setValue(41510);
        ui.dataPortSpinBox->setValue(41511);
    }
    EXPECT_EQ(stored(kConnectionKey).toInt(), 1);
    EXPECT_EQ(stored(kAddressKey).toString(), "127.0.0.9");
    EXPECT_EQ(stored(kCommandPortKey).toInt(), 41510);
    EXPECT_EQ(stored(kDataPortKey).toInt(), 41511);

    // What one panel wrote, the next one shows.
    auto panel = makePanel();
    const Ui_OptiTrackController ui = widgets(*panel);
    EXPECT_EQ(ui.connectionComboBox->currentIndex(), 1);
    EXPECT_EQ(ui.commandPortSpinBox->value(), 41510);
}

// ---- connection choice and discovery -----------------------------------------------------

TEST_F(ControllerTest, MulticastTwiceStartsDiscoveryOnceAndUnicastStopsIt)
{
    executeAlgorithm();
    auto panel = makePanel();
    const Ui_OptiTrackController ui = widgets(*panel);

    ui.connectionComboBox->setCurrentIndex(1);
    // The same choice again, as a user re-selecting the item would signal it.
    emit ui.connectionComboBox->currentIndexChanged(1);
    EXPECT_TRUE(panel->serverDiscovery().isRunning());
    EXPECT_TRUE(ui.serversList->isEnabled());
    EXPECT_EQ(lookingLogged(), 1u);

    announce(*panel, Support::makeServerRecord("192.168.1.20"));
    ASSERT_TRUE(Support::waitUntil([&] { return ui.serversList->count() == 1; }, 2s));

    ui.connectionComboBox->setCurrentIndex(0);
    EXPECT_FALSE(panel->serverDiscovery().isRunning());
    EXPECT_FALSE(ui.serversList->isEnabled());
    EXPECT_EQ(ui.serversList->count(), 1);  // what was found stays listed

    ui.connectionComboBox->setCurrentIndex(1);
    EXPECT_EQ(lookingLogged(), 2u);
}

TEST_F(ControllerTest, ArrivingServersRebuildTheListAndDropTheSelection)
{
    executeAlgorithm();
    auto panel = makePanel();
    const Ui_OptiTrackController ui = widgets(*panel);
    ui.connectionComboBox->setCurrentIndex(1);

    Support::ServerRecordSpec first;
    first.serverAddress = "192.168.1.20";
    first.commandPort = 1610;
    first.dataPort = 1611;
    announce(*panel, Support::makeServerRecord(first));
    announce(*panel, Support::makeServerRecord(first));  // the same server again: no new row
    ASSERT_TRUE(Support::waitUntil([&] { return ui.serversList->count() == 1; }, 2s));
    EXPECT_EQ(ui.serversList->item(0)->text(), "192.168.1.20");
    EXPECT_EQ(ui.serversList->item(0)->data(Qt::UserRole), QVariant(0));

    ui.serversList->setCurrentRow(0);
    EXPECT_EQ(ui.serverAddressLineEdit->text(), "192.168.1.20");
    EXPECT_EQ(ui.commandPortSpinBox->value(), 1610);

    announce(*panel, Support::makeServerRecord("192.168.1.21"));
    ASSERT_TRUE(Support::waitUntil([&] { return ui.serversList->count() == 2; }, 2s));
    EXPECT_EQ(ui.serversList->currentItem(), nullptr);
    EXPECT_TRUE(ui.serversList->selectedItems().isEmpty());
    EXPECT_EQ(ui.serversList->item(1)->text(), "192.168.1.21");
    EXPECT_EQ(ui.serversList->item(1)->data(Qt::UserRole), QVariant(1));
    // The form keeps what the earlier selection copied into it.
    EXPECT_EQ(ui.serverAddressLineEdit->text(), "192.168.1.20");
    EXPECT_EQ(ui.commandPortSpinBox->value(), 1610);
    EXPECT_EQ(ui.dataPortSpinBox->value(), 1611);
    EXPECT_EQ(panel->connectionParameters().serverAddress, "192.168.1.20");
}

struct SelectionRow
{
    const char* name;
    Support::ServerRecordSpec server;
    int startIndex;  // the combo box before the selection
    int expectedIndex;
    std::int32_t connectionType;
    std::uint16_t commandPort, dataPort;
    const char* multicastAddress;
};

Support::ServerRecordSpec serverSpec(bool infoValid, bool multicast, std::uint16_t commandPort, std::uint16_t dataPort)
{
    Support::ServerRecordSpec spec;
    spec.serverAddress = "192.168.1.20";
    spec.localAddress = "192.168.1.5";
    spec.connectionInfoValid = infoValid;
    spec.multicast = multicast;
    spec.commandPort = commandPort;
    spec.dataPort = dataPort;
    spec.group = {239, 255, 42, 99};
    return spec;
}

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
    store(kConnectionKey, row.startIndex);
    executeAlgorithm();
    auto panel = makePanel();
    const Ui_OptiTrackController ui = widgets(*panel);
    const bool discoveryWasRunning = panel->serverDiscovery().isRunning();
    const bool listWasEnabled = ui.multicastWidget->isEnabled();
    const std::size_t lookingBefore = lookingLogged();

    announce(*panel, Support::makeServerRecord(row.server));
    ASSERT_TRUE(Support::waitUntil([&] { return ui.serversList->count() == 1; }, 2s));
    ui.serversList->setCurrentRow(0);

    EXPECT_EQ(ui.connectionComboBox->currentIndex(), row.expectedIndex);
    EXPECT_EQ(ui.serverAddressLineEdit->text(), "192.168.1.20");
    EXPECT_EQ(ui.commandPortSpinBox->value(), row.commandPort);
    EXPECT_EQ(ui.dataPortSpinBox->value(), row.dataPort);
    // Shown, not chosen: the connection-type handler did not run.
    EXPECT_EQ(panel->serverDiscovery().isRunning(), discoveryWasRunning);
    EXPECT_EQ(ui.multicastWidget->isEnabled(), listWasEnabled);
    EXPECT_EQ(lookingLogged(), lookingBefore);
    EXPECT_FALSE(ui.connectionComboBox->signalsBlocked());

    const OptiTrackConnectionParams& params = panel->connectionParameters();
    EXPECT_EQ(params.connectionType, row.connectionType);
    EXPECT_EQ(params.commandPort, row.commandPort);
    EXPECT_EQ(params.dataPort, row.dataPort);
    EXPECT_EQ(params.serverAddress, "192.168.1.20");
    EXPECT_EQ(params.localAddress, "192.168.1.5");
    EXPECT_EQ(params.multicastAddress, row.multicastAddress);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, SelectionTest,
    ::testing::Values(
        SelectionRow{"MulticastServerFromUnicast", serverSpec(true, true, 1510, 1511), 0, 1, 0, 1510, 1511,
                     "239.255.42.99"},
        SelectionRow{"UnicastServerFromMulticast", serverSpec(true, false, 1510, 1511), 1, 0, 1, 1510, 1511, ""},
        SelectionRow{"LegacyServerWithoutConnectionInfo", serverSpec(false, false, 1520, 1521), 0, 1, 0, 1520, 0,
                     ""}),
    [](const ::testing::TestParamInfo<SelectionRow>& row) { return std::string(row.param.name); });

// ---- Connect -----------------------------------------------------------------------------

TEST_F(ControllerTest, ConnectHandsTheFormToTheStream)
{
    OptiTrackStream* stream = executeAlgorithm();
    ASSERT_NE(stream, nullptr);
    auto panel = makePanel();
    const Ui_OptiTrackController ui = widgets(*panel);
    ui.connectionComboBox->setCurrentIndex(0);
    ui.serverAddressLineEdit->setText("10.0.0.2");
    ui.commandPortSpinBox->setValue(1510);
    ui.dataPortSpinBox->setValue(1511);
    // No datagram can leave for 10.0.0.2: the client's command socket is bound to the local
    // address 127.0.0.1 (no server was selected), and the kernel routes nothing from a loopback
    // source to another network. The start fails instead.
    ASSERT_EQ(panel->connectionParameters().localAddress, "127.0.0.1");
    capture.sink().clear();

    ui.connectPushButton->click();

    const Support::StreamParams params = Support::paramsOf(*stream);
    EXPECT_EQ(params.connectionType, 1);
    EXPECT_EQ(params.serverAddress, "10.0.0.2");
    EXPECT_EQ(params.commandPort, 1510);
    EXPECT_EQ(params.dataPort, 1511);
    EXPECT_EQ(params.localAddress, "127.0.0.1");
    EXPECT_EQ(params.multicastAddress, "");
    EXPECT_FALSE(stream->isRunning());
    EXPECT_EQ(capture.sink().count(kCouldNotStart), 1u);
    EXPECT_EQ(capture.sink().count(4, "", kCouldNotStart), 1u);
    // Nothing else changes.
    EXPECT_EQ(ui.serverAddressLineEdit->text(), "10.0.0.2");
    EXPECT_EQ(ui.connectionComboBox->currentIndex(), 0);
}

TEST_F(ControllerTest, ConnectWhileRunningClosesFirstAndStartsWithTheNewParameters)
{
    // A server on 127.0.0.2, so that the address really travels from the form to the client.
    NatNet::Sim::SimulatorConfig config;
    config.localAddress = "127.0.0.2";
    NatNet::Sim::Simulator simulator(config);
    std::string error;
    ASSERT_TRUE(simulator.start(&error)) << error;

    OptiTrackStream* stream = executeAlgorithm();
    ASSERT_NE(stream, nullptr);
    std::vector<Stream::State> states;
    stream->stateChanged.connect([&states](Stream::State state) { states.push_back(state); });
    auto panel = makePanel();
    const Ui_OptiTrackController ui = widgets(*panel);
    ui.serverAddressLineEdit->setText("127.0.0.2");
    ui.commandPortSpinBox->setValue(simulator.commandPort());
    ui.dataPortSpinBox->setValue(simulator.dataPort());

    ui.connectPushButton->click();
    ASSERT_TRUE(stream->isRunning()) << "first Connect";
    EXPECT_EQ(Support::paramsOf(*stream).serverAddress, "127.0.0.2");
    ASSERT_TRUE(simulator.waitFor([](const NatNet::Sim::SimulatorCounters& c) { return c.connects >= 1; }, 2s));

    states.clear();
    ui.connectPushButton->click();
    EXPECT_TRUE(stream->isRunning()) << "second Connect";
    ASSERT_GE(states.size(), 2u);
    // Closed before it was started again.
    EXPECT_EQ(states.front(), Stream::State::Open);
    EXPECT_NE(std::find(states.begin(), states.end(), Stream::State::Closed), states.end());
    EXPECT_EQ(states.back(), Stream::State::Running);
    EXPECT_LT(std::find(states.begin(), states.end(), Stream::State::Closed) - states.begin(),
              std::find(states.begin(), states.end(), Stream::State::Running) - states.begin());
    EXPECT_TRUE(simulator.waitFor([](const NatNet::Sim::SimulatorCounters& c) { return c.connects >= 2; }, 2s));
    EXPECT_EQ(capture.sink().count(kCouldNotStart), 0u);
    stream->close();
}

TEST_F(ControllerTest, ConnectWithoutAStreamOnlyReportsIt)
{
    // The algorithm never executed: there is no stream to start.
    auto panel = makePanel();
    widgets(*panel).connectPushButton->click();
    EXPECT_EQ(capture.sink().count(4, "", kCouldNotStart), 1u);
}

TEST_F(ControllerTest, ConnectAfterTheStreamWasDestroyedDoesNotTouchIt)
{
    executeAlgorithm();
    auto panel = makePanel();
    algorithm.clearStream();  // destroys the stream the panel was given
    capture.sink().clear();
    widgets(*panel).connectPushButton->click();
    EXPECT_EQ(capture.sink().count(4, "", kCouldNotStart), 1u);
}

// ---- lifetime ----------------------------------------------------------------------------

TEST_F(ControllerTest, ARefreshStillQueuedWhenThePanelGoesIsDropped)
{
    executeAlgorithm();
    auto panel = makePanel();
    announce(*panel, Support::makeServerRecord("192.168.1.20"));  // posts the list refresh
    panel.reset();
    // Delivering it now would reach a destroyed panel (ASan reports it).
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
    SUCCEED();
}

TEST_F(ControllerTest, DestroyingThePanelWhileDiscoveryFindsServers)
{
    NatNet::Sim::Simulator simulator;
    ASSERT_TRUE(simulator.start());
    Support::ScopedDiscoveryTargets targets("127.0.0.1:" + std::to_string(simulator.commandPort()));
    ASSERT_TRUE(targets.ok());
    NatNetExt::SetDiscoveryIntervalMs(20);
    store(kConnectionKey, 1);
    executeAlgorithm();
    for (int round = 0; round < 3; ++round) {
        auto panel = makePanel();
        ASSERT_TRUE(panel->serverDiscovery().isRunning());
        QListWidget* list = widgets(*panel).serversList;
        ASSERT_TRUE(Support::waitUntil([&] { return list->count() == 1; }, 5s)) << "round " << round;
        EXPECT_EQ(list->item(0)->text(), "127.0.0.1");
        // Announcements keep being answered while the panel goes.
        ASSERT_TRUE(simulator.waitFor([](const NatNet::Sim::SimulatorCounters& c) { return c.discoveries >= 2; }, 2s));
        panel.reset();
        QCoreApplication::processEvents();
    }
    NatNetExt::SetDiscoveryIntervalMs(1000);
}

}  // namespace
}  // namespace Quorvane
