#pragma once

// What the panel suites share: settings isolated per test (INI files in a temporary folder,
// names unique per test) and an OptiTrack IO algorithm.

#include "DiscoveryRecords.h"
#include "ProcessEvents.h"

#include "controller/OptiTrackController.h"
#include "controller/OptiTrackServerDiscovery.h"
#include "stream/OptiTrackStream.h"

// Written by uic from controller/OptiTrackController.ui.
#include "ui_OptiTrackController.h"

#include <Quorvane/Core/RecordingLogSink.h>
#include <Quorvane/Core/ScopedLogCapture.h>
#include <Quorvane/Stream/CreateStreamIoAlgorithm.h>

#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>

namespace Quorvane::Support {

using TestSupport::processEventsUntil;

class PanelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_settingsDir.isValid());
        QSettings::setDefaultFormat(QSettings::IniFormat);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settingsDir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, m_settingsDir.path() + "/system");
        static int counter = 0;
        QCoreApplication::setOrganizationName(QStringLiteral("QuorvaneControllerTest%1").arg(++counter));
        QCoreApplication::setApplicationName(
            QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name())
                .replace('/', '_'));
    }

    /// The panel over the algorithm's stream (created, not opened, unless `execute` is false).
    std::unique_ptr<OptiTrackController> makePanel(bool execute = true)
    {
        if (execute && m_algorithm.currentStream() == nullptr) {
            m_algorithm.execute();
        }
        auto panel = std::make_unique<OptiTrackController>(&m_algorithm);
        panel->init();
        m_ui = {};
        m_ui.connectionComboBox = panel->findChild<QComboBox*>("connectionComboBox");
        m_ui.multicastWidget = panel->findChild<QWidget*>("multicastWidget");
        m_ui.serversList = panel->findChild<QListWidget*>("serversList");
        m_ui.serverAddressLineEdit = panel->findChild<QLineEdit*>("serverAddressLineEdit");
        m_ui.commandPortSpinBox = panel->findChild<QSpinBox*>("commandPortSpinBox");
        m_ui.dataPortSpinBox = panel->findChild<QSpinBox*>("dataPortSpinBox");
        m_ui.connectPushButton = panel->findChild<QPushButton*>("connectPushButton");
        return panel;
    }

    OptiTrackStream* stream() const { return dynamic_cast<OptiTrackStream*>(m_algorithm.currentStream()); }

    static void store(const char* key, const QVariant& value)
    {
        QSettings().setValue(QString::fromLatin1(key), value);
    }
    static QVariant stored(const char* key) { return QSettings().value(QString::fromLatin1(key)); }

    static void announce(OptiTrackController& panel, const sNatNetDiscoveredServer& record)
    {
        OptiTrackServerDiscovery::onServerDiscovered(&record, panel.serverDiscovery().discoveryContext());
    }

    QTemporaryDir m_settingsDir;
    ScopedLogCapture m_capture{0};
    CreateStreamIoAlgorithm<OptiTrackStream, 0, 0> m_algorithm;
    Ui_OptiTrackController m_ui{};  // the panel's widgets, found by object name
};

}  // namespace Quorvane::Support
