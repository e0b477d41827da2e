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
    Run(const DoctorOptions& options, const CheckListener& listener)
        : m_options(options), m_listener(listener)
    {
        m_report.server = options.server;
        m_used.multicast = options.mode == Mode::Multicast;
        m_used.server = options.server;
        m_used.local = options.local;
        m_used.commandPort = options.commandPort;
        m_used.dataPort = options.dataPort;
        m_used.multicastAddress = options.multicastAddress;
    }

    Report run()
    {
        examineAll();
        m_report.command = hostCommand(m_suggested ? *m_suggested : m_used);
        return std::move(m_report);
    }

private:
    bool add(CheckResult result)
    {
        if (m_listener) m_listener(result);
        if (!result.ok && result.cause) m_report.verdict = *result.cause;
        const bool ok = result.ok;
        m_report.checks.push_back(std::move(result));
        return ok;
    }

    std::chrono::milliseconds window() const
    {
        return std::chrono::milliseconds(static_cast<long long>(m_options.seconds * 1000.0));
    }

    void examineAll()
    {
        const auto addresses = localAddresses();
        m_route = routeTo(m_options.server, m_options.commandPort);
        if (!m_options.local.empty() && !add(checkLocalInterface(m_options.local, addresses))) {
            // What would work: the interface the kernel picks for the server.
            Connection suggestion = m_used;
            suggestion.local = m_route.reachable ? m_route.source.address : std::string();
            m_suggested = suggestion;
            return;
        }
        if (!add(checkRoute(m_options.server, m_options.commandPort, m_options.local, m_route, addresses))) {
            return;
        }
        if (m_used.local.empty()) m_used.local = m_route.source.address;

        // Auto asks unicast first: a connect request is answered with the server's information either way.
        auto session = std::make_unique<ServerSession>();
        const auto connectStart = Clock::now();
        const ErrorCode connected = session->connect(m_used, window());
        const double waited = std::chrono::duration<double>(Clock::now() - connectStart).count();
        if (!add(checkServerAnswers(m_used, connected, session->description(), waited))) return;

        const ServerStream stream = serverStream(session->description());
        if (m_options.mode == Mode::Auto && stream.known) {
            Connection adopted = m_used;
            adopted.multicast = stream.multicast;
            adopted.dataPort = stream.dataPort;
            if (stream.multicast) adopted.multicastAddress = stream.multicastAddress;
            if (adopted.multicast != m_used.multicast || adopted.dataPort != m_used.dataPort) {
                m_used = adopted;
                session.reset();
                session = std::make_unique<ServerSession>();
                // Only a failure is worth a second line: the first answer was already reported.
                if (const ErrorCode again = session->connect(m_used, window()); again != ErrorCode_OK) {
                    add(checkServerAnswers(m_used, again, session->description(), waited));
                    return;
                }
            }
            m_used = adopted;
        }
        if (!add(checkMode(m_options.mode, stream, m_used))) {
            Connection suggestion = m_used;
            suggestion.multicast = stream.multicast;
            suggestion.dataPort = stream.dataPort;
            if (stream.multicast) suggestion.multicastAddress = stream.multicastAddress;
            m_suggested = suggestion;
            return;
        }

        // The command names the server's own data port: the one that works whatever the client checks.
        if (stream.known) {
            Connection suggestion = m_used;
            suggestion.dataPort = stream.dataPort;
            m_suggested = suggestion;
        }
        const auto receiveDropsBefore = udpReceiveBufferErrors();
        const auto measureEnd = Clock::now() + window();
        FramesSeen seen;
        if (session->sampler().waitForFirstFrame(measureEnd)) std::this_thread::sleep_until(measureEnd);
        seen.seconds = m_options.seconds;
        seen.sample = session->sampler().sample();
        seen.counters = session->counters();
        seen.decodeVersion = session->decodeVersion();
        if (!add(checkFrames(m_used, stream, seen, m_route))) {
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
        Connection suggestion = m_used;
        if (stream.known) {
            suggestion.dataPort = stream.dataPort;
            if (stream.multicast) suggestion.multicastAddress = stream.multicastAddress;
        }
        if (m_route.reachable) suggestion.local = m_route.source.address;
        m_suggested = suggestion;
    }

    const DoctorOptions& m_options;
    const CheckListener& m_listener;
    Report m_report;
    Connection m_used;
    std::optional<Connection> m_suggested;
    RouteLookup m_route;
};

}  // namespace

std::string validateOptions(const DoctorOptions& options)
{
    in_addr address{};
    if (!isIpv4(options.server, &address)) {
        return "--server: \"" + options.server + "\" is not an IPv4 address";
    }
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
