#pragma once

#include <string>

class QWidget;

namespace Quorvane {

class InteractiveView;
class TrackingStream;

namespace Viewer {

class OrientationOverlay;

/// The JSON file that goes with a screenshot "NAME.png": "NAME.json" ("NAME.png.json" when the
/// name has no ".png").
std::string sidecarPath(const std::string& pngPath);

/// Renders `window` into a PNG at `pngPath`, and writes beside it what the view drew at that
/// moment: the view's rectangle and each instrument's dot in window pixels, with its tracked flag
/// and the position in millimetres it was drawn for, the line `axes` drew for its x axis
/// ("axis": from and to in window pixels, when one was drawn), and quality and update count as
/// the stream holds them just after. False, with `error` set, when a file cannot be written.
bool saveScreenshot(QWidget& window, const InteractiveView& view, const OrientationOverlay* axes,
                    const TrackingStream* stream, const std::string& pngPath, std::string* error);

}  // namespace Viewer
}  // namespace Quorvane
