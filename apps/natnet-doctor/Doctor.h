// Runs natnet-doctor's checks in order against one server and stops at the
// first failure that makes the later checks meaningless.
#pragma once

#include "CheckResult.h"
#include "DoctorOptions.h"

#include <functional>

namespace NatNet::Doctor {

// Called with each check as soon as it is decided (on the calling thread).
using CheckListener = std::function<void(const CheckResult&)>;

// The options must be valid (see validateOptions). Takes at most about
// 2 x options.seconds, plus a few request round trips once frames flow.
Report examine(const DoctorOptions& options, const CheckListener& listener = {});

// Empty when the options can be examined, else what is wrong with them.
std::string validateOptions(const DoctorOptions& options);

}  // namespace NatNet::Doctor
