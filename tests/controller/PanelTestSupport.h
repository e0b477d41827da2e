#pragma once

// What the panel suites share: settings isolated per test, an OptiTrack IO algorithm that
// holds a stream, and waiting on a condition while Qt delivers queued calls.

#include "controller/OptiTrackController.h"
#include "controller/OptiTrackServerDiscovery.h"
#include "controller/Ui_OptiTrackController.h"
#include "stream/OptiTrackStream.h"

#include <Quorvane/Core/Properties.h>
#include <Quorvane/Core/RecordingLogSink.h>
#include <Quorvane/Core/ScopedLogCapture.h>
#include <Quorvane/Stream/CreateStreamIoAlgorithm.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace Quorvane::Support {

using OptiTrackIoAlgorithm = CreateStreamIoAlgorithm<OptiTrackStream, 0, 0>;

/// Runs Qt's event loop until `condition` holds or `timeout` has passed.
inline bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeout.count()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

/// The six connection keys of a stream, as `configuration` writes them.
struct StreamParams
{
    int connectionType = -1;
    std::string serverAddress;
    std::string localAddress;
    std::string multicastAddress;
    unsigned short commandPort = 0;
    unsigned short dataPort = 0;
};

inline StreamParams paramsOf(const OptiTrackStream& stream)
{
    Properties properties;
    stream.configuration(&properties);
    StreamParams params;
    properties.param("connectionType", params.connectionType);
    properties.param("serverAddress", params.serverAddress);
    properties.param("localAddress", params.localAddress);
    properties.param("multicastAddress", params.multicastAddress);
    properties.param("commandPort", params.commandPort);
    properties.param("dataPort", params.dataPort);
    return params;
}

class PanelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(settingsDir.isValid());
        QSettings::setDefaultFormat(QSettings::IniFormat);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, settingsDir.path() + "/system");
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        static int counter = 0;
        QCoreApplication::setOrganizationName(QStringLiteral("QuorvaneControllerTest%1").arg(++counter));
        QCoreApplication::setApplicationName(QString::fromStdString(std::string(info->test_suite_name()) + "." +
                                                                    info->name())
                                                 .replace('/', '_'));
    }

    /// The stream the algorithm holds after execute() with no flags: created, not opened.
    OptiTrackStream* executeAlgorithm()
    {
        algorithm.execute();
        return dynamic_cast<OptiTrackStream*>(algorithm.currentStream());
    }

    void store(const QString& key, const QVariant& value)
    {
        QSettings settings;
        settings.setValue(key, value);
    }

    QVariant stored(const QString& key) const
    {
        QSettings settings;
        return settings.value(key);
    }

    std::unique_ptr<OptiTrackController> makePanel()
    {
        auto panel = std::make_unique<OptiTrackController>(&algorithm);
        panel->init();
        return panel;
    }

    static Ui_OptiTrackController widgets(const OptiTrackController& panel)
    {
        Ui_OptiTrackController ui;
        ui.connectionComboBox = panel.findChild<QComboBox*>(QStringLiteral("connectionComboBox"));
        ui.multicastWidget = panel.findChild<QWidget*>(QStringLiteral("multicastWidget"));
        ui.serversList = panel.findChild<QListWidget*>(QStringLiteral("serversList"));
        ui.unicastWidget = panel.findChild<QWidget*>(QStringLiteral("unicastWidget"));
        ui.serverAddressLineEdit = panel.findChild<QLineEdit*>(QStringLiteral("serverAddressLineEdit"));
        ui.commandPortSpinBox = panel.findChild<QSpinBox*>(QStringLiteral("commandPortSpinBox"));
        ui.dataPortSpinBox = panel.findChild<QSpinBox*>(QStringLiteral("dataPortSpinBox"));
        ui.connectPushButton = panel.findChild<QPushButton*>(QStringLiteral("connectPushButton"));
        return ui;
    }

    static void announce(OptiTrackController& panel, const sNatNetDiscoveredServer& record)
    {
        OptiTrackServerDiscovery::onServerDiscovered(&record, panel.serverDiscovery().discoveryContext());
    }

    QTemporaryDir settingsDir;
    ScopedLogCapture capture{0};
    OptiTrackIoAlgorithm algorithm;
};

}  // namespace Quorvane::Support
