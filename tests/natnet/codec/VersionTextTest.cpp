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
    Version expected;
};

bool same(const std::optional<Version>& a, const Version& b)
{
    return a && a->major == b.major && a->minor == b.minor && a->build == b.build &&
           a->revision == b.revision;
}

TEST(VersionTextTest, AcceptsTwoToFourDecimalPartsUpTo255)
{
    const VersionTextCase accepted[] = {
        {"4.1", Version(4, 1)},           {"0.0", Version(0, 0)},
        {"3.0.0.0", Version(3, 0, 0, 0)}, {"255.255.255.255", Version(255, 255, 255, 255)},
        {"4.1.2.3", Version(4, 1, 2, 3)}, {"004.01", Version(4, 1)},
        {"4.0.7", Version(4, 0, 7, 0)},
    };
    for (const VersionTextCase& c : accepted) {
        EXPECT_TRUE(same(Version::parse(c.text), c.expected)) << '"' << c.text << '"';
    }
    // Rejected: wrong part count, out of range, signs, spaces, trailing text.
    for (const std::string_view text :
         {"", "4", "4.1.0.", "4.", ".4", "4.1.0.0.0", "4.1.", "4..1", "256.0", "4.256.0.0", "0004.1",
          "99999999999.1", "-1.0", "+4.1", " 4.1", "4.1 ", "4.1x", "4,1", "0x4.1"}) {
        EXPECT_FALSE(Version::parse(text).has_value()) << '"' << text << '"';
    }
}

}  // namespace
