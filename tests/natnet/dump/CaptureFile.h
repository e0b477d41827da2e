// Crafted capture files for the capture reader's tests: link-layer frames
// written with libpcap's dump API, and raw bytes appended after them for the
// records libpcap itself would never write.
#pragma once

#include <pcap/pcap.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace NatNetTest {

class CaptureFile
{
public:
    CaptureFile(int linkType, const std::string& name);
    ~CaptureFile();
    CaptureFile(const CaptureFile&) = delete;
    CaptureFile& operator=(const CaptureFile&) = delete;

    void add(const std::vector<uint8_t>& frame, double seconds = 0.0);
    void close();
    // After close(): bytes written as they are, e.g. a broken record header.
    void appendRaw(const std::vector<uint8_t>& bytes);
    std::string path() const { return m_path.string(); }

private:
    std::filesystem::path m_path;
    pcap_t* m_pcap;
    pcap_dumper_t* m_dumper;
};

// A pcap record header in the writer's byte order, as libpcap writes it.
std::vector<uint8_t> recordHeader(uint32_t capturedLength, uint32_t originalLength);

// An IPv4 packet (127.0.0.2 to 127.0.0.1) carrying `data` at fragment offset `offset` of datagram `id`.
std::vector<uint8_t> ipv4(uint16_t id, size_t offset, bool more, const std::vector<uint8_t>& data);
std::vector<uint8_t> udp(uint16_t sourcePort, uint16_t destinationPort, const std::vector<uint8_t>& payload);
// A Linux cooked (v1) frame around an IPv4 packet.
std::vector<uint8_t> cooked(const std::vector<uint8_t>& ip);

}  // namespace NatNetTest
