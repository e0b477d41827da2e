#include <Quorvane/Stream/InstrumentStore.h>

#include <chrono>

namespace Quorvane {

namespace Internal {

// Weight of the newest interval in the smoothed update rate: heavy enough to follow a change
// of frame rate within a few dozen frames, light enough to hide scheduling jitter.
constexpr double kRateSmoothing = 0.1;

double smoothedRate(double previousHz, std::chrono::steady_clock::duration interval)
{
    const double seconds = std::chrono::duration<double>(interval).count();
    if (seconds <= 0.0) {
        return previousHz;
    }
    const double instantHz = 1.0 / seconds;
    return previousHz == 0.0 ? instantHz : previousHz + kRateSmoothing * (instantHz - previousHz);
}

}  // namespace Internal

InstrumentStore::InstrumentStore() = default;
InstrumentStore::~InstrumentStore() = default;

InstrumentModifications InstrumentStore::add(const TrackerID& id, bool active)
{
    if (id.identifier.empty()) {
        return {};
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_indexByIdentifier.find(id.identifier);
    if (it == m_indexByIdentifier.end()) {
        m_instruments.emplace_back(id, active);
        m_indexByIdentifier.emplace(id.identifier, m_instruments.size() - 1);
        return InstrumentModification::Added;
    }
    TrackingInstrument& existing = m_instruments[it->second];
    InstrumentModifications changes;
    if (existing.serial() != id.serial || existing.name() != id.name) {
        existing.setTrackerId(id);
        changes |= InstrumentModification::Renamed;
    }
    if (existing.active != active) {
        existing.active = active;
        changes |= InstrumentModification::ActivityChanged;
    }
    return changes;
}

InstrumentModifications InstrumentStore::update(std::string_view identifier, const Pose& pose, double quality,
                                                std::uint64_t timestampMs, std::uint32_t flags)
{
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_indexByIdentifier.find(identifier);
    if (it == m_indexByIdentifier.end()) {
        return {};
    }
    TrackingInstrument& instrument = m_instruments[it->second];
    InstrumentModifications changes = InstrumentModification::Updated;
    const bool wasTracked = instrument.isTracked();
    if (instrument.pose != pose) {
        instrument.pose = pose;
        changes |= InstrumentModification::PoseChanged;
    }
    // Compared bitwise in effect: a NaN quality from a broken source counts as a change each time.
    if (!(instrument.quality == quality)) {
        instrument.quality = quality;
        changes |= InstrumentModification::QualityChanged;
    }
    if (instrument.timestampMs != timestampMs) {
        instrument.timestampMs = timestampMs;
        changes |= InstrumentModification::TimestampChanged;
    }
    if (instrument.flags != flags) {
        instrument.flags = flags;
        changes |= InstrumentModification::FlagsChanged;
    }
    if (instrument.updateCount > 0) {
        instrument.updateRateHz =
            Internal::smoothedRate(instrument.updateRateHz, now - instrument.lastUpdate);
    }
    instrument.lastUpdate = now;
    ++instrument.updateCount;
    if (instrument.isTracked() != wasTracked) {
        changes |= InstrumentModification::TrackingChanged;
    }
    return changes;
}

InstrumentModifications InstrumentStore::remove(std::string_view identifier)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_indexByIdentifier.find(identifier);
    if (it == m_indexByIdentifier.end()) {
        return {};
    }
    const std::size_t removedIndex = it->second;
    m_indexByIdentifier.erase(it);
    m_instruments.erase(m_instruments.begin() + static_cast<std::ptrdiff_t>(removedIndex));
    for (auto& entry : m_indexByIdentifier) {
        if (entry.second > removedIndex) {
            --entry.second;
        }
    }
    return InstrumentModification::Removed;
}

InstrumentModifications InstrumentStore::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_instruments.empty()) {
        return {};
    }
    m_instruments.clear();
    m_indexByIdentifier.clear();
    return InstrumentModification::Removed;
}

std::optional<TrackingInstrument> InstrumentStore::find(std::string_view identifier) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_indexByIdentifier.find(identifier);
    if (it == m_indexByIdentifier.end()) {
        return std::nullopt;
    }
    return m_instruments[it->second];
}

bool InstrumentStore::contains(std::string_view identifier) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_indexByIdentifier.find(identifier) != m_indexByIdentifier.end();
}

std::vector<TrackingInstrument> InstrumentStore::snapshot() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_instruments;
}

std::vector<TrackingInstrument> InstrumentStore::activeSnapshot() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<TrackingInstrument> result;
    for (const auto& instrument : m_instruments) {
        if (instrument.active) {
            result.push_back(instrument);
        }
    }
    return result;
}

std::size_t InstrumentStore::size() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_instruments.size();
}

}  // namespace Quorvane
