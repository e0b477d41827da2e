#include <Quorvane/Stream/TrackerID.h>

#include <utility>

namespace Quorvane {

TrackerID::TrackerID(std::string identifierText, std::string serialText, std::string nameText)
    : identifier(std::move(identifierText)), serial(std::move(serialText)), name(std::move(nameText))
{
}

bool TrackerID::operator==(const TrackerID& other) const
{
    return identifier == other.identifier && serial == other.serial && name == other.name;
}

}  // namespace Quorvane
