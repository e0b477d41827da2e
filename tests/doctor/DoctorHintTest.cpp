// The hosts' hint: the natnet-doctor line for the stream's settings, which the
// doctor's own command line accepts as it is.
#include "DoctorCommand.h"

#include <common/DoctorHint.h>

#include <Quorvane/Core/Properties.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> words(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::string> result;
    for (std::string word; in >> word;) result.push_back(word);
    return result;
}

TEST(DoctorHint, NamesTheServerAndCarriesTheStreamsSettings)
{
    struct Case
    {
        const char* name;
        Quorvane::Properties settings;
        std::string expected;
    };
    Quorvane::Properties unicast;
    unicast.setParam("connectionType", 1);
    unicast.setParam("serverAddress", std::string("10.1.2.3"));
    unicast.setParam("localAddress", std::string("10.1.2.9"));
    unicast.setParam("commandPort", static_cast<unsigned short>(1600));
    unicast.setParam("dataPort", static_cast<unsigned short>(1601));
    Quorvane::Properties multicast = unicast;
    multicast.setParam("connectionType", 0);
    multicast.setParam("multicastAddress", std::string("239.1.2.3"));
    const Case cases[] = {
        {"module defaults", Quorvane::Properties(),
         "quorvane-host: no stream from 127.0.0.1; run: natnet-doctor --server 127.0.0.1 --local 127.0.0.1 "
         "--mode "
         "multicast --command-port 1510 --data-port 1511"},
        {"unicast", unicast,
         "quorvane-host: no stream from 10.1.2.3; run: natnet-doctor --server 10.1.2.3 --local 10.1.2.9 "
         "--mode "
         "unicast --command-port 1600 --data-port 1601"},
        {"multicast with a group", multicast,
         "quorvane-host: no stream from 10.1.2.3; run: natnet-doctor --server 10.1.2.3 --local 10.1.2.9 "
         "--mode "
         "multicast --command-port 1600 --data-port 1601 --multicast-address 239.1.2.3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string hint = AppsCommon::doctorHint("quorvane-host", c.settings);
        EXPECT_EQ(hint, c.expected);

        // What follows "run: " is a command line the doctor accepts (its usage error is 2).
        std::vector<std::string> args = words(hint.substr(hint.find("run: ") + 5));
        args.emplace_back("--seconds");
        args.emplace_back("0.1");
        if (args[2] != "127.0.0.1") continue;  // only examine this machine
        std::vector<const char*> argv;
        for (const auto& arg : args) argv.push_back(arg.c_str());
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_NE(NatNet::Doctor::runDoctorCommand(static_cast<int>(argv.size()), argv.data(), out, err), 2)
            << err.str();
    }
}

TEST(DoctorHint, FollowsOnlyTheStreamsConnectFailure)
{
    EXPECT_TRUE(AppsCommon::isStreamConnectFailure("OptiTrackStream",
                                                   "Unable to connect to server.  Error code: 3. Exiting"));
    EXPECT_TRUE(AppsCommon::isStreamConnectFailure(
        "OptiTrackStream", "Unable to connect to server. Host not present. Exiting."));
    EXPECT_FALSE(
        AppsCommon::isStreamConnectFailure("Viewer", "Unable to connect to server.  Error code: 3. Exiting"));
    EXPECT_FALSE(AppsCommon::isStreamConnectFailure("OptiTrackStream", "Connected to Motive 3.1"));
}

}  // namespace
