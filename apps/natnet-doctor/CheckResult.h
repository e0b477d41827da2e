// One examined step of natnet-doctor and the whole run's outcome.
#pragma once

#include "Verdict.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace NatNet::Doctor {

struct CheckResult
{
    std::string check;  // e.g. "route", "server-answers"
    bool ok = false;
    std::string detail;            // what was seen
    std::optional<Verdict> cause;  // set when the check failed
    std::string fix;               // plain words; empty when ok

    /// The check failed: what was seen, why, and what to do about it.
    CheckResult& fail(std::string seen, Verdict why, std::string howToFix)
    {
        detail = std::move(seen);
        cause = why;
        fix = std::move(howToFix);
        return *this;
    }
};

struct Report
{
    std::string server;  // whom the checks were about
    std::vector<CheckResult> checks;
    Verdict verdict = Verdict::Ok;
    // The quorvane-host line (or the viewer's panel settings) that fits what was found.
    std::string command;
};

}  // namespace NatNet::Doctor
