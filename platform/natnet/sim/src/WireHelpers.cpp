#include "WireHelpers.h"

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

}  // namespace NatNet::Sim::Internal
