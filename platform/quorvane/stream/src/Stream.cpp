#include <Quorvane/Stream/Stream.h>

#include "StreamWorker.h"

#include <Quorvane/Core/Log.h>
#include <platform/NameTable.h>

#include <array>
#include <cstddef>
#include <exception>
#include <sstream>
#include <utility>

namespace Quorvane {

namespace Internal {

void logRefusedCall(const Stream& stream, const char* why)
{
    QUORVANE_LOG(Log::Warning, "Stream", "Stream '" << stream.name() << "': lifecycle call refused " << why);
}

}  // namespace Internal

/// One lifecycle call: admits it (refusing re-entry from a hook or the worker), holds the
/// lifecycle lock, collects the states entered and emits them once the lock is released.
class Stream::LifecycleCall
{
public:
    explicit LifecycleCall(Stream& stream) : m_stream(stream)
    {
        const std::thread::id self = std::this_thread::get_id();
        if (m_stream.m_lifecycleThread.load() == self) {
            Internal::logRefusedCall(m_stream, "(called from inside a lifecycle hook)");
            return;
        }
        if (m_stream.m_workerThread.load() == self) {
            Internal::logRefusedCall(m_stream, "(called from its worker thread)");
            return;
        }
        m_lock = std::unique_lock<std::mutex>(m_stream.m_lifecycleMutex);
        m_stream.m_lifecycleThread.store(self);
    }

    ~LifecycleCall() { release(); }
    LifecycleCall(const LifecycleCall&) = delete;
    LifecycleCall& operator=(const LifecycleCall&) = delete;

    bool admitted() const { return m_lock.owns_lock(); }

    void entered(State state)
    {
        if (m_count < m_entered.size()) {
            m_entered[m_count++] = state;
        }
    }

    /// Releases the lock, emits the states entered, and returns `result`.
    bool finish(bool result)
    {
        release();
        for (std::size_t i = 0; i < m_count; ++i) {
            m_stream.stateChanged.emitSignal(m_entered[i]);
        }
        return result;
    }

private:
    void release()
    {
        if (m_lock.owns_lock()) {
            m_stream.m_lifecycleThread.store(std::thread::id());
            m_lock.unlock();
        }
    }

