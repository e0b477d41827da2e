// What natnet-doctor concludes: one verdict per run, and each failed check
// names the verdict it leads to as its cause.
#pragma once

#include <optional>
#include <string>

namespace NatNet::Doctor {

enum class Verdict {
    Ok,
    NoLocalInterface,
    NoRoute,
    ServerSilent,
    ModeMismatch,
    NoFrames,
    MulticastNotReceived,
    NoRigidBodies,
    FramesLost,
};

// The identifier printed in the JSON lines and listed by --help.
const char* verdictId(Verdict verdict);
std::optional<Verdict> verdictFromId(const std::string& id);

// The lines of --help that list the verdicts and the exit status.
extern const char* const kVerdictHelp;

}  // namespace NatNet::Doctor
