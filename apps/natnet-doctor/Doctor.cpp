#include "Doctor.h"

#include "Connection.h"
#include "LocalNetwork.h"
#include "NetworkChecks.h"
#include "ServerChecks.h"
#include "ServerSession.h"
#include "StreamChecks.h"

#include <arpa/inet.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

namespace NatNet::Doctor {

namespace {

using Clock = std::chrono::steady_clock;

bool isIpv4(const std::string& text, in_addr* out = nullptr)
{
    in_addr address{};
    const bool ok = inet_pton(AF_INET, text.c_str(), &address) == 1;
    if (ok && out != nullptr) *out = address;
    return ok;
}

class Run
{
public:
    Run(const DoctorOptions& options, const CheckListener& listener) : options_(options), listener_(listener)
    {
        report_.server = options.server;
        used_.multicast = options.mode == Mode::Multicast;
        used_.server = options.server;
        used_.local = options.local;
        used_.commandPort = options.commandPort;
        used_.dataPort = options.dataPort;
        used_.multicastAddress = options.multicastAddress;
    }

    Report run()
    {
        examineAll();
        report_.command = hostCommand(suggested_ ? *suggested_ : used_);
        return std::move(report_);
    }

private:
    bool add(CheckResult result)
    {
        if (listener_) listener_(result);
        if (!result.ok && result.cause) report_.verdict = *result.cause;
        const bool ok = result.ok;
        report_.checks.push_back(std::move(result));
        return ok;
    }

    std::chrono::milliseconds window() const
    {
        return std::chrono::milliseconds(static_cast<long long>(options_.seconds * 1000.0));
    }

    void examineAll()
    {
        const auto addresses = localAddresses();
        route_ = routeTo(options_.server, options_.commandPort);
        if (!options_.local.empty() && !add(checkLocalInterface(options_.local, addresses))) {
            // What would work: the interface the kernel picks for the server.
            Connection suggestion = used_;
            suggestion.local = route_.reachable ? route_.source.address : std::string();
            suggested_ = suggestion;
            return;
        }
        if (!add(checkRoute(options_.server, options_.commandPort, options_.local, route_, addresses)))
            return;
        if (used_.local.empty()) used_.local = route_.source.address;

        // Auto asks unicast first: a connect request is answered with the server's information either way.
        auto session = std::make_unique<ServerSession>();
        const auto connectStart = Clock::now();
        const ErrorCode connected = session->connect(used_, window());
        const double waited = std::chrono::duration<double>(Clock::now() - connectStart).count();
        if (!add(checkServerAnswers(used_, connected, session->description(), waited))) return;

        const ServerStream stream = serverStream(session->description());
        if (options_.mode == Mode::Auto && stream.known) {
            Connection adopted = used_;
            adopted.multicast = stream.multicast;
            adopted.dataPort = stream.dataPort;
            if (stream.multicast) adopted.multicastAddress = stream.multicastAddress;
            if (adopted.multicast != used_.multicast || adopted.dataPort != used_.dataPort) {
                used_ = adopted;
                session.reset();
                session = std::make_unique<ServerSession>();
                // Only a failure is worth a second line: the first answer was already reported.
                if (const ErrorCode again = session->connect(used_, window()); again != ErrorCode_OK) {
                    add(checkServerAnswers(used_, again, session->description(), waited));
                    return;
                }
            }
            used_ = adopted;
        }
        if (!add(checkMode(options_.mode, stream, used_))) {
            Connection suggestion = used_;
            suggestion.multicast = stream.multicast;
            suggestion.dataPort = stream.dataPort;
            if (stream.multicast) suggestion.multicastAddress = stream.multicastAddress;
            suggested_ = suggestion;
            return;
        }

        // The command names the server's own data port: the one that works whatever the client checks.
        if (stream.known) {
            Connection suggestion = used_;
            suggestion.dataPort = stream.dataPort;
            suggested_ = suggestion;
        }
        const auto receiveDropsBefore = udpReceiveBufferErrors();
        const auto measureEnd = Clock::now() + window();
        FramesSeen seen;
        if (session->sampler().waitForFirstFrame(measureEnd)) std::this_thread::sleep_until(measureEnd);
        seen.seconds = options_.seconds;
        seen.sample = session->sampler().sample();
        seen.counters = session->counters();
        seen.decodeVersion = session->decodeVersion();
        if (!add(checkFrames(used_, stream, seen, route_))) {
            suggestFromServer(stream);
            return;
        }
        const auto names = session->rigidBodyNames();
        if (!add(checkRigidBodies(seen, names))) return;

        std::optional<uint64_t> receiveDrops;
        if (const auto after = udpReceiveBufferErrors();
            after && receiveDropsBefore && *after >= *receiveDropsBefore) {
            receiveDrops = *after - *receiveDropsBefore;
        }
        if (!add(checkLoss(seen, receiveDrops))) return;

        CheckResult roundTrip;
        roundTrip.check = "round-trip";
        roundTrip.ok = true;
        if (const auto clockMs = session->clockSyncRoundTripMs()) {
            char text[96];
            std::snprintf(text, sizeof text, "clock sync round trip %.2f ms (shortest echo)", *clockMs);
            roundTrip.detail = text;
        } else if (const auto ms = session->requestRoundTripMs(3)) {
            char text[96];
            std::snprintf(text, sizeof text, "request round trip %.2f ms (shortest of 3)", *ms);
            roundTrip.detail = text;
        } else {
            roundTrip.detail = "the server did not answer FrameRate requests; round trip unknown";
        }
        add(std::move(roundTrip));
    }

    // Where frames did not come, the command names what the server said and the interface the kernel picks.
    void suggestFromServer(const ServerStream& stream)
    {
        Connection suggestion = used_;
        if (stream.known) {
            suggestion.dataPort = stream.dataPort;
            if (stream.multicast) suggestion.multicastAddress = stream.multicastAddress;
        }
        if (route_.reachable) suggestion.local = route_.source.address;
        suggested_ = suggestion;
    }

    const DoctorOptions& options_;
    const CheckListener& listener_;
    Report report_;
    Connection used_;
    std::optional<Connection> suggested_;
    RouteLookup route_;
};

}  // namespace

std::string validateOptions(const DoctorOptions& options)
{
    in_addr address{};
    if (!isIpv4(options.server, &address))
        return "--server: \"" + options.server + "\" is not an IPv4 address";
    if (address.s_addr == INADDR_ANY || address.s_addr == INADDR_BROADCAST ||
        IN_MULTICAST(ntohl(address.s_addr))) {
        return "--server: " + options.server + " cannot be a server's address";
    }
    if (!options.local.empty() && !isIpv4(options.local)) {
        return "--local: \"" + options.local + "\" is not an IPv4 address";
    }
    if (!isIpv4(options.multicastAddress, &address) || !IN_MULTICAST(ntohl(address.s_addr))) {
        return "--multicast-address: \"" + options.multicastAddress + "\" is not an IPv4 multicast group";
    }
    if (options.commandPort == 0 || options.dataPort == 0) return "the command and data ports cannot be 0";
    if (!(options.seconds >= 0.1 && options.seconds <= 600.0)) return "--seconds: give 0.1 to 600";
    return {};
}

Report examine(const DoctorOptions& options, const CheckListener& listener)
{
    return Run(options, listener).run();
}

}  // namespace NatNet::Doctor
