#include "SignalCore.h"

#include <Quorvane/Core/Log.h>

#include <algorithm>
#include <exception>
#include <vector>

namespace Quorvane {
namespace Internal {

namespace {
/// Innermost slot call running on this thread (a chain through SlotCall::m_outer).
thread_local SlotCall* t_innermostCall = nullptr;

constexpr const char* kCategory = "Signal";

/// A thread that waits for a slot's calls while it is itself inside slot calls. Its
/// chain of calls cannot change while it waits, so other threads may read it under
/// the registry's mutex. Lives on the waiting thread's stack, linked into the registry.
struct Waiter
{
    const SlotCall* calls = nullptr;
    const SlotState* slot = nullptr;
    Waiter* previous = nullptr;
    Waiter* next = nullptr;
};

struct WaiterRegistry
{
    std::mutex mutex;
    Waiter* first = nullptr;

    void link(Waiter& w)
    {
        w.next = first;
        if (first != nullptr) {
            first->previous = &w;
        }
        first = &w;
    }
    void unlink(Waiter& w)
    {
        (w.previous != nullptr ? w.previous->next : first) = w.next;
        if (w.next != nullptr) {
            w.next->previous = w.previous;
        }
    }
};

/// Never destroyed: slots may be disconnected during static destruction.
WaiterRegistry& registry()
{
    static WaiterRegistry* r = new WaiterRegistry();
    return *r;
}

/// Whether a thread running `calls` would wait forever for the calls of `slot` on other
/// threads: one of them belongs to a waiting thread that waits, directly or through
/// other waiting threads, for a call that this thread runs. Called under the registry's mutex.
bool wouldDeadlock(const WaiterRegistry& r, const SlotCall* calls, const SlotState* slot)
{
    std::vector<const Waiter*> reached;
    auto reach = [&](const SlotState* awaited, const Waiter* except) {
        for (const Waiter* w = r.first; w != nullptr; w = w->next) {
            if (w != except && SignalCore::callsOf(w->calls, awaited) > 0 &&
                std::find(reached.begin(), reached.end(), w) == reached.end()) {
                reached.push_back(w);
            }
        }
    };
    reach(slot, nullptr);
    // By index: reach() appends to `reached` while the loop walks it (a breadth-first search).
    for (std::size_t i = 0; i < reached.size(); ++i) {  // NOLINT(modernize-loop-convert)
        if (SignalCore::callsOf(calls, reached[i]->slot) > 0) {
            return true;
        }
        reach(reached[i]->slot, reached[i]);
    }
    return false;
}

}  // namespace

// The call counter and the connected flag are a Dekker pair (sequentially
// consistent): either the call sees "disconnected" and does not run, or the
// disconnecting thread sees the call counted and waits for it.
SlotCall::SlotCall(SlotState& slot) noexcept : m_slot(slot)
{
    m_slot.active.fetch_add(1);
    if (m_slot.connected.load()) {
        m_entered = true;
        m_outer = t_innermostCall;
        t_innermostCall = this;
    }
}

SlotCall::~SlotCall()
{
    if (m_entered) {
        t_innermostCall = m_outer;
    }
    m_slot.active.fetch_sub(1);
    if (!m_slot.connected.load()) {
        // Somebody may be waiting for this slot's calls to end. Taking the mutex
        // orders the notification after the waiter's check of the counter.
        std::lock_guard<std::mutex> lock(m_slot.idleMutex);
        m_slot.idle.notify_all();
    }
}

void reportSlotException() noexcept
{
    try {
        try {
            throw;
        } catch (const std::exception& e) {
            QUORVANE_LOG(Log::Error, kCategory,
                         "A slot threw an exception (the other slots are still called): " << e.what());
        } catch (...) {
            QUORVANE_LOG(Log::Error, kCategory,
                         "A slot threw an exception (the other slots are still called)");
        }
    } catch (...) {
        // Logging failed (out of memory); the emitter must go on regardless.
    }
}

void SignalCore::add(std::shared_ptr<SlotState> slot)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto next = m_slots ? std::make_shared<SlotList>(*m_slots) : std::make_shared<SlotList>();
    next->push_back(std::move(slot));
    m_slots = std::move(next);
}

std::shared_ptr<const SlotList> SignalCore::snapshot() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_slots;
}

std::size_t SignalCore::size() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_slots ? m_slots->size() : 0;
}

void SignalCore::removeFromList(const SlotState* slot)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_slots) {
        return;
    }
    const auto it = std::find_if(m_slots->begin(), m_slots->end(),
                                 [slot](const std::shared_ptr<SlotState>& s) { return s.get() == slot; });
    if (it == m_slots->end()) {
        return;
    }
    if (m_slots->size() == 1) {
        m_slots.reset();
        return;
    }
    auto next = std::make_shared<SlotList>();
    next->reserve(m_slots->size() - 1);
    for (const auto& s : *m_slots) {
        if (s.get() != slot) {
            next->push_back(s);
        }
    }
    m_slots = std::move(next);
}

void SignalCore::disconnectAll()
{
    std::shared_ptr<const SlotList> slots;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        slots = std::move(m_slots);
        m_slots.reset();
    }
    if (!slots) {
        return;
    }
    for (const auto& slot : *slots) {
        slot->connected.store(false);
    }
    for (const auto& slot : *slots) {
        waitUntilIdle(*slot);
    }
}

bool SignalCore::disconnect(const std::shared_ptr<SlotState>& slot)
{
    if (!slot) {
        return false;
    }
    const bool wasConnected = slot->connected.exchange(false);
    if (const std::shared_ptr<SignalCore> core = slot->core.lock()) {
        core->removeFromList(slot.get());
    }
    waitUntilIdle(*slot);
    return wasConnected;
}

int SignalCore::callsOf(const SlotCall* calls, const SlotState* slot)
{
    int n = 0;
    for (const SlotCall* c = calls; c != nullptr; c = c->m_outer) {
        n += &c->m_slot == slot ? 1 : 0;
    }
    return n;
}

void SignalCore::waitUntilIdle(SlotState& slot)
{
    const SlotCall* calls = t_innermostCall;
    // This thread's own calls of the slot (it disconnects from inside them) end after it returns.
    const int own = callsOf(calls, &slot);
    auto idle = [&slot, own] { return slot.active.load() == own; };
    if (calls == nullptr) {
        std::unique_lock<std::mutex> lock(slot.idleMutex);
        slot.idle.wait(lock, idle);
        return;
    }

    // Inside a slot, waiting could close a circle: the call waited for may itself be
    // waiting (perhaps through other threads) for a call that runs on this thread.
    WaiterRegistry& r = registry();
    Waiter self;
    self.calls = calls;
    self.slot = &slot;
    bool circle = false;
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        circle = wouldDeadlock(r, calls, &slot);
        if (!circle) {
            r.link(self);
        }
    }
    if (circle) {
        // Logged outside the registry's lock: a log sink may use signals itself.
        QUORVANE_LOG(Log::Verbose, kCategory,
                     "A slot was disconnected from inside a slot while its call on another thread waits "
                     "for this one; not waiting for that call to end");
        return;
    }
    {
        std::unique_lock<std::mutex> lock(slot.idleMutex);
        slot.idle.wait(lock, idle);
    }
    std::lock_guard<std::mutex> lock(r.mutex);
    r.unlink(self);
}

}  // namespace Internal
}  // namespace Quorvane
