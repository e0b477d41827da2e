#pragma once

// Waiting in a Qt suite: queued calls and timers run only while the test thread runs the event
// loop, so the wait runs it.

#include "Eventually.h"

#include <QCoreApplication>

#include <chrono>
#include <functional>

namespace TestSupport {

/// Runs the event loop until `condition` holds or `timeout` has passed; returns whether it held.
inline bool processEventsUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    return eventually(
        [&condition] {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            return condition();
        },
        timeout);
}

}  // namespace TestSupport
