#include "SettingParser.h"

#include <Quorvane/Core/String.h>

#include <algorithm>

namespace Quorvane {
namespace Host {

namespace Internal {
namespace {

std::string expectation(const SettingKey& key)
{
    switch (key.type) {
        case Properties::Type::Bool:
            return "a bool (true, false, 1 or 0)";
        case Properties::Type::Int:
            if (std::string(key.key) == "connectionType") {
                return R"txt(an int, "unicast" (1) or "multicast" (0))txt";
            }
            return "an int";
        case Properties::Type::UnsignedShort:
            return "an unsigned short";
        case Properties::Type::Double:
            return "a double";
        case Properties::Type::String:
            return "a text";
    }
    return "a value";
}

std::string knownKeys()
{
    std::string out;
    for (const SettingKey& key : settingKeys()) {
        if (!out.empty()) {
            out += ", ";
        }
        out += key.key;
    }
    return out;
}

}  // namespace
}  // namespace Internal

const std::vector<SettingKey>& settingKeys()
{
    static const std::vector<SettingKey> keys = {
        {"localAddress", Properties::Type::String},
        {"serverAddress", Properties::Type::String},
        {"multicastAddress", Properties::Type::String},
        {"commandPort", Properties::Type::UnsignedShort},
        {"dataPort", Properties::Type::UnsignedShort},
        {"connectionType", Properties::Type::Int},
        {"open", Properties::Type::Bool},
        {"autoOpen", Properties::Type::Bool},
        {"connect", Properties::Type::Bool},
        {"start", Properties::Type::Bool},
        {"autoStart", Properties::Type::Bool},
    };
    return keys;
}

bool parseSetting(const std::string& assignment, Properties& out, std::string& error)
{
    const std::size_t equals = assignment.find('=');
    if (equals == std::string::npos || equals == 0) {
        error = "--set \"" + assignment + "\": expected key=value";
        return false;
    }
    const std::string name = assignment.substr(0, equals);
    const std::string text = assignment.substr(equals + 1);

    const auto& keys = settingKeys();
    const auto key =
        std::find_if(keys.begin(), keys.end(), [&](const SettingKey& k) { return name == k.key; });
    if (key == keys.end()) {
        error = "--set " + assignment + ": unknown key \"" + name +
                "\" (known keys: " + Internal::knownKeys() + ")";
        return false;
    }

    if (key->type == Properties::Type::Int && name == "connectionType") {
        const std::string word = String::lowerCase(text);
        if (word == "unicast" || word == "multicast") {
            out.setParam(name, word == "unicast" ? 1 : 0);
            return true;
        }
    }

    Properties::Value value;
    std::string why;
    if (!Properties::fromText(key->type, text, value, &why)) {
        error =
            "--set " + assignment + ": \"" + name + "\" expects " + Internal::expectation(*key) + "; " + why;
        return false;
    }
    out.setValue(name, std::move(value));
    return true;
}

void addDefaultFlags(Properties& properties)
{
    if (!properties.has("open") && !properties.has("autoOpen") && !properties.has("connect")) {
        properties.setParam("open", true);
    }
    if (!properties.has("start") && !properties.has("autoStart")) {
        properties.setParam("start", true);
    }
}

}  // namespace Host
}  // namespace Quorvane
