#include "controller/OptiTrackController.h"

#include "controller/OptiTrackServerDiscovery.h"
#include "stream/OptiTrackLog.h"
#include "stream/OptiTrackStream.h"

// Written by uic from OptiTrackController.ui.
#include "ui_OptiTrackController.h"

#include <Quorvane/Stream/DisplayWidgetMulti.h>
#include <Quorvane/Stream/InteractiveView.h>
#include <Quorvane/Stream/StreamIoAlgorithm.h>

#include <QListWidgetItem>
#include <QMetaObject>
#include <QSettings>
#include <QSignalBlocker>
#include <QVariant>

#include <sstream>

namespace Quorvane {

namespace Internal {

// Built at run time, not as QStringLiteral: QSettings keeps the keys it was given in a cache that
// lives until the application exits, long after the host may have unloaded this module, and a
// literal's text would stay in the unloaded module's memory.
QString connectionKey()
{
    return QString::fromLatin1("optitrackController/connection");
}
QString addressKey()
{
    return QString::fromLatin1("optitrackController/address");
}
QString commandPortKey()
{
    return QString::fromLatin1("optitrackController/commandport");
}
QString dataPortKey()
{
    return QString::fromLatin1("optitrackController/dataport");
}

// The combo box lists "Unicast" first.
constexpr int kUnicastIndex = 0;
constexpr int kMulticastIndex = 1;

std::int32_t connectionTypeOfIndex(int index)
{
    return index == kUnicastIndex ? OptiTrackConnectionParams::kUnicast
                                  : OptiTrackConnectionParams::kMulticast;
}

int indexOfConnectionType(std::int32_t connectionType)
{
    return connectionType == OptiTrackConnectionParams::kUnicast ? kUnicastIndex : kMulticastIndex;
}

std::string dottedQuad(const std::array<std::uint8_t, 4>& bytes)
{
    std::ostringstream text;
    text << static_cast<unsigned>(bytes[0]) << '.' << static_cast<unsigned>(bytes[1]) << '.'
         << static_cast<unsigned>(bytes[2]) << '.' << static_cast<unsigned>(bytes[3]);
    return text.str();
}

}  // namespace Internal

OptiTrackController::OptiTrackController(StreamIoAlgorithm* algorithm)
    : StreamControllerBase(algorithm, false),
      m_stream(nullptr),
      m_discovery(std::make_unique<OptiTrackServerDiscovery>())
{
    m_ui = std::make_unique<Ui_OptiTrackController>();
    m_ui->setupUi(this);
    setContentsMargins(9, 9, 9, 9);

    connect(m_ui->connectPushButton, &QAbstractButton::clicked, this, [this](bool) { onConnectClicked(); });
    connect(m_ui->connectionComboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &OptiTrackController::onConnectionTypeChanged);
    connect(m_ui->serversList, &QListWidget::currentItemChanged, this,
            &OptiTrackController::onServerSelected);
    // Emitted on the NatNet discovery thread: the refresh is posted to the panel's thread.
    // Qt discards a queued call whose receiver has been destroyed, and the discovery thread is
    // joined before the panel's QObject part goes, so nothing runs after the panel is gone.
    // The rebuild lists the whole snapshot, so emissions while one is queued need no rebuild of
    // their own: a flood of new servers costs a few rebuilds, not one per server. The flag is
    // cleared before the snapshot is taken, so a server stored after it queues the next one.
    m_discovery->serversChanged.connect([this] {
        if (m_refreshPending.exchange(true)) {
            return;
        }
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_refreshPending.exchange(false);
                updateServerList();
            },
            Qt::QueuedConnection);
    });
}

OptiTrackController::~OptiTrackController()
{
    {
        QSettings settings;
        settings.setValue(Internal::connectionKey(), m_ui->connectionComboBox->currentIndex());
        settings.setValue(Internal::addressKey(), m_ui->serverAddressLineEdit->text());
        settings.setValue(Internal::commandPortKey(), m_ui->commandPortSpinBox->value());
        settings.setValue(Internal::dataPortKey(), m_ui->dataPortSpinBox->value());
    }
    // Members go in reverse order: connectionParams, then discovery (stopped and joined before
    // its context is freed), then the form record.
}

