#include <Quorvane/Stream/InstrumentStore.h>

#include "InstrumentIndex.h"
#include "InstrumentSlot.h"

#include <atomic>
#include <new>
#include <utility>

namespace Quorvane {

namespace Internal {

// Weight of the newest interval in the smoothed update rate: heavy enough to follow a change
// of frame rate within a few dozen frames, light enough to hide scheduling jitter.
constexpr double kRateSmoothing = 0.1;

double smoothedRate(double previousHz, std::chrono::steady_clock::duration interval)
{
    const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(interval).count();
    if (nanoseconds <= 0) {
        return previousHz;
    }
    const double instantHz = 1e9 / static_cast<double>(nanoseconds);
    return previousHz == 0.0 ? instantHz : previousHz + kRateSmoothing * (instantHz - previousHz);
}

}  // namespace Internal

namespace {

/// One instrument in a directory: its identity (shared with every copy handed out, replaced on a
/// rename), its active flag and its tracking data.
struct Entry
{
    std::shared_ptr<const TrackerID> id;
    bool active = true;
    std::shared_ptr<Internal::InstrumentSlot> slot;
};

TrackingInstrument instrumentOf(const Entry& entry)
{
    TrackingInstrument instrument(entry.id, entry.active);
    static_cast<TrackingValues&>(instrument) = entry.slot->read();
    return instrument;
}

}  // namespace

/// What readers see of the instruments: never changed once published.
struct InstrumentStore::Directory
{
    std::vector<Entry> entries;  // in the order they were added
    /// Identifier -> position in entries; its keys are views of the slots' own identifier texts,
    /// which live as long as the slots.
    Internal::InstrumentIndex index;
};

/// The writers' own directory, from which the published one is copied; writer lock only.
struct InstrumentStore::Working
{
    Directory directory;
    /// Whether the directory changed since it was last published.
    bool dirty = false;
};

InstrumentStore::InstrumentStore()
    : m_working(std::make_unique<Working>()), m_published(std::make_shared<const Directory>())
{
}

InstrumentStore::~InstrumentStore() = default;

std::shared_ptr<const InstrumentStore::Directory> InstrumentStore::published() const
{
    return std::atomic_load(&m_published);
}

void InstrumentStore::publishLocked()
{
    std::atomic_store(&m_published, std::shared_ptr<const Directory>(
                                        std::make_shared<const Directory>(m_working->directory)));
    m_working->dirty = false;
}

InstrumentModifications InstrumentStore::addLocked(const TrackerID& id, bool active)
{
    if (id.identifier.empty()) {
        return {};
    }
    Directory& directory = m_working->directory;
    const std::size_t position = directory.index.find(id.identifier);
    if (position == Internal::InstrumentIndex::kNotFound) {
        auto slot = std::make_shared<Internal::InstrumentSlot>(id.identifier);
        const std::string_view key = slot->identifier();
        directory.entries.push_back(Entry{std::make_shared<const TrackerID>(id), active, std::move(slot)});
        directory.index.insert(key, directory.entries.size() - 1);
        m_working->dirty = true;
        return InstrumentModification::Added;
    }
    Entry& existing = directory.entries[position];
    InstrumentModifications changes;
    if (existing.id->serial != id.serial || existing.id->name != id.name) {
        // A new identity record: copies handed out before keep the old one.
        existing.id = std::make_shared<const TrackerID>(id);
        changes |= InstrumentModification::Renamed;
    }
    if (existing.active != active) {
        existing.active = active;
        changes |= InstrumentModification::ActivityChanged;
    }
    if (!changes.empty()) {
        m_working->dirty = true;
    }
    return changes;
}

InstrumentModifications InstrumentStore::updateLocked(std::string_view identifier, const Pose& pose,
                                                      double quality, std::uint64_t timestampMs,
                                                      std::uint32_t flags,
                                                      std::chrono::steady_clock::time_point now)
{
    const Directory& directory = m_working->directory;
    const std::size_t position = directory.index.find(identifier);
    if (position == Internal::InstrumentIndex::kNotFound) {
        return {};
    }
    Internal::InstrumentSlot& slot = *directory.entries[position].slot;
    TrackingValues& sample = slot.current();
    InstrumentModifications changes = InstrumentModification::Updated;
    const bool wasTracked = sample.isTracked();
    if (sample.pose != pose) {
        sample.pose = pose;
        changes |= InstrumentModification::PoseChanged;
    }
    // Compared bitwise in effect: a NaN quality from a broken source counts as a change each time.
    if (!(sample.quality == quality)) {
        sample.quality = quality;
        changes |= InstrumentModification::QualityChanged;
    }
    if (sample.timestampMs != timestampMs) {
        sample.timestampMs = timestampMs;
        changes |= InstrumentModification::TimestampChanged;
    }
    if (sample.flags != flags) {
        sample.flags = flags;
        changes |= InstrumentModification::FlagsChanged;
    }
    if (sample.updateCount > 0) {
        sample.updateRateHz = Internal::smoothedRate(sample.updateRateHz, now - sample.lastUpdate);
    }
    sample.lastUpdate = now;
    ++sample.updateCount;
    if ((sample.quality > 0.0) != wasTracked) {
        changes |= InstrumentModification::TrackingChanged;
    }
    slot.publish();
    return changes;
}

InstrumentModifications InstrumentStore::add(const TrackerID& id, bool active)
{
    return Writer(*this).add(id, active);
}

InstrumentModifications InstrumentStore::update(std::string_view identifier, const Pose& pose, double quality,
                                                std::uint64_t timestampMs, std::uint32_t flags)
{
    return Writer(*this).update(identifier, pose, quality, timestampMs, flags);
}

InstrumentModifications InstrumentStore::remove(std::string_view identifier)
{
    std::lock_guard<std::mutex> lock(m_writeMutex);
    Directory& directory = m_working->directory;
    const std::size_t removed = directory.index.find(identifier);
    if (removed == Internal::InstrumentIndex::kNotFound) {
        return {};
    }
    directory.entries.erase(directory.entries.begin() + static_cast<std::ptrdiff_t>(removed));
    directory.index.clear();
    for (std::size_t i = 0; i < directory.entries.size(); ++i) {
        directory.index.insert(directory.entries[i].slot->identifier(), i);
    }
    publishLocked();
    return InstrumentModification::Removed;
}

InstrumentModifications InstrumentStore::clear()
{
    std::lock_guard<std::mutex> lock(m_writeMutex);
    Directory& directory = m_working->directory;
    if (directory.entries.empty()) {
        return {};
    }
    directory.index.clear();
    directory.entries.clear();
    publishLocked();
    return InstrumentModification::Removed;
}

std::optional<TrackingInstrument> InstrumentStore::find(std::string_view identifier) const
{
    const std::shared_ptr<const Directory> directory = published();
    const std::size_t position = directory->index.find(identifier);
    if (position == Internal::InstrumentIndex::kNotFound) {
        return std::nullopt;
    }
    return instrumentOf(directory->entries[position]);
}

bool InstrumentStore::contains(std::string_view identifier) const
{
    const std::shared_ptr<const Directory> directory = published();
    return directory->index.find(identifier) != Internal::InstrumentIndex::kNotFound;
}

std::vector<TrackingInstrument> InstrumentStore::snapshot() const
{
    const std::shared_ptr<const Directory> directory = published();
    std::vector<TrackingInstrument> result;
    result.reserve(directory->entries.size());
    for (const Entry& entry : directory->entries) {
        result.push_back(instrumentOf(entry));
    }
    return result;
}

std::vector<TrackingInstrument> InstrumentStore::activeSnapshot() const
{
    const std::shared_ptr<const Directory> directory = published();
    std::vector<TrackingInstrument> result;
    for (const Entry& entry : directory->entries) {
        if (entry.active) {
            result.push_back(instrumentOf(entry));
        }
    }
    return result;
}

std::size_t InstrumentStore::size() const
{
    return published()->entries.size();
}

InstrumentStore::Writer::Writer(InstrumentStore& store)
    : m_store(store), m_lock(store.m_writeMutex), m_now(std::chrono::steady_clock::now())
{
}

InstrumentStore::Writer::~Writer()
{
    if (!m_store.m_working->dirty) {
        return;
    }
    try {
        m_store.publishLocked();
    } catch (const std::bad_alloc&) {
        // Out of memory: the directory stays marked as changed, and the next writer publishes it.
    }
}

InstrumentModifications InstrumentStore::Writer::add(const TrackerID& id, bool active)
{
    return m_store.addLocked(id, active);
}

InstrumentModifications InstrumentStore::Writer::update(std::string_view identifier, const Pose& pose,
                                                        double quality, std::uint64_t timestampMs,
                                                        std::uint32_t flags)
{
    return m_store.updateLocked(identifier, pose, quality, timestampMs, flags, m_now);
}

}  // namespace Quorvane
