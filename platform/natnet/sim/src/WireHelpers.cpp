#include "WireHelpers.h"

#include "NatNetTypes.h"

#include <algorithm>
#include <cctype>

namespace NatNet::Sim::Internal {

std::string lowercase(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

Wire::Version toVersion(const std::array<uint8_t, 4>& bytes)
{
    return Wire::Version(bytes[0], bytes[1], bytes[2], bytes[3]);
}

std::array<uint8_t, 4> toBytes(Wire::Version version)
{
    return {version.major, version.minor, version.build, version.revision};
}

bool sameLayout(Wire::Version a, Wire::Version b)
{
    return a.major == b.major && a.minor == b.minor;
}

bool isZero(const uint8_t (&bytes)[4])
{
    return bytes[0] == 0 && bytes[1] == 0 && bytes[2] == 0 && bytes[3] == 0;
}

std::optional<Wire::Version> parseVersion(std::string_view text)
{
    uint8_t parts[4] = {};
    size_t count = 0;
    size_t i = 0;
    while (count < 4 && i <= text.size()) {
        unsigned value = 0;
        size_t digits = 0;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && digits < 4) {
            value = value * 10 + static_cast<unsigned>(text[i++] - '0');
            ++digits;
        }
        if (digits == 0 || value > 255) {
            return std::nullopt;
        }
        parts[count++] = static_cast<uint8_t>(value);
        if (i == text.size()) {
            break;
        }
        if (text[i++] != '.') {
            return std::nullopt;
        }
    }
    if (count < 2 || i != text.size()) {
        return std::nullopt;
    }
    return Wire::Version(parts[0], parts[1], parts[2], parts[3]);
}

bool kindInVersion(int32_t type, Wire::Version version)
{
    switch (type) {
        case Descriptor_MarkerSet:
        case Descriptor_RigidBody:
        case Descriptor_Skeleton:
            return true;
        case Descriptor_ForcePlate:
            return version.atLeast(Wire::Gate::ForcePlateDescription);
        case Descriptor_Device:
            return version.atLeast(Wire::Gate::DeviceDescription);
        case Descriptor_Camera:
            return version.atLeast(Wire::Gate::CameraDescription);
        case Descriptor_Asset:
            return version.atLeast(Wire::Gate::AssetDescription);
        default:
            return false;
    }
}

}  // namespace NatNet::Sim::Internal
