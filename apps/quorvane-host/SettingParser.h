#pragma once

#include <Quorvane/Core/Properties.h>

#include <string>
#include <vector>

namespace Quorvane {
namespace Host {

/// One key that `--set key=value` accepts, with the type it is stored as.
struct SettingKey
{
    const char* key;
    Properties::Type type;
};

/// The keys `--set` knows: the OptiTrack stream's connection keys ("localAddress",
/// "serverAddress", "multicastAddress" as text, "commandPort" and "dataPort" as unsigned short,
/// "connectionType" as int) and the stream IO algorithm's flag keys ("open", "autoOpen",
/// "connect", "start", "autoStart" as bool).
const std::vector<SettingKey>& settingKeys();

/// Parses one "key=value" of `--set` and stores the value in `out` with the key's type
/// (values are checked strictly: "70000" is no unsigned short, "abc" no int, "yes" no bool).
/// "connectionType" also takes the words "unicast" (1) and "multicast" (0). The value may be
/// empty for text keys. On failure returns false, stores nothing and says in `error` which key
/// was wrong and what it expects.
bool parseSetting(const std::string& assignment, Properties& out, std::string& error);

/// What `--run` does when the user gave no flag keys: adds "open" = true unless one of "open",
/// "autoOpen", "connect" is present, and "start" = true unless "start" or "autoStart" is.
void addDefaultFlags(Properties& properties);

}  // namespace Host
}  // namespace Quorvane
