// Strict number text: the whole text, in range, nothing lenient.
#include <Quorvane/Core/NumberText.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string_view>

namespace Quorvane {
namespace {

template <typename T>
struct NumberRow
{
    std::string_view text;
    std::optional<T> expected;
};

TEST(NumberText, IntegersAreWholeDecimalTextInRange)
{
    const NumberRow<long long> wide[] = {
        {"0", 0},
        {"42", 42},
        {"-7", -7},
        {"+7", 7},
        {"9223372036854775807", 9223372036854775807LL},
        {"9223372036854775808", std::nullopt},
        {"99999999999999999999999", std::nullopt},
        {"", std::nullopt},
        {"+", std::nullopt},
        {"-", std::nullopt},
        {"+-1", std::nullopt},
        {" 1", std::nullopt},
        {"1 ", std::nullopt},
        {"1.0", std::nullopt},
        {"0x10", std::nullopt},
        {"12a", std::nullopt},
    };
    for (const auto& row : wide) {
        EXPECT_EQ(NumberText::parseInteger<long long>(row.text), row.expected) << '"' << row.text << '"';
    }
    const NumberRow<uint16_t> narrow[] = {
        {"65535", 65535}, {"65536", std::nullopt}, {"-1", std::nullopt}, {"+80", 80}};
    for (const auto& row : narrow) {
        EXPECT_EQ(NumberText::parseInteger<uint16_t>(row.text), row.expected) << '"' << row.text << '"';
    }
}

TEST(NumberText, DoublesAreWholeFiniteTextInCNotation)
{
    const NumberRow<double> rows[] = {
        {"0.5", 0.5},
        {"-2", -2.0},
        {"+1.5", 1.5},
        {"1e3", 1000.0},
        {".25", 0.25},
        {"", std::nullopt},
        {"0,5", std::nullopt},
        {" 1", std::nullopt},
        {"1 ", std::nullopt},
        {"0x10", std::nullopt},
        {"inf", std::nullopt},
        {"nan", std::nullopt},
        {"1e999", std::nullopt},
        {"+-1", std::nullopt},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(NumberText::parseDouble(row.text), row.expected) << '"' << row.text << '"';
    }
}

}  // namespace
}  // namespace Quorvane
