#include "JsonLinesPrinter.h"

#include <nlohmann/json.hpp>

namespace Quorvane {
namespace Host {

namespace Internal {
namespace {
/// One line of JSON. Names come from the tracking server in no promised encoding; bytes that
/// are not UTF-8 become U+FFFD instead of an exception.
std::string jsonLine(const nlohmann::json& line)
{
    return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + '\n';
}
}  // namespace
}  // namespace Internal

JsonLinesPrinter::JsonLinesPrinter(std::ostream& out) : m_out(out) {}

void JsonLinesPrinter::frame(const FrameSnapshot& snapshot, const FrameChanges& changes)
{
    if (changes.added.empty() && changes.updated.empty()) {
        return;
    }
    for (const std::size_t i : changes.added) {
        const TrackingInstrument& instrument = snapshot.instruments[i];
        nlohmann::json line = {
            {"type", "added"}, {"id", instrument.identifier()}, {"name", instrument.name()}};
        m_out << Internal::jsonLine(line);
    }
    for (const std::size_t i : changes.updated) {
        const TrackingInstrument& instrument = snapshot.instruments[i];
        nlohmann::json pose = nlohmann::json::array();
        // Eigen's default storage is column-major, which is the order the line promises.
        for (Eigen::Index k = 0; k < instrument.pose.size(); ++k) {
            pose.push_back(instrument.pose.data()[k]);
        }
        nlohmann::json line = {{"type", "pose"},
                               {"id", instrument.identifier()},
                               {"name", instrument.name()},
                               {"pose", std::move(pose)},
                               {"quality", instrument.quality},
                               {"timestamp", instrument.timestampMs}};
        m_out << Internal::jsonLine(line);
    }
    m_out.flush();
}

void JsonLinesPrinter::refresh(std::chrono::steady_clock::time_point) {}

void JsonLinesPrinter::finish(const RunSummary& summary, std::chrono::steady_clock::time_point)
{
    nlohmann::json instruments = nlohmann::json::array();
    for (const RunSummary::Instrument& instrument : summary.instruments) {
        instruments.push_back({{"id", instrument.id},
                               {"name", instrument.name},
                               {"updates", instrument.updates},
                               {"rateHz", instrument.rateHz},
                               {"quality", instrument.lastQuality}});
    }
    nlohmann::json line = {{"type", "summary"},
                           {"frames", summary.frames},
                           {"framesDropped", summary.framesDropped},
                           {"durationS", summary.durationS},
                           {"frameRateHz", summary.frameRateHz},
                           {"instruments", std::move(instruments)}};
    if (summary.igtl) {
        line["igtl"] = {{"clients", summary.igtlTotals.clients},
                        {"posesSent", summary.igtlTotals.posesSent},
                        {"posesMissed", summary.igtlTotals.posesMissed}};
    }
    m_out << Internal::jsonLine(line);
    m_out.flush();
}

}  // namespace Host
}  // namespace Quorvane
