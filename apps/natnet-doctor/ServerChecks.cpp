#include "ServerChecks.h"

#include "ServerSession.h"

#include <cstdio>

namespace NatNet::Doctor {

namespace {

std::string seconds(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", value);
    return text;
}

}  // namespace

CheckResult checkServerAnswers(const Connection& connection, ErrorCode connectResult,
                               const sServerDescription& description, double waitedSeconds)
{
    CheckResult result;
    result.check = "server-answers";
    const std::string where = connection.server + ":" + std::to_string(connection.commandPort);
    if (connectResult != ErrorCode_OK) {
        return result.fail(
            "no answer from " + where + " to a connect request within " + seconds(waitedSeconds) +
                " (error code " + std::to_string(static_cast<int>(connectResult)) + ")",
            Verdict::ServerSilent,
            "start Motive and turn streaming on (Edit > Settings > Streaming); check the "
            "command port (Motive's default is 1510); allow UDP port " +
                std::to_string(connection.commandPort) + " through the firewalls of both machines");
    }
    result.ok = true;
    if (!description.HostPresent) {
        result.detail = where + " answers but describes no host application";
        return result;
    }
    const std::string app = printableName(description.szHostApp, sizeof description.szHostApp);
    const std::string host =
        printableName(description.szHostComputerName, sizeof description.szHostComputerName);
    result.detail = where + " answers: " + app + " " + versionText(description.HostAppVersion) +
                    (host.empty() ? "" : " on " + host) + ", NatNet " +
                    versionText(description.NatNetVersion);
    return result;
}

ServerStream serverStream(const sServerDescription& description)
{
    ServerStream stream;
    if (!description.HostPresent || !description.bConnectionInfoValid) return stream;
    stream.known = true;
    stream.multicast = description.ConnectionMulticast;
    stream.dataPort = description.ConnectionDataPort;
    if (stream.multicast) {
        const uint8_t* group = description.ConnectionMulticastAddress;
        stream.multicastAddress = std::to_string(group[0]) + "." + std::to_string(group[1]) + "." +
                                  std::to_string(group[2]) + "." + std::to_string(group[3]);
    }
    return stream;
}

std::string describeStream(const ServerStream& stream)
{
    if (!stream.known) return "the server does not say how it streams (NatNet before 3.0)";
    std::string text = stream.multicast ? "multicast" : "unicast";
    text += ", data port " + std::to_string(stream.dataPort);
    if (stream.multicast) text += ", group " + stream.multicastAddress;
    return text;
}

CheckResult checkMode(Mode asked, const ServerStream& stream, const Connection& used)
{
    CheckResult result;
    result.check = "mode";
    const char* usedMode = used.multicast ? "multicast" : "unicast";
    if (!stream.known) {
        result.ok = true;
        result.detail = describeStream(stream) + "; using " + usedMode;
        return result;
    }
    if (asked == Mode::Auto || (asked == Mode::Multicast) == stream.multicast) {
        result.ok = true;
        result.detail = "the server streams " + describeStream(stream) + "; " + usedMode + " asked" +
                        (asked == Mode::Auto ? " (auto)" : "");
        return result;
    }
    result.detail = std::string("the server streams ") + describeStream(stream) + ", but " + modeName(asked) +
                    " was asked";
    result.cause = Verdict::ModeMismatch;
    result.fix = stream.multicast
                     ? "connect with multicast (--mode multicast, the module's connectionType=multicast, "
                       "group " +
                           stream.multicastAddress + ", data port " + std::to_string(stream.dataPort) +
                           "), or set Motive's transmission type to unicast"
                     : "connect with unicast (--mode unicast, the module's connectionType=unicast), or "
                       "set Motive's transmission type to multicast";
    return result;
}

}  // namespace NatNet::Doctor
