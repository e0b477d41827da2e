#include <Quorvane/Stream/StreamControllerBase.h>

#include <Quorvane/Stream/DisplayWidgetMulti.h>
#include <Quorvane/Stream/Stream.h>
#include <Quorvane/Stream/StreamIoAlgorithm.h>

#include <QHBoxLayout>
#include <QLabel>
#include <QMetaObject>
#include <QPushButton>

namespace Quorvane {

StreamControllerBase::StreamControllerBase(StreamIoAlgorithm* algorithm, bool defaultControls)
    : QWidget(nullptr),
      AlgorithmController(algorithm),
      m_streamAlgorithm(algorithm),
      m_defaultControls(defaultControls)
{
    if (m_defaultControls) {
        buildDefaultControls();
    }
}

StreamControllerBase::~StreamControllerBase()
{
    // Before the widget parts go: the slots below post to this object.
    m_stateConnection.disconnect();
    m_destroyConnection.disconnect();
    disconnectAllSignals();
}

void StreamControllerBase::setDisplay(DisplayWidgetMulti* newDisplay)
{
    m_display = newDisplay;
}

void StreamControllerBase::init()
{
    AlgorithmController::init();
    m_stateConnection.disconnect();
    m_destroyConnection.disconnect();

    Stream* current = m_streamAlgorithm ? m_streamAlgorithm->currentStream() : nullptr;
    m_stream.store(current);
    if (current) {
        m_destroyConnection = current->aboutToBeDestroyed.connect(this, [this] { m_stream.store(nullptr); });
        if (m_defaultControls) {
            m_stateConnection = current->stateChanged.connect(this, [this](Stream::State) {
                // By name: the queued call carries nothing of ours from the stream's thread.
                QMetaObject::invokeMethod(this, "showState", Qt::QueuedConnection);
            });
        }
    }

    if (!m_display) {
        m_display = DisplayWidgetMulti::applicationDisplay();
    }
    if (!m_display) {
        if (!m_ownDisplay) {
            m_ownDisplay = std::make_unique<DisplayWidgetMulti>();
        }
        m_display = m_ownDisplay.get();
    }
    showState();
}

void StreamControllerBase::buildDefaultControls()
{
    auto* layout = new QHBoxLayout(this);
    m_stateLabel = new QLabel(this);
    m_stateLabel->setObjectName(QStringLiteral("streamStateLabel"));
    m_startButton = new QPushButton(tr("Start"), this);
    m_startButton->setObjectName(QStringLiteral("streamStartButton"));
    m_stopButton = new QPushButton(tr("Stop"), this);
    m_stopButton->setObjectName(QStringLiteral("streamStopButton"));
    layout->addWidget(m_stateLabel, 1);
    layout->addWidget(m_startButton);
    layout->addWidget(m_stopButton);
    connect(m_startButton, &QPushButton::clicked, this, [this] {
        if (Stream* s = stream()) {
            s->start();
        }
        showState();
    });
    connect(m_stopButton, &QPushButton::clicked, this, [this] {
        if (Stream* s = stream()) {
            s->stop();
        }
        showState();
    });
    showState();
}

void StreamControllerBase::showState()
{
    if (!m_stateLabel) {
        return;
    }
    Stream* s = stream();
    m_stateLabel->setText(s ? QString::fromLatin1(Stream::stateName(s->state())) : tr("No stream"));
    m_startButton->setEnabled(s && s->isStateOneOf({Stream::State::Closed, Stream::State::Open}));
    m_stopButton->setEnabled(s && s->isRunning());
}

}  // namespace Quorvane
