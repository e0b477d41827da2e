#include <Quorvane/Stream/TrackingInstrument.h>

#include <utility>

namespace Quorvane {

TrackingInstrument::TrackingInstrument() : m_id(std::make_shared<const TrackerID>()) {}

TrackingInstrument::TrackingInstrument(TrackerID trackerIdValue, bool isActive)
    : active(isActive), m_id(std::make_shared<const TrackerID>(std::move(trackerIdValue)))
{
}

TrackingInstrument::TrackingInstrument(std::shared_ptr<const TrackerID> sharedId, bool isActive)
    : active(isActive), m_id(sharedId ? std::move(sharedId) : std::make_shared<const TrackerID>())
{
}

void TrackingInstrument::setTrackerId(TrackerID trackerIdValue)
{
    m_id = std::make_shared<const TrackerID>(std::move(trackerIdValue));
}

}  // namespace Quorvane
