#include <Quorvane/Core/Flags.h>
#include <Quorvane/Core/String.h>

#include <gtest/gtest.h>

#include <ostream>

#include <string>
#include <vector>

namespace Quorvane {
namespace {

enum class Bit : unsigned { A = 1u << 0, B = 1u << 1, C = 1u << 2 };
QUORVANE_DECLARE_FLAG_OPERATORS(Bit)

TEST(Flags, CombineTestAndReset)
{
    Flags<Bit> f;
    EXPECT_TRUE(f.empty());
    f |= Bit::A;
    f |= Bit::C;
    EXPECT_EQ(f.raw(), 5u);
    EXPECT_TRUE(f.test(Bit::A));
    EXPECT_FALSE(f.test(Bit::B));
    EXPECT_FALSE(f.test(Bit::A | Bit::B));  // test() wants every bit
    EXPECT_TRUE(f.testAny(Bit::A | Bit::B));
    EXPECT_TRUE(f.test(Flags<Bit>()));
    f.reset(Bit::A);
    EXPECT_EQ(f, Flags<Bit>(Bit::C));
    EXPECT_EQ((Bit::A | Bit::B).raw(), 3u);
    EXPECT_EQ(Flags<Bit>::fromRaw(6) & Flags<Bit>(Bit::B), Flags<Bit>(Bit::B));
}

struct SplitRow
{
    const char* text;
    const char* separator;
    unsigned options;
    std::vector<std::string> pieces;
};

/// Rows print as their name, so test names stay short and stable.
void PrintTo(const SplitRow& row, std::ostream* os)
{
    *os << '"' << row.text << '"';
}

class SplitTable : public ::testing::TestWithParam<SplitRow>
{
};

TEST_P(SplitTable, GivesThePiecesInOrder)
{
    const SplitRow& row = GetParam();
    EXPECT_EQ(String::split(row.text, row.separator, row.options), row.pieces)
        << "text '" << row.text << "' separator '" << row.separator << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SplitTable,
    ::testing::Values(
        SplitRow{"IO;OptiTrack;OptiTrack Duo/Trio", ";", 0, {"IO", "OptiTrack", "OptiTrack Duo/Trio"}},
        SplitRow{"no separator here", ";", 0, {"no separator here"}}, SplitRow{"", ";", 0, {}},
        SplitRow{";;", ";", 0, {}}, SplitRow{";a;;b;", ";", 0, {"a", "b"}},
        SplitRow{";a;;b;", ";", String::KeepEmptyParts, {"", "a", "", "b", ""}},
        SplitRow{"", ";", String::KeepEmptyParts, {""}},
        SplitRow{"key=", "=", String::KeepEmptyParts, {"key", ""}},
        SplitRow{"a::b::c", "::", 0, {"a", "b", "c"}}, SplitRow{"a:::b", "::", 0, {"a", ":b"}},
        SplitRow{" a , b ,, ", ",", String::TrimParts, {"a", "b"}}, SplitRow{"whole", "", 0, {"whole"}}));

TEST(StringLowerCase, LowersAsciiLettersOnly)
{
    EXPECT_EQ(String::lowerCase("TRC.Csv"), "trc.csv");
    EXPECT_EQ(String::lowerCase("az09_-.[]@`{"), "az09_-.[]@`{");
    EXPECT_EQ(String::lowerCase("\xC4\xD6"), "\xC4\xD6");  // bytes past ASCII stay as they are
    EXPECT_EQ(String::lowerCase(""), "");
}

}  // namespace
}  // namespace Quorvane
