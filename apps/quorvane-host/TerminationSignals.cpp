#include "TerminationSignals.h"

#include <atomic>
#include <csignal>

namespace Quorvane {
namespace Host {

namespace Internal {
namespace {
std::atomic<bool> s_requested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

void onTerminationSignal(int)
{
    s_requested.store(true);
}
}  // namespace
}  // namespace Internal

void TerminationSignals::install()
{
    struct sigaction action = {};
    action.sa_handler = &Internal::onTerminationSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
}

bool TerminationSignals::requested()
{
    return Internal::s_requested.load();
}

}  // namespace Host
}  // namespace Quorvane
