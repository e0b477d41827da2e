#include "CaptureFile.h"

#include <unistd.h>

#include <cstring>
#include <fstream>

namespace NatNetTest {

namespace {

void put16(std::vector<uint8_t>& v, size_t at, uint16_t x)
{
    v[at] = static_cast<uint8_t>(x >> 8);
    v[at + 1] = static_cast<uint8_t>(x);
}

}  // namespace

CaptureFile::CaptureFile(int linkType, const std::string& name)
    : m_path(std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()) + ".pcap")),
      m_pcap(pcap_open_dead(linkType, 65535)),
      m_dumper(pcap_dump_open(m_pcap, m_path.c_str()))
{
}

CaptureFile::~CaptureFile()
{
    close();
    pcap_close(m_pcap);
    std::filesystem::remove(m_path);
}

void CaptureFile::add(const std::vector<uint8_t>& frame, double seconds)
{
    pcap_pkthdr header{};
    header.ts.tv_sec = static_cast<time_t>(seconds);
    header.ts.tv_usec = static_cast<suseconds_t>((seconds - static_cast<double>(header.ts.tv_sec)) * 1e6);
    header.caplen = header.len = static_cast<bpf_u_int32>(frame.size());
    pcap_dump(reinterpret_cast<u_char*>(m_dumper), &header, frame.data());
}

void CaptureFile::close()
{
    if (m_dumper != nullptr) {
        pcap_dump_close(m_dumper);
    }
    m_dumper = nullptr;
}

void CaptureFile::appendRaw(const std::vector<uint8_t>& bytes)
{
    std::ofstream out(m_path, std::ios::binary | std::ios::app);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> recordHeader(uint32_t capturedLength, uint32_t originalLength)
{
    const uint32_t fields[4] = {0, 0, capturedLength, originalLength};  // seconds, microseconds, lengths
    std::vector<uint8_t> bytes(sizeof fields);
    std::memcpy(bytes.data(), fields, sizeof fields);
    return bytes;
}

std::vector<uint8_t> ipv4(uint16_t id, size_t offset, bool more, const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> p(20, 0);
    p[0] = 0x45;
    put16(p, 2, static_cast<uint16_t>(20 + data.size()));
    put16(p, 4, id);
    put16(p, 6, static_cast<uint16_t>((more ? 0x2000 : 0) | (offset / 8)));
    p[8] = 1;
    p[9] = 17;
    const uint8_t source[4] = {127, 0, 0, 2};
    const uint8_t destination[4] = {127, 0, 0, 1};
    std::copy(source, source + 4, p.begin() + 12);
    std::copy(destination, destination + 4, p.begin() + 16);
    p.insert(p.end(), data.begin(), data.end());
    return p;
}

std::vector<uint8_t> udp(uint16_t sourcePort, uint16_t destinationPort, const std::vector<uint8_t>& payload)
{
    std::vector<uint8_t> u(8, 0);
    put16(u, 0, sourcePort);
    put16(u, 2, destinationPort);
    put16(u, 4, static_cast<uint16_t>(8 + payload.size()));
    u.insert(u.end(), payload.begin(), payload.end());
    return u;
}

std::vector<uint8_t> cooked(const std::vector<uint8_t>& ip)
{
    std::vector<uint8_t> frame(16, 0);
    frame[14] = 0x08;  // IPv4
    frame.insert(frame.end(), ip.begin(), ip.end());
    return frame;
}

}  // namespace NatNetTest
