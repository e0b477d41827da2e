#include "Screenshot.h"

#include "OrientationOverlay.h"

#include <Quorvane/Stream/InteractiveView.h>
#include <Quorvane/Stream/TrackingStream.h>

#include <QImage>
#include <QPixmap>
#include <QWidget>

#include <nlohmann/json.hpp>

#include <fstream>

namespace Quorvane::Viewer {

std::string sidecarPath(const std::string& pngPath)
{
    const std::string suffix = ".png";
    if (pngPath.size() > suffix.size() &&
        pngPath.compare(pngPath.size() - suffix.size(), suffix.size(), suffix) == 0) {
        return pngPath.substr(0, pngPath.size() - suffix.size()) + ".json";
    }
    return pngPath + ".json";
}

bool saveScreenshot(QWidget& window, const InteractiveView& view, const OrientationOverlay* axes,
                    const TrackingStream* stream, const std::string& pngPath, std::string* error)
{
    // Grabbing paints every widget now, so the view's record of what it drew matches the image.
    const QImage image = window.grab().toImage();
    if (!image.save(QString::fromStdString(pngPath), "PNG")) {
        if (error != nullptr) {
            *error = "cannot write " + pngPath;
        }
        return false;
    }

    const std::vector<TrackingInstrument> instruments =
        stream ? stream->instruments() : std::vector<TrackingInstrument>{};
    const QPoint viewOrigin = view.mapTo(&window, QPoint(0, 0));
    nlohmann::json document;
    document["window"] = {{"width", image.width()}, {"height", image.height()}};
    document["view"] = {
        {"x", viewOrigin.x()}, {"y", viewOrigin.y()}, {"width", view.width()}, {"height", view.height()}};
    document["background"] = {24, 26, 32};
    document["instruments"] = nlohmann::json::array();
    for (const InteractiveView::DrawnInstrument& drawn : view.drawnInstruments()) {
        nlohmann::json entry = {{"identifier", drawn.identifier},
                                {"name", drawn.name},
                                {"tracked", drawn.tracked},
                                {"x", viewOrigin.x() + drawn.position.x()},
                                {"y", viewOrigin.y() + drawn.position.y()},
                                {"positionMm", {drawn.xMm, drawn.yMm, drawn.zMm}}};
        const auto atWindow = [&](QPointF p) {
            return nlohmann::json::array({viewOrigin.x() + p.x(), viewOrigin.y() + p.y()});
        };
        for (const OrientationOverlay::DrawnAxis& axis :
             axes != nullptr ? axes->drawnAxes() : std::vector<OrientationOverlay::DrawnAxis>{}) {
            if (axis.identifier == drawn.identifier) {
                entry["axis"] = {{"from", atWindow(axis.from)}, {"to", atWindow(axis.to)}};
            }
        }
        for (const TrackingInstrument& instrument : instruments) {
            if (instrument.identifier() == drawn.identifier) {
                entry["quality"] = instrument.quality;
                entry["updates"] = instrument.updateCount;
            }
        }
        document["instruments"].push_back(entry);
    }

    const std::string jsonPath = sidecarPath(pngPath);
    std::ofstream out(jsonPath);
    // Names come from the tracking server in no promised encoding: bytes that are not UTF-8
    // become U+FFFD instead of an exception.
    out << document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    if (!out) {
        if (error != nullptr) {
            *error = "cannot write " + jsonPath;
        }
        return false;
    }
    return true;
}

}  // namespace Quorvane::Viewer
