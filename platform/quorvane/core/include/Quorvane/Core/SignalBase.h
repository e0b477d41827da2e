#pragma once

#include <Quorvane/Core/CoreExport.h>
#include <Quorvane/Core/NotCopyable.h>
#include <Quorvane/Core/SignalConnection.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

namespace Quorvane {

class SignalReceiver;

namespace Internal {

class SignalCore;

/// One connected slot. Shared by the signal's slot list (copy-on-write snapshots),
/// the handles and the receiver. The function itself lives in the typed subclass.
struct SlotState
{
    virtual ~SlotState() = default;

    std::weak_ptr<SignalCore> core;  ///< the signal it belongs to
    std::atomic<bool> connected{true};
    std::atomic<int> active{0};  ///< calls of this slot in progress, on any thread
    std::mutex idleMutex;        ///< with idle: lets disconnect() wait for calls to end
    std::condition_variable idle;
};

/// Marks one call of a slot on this thread (RAII, no allocation). A call is entered
/// only if the slot is still connected once the call is counted, which is what
/// lets disconnect() know that no new call can start after it returns.
class QUORVANE_CORE_EXPORT SlotCall : private Utils::NotCopyable
{
public:
    explicit SlotCall(SlotState& slot) noexcept;
    ~SlotCall();
    bool entered() const { return m_entered; }

private:
    friend class SignalCore;
    SlotState& m_slot;
    bool m_entered = false;
    SlotCall* m_outer = nullptr;  ///< the call this one runs inside, on this thread
};

using SlotList = std::vector<std::shared_ptr<SlotState>>;

/// Logs the exception being handled (call it inside a catch block) at level 4 in
/// category "Signal": a slot's exception never leaves emitSignal().
QUORVANE_CORE_EXPORT void reportSlotException() noexcept;

}  // namespace Internal

/// The untyped part of every signal: the slot list, blocking and disconnection.
///
/// Threads: every function may be called from any thread, also from inside a slot
/// of this or another signal. Emission copies the slot list under a lock (a shared
/// pointer copy, no allocation) and calls the slots after releasing it, so a slot
/// may connect, disconnect or emit without deadlock.
///
/// Disconnection guarantee: once disconnect() (or disconnectAll(), or a receiver's
/// destructor) returns, no new call of that slot starts, and calls of that slot
/// already running on other threads have returned, so the slot's captures may be
/// destroyed right after. A slot may disconnect itself (or destroy the signal): its
/// own call on this thread is not waited for. The one exception is a circle: when the
/// running call is itself waiting, directly or through other threads, for a slot call
/// on this thread, disconnect() returns without waiting for it rather than deadlock.
/// A slot must never block on the thread that disconnects it in any other way.
class QUORVANE_CORE_EXPORT SignalBase : private Utils::NotCopyable
{
public:
    SignalBase();
    /// Disconnects every slot (handles then report "not connected").
    virtual ~SignalBase();

    /// A blocked signal calls no slots.
    void setBlocked(bool blocked) { m_blocked.store(blocked, std::memory_order_relaxed); }
    bool isBlocked() const { return m_blocked.load(std::memory_order_relaxed); }

    /// Returns whether the connection belonged to this signal and was still connected.
    bool disconnect(const SignalConnection& connection);
    void disconnectAll();
    std::size_t numConnections() const;

protected:
    SignalConnection connectSlot(std::shared_ptr<Internal::SlotState> slot, SignalReceiver* receiver);
    /// The current slots; null when there are none.
    std::shared_ptr<const Internal::SlotList> snapshot() const;

private:
    std::shared_ptr<Internal::SignalCore> m_core;
    std::atomic<bool> m_blocked{false};
};

}  // namespace Quorvane
