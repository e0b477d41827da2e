#include <Quorvane/Lib/PluginDescriptor.h>

#include <Quorvane/Core/String.h>

#include <cctype>
#include <charconv>
#include <system_error>

namespace Quorvane {

namespace Internal {
namespace {

constexpr const char* kMagic = "__QUORVANE_PLUGIN_V2_MAGIC_STRING__";

enum class NumberStatus { Ok, NotDecimal, OutOfRange };

/// A version part: decimal digits only (no sign, no blanks) whose value fits an int.
NumberStatus parseVersionPart(const std::string& s, int& out)
{
    if (s.empty()) {
        return NumberStatus::NotDecimal;
    }
    for (char c : s) {
        if (c < '0' || c > '9') {
            return NumberStatus::NotDecimal;  // from_chars alone would take a leading '-'
        }
    }
    int value = 0;
    const char* end = s.data() + s.size();
    const std::from_chars_result r = std::from_chars(s.data(), end, value);
    if (r.ec == std::errc::result_out_of_range) {
        return NumberStatus::OutOfRange;
    }
    if (r.ec != std::errc() || r.ptr != end) {
        return NumberStatus::NotDecimal;
    }
    out = value;
    return NumberStatus::Ok;
}

bool isFlagName(const std::string& s)
{
    if (s.empty() || std::isdigit(static_cast<unsigned char>(s[0])) != 0) {
        return false;
    }
    for (char c : s) {
        if (std::isalnum(static_cast<unsigned char>(c)) == 0 && c != '_') {
            return false;
        }
    }
    return true;
}

/// Splits "key=value" at the first '='; false when there is none.
bool keyValue(const std::string& field, std::string& key, std::string& value)
{
    const std::size_t eq = field.find('=');
    if (eq == std::string::npos) {
        return false;
    }
    key = field.substr(0, eq);
    value = field.substr(eq + 1);
    return true;
}

}  // namespace
}  // namespace Internal

bool PluginDescriptor::parse(const std::string& text, PluginDescriptor& out, std::string* error)
{
    auto fail = [&](const std::string& why) {
        if (error != nullptr) {
            *error = why;
        }
        return false;
    };
    if (text.size() > maxLength) {
        return fail("the descriptor is longer than " + std::to_string(maxLength) + " characters");
    }
    const std::vector<std::string> fields = String::split(text, "|", String::KeepEmptyParts);
    if (fields.empty() || fields[0] != Internal::kMagic) {
        return fail(std::string("the descriptor does not start with the field ") + Internal::kMagic);
    }
    static const char* const kKeys[] = {"hostversion", "buildflags", "pluginversion"};
    constexpr std::size_t kKeyCount = sizeof kKeys / sizeof kKeys[0];
    if (fields.size() != 1 + kKeyCount) {
        return fail("the descriptor has " + std::to_string(fields.size()) +
                    " fields; expected 4 (magic, hostversion, buildflags, pluginversion)");
    }

    PluginDescriptor parsed;
    parsed.text = text;
    std::string values[kKeyCount];
    for (std::size_t i = 0; i < kKeyCount; ++i) {
        std::string key;
        if (!Internal::keyValue(fields[i + 1], key, values[i]) || key != kKeys[i]) {
            return fail("field " + std::to_string(i + 2) + " is '" + fields[i + 1] + "'; expected " +
                        kKeys[i] + "=...");
        }
    }

    const std::vector<std::string> version = String::split(values[0], ".", String::KeepEmptyParts);
    if (version.size() != 3) {
        return fail("hostversion '" + values[0] + "' is not MAJOR.MINOR.PATCH");
    }
    int* const parts[] = {&parsed.major, &parsed.minor, &parsed.patch};
    for (std::size_t i = 0; i < 3; ++i) {
        switch (Internal::parseVersionPart(version[i], *parts[i])) {
            case Internal::NumberStatus::Ok:
                break;
            case Internal::NumberStatus::NotDecimal:
                return fail("hostversion '" + values[0] + "' is not MAJOR.MINOR.PATCH");
            case Internal::NumberStatus::OutOfRange:
                return fail("hostversion '" + values[0] + "': " + version[i] + " is out of range");
        }
    }

    if (!values[1].empty()) {
        for (const std::string& pair : String::split(values[1], ",", String::KeepEmptyParts)) {
            const std::size_t colon = pair.find(':');
            const std::string name = colon == std::string::npos ? pair : pair.substr(0, colon);
            const std::string value = colon == std::string::npos ? std::string() : pair.substr(colon + 1);
            if (colon == std::string::npos || !Internal::isFlagName(name) || value.empty() ||
                value.find(':') != std::string::npos) {
                return fail("build flag '" + pair + "' is not NAME:VALUE");
            }
            parsed.buildFlags.emplace_back(name, value);
        }
    }
    parsed.pluginVersion = values[2];
    out = std::move(parsed);
    return true;
}

bool PluginDescriptor::isCompatibleHostVersion(int major, int minor)
{
    return major == hostMajor && minor <= hostMinor;
}

std::string PluginDescriptor::hostVersionText()
{
    return std::to_string(hostMajor) + "." + std::to_string(hostMinor) + "." + std::to_string(hostPatch);
}

}  // namespace Quorvane
