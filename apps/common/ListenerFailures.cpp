#include "ListenerFailures.h"

#include <Quorvane/Core/Log.h>

namespace AppsCommon {

ListenerFailures::ListenerFailures(std::string category, std::string listener)
    : m_category(std::move(category)), m_listener(std::move(listener))
{
}

void ListenerFailures::record(const char* what) noexcept
{
    if (m_count.fetch_add(1, std::memory_order_relaxed) != 0) {
        return;
    }
    try {
        Quorvane::Log::log(4, m_category,
                           m_listener + " failed: " + what + " (later failures are only counted)", "", -1);
    } catch (...) {
        // Nothing left to tell it with; the count still says it happened.
    }
}

}  // namespace AppsCommon
