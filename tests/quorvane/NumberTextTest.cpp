// Strict number text: the whole text, in range, nothing lenient.
#include <Quorvane/Core/NumberText.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

namespace Quorvane {
namespace {

TEST(NumberText, IntegersAreWholeDecimalTextInRange)
{
    const std::pair<std::string_view, long long> wide[] = {
        {"0", 0}, {"42", 42}, {"-7", -7}, {"+7", 7}, {"9223372036854775807", 9223372036854775807LL}};
    for (const auto& [text, value] : wide) {
        EXPECT_EQ(NumberText::parseInteger<long long>(text), value) << '"' << text << '"';
    }
    for (const std::string_view text : {"9223372036854775808", "99999999999999999999999", "", "+", "-", "+-1",
                                        " 1", "1 ", "1.0", "0x10", "12a"}) {
        EXPECT_EQ(NumberText::parseInteger<long long>(text), std::nullopt) << '"' << text << '"';
    }
    const std::pair<std::string_view, uint16_t> narrow[] = {{"65535", 65535}, {"+80", 80}};
    for (const auto& [text, value] : narrow) {
        EXPECT_EQ(NumberText::parseInteger<uint16_t>(text), value) << '"' << text << '"';
    }
    for (const std::string_view text : {"65536", "-1"}) {
        EXPECT_EQ(NumberText::parseInteger<uint16_t>(text), std::nullopt) << '"' << text << '"';
    }
}

TEST(NumberText, DoublesAreWholeFiniteTextInCNotation)
{
    const std::pair<std::string_view, double> accepted[] = {
        {"0.5", 0.5}, {"-2", -2.0}, {"+1.5", 1.5}, {"1e3", 1000.0}, {".25", 0.25}};
    for (const auto& [text, value] : accepted) {
        EXPECT_EQ(NumberText::parseDouble(text), value) << '"' << text << '"';
    }
    for (const std::string_view text : {"", "0,5", " 1", "1 ", "0x10", "inf", "nan", "1e999", "+-1"}) {
        EXPECT_EQ(NumberText::parseDouble(text), std::nullopt) << '"' << text << '"';
    }
}

}  // namespace
}  // namespace Quorvane
