#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace TestSupport {

/// Polls `condition` every millisecond until it holds or `timeout` has passed; returns
/// whether it held. Tests wait on a condition with a deadline, never on a fixed sleep.
inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds timeout = std::chrono::seconds(3))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace TestSupport
