#include "ReportPrinter.h"

#include <nlohmann/json.hpp>

namespace NatNet::Doctor {

void printCheckText(const CheckResult& check, std::ostream& out)
{
    out << (check.ok ? "[ ok ] " : "[FAIL] ") << check.check << ": " << check.detail << "\n";
    if (!check.ok) {
        if (check.cause) out << "       cause: " << verdictId(*check.cause) << "\n";
        if (!check.fix.empty()) out << "       fix: " << check.fix << "\n";
    }
    out.flush();
}

void printVerdictText(const Report& report, std::ostream& out)
{
    out << "verdict: " << verdictId(report.verdict) << "\n";
    out << (report.verdict == Verdict::Ok ? "works: " : "then try: ") << report.command << "\n";
    out.flush();
}

void printCheckJson(const CheckResult& check, std::ostream& out)
{
    nlohmann::json line;
    line["check"] = check.check;
    line["ok"] = check.ok;
    line["detail"] = check.detail;
    line["cause"] = check.cause ? nlohmann::json(verdictId(*check.cause)) : nlohmann::json(nullptr);
    line["fix"] = check.ok || check.fix.empty() ? nlohmann::json(nullptr) : nlohmann::json(check.fix);
    // Replace invalid UTF-8 (server names come from the network) instead of throwing.
    out << line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << std::endl;
}

void printVerdictJson(const Report& report, bool withServer, std::ostream& out)
{
    nlohmann::json line;
    line["verdict"] = verdictId(report.verdict);
    line["command"] = report.command;
    if (withServer) line["server"] = report.server;
    out << line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << std::endl;
}

}  // namespace NatNet::Doctor
