#pragma once

// The module's connection parameters for a simulator on loopback, shared by the stream and
// fault suites.

#include "stream/OptiTrackConnectionParams.h"

#include <natnet/sim/Simulator.h>

namespace TestSupport {

/// Unicast or multicast as the simulator serves, on 127.0.0.1 and the simulator's ports.
inline Quorvane::OptiTrackConnectionParams paramsFor(const NatNet::Sim::Simulator& sim)
{
    using Params = Quorvane::OptiTrackConnectionParams;
    Params params;
    params.connectionType = sim.config().multicast ? Params::kMulticast : Params::kUnicast;
    params.commandPort = sim.commandPort();
    params.dataPort = sim.dataPort();
    params.serverAddress = "127.0.0.1";
    params.localAddress = "127.0.0.1";
    if (sim.config().multicast) params.multicastAddress = sim.config().multicastAddress;
    return params;
}

}  // namespace TestSupport
