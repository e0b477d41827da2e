// Shared helpers of the NatNet tests: capture files, exact-size heap copies,
// byte comparison with context, and little-endian literals for golden bytes.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Little-endian byte literals for hand-built datagrams.
#define LE16(v) uint8_t((v)&0xFF), uint8_t(((v) >> 8) & 0xFF)
#define LE32(v) \
    uint8_t((v)&0xFF), uint8_t(((v) >> 8) & 0xFF), uint8_t(((v) >> 16) & 0xFF), uint8_t(((v) >> 24) & 0xFF)
#define LE64(v) LE32(uint64_t(v) & 0xFFFFFFFFu), LE32(uint64_t(v) >> 32)
// IEEE-754 bit patterns of the few floats the golden datagrams use.
#define F32_0 LE32(0x00000000u)
#define F32_0_25 LE32(0x3E800000u)
#define F32_0_5 LE32(0x3F000000u)
#define F32_1 LE32(0x3F800000u)
#define F32_2 LE32(0x40000000u)
#define F32_M1 LE32(0xBF800000u)
#define F64_1_5 LE64(0x3FF8000000000000ull)

namespace NatNetTest {

std::string capturePath(const std::string& relative);  // under NATNET_CAPTURES_DIR
std::vector<uint8_t> readFile(const std::string& path);
std::vector<uint8_t> readCapture(const std::string& relative);

// A copy of the bytes in a heap block of exactly their size, so that ASan
// reports a read one byte past the end.
class HeapBytes
{
public:
    HeapBytes(const uint8_t* data, size_t size);
    explicit HeapBytes(const std::vector<uint8_t>& bytes) : HeapBytes(bytes.data(), bytes.size()) {}
    const uint8_t* data() const { return m_data.get(); }
    size_t size() const { return m_size; }

private:
    std::unique_ptr<uint8_t[]> m_data;
    size_t m_size;
};

// Equal bytes, or a message with the first differing offset and the bytes around it.
::testing::AssertionResult bytesEqual(const std::vector<uint8_t>& expected, const uint8_t* actual,
                                      size_t actualSize);

}  // namespace NatNetTest
