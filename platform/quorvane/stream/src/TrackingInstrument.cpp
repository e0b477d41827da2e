#include <Quorvane/Stream/TrackingInstrument.h>

#include <utility>

namespace Quorvane {

TrackingInstrument::TrackingInstrument() : m_id(std::make_shared<const TrackerID>()) {}

TrackingInstrument::TrackingInstrument(TrackerID trackerIdValue, bool isActive)
    : active(isActive), m_id(std::make_shared<const TrackerID>(std::move(trackerIdValue)))
{
}

void TrackingInstrument::setTrackerId(TrackerID trackerIdValue)
{
    m_id = std::make_shared<const TrackerID>(std::move(trackerIdValue));
}

}  // namespace Quorvane
