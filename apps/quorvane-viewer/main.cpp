// quorvane-viewer: the host window. Loads the plugins with the host's loader, creates the
// OptiTrack stream, shows its panel and draws the instruments live.

#include "ViewerOptions.h"
#include "ViewerWindow.h"

#include <common/NatNetLogBridge.h>

#include <natnet_ext/NatNetExt.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <iostream>

// In sanitizer builds: what the system's display libraries never free (D-Bus, Qt's offscreen
// screen), reported from stacks that end in them. Only those are silenced.
// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp): LeakSanitizer's hook
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions();
// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp): LeakSanitizer's hook
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libdbus-1.so\n"
           "leak:libqoffscreen.so\n"
           "leak:QPlatformScreen::QPlatformScreen\n";
}

namespace {

std::string defaultPluginDir()
{
    // Next to the program in a build tree (bin/ and plugins/ side by side), else where it was built.
    const QString besideBinary = QCoreApplication::applicationDirPath() + QStringLiteral("/../plugins");
    if (QFileInfo(besideBinary).isDir()) {
        return QDir(besideBinary).canonicalPath().toStdString();
    }
    return QUORVANE_VIEWER_DEFAULT_PLUGIN_DIR;
}

}  // namespace

int main(int argc, char** argv)
{
    // The window paints with QPainter only: no OpenGL context is needed, so none is set up.
    if (qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION")) {
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    }
    // Parsed before the application exists: --help and usage errors must work without a display,
    // and creating a QApplication without one aborts.
    Quorvane::Viewer::ViewerOptions options;
    if (const int code = Quorvane::Viewer::parseViewerOptions(argc, argv, options); code >= 0) {
        return code;
    }
    // The whole command line is ours, so Qt gets only the program's name (its settings come from
    // its environment variables, e.g. QT_QPA_PLATFORM).
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Quorvane"));
    QCoreApplication::setApplicationName(QStringLiteral("quorvane-viewer"));

    // The library's warnings and errors go to the log view and the console with the host's.
    AppsCommon::routeNatNetLogToHostLog();
    if (options.pluginDir.empty()) {
        options.pluginDir = defaultPluginDir();
    }
    if (!options.settingsDir.empty()) {
        QSettings::setDefaultFormat(QSettings::IniFormat);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                           QString::fromStdString(options.settingsDir));
        QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope,
                           QString::fromStdString(options.settingsDir) + QStringLiteral("/system"));
    }
    if (!options.discoveryTargets.empty() &&
        NatNetExt::SetDiscoveryTargets(options.discoveryTargets.c_str()) != ErrorCode_OK) {
        std::cerr << "quorvane-viewer: --discovery-targets " << options.discoveryTargets
                  << ": expected a.b.c.d[:port],...\n";
        return 2;
    }

    Quorvane::Viewer::ViewerWindow window(options);
    window.show();
    if (!window.start() && !options.screenshot.empty()) {
        return 1;
    }
    return QApplication::exec();
}
