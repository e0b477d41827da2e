#include "JsonLinesPrinter.h"

#include "JsonText.h"

#include <string_view>

namespace Quorvane {
namespace Host {

namespace Internal {
namespace {

/// `"key":` after the `{` or the `,` that comes before it.
void appendKey(std::string& out, std::string_view key)
{
    out += '"';
    out += key;
    out += "\":";
}

/// `{"id":…,"name":…` of an instrument's line.
void appendIdentity(std::string& out, const std::string& id, const std::string& name)
{
    out += '{';
    appendKey(out, "id");
    JsonText::appendString(out, id);
    out += ',';
    appendKey(out, "name");
    JsonText::appendString(out, name);
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
        Internal::appendIdentity(m_lines, instrument.identifier(), instrument.name());
        m_lines += ",\"type\":\"added\"}\n";
    }
    for (const std::size_t i : changes.updated) {
        const TrackingInstrument& instrument = snapshot.instruments[i];
        Internal::appendIdentity(m_lines, instrument.identifier(), instrument.name());
        m_lines += ',';
        Internal::appendKey(m_lines, "pose");
        m_lines += '[';
        // Eigen's default storage is column-major, which is the order the line promises.
        for (Eigen::Index k = 0; k < instrument.pose.size(); ++k) {
            if (k != 0) {
                m_lines += ',';
            }
            JsonText::appendNumber(m_lines, instrument.pose.data()[k]);
        }
        m_lines += "],";
        Internal::appendKey(m_lines, "quality");
        JsonText::appendNumber(m_lines, instrument.quality);
        m_lines += ',';
        Internal::appendKey(m_lines, "timestamp");
        JsonText::appendNumber(m_lines, instrument.timestampMs);
        m_lines += ",\"type\":\"pose\"}\n";
    }
    flushLines();
}

void JsonLinesPrinter::refresh(std::chrono::steady_clock::time_point) {}

void JsonLinesPrinter::finish(const RunSummary& summary, std::chrono::steady_clock::time_point)
{
    std::string& out = m_lines;
    out += '{';
    Internal::appendKey(out, "durationS");
    JsonText::appendNumber(out, summary.durationS);
    out += ',';
    Internal::appendKey(out, "frameRateHz");
    JsonText::appendNumber(out, summary.frameRateHz);
    out += ',';
    Internal::appendKey(out, "frames");
    JsonText::appendNumber(out, summary.frames);
    out += ',';
    Internal::appendKey(out, "framesDropped");
    JsonText::appendNumber(out, summary.framesDropped);
    out += ',';
    if (summary.igtl) {
        Internal::appendKey(out, "igtl");
        out += '{';
        Internal::appendKey(out, "clients");
        JsonText::appendNumber(out, summary.igtlTotals.clients);
        out += ',';
        Internal::appendKey(out, "posesMissed");
        JsonText::appendNumber(out, summary.igtlTotals.posesMissed);
        out += ',';
        Internal::appendKey(out, "posesSent");
        JsonText::appendNumber(out, summary.igtlTotals.posesSent);
        out += "},";
    }
    Internal::appendKey(out, "instruments");
    out += '[';
    bool first = true;
    for (const RunSummary::Instrument& instrument : summary.instruments) {
        if (!first) {
            out += ',';
        }
        first = false;
        Internal::appendIdentity(out, instrument.id, instrument.name);
        out += ',';
        Internal::appendKey(out, "quality");
        JsonText::appendNumber(out, instrument.lastQuality);
        out += ',';
        Internal::appendKey(out, "rateHz");
        JsonText::appendNumber(out, instrument.rateHz);
        out += ',';
        Internal::appendKey(out, "updates");
        JsonText::appendNumber(out, instrument.updates);
        out += '}';
    }
    out += "],\"type\":\"summary\"}\n";
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
