#include "ViewerSession.h"

#include <Quorvane/Core/Log.h>
#include <Quorvane/Core/Properties.h>
#include <Quorvane/Lib/Algorithm.h>
#include <Quorvane/Lib/AlgorithmController.h>
#include <Quorvane/Lib/PluginLoader.h>
#include <Quorvane/Stream/DisplayWidgetMulti.h>
#include <Quorvane/Stream/StreamControllerBase.h>
#include <Quorvane/Stream/StreamIoAlgorithm.h>
#include <Quorvane/Stream/TrackingStream.h>

#include <QWidget>

namespace Quorvane::Viewer {

namespace Internal {
const std::string kCategory = "Viewer";
}

ViewerSession::ViewerSession() : m_loader(std::make_unique<PluginLoader>(m_controller)) {}

ViewerSession::~ViewerSession()
{
    shutDown();
}

std::size_t ViewerSession::loadPlugins(const std::string& directory)
{
    std::size_t loaded = 0;
    for (const PluginLoadResult& result : m_loader->loadDirectory(directory)) {
        loaded += result.ok() ? 1 : 0;
    }
    return loaded;
}

std::vector<AlgorithmDescriptor> ViewerSession::algorithms() const
{
    return m_controller.algorithmDescriptors();
}

TrackingStream* ViewerSession::createStream(const std::string& name)
{
    m_algorithm = m_controller.instantiateAlgorithm(name);
    if (!m_algorithm) {
        return nullptr;  // the controller said why
    }
    Properties flags;
    flags.setParam("open", true);
    flags.setParam("start", false);
    m_algorithm->configure(&flags);
    m_algorithm->execute();
    auto* streamAlgorithm = dynamic_cast<StreamIoAlgorithm*>(m_algorithm.get());
    m_stream = streamAlgorithm ? dynamic_cast<TrackingStream*>(streamAlgorithm->currentStream()) : nullptr;
    if (m_stream == nullptr) {
        QUORVANE_LOG(4, Internal::kCategory, name << " gave no tracking stream");
    }
    return m_stream;
}

QWidget* ViewerSession::createPanel(DisplayWidgetMulti* display)
{
    if (!m_algorithm) {
        return nullptr;
    }
    m_panel = m_controller.createController(m_algorithm.get());
    m_panelWidget = dynamic_cast<QWidget*>(m_panel.get());
    if (m_panelWidget == nullptr) {
        QUORVANE_LOG(3, Internal::kCategory, "no panel for " << m_algorithm->factoryInfo().name);
        m_panel.reset();
        return nullptr;
    }
    if (auto* streamPanel = dynamic_cast<StreamControllerBase*>(m_panel.get())) {
        streamPanel->setDisplay(display);
    }
    m_panel->init();
    return m_panelWidget;
}

void ViewerSession::shutDown()
{
    // The panel first: it writes its settings and stops discovery while the stream still exists.
    m_panel.reset();
    m_panelWidget = nullptr;
    if (m_stream != nullptr) {
        m_stream->close();  // no frame callback after this
        m_stream = nullptr;
    }
    m_algorithm.reset();
    if (m_loader) {
        m_loader->unloadAll();
        m_loader.reset();
    }
}

}  // namespace Quorvane::Viewer