    Stream& m_stream;
    std::unique_lock<std::mutex> m_lock;
    std::array<State, 4> m_entered{};
    std::size_t m_count = 0;
};

Stream::Stream(std::string name) : Data(std::move(name)) {}

Stream::~Stream()
{
    announceDestruction();
    // A subclass that forgot to close leaves its worker running against a destroyed object;
    // stopping it here is the best that can still be done.
    stopWorker();
}

void Stream::announceDestruction()
{
    if (!m_destructionAnnounced.exchange(true)) {
        aboutToBeDestroyed.emitSignal();
    }
}

bool Stream::isStateOneOf(std::initializer_list<State> states) const
{
    const State current = state();
    for (State s : states) {
        if (s == current) {
            return true;
        }
    }
    return false;
}

bool Stream::isStateOneOf(std::initializer_list<int> states) const
{
    const int current = static_cast<int>(state());
    for (int s : states) {
        if (s == current) {
            return true;
        }
    }
    return false;
}

const char* Stream::stateName(State state)
{
    static constexpr Platform::NameRow<State> kNames[] = {
        {State::Closed, "Closed"}, {State::Open, "Open"},   {State::Running, "Running"},
        {State::Paused, "Paused"}, {State::Error, "Error"},
    };
    return Platform::nameOf(state, kNames, "Invalid");
}

void Stream::enter(LifecycleCall& call, State newState)
{
    m_state.store(newState, std::memory_order_release);
    call.entered(newState);
    if (m_worker) {
        m_worker->wake();
    }
}

bool Stream::callHook(Hook hook)
{
    struct HookRow
    {
        bool (Stream::*run)();
        const char* name;
    };
    // In the order of Hook.
    static constexpr HookRow kHooks[] = {
        {&Stream::openImpl, "open"}, {&Stream::closeImpl, "close"}, {&Stream::startImpl, "start"},
        {&Stream::stopImpl, "stop"}, {&Stream::pauseImpl, "pause"}, {&Stream::resumeImpl, "resume"},
    };
    const HookRow& row = kHooks[static_cast<std::size_t>(hook)];
    try {
        return (this->*row.run)();
    } catch (const std::exception& e) {
        QUORVANE_LOG(Log::Error, "Stream",
                     "Stream '" << name() << "': " << row.name << " failed: " << e.what());
    } catch (...) {
        QUORVANE_LOG(Log::Error, "Stream",
                     "Stream '" << name() << "': " << row.name << " failed with an unknown exception");
    }
    return false;
}

bool Stream::step(State from, Hook hook, State to, bool supported)
{
    LifecycleCall call(*this);
    if (!call.admitted() || state() != from || !supported) {
        return call.finish(false);
    }
    if (!callHook(hook)) {
        return call.finish(false);
    }
    enter(call, to);
    return call.finish(true);
}

bool Stream::open()
{
    return step(State::Closed, Hook::Open, State::Open, true);
}

bool Stream::start()
{
    LifecycleCall call(*this);
    if (!call.admitted()) {
        return call.finish(false);
    }
    if (state() == State::Closed) {
        if (!callHook(Hook::Open)) {
            return call.finish(false);
        }
        enter(call, State::Open);
    }
    if (state() != State::Open) {
        return call.finish(false);
    }
    if (!callHook(Hook::Start)) {
        return call.finish(false);
    }
    enter(call, State::Running);
    if (threadingMode() == ThreadingMode::WorkerThread) {
        startWorker();
    }
    return call.finish(true);
}

bool Stream::pause()
{
    return step(State::Running, Hook::Pause, State::Paused, supportsPausing());
}

bool Stream::resume()
{
    return step(State::Paused, Hook::Resume, State::Running, true);
}

bool Stream::runStop(LifecycleCall& call)
{
    stopWorker();
    if (!callHook(Hook::Stop)) {
        enter(call, State::Error);
        return false;
    }
    enter(call, State::Open);
    return true;
}

bool Stream::stop()
{
    LifecycleCall call(*this);
    if (!call.admitted() || !isStateOneOf({State::Running, State::Paused})) {
        return call.finish(false);
    }
    return call.finish(runStop(call));
}

bool Stream::runClose(LifecycleCall& call)
{
    if (!callHook(Hook::Close)) {
        return false;
    }
    enter(call, State::Closed);
    return true;
}

bool Stream::close()
{
    LifecycleCall call(*this);
    if (!call.admitted()) {
        return call.finish(false);
    }
    switch (state()) {
        case State::Closed:
            return call.finish(true);
        case State::Running:
        case State::Paused:
            if (!runStop(call)) {
                return call.finish(false);
            }
            return call.finish(runClose(call));
        case State::Open:
        case State::Error:
            return call.finish(runClose(call));
    }
    return call.finish(false);
}

void Stream::startWorker()
{
    m_worker = std::make_unique<Internal::StreamWorker>(
        [this]() -> std::optional<std::chrono::milliseconds> {
            const std::optional<WorkContinuation> next = doWork();
            if (!next) {
                return std::nullopt;
            }
            return next->delay;
        },
        [this] { return workerMayWork(); }, m_workerThread);
}

void Stream::stopWorker()
{
    if (m_worker) {
        m_worker->stop();
        m_worker.reset();
    }
}

bool Stream::workerMayWork() const
{
    const State s = state();
    return s == State::Running || (s == State::Paused && worksWhilePaused());
}

Data::Kind Stream::kind() const
{
    return Kind::Stream;
}

Data::Modality Stream::modality() const
{
    return Modality::Other;
}

std::string Stream::describe() const
{
    std::ostringstream text;
    text << kindName(kind()) << " '" << name() << "' (" << stateName(state()) << ")";
    return text.str();
}

bool Stream::isRunning() const
{
    return isStateOneOf({State::Running, State::Paused});
}

}  // namespace Quorvane
