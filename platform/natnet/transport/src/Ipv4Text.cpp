#include "natnet/transport/Ipv4Text.h"

#include "natnet/transport/DecimalText.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace NatNet::Net {

std::optional<uint32_t> parseIpv4(const char* text)
{
    if (text == nullptr) {
        return std::nullopt;
    }
    std::string_view rest(text);
    uint32_t address = 0;
    for (int octet = 0; octet < 4; ++octet) {
        const size_t dot = octet < 3 ? rest.find('.') : rest.size();
        if (dot == std::string_view::npos) {
            return std::nullopt;
        }
        const std::string_view part = rest.substr(0, dot);
        // "01" is refused like inet_pton does: a leading zero reads as octal elsewhere.
        if (part.size() > 1 && part.front() == '0') {
            return std::nullopt;
        }
        const std::optional<uint8_t> value = parseDecimal<uint8_t>(part);
        if (!value) {
            return std::nullopt;
        }
        address = (address << 8) | *value;
        rest.remove_prefix(std::min(dot + 1, rest.size()));
    }
    return address;
}

void formatIpv4(uint32_t address, char (&out)[16])
{
    std::snprintf(out, sizeof(out), "%u.%u.%u.%u", (address >> 24) & 0xFFu, (address >> 16) & 0xFFu,
                  (address >> 8) & 0xFFu, address & 0xFFu);
}

std::string formatIpv4(uint32_t address)
{
    char text[16];
    formatIpv4(address, text);
    return text;
}

void ipv4ToBytes(uint32_t address, uint8_t (&out)[4])
{
    out[0] = static_cast<uint8_t>(address >> 24);
    out[1] = static_cast<uint8_t>(address >> 16);
    out[2] = static_cast<uint8_t>(address >> 8);
    out[3] = static_cast<uint8_t>(address);
}

uint32_t ipv4FromBytes(const uint8_t (&bytes)[4])
{
    return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3];
}

bool isMulticast(uint32_t address)
{
    return (address >> 28) == 0xEu;
}

namespace {

std::string trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

}  // namespace

std::optional<std::vector<Ipv4Endpoint>> parseEndpointList(const std::string& text, uint16_t defaultPort)
{
    std::vector<Ipv4Endpoint> endpoints;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(',', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string item = trimmed(text.substr(start, end - start));
        start = end + 1;
        if (item.empty()) {
            if (end == text.size()) {
                break;
            }
            return std::nullopt;  // ",," or a leading comma
        }
        Ipv4Endpoint endpoint;
        endpoint.port = defaultPort;
        std::string host = item;
        const auto colon = item.find(':');
        if (colon != std::string::npos) {
            host = item.substr(0, colon);
            const std::string portText = item.substr(colon + 1);
            const std::optional<uint16_t> port =
                portText.size() <= 5 ? parseDecimal<uint16_t>(portText) : std::nullopt;
            if (!port || *port == 0) {
                return std::nullopt;
            }
            endpoint.port = *port;
        }
        const auto address = parseIpv4(host.c_str());
        if (!address) {
            return std::nullopt;
        }
        endpoint.address = *address;
        endpoints.push_back(endpoint);
    }
    return endpoints;
}

}  // namespace NatNet::Net
