#pragma once

// Signal listeners of the hosts run on library threads (the stream's receive thread, discovery),
// where an exception that escapes ends the process or leaves the signal half-emitted. Each
// listener body runs inside guard(): what it throws is caught, counted and logged once.

#include <atomic>
#include <cstdint>
#include <exception>
#include <string>
#include <utility>

namespace AppsCommon {

/// The exceptions caught in the listeners of one kind. Thread-safe.
class ListenerFailures
{
public:
    /// `category` and `listener` name the place in the one log line, e.g. "quorvane-host",
    /// "update listener".
    ListenerFailures(std::string category, std::string listener);

    /// Runs `body`; an exception from it is recorded instead of leaving. Never throws.
    template <class Body>
    void guard(Body&& body) noexcept
    {
        try {
            std::forward<Body>(body)();
        } catch (const std::exception& error) {
            record(error.what());
        } catch (...) {
            record("unknown exception");
        }
    }

    /// Exceptions caught so far.
    std::uint64_t count() const { return m_count.load(std::memory_order_relaxed); }

private:
    /// Counts; the first one is logged (level 4), later ones only counted.
    void record(const char* what) noexcept;

    const std::string m_category;
    const std::string m_listener;
    std::atomic<std::uint64_t> m_count{0};
};

}  // namespace AppsCommon
