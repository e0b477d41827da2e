#include <Quorvane/Lib/PluginDescriptor.h>

#include <gtest/gtest.h>

#include <ostream>

#include <string>

namespace Quorvane {
namespace {

const std::string kModule =
    "__QUORVANE_PLUGIN_V2_MAGIC_STRING__|hostversion=4.5.0|buildflags=MSC_VER:1929,IDL:0|pluginversion=";

TEST(PluginDescriptor, ParsesTheModulesDescriptor)
{
    ASSERT_EQ(kModule.size(), 98u);
    PluginDescriptor d;
    std::string error;
    ASSERT_TRUE(PluginDescriptor::parse(kModule, d, &error)) << error;
    EXPECT_EQ(d.text, kModule);
    EXPECT_EQ(d.major, 4);
    EXPECT_EQ(d.minor, 5);
    EXPECT_EQ(d.patch, 0);
    using Flag = std::pair<std::string, std::string>;
    EXPECT_EQ(d.buildFlags, (std::vector<Flag>{{"MSC_VER", "1929"}, {"IDL", "0"}}));
    EXPECT_EQ(d.pluginVersion, "");
    EXPECT_TRUE(PluginDescriptor::isCompatibleHostVersion(d.major, d.minor));
    EXPECT_EQ(PluginDescriptor::hostVersionText(), "4.5.0");
}

struct BadRow
{
    const char* name;
    std::string text;
    const char* reason;  ///< part of the explanation
};

/// Rows print as their name, so test names stay short and stable.
void PrintTo(const BadRow& row, std::ostream* os)
{
    *os << '"' << row.name << '"';
}

class BadDescriptors : public ::testing::TestWithParam<BadRow>
{
};

TEST_P(BadDescriptors, AreRefusedWithAReasonAndLeaveTheOutputAlone)
{
    PluginDescriptor d;
    d.major = 99;
    std::string error;
    EXPECT_FALSE(PluginDescriptor::parse(GetParam().text, d, &error));
    EXPECT_EQ(d.major, 99);
    EXPECT_NE(error.find(GetParam().reason), std::string::npos) << error;
}

const std::string M = "__QUORVANE_PLUGIN_V2_MAGIC_STRING__";

/// A descriptor in the module's field order with `hostVersion` and `buildFlags` as given.
std::string descriptor(const std::string& hostVersion, const std::string& buildFlags = "")
{
    return M + "|hostversion=" + hostVersion + "|buildflags=" + buildFlags + "|pluginversion=";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, BadDescriptors,
    ::testing::Values(
        BadRow{"Empty", "", "does not start with"},
        BadRow{"MagicWithValue",
               M + "=1|hostversion=4.5.0|buildflags=|pluginversion=", "does not start with"},
        BadRow{"NoPluginVersion", M + "|hostversion=4.5.0|buildflags=MSC_VER:1929", "has 3 fields"},
        BadRow{"TrailingSeparator", descriptor("4.5.0") + "|", "has 5 fields"},
        BadRow{"UnknownKey", M + "|hostversion=4.5.0|flags=|pluginversion=", "expected buildflags="},
        BadRow{"KeyWithoutEquals", M + "|hostversion|buildflags=|pluginversion=", "expected hostversion="},
        BadRow{"ShortVersion", descriptor("4.5"), "not MAJOR.MINOR.PATCH"},
        BadRow{"LetterInVersion", descriptor("4.5.x"), "not MAJOR.MINOR.PATCH"},
        BadRow{"HugeVersion", descriptor("4.99999999999.0"), "99999999999 is out of range"},
        BadRow{"OverlongNumber", descriptor("4.5." + std::string(400, '9')), "is out of range"},
        BadRow{"JustBeyondInt", descriptor("2147483648.5.0"), "2147483648 is out of range"},
        BadRow{"NegativePart", descriptor("4.-5.0"), "not MAJOR.MINOR.PATCH"},
        BadRow{"PlusSign", descriptor("+4.5.0"), "not MAJOR.MINOR.PATCH"},
        BadRow{"EmptyPart", descriptor("4..0"), "not MAJOR.MINOR.PATCH"},
        BadRow{"BlankInPart", descriptor("4. 5.0"), "not MAJOR.MINOR.PATCH"},
        BadRow{"FlagWithoutValue", descriptor("4.5.0", "MSC_VER:"), "'MSC_VER:'"},
        BadRow{"FlagWithoutColon", descriptor("4.5.0", "MSC_VER"), "'MSC_VER'"},
        BadRow{"EmptyFlag", descriptor("4.5.0", "IDL:0,"), "build flag ''"},
        BadRow{"FlagStartsWithDigit", descriptor("4.5.0", "1X:0"), "'1X:0'"},
        BadRow{"TooLong", descriptor("4.5.0") + std::string(5000, '1'), "longer than 4096"}),
    [](const ::testing::TestParamInfo<BadRow>& row) { return std::string(row.param.name); });

TEST(PluginDescriptor, TakesEveryVersionPartThatFitsAnInt)
{
    PluginDescriptor d;
    std::string error;
    ASSERT_TRUE(PluginDescriptor::parse(descriptor("0004.0000005.2147483647"), d, &error)) << error;
    EXPECT_EQ(d.major, 4);
    EXPECT_EQ(d.minor, 5);
    EXPECT_EQ(d.patch, 2147483647);
}

TEST(PluginDescriptor, HostVersionCompatibility)
{
    EXPECT_TRUE(PluginDescriptor::isCompatibleHostVersion(4, 0));
    EXPECT_TRUE(PluginDescriptor::isCompatibleHostVersion(4, 5));
    EXPECT_FALSE(PluginDescriptor::isCompatibleHostVersion(4, 6));
    EXPECT_FALSE(PluginDescriptor::isCompatibleHostVersion(3, 9));
    EXPECT_FALSE(PluginDescriptor::isCompatibleHostVersion(5, 0));
}

}  // namespace
}  // namespace Quorvane
