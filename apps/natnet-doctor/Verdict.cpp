#include "Verdict.h"

#include <platform/NameTable.h>

namespace NatNet::Doctor {

namespace {

constexpr Platform::NameRow<Verdict> kIds[] = {
    {Verdict::Ok, "ok"},
    {Verdict::NoLocalInterface, "no-local-interface"},
    {Verdict::NoRoute, "no-route"},
    {Verdict::ServerSilent, "server-silent"},
    {Verdict::ModeMismatch, "mode-mismatch"},
    {Verdict::NoFrames, "no-frames"},
    {Verdict::MulticastNotReceived, "multicast-not-received"},
    {Verdict::NoRigidBodies, "no-rigid-bodies"},
    {Verdict::FramesLost, "frames-lost"},
};

}  // namespace

const char* verdictId(Verdict verdict)
{
    return Platform::nameOf(verdict, kIds, "unknown");
}

std::optional<Verdict> verdictFromId(const std::string& id)
{
    return Platform::valueOf(id, kIds);
}

const char* const kVerdictHelp =
    "Verdicts (the first failing check decides; the later ones would mean nothing):\n"
    "  ok                      frames with rigid bodies arrive\n"
    "  no-local-interface      --local is not an address of this machine\n"
    "  no-route                no interface of this machine reaches the server address\n"
    "  server-silent           nothing answers a connect request on the command port\n"
    "  mode-mismatch           the server streams multicast while unicast was asked, or the reverse\n"
    "  no-frames               the server answers commands but no frame arrives on the data path\n"
    "  multicast-not-received  the server streams multicast but no frame reaches the chosen interface\n"
    "  no-rigid-bodies         frames arrive but carry no rigid bodies\n"
    "  frames-lost             more than 1 % of the frame numbers are missing\n"
    "Exit status: 0 verdict ok, 1 any other verdict, 2 a command line it refuses.\n";

}  // namespace NatNet::Doctor
