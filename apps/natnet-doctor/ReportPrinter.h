// How natnet-doctor shows its checks: plain lines for people, JSON lines for scripts.
#pragma once

#include "CheckResult.h"
#include "Connection.h"

#include <ostream>

namespace NatNet::Doctor {

// One line per check: a mark, what was checked, what was seen; for a failed
// check the cause and the fix on lines of their own.
void printCheckText(const CheckResult& check, std::ostream& out);
void printVerdictText(const Report& report, std::ostream& out);

// {"check": ID, "ok": BOOL, "detail": TEXT, "cause": ID or null, "fix": TEXT or null}
void printCheckJson(const CheckResult& check, std::ostream& out);
// {"verdict": ID, "command": TEXT}, with "server" too when several servers are examined.
void printVerdictJson(const Report& report, bool withServer, std::ostream& out);

}  // namespace NatNet::Doctor
