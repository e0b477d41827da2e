// Parsing and printing of IPv4 addresses and "address:port" lists.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace NatNet::Net {

struct Ipv4Endpoint
{
    uint32_t address = 0;  // host byte order
    uint16_t port = 0;

    bool operator==(const Ipv4Endpoint& other) const
    {
        return address == other.address && port == other.port;
    }
    bool operator!=(const Ipv4Endpoint& other) const { return !(*this == other); }
};

// Strict dotted quad ("192.168.0.1"); no host names, no shortened forms.
std::optional<uint32_t> parseIpv4(const char* text);
std::string formatIpv4(uint32_t address);
// Writes the dotted text into a buffer of at least 16 bytes.
void formatIpv4(uint32_t address, char (&out)[16]);

// The four address bytes in wire order (first octet first) and back.
void ipv4ToBytes(uint32_t address, uint8_t (&out)[4]);
uint32_t ipv4FromBytes(const uint8_t (&bytes)[4]);

bool isMulticast(uint32_t address);

// "a.b.c.d[:port],..." with blanks allowed around items; items without a port
// get defaultPort. Returns nothing when any item is malformed.
std::optional<std::vector<Ipv4Endpoint>> parseEndpointList(const std::string& text, uint16_t defaultPort);

}  // namespace NatNet::Net
