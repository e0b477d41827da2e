#pragma once

// The number checks and exit codes that every program's command line shares.
//
// CLI11's own Range lets NaN through (every comparison with NaN is false), and its integer
// conversion reads "-1" into an unsigned option as the largest value and "010" as octal. The
// validator below reads the text itself, so an option gets a finite number in its range or the
// program ends with a message and exit code 2. The check only reads the text (CLI11's check()
// never lets a validator change it), so it refuses what the later conversion would misread.

#include <CLI/CLI.hpp>

#include <charconv>
#include <cmath>
#include <iostream>
#include <limits>
#include <sstream>
#include <string>
#include <system_error>
#include <type_traits>

namespace CommandLine {

/// The exit code of every program for a command line it refuses.
constexpr int kUsageError = 2;

namespace Internal {

template <class T>
std::string rangeText(T min, T max)
{
    std::ostringstream text;
    text << "[" << +min << ", " << +max << "]";
    return text.str();
}

/// Whole numbers: plain decimal digits (a leading '-' for signed types), nothing CLI11's own
/// conversion would read differently ("010" is octal there, "0x10" hexadecimal).
template <class T>
std::string checkInteger(const std::string& input, T min, T max)
{
    T value{};
    const char* end = input.data() + input.size();
    const std::from_chars_result read = std::from_chars(input.data(), end, value, 10);
    if (read.ec == std::errc::invalid_argument || (read.ec == std::errc() && read.ptr != end) ||
        (read.ec == std::errc() && std::to_string(value) != input)) {
        return "\"" + input + "\" is not a whole number in " + rangeText(min, max);
    }
    if (read.ec != std::errc() || value < min || value > max) {
        return input + " is not in " + rangeText(min, max);
    }
    return {};
}

template <class T>
std::string checkFloating(const std::string& input, T min, T max)
{
    double value = 0.0;
    const char* end = input.data() + input.size();
    const std::from_chars_result read = std::from_chars(input.data(), end, value);
    if (read.ec == std::errc::invalid_argument || (read.ec == std::errc() && read.ptr != end)) {
        return "\"" + input + "\" is not a number";
    }
    if (read.ec != std::errc()) {
        return input + " is not in " + rangeText(min, max);
    }
    if (!std::isfinite(value)) {
        return input + " is not a finite number";
    }
    if (value < static_cast<double>(min) || value > static_cast<double>(max)) {
        return input + " is not in " + rangeText(min, max);
    }
    return {};
}

}  // namespace Internal

/// Checks every value of an option of arithmetic type T: a finite number in [min, max].
template <class T>
CLI::Validator inRange(T min, T max)
{
    static_assert(std::is_arithmetic<T>::value && !std::is_same<T, bool>::value, "numeric options only");
    CLI::Validator validator(
        [min, max](const std::string& input) -> std::string {
            if constexpr (std::is_floating_point<T>::value) {
                return Internal::checkFloating(input, min, max);
            } else {
                return Internal::checkInteger(input, min, max);
            }
        },
        "in " + Internal::rangeText(min, max), "IN_RANGE");
    return validator;
}

/// A count: a whole number from 0 to the largest value of T.
template <class T>
CLI::Validator count()
{
    static_assert(std::is_integral<T>::value, "counts are whole numbers");
    return inRange<T>(0, std::numeric_limits<T>::max());
}

/// A UDP port number from `lowest` to 65535. 0, where an option allows it, asks for any free port.
inline CLI::Validator port(int lowest = 0)
{
    return inRange(lowest, 65535);
}

/// Parses the command line. Returns -1 to go on, else the exit code: 0 after --help (the help
/// went to `out`), kUsageError for anything refused (the reason went to `err`).
inline int parse(CLI::App& app, int argc, const char* const* argv, std::ostream& out = std::cout,
                 std::ostream& err = std::cerr)
{
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error, out, err) == 0 ? 0 : kUsageError;
    }
    return -1;
}

}  // namespace CommandLine
