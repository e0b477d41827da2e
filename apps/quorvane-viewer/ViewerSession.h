#pragma once

#include <Quorvane/Lib/AlgorithmDescriptor.h>
#include <Quorvane/Lib/ApplicationController.h>

#include <memory>
#include <string>
#include <vector>

class QWidget;

namespace Quorvane {

class Algorithm;
class AlgorithmController;
class DisplayWidgetMulti;
class PluginLoader;
class TrackingStream;

namespace Viewer {

/// What the viewer holds of the host: the application controller, the loaded plugins, the one
/// stream algorithm and its panel, and the order in which they must go (panel, stream, algorithm,
/// plugins, controller: nothing made by a plugin's code may outlive the plugin). UI thread only.
class ViewerSession
{
public:
    ViewerSession();
    ~ViewerSession();
    ViewerSession(const ViewerSession&) = delete;
    ViewerSession& operator=(const ViewerSession&) = delete;

    /// Loads every module of `directory`; returns how many loaded (failures are logged).
    std::size_t loadPlugins(const std::string& directory);
    std::vector<AlgorithmDescriptor> algorithms() const;

    /// Creates the algorithm registered as `name` and executes it with "open" only: the stream
    /// exists and is open, and the panel's Connect starts it. Null (logged) when there is no such
    /// algorithm or it gave no tracking stream.
    TrackingStream* createStream(const std::string& name);
    TrackingStream* stream() const { return m_stream; }

    /// The panel the controller factories make for the algorithm, initialised with `display`;
    /// null when none does. Owned by the session (it is taken out of its parent when it goes).
    QWidget* createPanel(DisplayWidgetMulti* display);
    QWidget* panel() const { return m_panelWidget; }

    /// Destroys panel, stream, algorithm and plugins, in that order. Idempotent.
    void shutDown();

private:
    ApplicationController m_controller;
    std::unique_ptr<PluginLoader> m_loader;
    std::unique_ptr<Algorithm> m_algorithm;
    std::unique_ptr<AlgorithmController> m_panel;
    QWidget* m_panelWidget = nullptr;    // m_panel as a widget
    TrackingStream* m_stream = nullptr;  // owned by m_algorithm
};

}  // namespace Viewer
}  // namespace Quorvane
