#include "TestData.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

namespace NatNetTest {

std::string capturePath(const std::string& relative)
{
    const char* dir = std::getenv("NATNET_CAPTURES_DIR");
    return std::string(dir ? dir : "tests/data/natnet-captures") + "/" + relative;
}

std::vector<uint8_t> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) ADD_FAILURE() << "cannot read " << path;
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> readCapture(const std::string& relative)
{
    return readFile(capturePath(relative));
}

HeapBytes::HeapBytes(const uint8_t* data, size_t size) : m_data(new uint8_t[size ? size : 1]), m_size(size)
{
    if (size) std::memcpy(m_data.get(), data, size);
}

::testing::AssertionResult bytesEqual(const std::vector<uint8_t>& expected, const uint8_t* actual,
                                      size_t actualSize)
{
    const size_t common = std::min(expected.size(), actualSize);
    size_t first = 0;
    while (first < common && expected[first] == actual[first]) ++first;
    if (first == common && expected.size() == actualSize) return ::testing::AssertionSuccess();
    std::ostringstream message;
    message << "sizes " << expected.size() << " (expected) and " << actualSize
            << "; first difference at offset " << first << "\n";
    auto dump = [&](const char* label, const uint8_t* bytes, size_t size) {
        message << label;
        const size_t from = first > 8 ? first - 8 : 0;
        for (size_t i = from; i < std::min(size, first + 8); ++i) {
            char hex[8];
            std::snprintf(hex, sizeof hex, i == first ? "[%02x]" : " %02x", bytes[i]);
            message << hex;
        }
        message << "\n";
    };
    dump("expected:", expected.data(), expected.size());
    dump("actual:  ", actual, actualSize);
    return ::testing::AssertionFailure() << message.str();
}

}  // namespace NatNetTest