void OptiTrackController::init()
{
    StreamControllerBase::init();
    m_stream = dynamic_cast<OptiTrackStream*>(StreamControllerBase::stream());

    if (DisplayWidgetMulti* host = display()) {
        if (InteractiveView* view = host->view2D(0)) {
            view->setVisible(true);
        }
    }

    m_ui->multicastWidget->setEnabled(false);
    m_discovery->stop();

    QSettings settings;
    m_ui->connectionComboBox->setCurrentIndex(settings.value(Internal::connectionKey()).toInt());
    m_ui->serverAddressLineEdit->setText(settings.value(Internal::addressKey()).toString());
    m_ui->commandPortSpinBox->setValue(settings.value(Internal::commandPortKey()).toInt());
    m_ui->dataPortSpinBox->setValue(settings.value(Internal::dataPortKey()).toInt());
}

void OptiTrackController::onConnectionTypeChanged(int index)
{
    const bool multicast = index == Internal::kMulticastIndex;
    m_ui->multicastWidget->setEnabled(multicast);
    if (multicast) {
        m_discovery->start();
    } else {
        m_discovery->stop();
    }
}

OptiTrackStream* OptiTrackController::liveStream()
{
    // The base forgets the stream when it is destroyed (say the algorithm executed again);
    // the pointer taken in init() must not be used after that.
    if (StreamControllerBase::stream() == nullptr) {
        m_stream = nullptr;
    }
    return m_stream;
}

void OptiTrackController::onConnectClicked()
{
    OptiTrackStream* target = liveStream();
    if (target == nullptr) {
        Internal::logMessage(Log::Error, Internal::kNoCategory, "Could not start stream");
        return;
    }
    target->close();

    m_connectionParams.connectionType =
        Internal::connectionTypeOfIndex(m_ui->connectionComboBox->currentIndex());
    m_connectionParams.serverAddress = m_ui->serverAddressLineEdit->text().toStdString();
    m_connectionParams.commandPort = static_cast<std::uint16_t>(m_ui->commandPortSpinBox->value());
    m_connectionParams.dataPort = static_cast<std::uint16_t>(m_ui->dataPortSpinBox->value());
    target->setConnectionParams(m_connectionParams);

    if (!target->start()) {
        Internal::logMessage(Log::Error, Internal::kNoCategory, "Could not start stream");
    }
}

void OptiTrackController::updateServerList()
{
    m_ui->serversList->clear();
    const std::vector<DiscoveredServer> servers = m_discovery->discoveredServers();
    for (const DiscoveredServer& server : servers) {
        auto* item = new QListWidgetItem(QString::fromStdString(server.serverAddress));
        item->setData(Qt::UserRole, m_ui->serversList->count());
        m_ui->serversList->addItem(item);
    }
}

void OptiTrackController::onServerSelected(QListWidgetItem* current, QListWidgetItem* /*previous*/)
{
    if (current == nullptr) {
        return;
    }
    const std::vector<DiscoveredServer> servers = m_discovery->discoveredServers();
    const int index = current->data(Qt::UserRole).toInt();
    if (index < 0 || static_cast<std::size_t>(index) >= servers.size()) {
        return;
    }
    const DiscoveredServer& server = servers[static_cast<std::size_t>(index)];

    if (server.connectionInfoValid) {
        m_connectionParams.connectionType = server.connectionMulticast ? OptiTrackConnectionParams::kMulticast
                                                                       : OptiTrackConnectionParams::kUnicast;
        m_connectionParams.dataPort = server.connectionDataPort;
        m_connectionParams.multicastAddress = server.connectionMulticast
                                                  ? Internal::dottedQuad(server.connectionMulticastAddress)
                                                  : std::string();
    } else {
        // A server older than NatNet 3.0 says nothing about how it streams.
        m_connectionParams.connectionType = OptiTrackConnectionParams::kMulticast;
        m_connectionParams.dataPort = 0;
        m_connectionParams.multicastAddress.clear();
    }
    m_connectionParams.commandPort = server.serverCommandPort;
    m_connectionParams.serverAddress = server.serverAddress;
    m_connectionParams.localAddress = server.localAddress;

    {
        // Showing the server's mode is not choosing it: discovery and the list stay as they are.
        const QSignalBlocker blocker(m_ui->connectionComboBox);
        m_ui->connectionComboBox->setCurrentIndex(
            Internal::indexOfConnectionType(m_connectionParams.connectionType));
    }
    m_ui->serverAddressLineEdit->setText(QString::fromStdString(m_connectionParams.serverAddress));
    m_ui->commandPortSpinBox->setValue(m_connectionParams.commandPort);
    m_ui->dataPortSpinBox->setValue(m_connectionParams.dataPort);
}

}  // namespace Quorvane
