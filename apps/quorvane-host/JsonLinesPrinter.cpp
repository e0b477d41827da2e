#include "JsonLinesPrinter.h"

#include "JsonText.h"

namespace Quorvane {
namespace Host {

JsonLinesPrinter::JsonLinesPrinter(std::ostream& out) : m_out(out) {}

// Members are written in alphabetical order, as nlohmann::json wrote them before.

void JsonLinesPrinter::frame(const FrameSnapshot& snapshot, const FrameChanges& changes)
{
    if (changes.added.empty() && changes.updated.empty()) {
        return;
    }
    for (const std::size_t i : changes.added) {
        const TrackingInstrument& instrument = snapshot.instruments[i];
        JsonText::Object line(m_lines);
        line.text("id", instrument.identifier())
            .text("name", instrument.name())
            .text("type", "added")
            .close();
        m_lines += '\n';
    }
    for (const std::size_t i : changes.updated) {
        const TrackingInstrument& instrument = snapshot.instruments[i];
        JsonText::Object line(m_lines);
        line.text("id", instrument.identifier()).text("name", instrument.name());
        std::string& pose = line.member("pose");
        // Eigen's default storage is column-major, which is the order the line promises.
        for (Eigen::Index k = 0; k < instrument.pose.size(); ++k) {
            pose += k == 0 ? '[' : ',';
            JsonText::appendNumber(pose, instrument.pose.data()[k]);
        }
        pose += ']';
        line.number("quality", instrument.quality)
            .number("timestamp", instrument.timestampMs)
            .text("type", "pose")
            .close();
        m_lines += '\n';
    }
    flushLines();
}

void JsonLinesPrinter::refresh(std::chrono::steady_clock::time_point) {}

void JsonLinesPrinter::finish(const RunSummary& summary, std::chrono::steady_clock::time_point)
{
    JsonText::Object line(m_lines);
    line.number("durationS", summary.durationS)
        .number("frameRateHz", summary.frameRateHz)
        .number("frames", summary.frames)
        .number("framesDropped", summary.framesDropped);
    if (summary.igtl) {
        JsonText::Object(line.member("igtl"))
            .number("clients", summary.igtlTotals.clients)
            .number("posesMissed", summary.igtlTotals.posesMissed)
            .number("posesSent", summary.igtlTotals.posesSent)
            .close();
    }
    std::string& instruments = line.member("instruments");
    instruments += '[';
    bool first = true;
    for (const RunSummary::Instrument& instrument : summary.instruments) {
        if (!first) {
            instruments += ',';
        }
        first = false;
        JsonText::Object(instruments)
            .text("id", instrument.id)
            .text("name", instrument.name)
            .number("quality", instrument.lastQuality)
            .number("rateHz", instrument.rateHz)
            .number("updates", instrument.updates)
            .close();
    }
    instruments += ']';
    line.text("type", "summary").close();
    m_lines += '\n';
    flushLines();
}

void JsonLinesPrinter::flushLines()
{
    m_out.write(m_lines.data(), static_cast<std::streamsize>(m_lines.size()));
    m_out.flush();
    m_lines.clear();
}

}  // namespace Host
}  // namespace Quorvane
