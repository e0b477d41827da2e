#pragma once

#include <Quorvane/Core/SignalBase.h>

#include <memory>
#include <mutex>

namespace Quorvane {
namespace Internal {

/// The shared state of one signal: its slot list. Handles and receivers reach it
/// through weak pointers, so either side may go first.
class SignalCore
{
public:
    /// Appends a slot (copy-on-write, so running emissions keep their snapshot).
    void add(std::shared_ptr<SlotState> slot);
    std::shared_ptr<const SlotList> snapshot() const;
    std::size_t size() const;
    /// Disconnects every slot; see SignalBase for the waiting rule.
    void disconnectAll();

    /// Disconnects one slot of whatever signal it belongs to (the signal may be gone).
    /// Returns whether it was connected.
    static bool disconnect(const std::shared_ptr<SlotState>& slot);

    /// How many of the calls in the chain that ends at `calls` are calls of `slot`.
    static int callsOf(const SlotCall* calls, const SlotState* slot);

private:
    /// Waits until no call of `slot` is in progress on another thread, unless that
    /// call waits (directly or through other threads) for a call that runs on this one.
    static void waitUntilIdle(SlotState& slot);
    void removeFromList(const SlotState* slot);

    mutable std::mutex m_mutex;
    std::shared_ptr<const SlotList> m_slots;  ///< null when empty
};

}  // namespace Internal
}  // namespace Quorvane
