#include <Quorvane/Stream/TrackingStream.h>

#include <utility>

namespace Quorvane {

TrackingStream::TrackingStream(std::string name) : Stream(std::move(name)) {}

TrackingStream::~TrackingStream()
{
    // Before the store goes, so that readers told by the signal stop reading it in time.
    announceDestruction();
}

InstrumentModifications TrackingStream::addInstrument(const TrackerID& id, bool active)
{
    return m_store.add(id, active);
}

InstrumentModifications TrackingStream::updateInstrument(std::string_view identifier, const Pose& pose,
                                                         double quality, std::uint64_t timestampMs,
                                                         std::uint32_t flags)
{
    return m_store.update(identifier, pose, quality, timestampMs, flags);
}

InstrumentModifications TrackingStream::removeInstrument(std::string_view identifier)
{
    return m_store.remove(identifier);
}

std::optional<TrackingInstrument> TrackingStream::findInstrument(std::string_view identifier) const
{
    return m_store.find(identifier);
}

Data::Kind TrackingStream::kind() const
{
    return Kind::TrackingStream;
}

Data::Modality TrackingStream::modality() const
{
    return Modality::Tracking;
}

std::vector<std::string> TrackingStream::devices() const
{
    return {};
}

std::vector<TrackingInstrument> TrackingStream::instruments() const
{
    return m_store.snapshot();
}

std::vector<TrackingInstrument> TrackingStream::activeInstruments() const
{
    return m_store.activeSnapshot();
}

std::size_t TrackingStream::numInstruments() const
{
    return m_store.size();
}

bool TrackingStream::supportsMainInstrumentSelection() const
{
    return false;
}

bool TrackingStream::supportsInstrumentRenaming() const
{
    return false;
}

void TrackingStream::emitSignals(InstrumentModifications changes)
{
    instrumentsUpdated.emitSignal(changes);
}

InstrumentStore::Writer TrackingStream::instrumentWriter()
{
    return InstrumentStore::Writer(m_store);
}

}  // namespace Quorvane
