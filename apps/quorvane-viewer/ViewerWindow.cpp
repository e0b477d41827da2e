#include "ViewerWindow.h"

#include "InstrumentTable.h"
#include "LogView.h"
#include "OrientationOverlay.h"
#include "Screenshot.h"

#include <common/DoctorHint.h>

#include <Quorvane/Core/Log.h>
#include <Quorvane/Core/Properties.h>
#include <Quorvane/Core/String.h>
#include <Quorvane/Stream/DisplayWidgetMulti.h>
#include <Quorvane/Stream/InteractiveView.h>
#include <Quorvane/Stream/RefreshCoalescer.h>
#include <Quorvane/Stream/TrackingStream.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <iostream>

namespace Quorvane::Viewer {

namespace Internal {

const std::string kCategory = "Viewer";
constexpr int kMaxRefreshHz = 60;
constexpr int kTrailPoints = 24;  // under half a second of movement at the view's refresh rate
constexpr int kConnectPollMs = 100;
constexpr int kConnectPolls = 50;  // how long --connect waits for discovery: 5 s

/// The child of the panel with this object name, or null.
template <class T>
T* panelChild(QWidget* panel, const char* name)
{
    return panel ? panel->findChild<T*>(QString::fromLatin1(name)) : nullptr;
}

/// Docks `content` in `area` of the window, where it stays (it neither floats nor closes).
void addFixedDock(QMainWindow& window, Qt::DockWidgetArea area, const QString& title,
                  const QString& objectName, QWidget* content)
{
    auto* dock = new QDockWidget(title, &window);
    dock->setObjectName(objectName);
    dock->setWidget(content);
    dock->setFeatures(QDockWidget::NoDockWidgetFeatures);
    window.addDockWidget(area, dock);
}

}  // namespace Internal

ViewerWindow::ViewerWindow(const ViewerOptions& options) : m_options(options)
{
    setObjectName(QStringLiteral("viewerWindow"));
    setWindowTitle(tr("Quorvane viewer"));

    m_display = new DisplayWidgetMulti(1, this);
    m_display->setObjectName(QStringLiteral("display"));
    m_axes = new OrientationOverlay(m_display->view2D(0));
    m_table = new InstrumentTable(this);
    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(m_display);
    splitter->addWidget(m_table);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({470, 510});
    setCentralWidget(splitter);

    auto* side = new QWidget(this);
    m_panelLayout = new QVBoxLayout(side);
    m_algorithms = new QTreeWidget(side);
    m_algorithms->setObjectName(QStringLiteral("algorithmList"));
    m_algorithms->setHeaderLabel(tr("Algorithms"));
    m_algorithms->setMaximumHeight(160);
    m_panelLayout->addWidget(m_algorithms);
    Internal::addFixedDock(*this, Qt::LeftDockWidgetArea, tr("Stream"), QStringLiteral("streamDock"), side);

    m_log = new LogView(this);
    // The settings the stream was started with, so the doctor examines the same connection.
    m_log->setStreamFailureHint([this] {
        Properties used;
        if (TrackingStream* stream = m_session.stream()) stream->configuration(&used);
        return AppsCommon::doctorHint("quorvane-viewer", used);
    });
    Internal::addFixedDock(*this, Qt::BottomDockWidgetArea, tr("Log"), QStringLiteral("logDock"), m_log);

    m_status = new QLabel(this);
    statusBar()->addWidget(m_status, 1);

    m_coalescer = std::make_unique<RefreshCoalescer>([this] { refreshTable(); }, Internal::kMaxRefreshHz);
    resize(1280, 800);
}

ViewerWindow::~ViewerWindow()
{
    // Nothing may call into the window from the stream's thread once it starts going.
    m_updates.disconnect();
    m_stateChanges.disconnect();
    m_display->setStream(nullptr);
    if (DisplayWidgetMulti::applicationDisplay() == m_display) {
        DisplayWidgetMulti::setApplicationDisplay(nullptr);
    }
    m_session.shutDown();
    m_coalescer.reset();
}

InteractiveView* ViewerWindow::view() const
{
    return m_display->view2D(0);
}

bool ViewerWindow::start()
{
    const std::size_t loaded = m_session.loadPlugins(m_options.pluginDir);
    buildAlgorithmList();
    TrackingStream* stream = loaded > 0 ? m_session.createStream(m_options.algorithm) : nullptr;
    if (stream == nullptr) {
        std::cerr << "quorvane-viewer: no " << m_options.algorithm << " stream from the plugins in "
                  << m_options.pluginDir << " (" << loaded << " loaded); see the log\n";
        m_status->setText(tr("No stream: see the log"));
        return false;
    }

    view()->setHalfRangeMm(m_options.rangeMm);
    view()->setPlane(InteractiveView::Plane::XZ);
    view()->setTrailLength(Internal::kTrailPoints);
    m_display->setStream(stream);
    DisplayWidgetMulti::setApplicationDisplay(m_display);
    // Both run on the stream's threads: count, ask for a refresh on the UI thread, throw nothing.
    m_updates = stream->instrumentsUpdated.connect([this](InstrumentModifications) {
        m_listenerFailures.guard([this] {
            m_frames.fetch_add(1, std::memory_order_relaxed);
            m_coalescer->request();
        });
    });
    m_stateChanges = stream->stateChanged.connect(
        [this](Stream::State) { m_listenerFailures.guard([this] { m_coalescer->request(); }); });
    m_ageTimer = new QTimer(this);
    connect(m_ageTimer, &QTimer::timeout, this, [this] { m_coalescer->request(); });
    m_ageTimer->start(250);

    if (QWidget* panel = m_session.createPanel(m_display)) {
        m_panelLayout->addWidget(panel);
        panel->show();
        applyOptionsToPanel();
    } else {
        QUORVANE_LOG(3, Internal::kCategory, "the plugins offer no panel for " << m_options.algorithm);
    }
    refreshTable();

    if (m_options.connect) {
        QTimer::singleShot(0, this, [this] { connectWhenReady(Internal::kConnectPolls); });
    }
    if (!m_options.screenshot.empty()) {
        QTimer::singleShot(static_cast<int>(m_options.screenshotAfter * 1000.0), this,
                           [this] { takeScreenshotAndQuit(); });
    }
    return true;
}

void ViewerWindow::buildAlgorithmList()
{
    // One branch per piece of the display path: "IO;OptiTrack;OptiTrack Duo/Trio".
    m_algorithms->clear();
    for (const AlgorithmDescriptor& descriptor : m_session.algorithms()) {
        QTreeWidgetItem* parent = nullptr;
        for (const std::string& piece : String::split(descriptor.displayPath, ";")) {
            const QString text = QString::fromStdString(piece);
            QTreeWidgetItem* found = nullptr;
            const int count = parent ? parent->childCount() : m_algorithms->topLevelItemCount();
            for (int i = 0; i < count && !found; ++i) {
                QTreeWidgetItem* candidate = parent ? parent->child(i) : m_algorithms->topLevelItem(i);
                found = candidate->text(0) == text ? candidate : nullptr;
            }
            if (!found) {
                found =
                    parent ? new QTreeWidgetItem(parent, {text}) : new QTreeWidgetItem(m_algorithms, {text});
            }
            parent = found;
        }
        if (parent) {
            parent->setToolTip(0, QString::fromStdString(descriptor.name));
        }
    }
    m_algorithms->expandAll();
}

void ViewerWindow::applyOptionsToPanel()
{
    QWidget* panel = m_session.panel();
    // The command line wins over what the panel remembered; the panel writes it back on exit.
    if (auto* combo = Internal::panelChild<QComboBox>(panel, "connectionComboBox")) {
        if (m_options.connection == ViewerOptions::Connection::Unicast) {
            combo->setCurrentIndex(0);
        } else if (m_options.connection == ViewerOptions::Connection::Multicast) {
            combo->setCurrentIndex(1);
        }
    }
    if (auto* address = Internal::panelChild<QLineEdit>(panel, "serverAddressLineEdit");
        address && !m_options.server.empty()) {
        address->setText(QString::fromStdString(m_options.server));
    }
    if (auto* port = Internal::panelChild<QSpinBox>(panel, "commandPortSpinBox");
        port && m_options.commandPort >= 0) {
        port->setValue(m_options.commandPort);
    }
    if (auto* port = Internal::panelChild<QSpinBox>(panel, "dataPortSpinBox");
        port && m_options.dataPort >= 0) {
        port->setValue(m_options.dataPort);
    }
}

void ViewerWindow::connectWhenReady(int triesLeft)
{
    QWidget* panel = m_session.panel();
    auto* button = Internal::panelChild<QAbstractButton>(panel, "connectPushButton");
    if (button == nullptr) {
        return;
    }
    auto* combo = Internal::panelChild<QComboBox>(panel, "connectionComboBox");
    auto* servers = Internal::panelChild<QListWidget>(panel, "serversList");
    if (combo && servers && combo->currentIndex() == 1) {
        // In multicast a user picks the server discovery found, which brings its group and
        // local interface; do the same, giving discovery a few seconds.
        const QString wanted = QString::fromStdString(m_options.server);
        for (int row = 0; row < servers->count(); ++row) {
            if (wanted.isEmpty() || servers->item(row)->text() == wanted) {
                servers->setCurrentRow(row);
                applyOptionsToPanel();  // the ports given on the command line still win
                button->click();
                return;
            }
        }
        if (triesLeft > 0) {
            QTimer::singleShot(Internal::kConnectPollMs, this,
                               [this, triesLeft] { connectWhenReady(triesLeft - 1); });
            return;
        }
        QUORVANE_LOG(3, Internal::kCategory,
                     "discovery found no server " << m_options.server << "; connecting anyway");
    }
    button->click();
}

void ViewerWindow::refreshTable()
{
    TrackingStream* stream = m_session.stream();
    const std::vector<TrackingInstrument> instruments =
        stream ? stream->instruments() : std::vector<TrackingInstrument>{};
    m_table->showRows(instrumentRows(instruments, std::chrono::steady_clock::now()));
    const QString state = stream ? QString::fromLatin1(Stream::stateName(stream->state())) : tr("no stream");
    m_status->setText(
        tr("%1 - %2 frames, %3 instruments").arg(state).arg(m_frames.load()).arg(instruments.size()));
}

void ViewerWindow::takeScreenshotAndQuit()
{
    // Runs from the event loop, which must see no exception: one is a failed screenshot.
    std::string error;
    bool saved = false;
    try {
        refreshTable();
        saved = saveScreenshot(*this, *view(), m_axes, m_session.stream(), m_options.screenshot, &error);
    } catch (const std::exception& e) {
        error = std::string("screenshot failed: ") + e.what();
    }
    if (!saved) {
        std::cerr << "quorvane-viewer: " << error << "\n";
        QApplication::exit(1);
        return;
    }
    std::cout << "quorvane-viewer: saved " << m_options.screenshot << " and "
              << sidecarPath(m_options.screenshot) << "\n";
    QApplication::exit(0);
}

}  // namespace Quorvane::Viewer
