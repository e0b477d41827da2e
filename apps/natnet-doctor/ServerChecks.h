// The checks on the command path: does the server answer a connect request,
// and does it stream the way the client asks.
#pragma once

#include "CheckResult.h"
#include "Connection.h"
#include "DoctorOptions.h"

#include "NatNetTypes.h"

namespace NatNet::Doctor {

CheckResult checkServerAnswers(const Connection& connection, ErrorCode connectResult,
                               const sServerDescription& description, double waitedSeconds);

// What the server's information says about its stream (NatNet 3.0 and later).
struct ServerStream
{
    bool known = false;
    bool multicast = false;
    uint16_t dataPort = 0;
    std::string multicastAddress;
};
ServerStream serverStream(const sServerDescription& description);
std::string describeStream(const ServerStream& stream);

// With Mode::Auto the server's own way is taken; a mode that was asked and
// differs from the server's is mode-mismatch.
CheckResult checkMode(Mode asked, const ServerStream& stream, const Connection& used);

}  // namespace NatNet::Doctor
