#pragma once

#include <Quorvane/Stream/StreamExport.h>

#include <string>

namespace Quorvane {

/// Identity of a tracking instrument as a tracking stream announces it.
///
/// `identifier` is the instrument's key in the store and must be unique within one stream.
/// `serial` is an optional hardware serial number or similar second key (empty by default);
/// the store keeps it but never looks it up. `name` is what a user sees.
struct QUORVANE_STREAM_EXPORT TrackerID
{
    TrackerID() = default;
    TrackerID(std::string identifier, std::string serial = {}, std::string name = {});

    std::string identifier;
    std::string serial;
    std::string name;

    bool operator==(const TrackerID& other) const;
    bool operator!=(const TrackerID& other) const { return !(*this == other); }
};

}  // namespace Quorvane
