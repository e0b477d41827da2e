// The text form of a version: the one set of inputs every command line and
// the "Bitstream," command accept.
#include "natnet/codec/Version.h"

#include <gtest/gtest.h>

#include <optional>
#include <string_view>

using NatNet::Wire::Version;

namespace {

struct VersionTextCase
{
    std::string_view text;
    std::optional<Version> expected;
};

bool same(const std::optional<Version>& a, const std::optional<Version>& b)
{
    if (!a || !b) return a.has_value() == b.has_value();
    return a->major == b->major && a->minor == b->minor && a->build == b->build && a->revision == b->revision;
}

TEST(VersionTextTest, AcceptsTwoToFourDecimalPartsUpTo255)
{
    const VersionTextCase cases[] = {
        {"4.1", Version(4, 1)},
        {"0.0", Version(0, 0)},
        {"3.0.0.0", Version(3, 0, 0, 0)},
        {"255.255.255.255", Version(255, 255, 255, 255)},
        {"4.1.2.3", Version(4, 1, 2, 3)},
        {"004.01", Version(4, 1)},
        {"4.0.7", Version(4, 0, 7, 0)},
        // Rejected: wrong part count, out of range, signs, spaces, trailing text.
        {"", std::nullopt},
        {"4", std::nullopt},
        {"4.1.0.", std::nullopt},
        {"4.", std::nullopt},
        {".4", std::nullopt},
        {"4.1.0.0.0", std::nullopt},
        {"4.1.", std::nullopt},
        {"4..1", std::nullopt},
        {"256.0", std::nullopt},
        {"4.256.0.0", std::nullopt},
        {"0004.1", std::nullopt},
        {"99999999999.1", std::nullopt},
        {"-1.0", std::nullopt},
        {"+4.1", std::nullopt},
        {" 4.1", std::nullopt},
        {"4.1 ", std::nullopt},
        {"4.1x", std::nullopt},
        {"4,1", std::nullopt},
        {"0x4.1", std::nullopt},
    };
    for (const VersionTextCase& c : cases) {
        EXPECT_TRUE(same(Version::parse(c.text), c.expected)) << '"' << c.text << '"';
    }
}

}  // namespace
