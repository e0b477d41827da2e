#pragma once

#include <Quorvane/Core/Configurable.h>
#include <Quorvane/Core/SignalImpl.h>
#include <Quorvane/Lib/Data.h>
#include <Quorvane/Stream/StreamExport.h>

#include <atomic>
#include <chrono>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace Quorvane {

class AlgorithmController;

namespace Internal {
class StreamWorker;
}

/// A source of live data (a tracker, a video device) with an explicit lifecycle.
///
/// Lifecycle. `open`, `start`, `stop`, `close`, `pause` and `resume` move the stream between
/// the states of `State`, calling the subclass's hooks (`openImpl`, ...) on the way. Each returns
/// true when the stream reached the wanted state, false when the transition is not allowed from
/// the current state (no hook is called) or a hook failed (returned false or threw; a throwing hook
/// is logged at level 4 in the category "Stream"). The allowed transitions:
///
/// | call     | from              | hooks                           | on failure           |
/// |----------|-------------------|---------------------------------|----------------------|
/// | open     | Closed            | openImpl                        | stays Closed         |
/// | start    | Open              | startImpl                       | stays Open           |
/// | start    | Closed            | openImpl, startImpl             | Closed / Open        |
/// | pause    | Running           | pauseImpl (if supportsPausing)  | stays Running        |
/// | resume   | Paused            | resumeImpl                      | stays Paused         |
/// | stop     | Running, Paused   | stopImpl                        | Error                |
/// | close    | Open, Error       | closeImpl                       | stays Open / Error   |
/// | close    | Running, Paused   | stopImpl, closeImpl             | Error / Open         |
/// | close    | Closed            | none; returns true              |                      |
///
/// Threads. Lifecycle calls may come from any thread; they are serialised, and the hooks run on
/// the calling thread inside that serialisation. `state`, `isStateOneOf` and `isRunning` read an
/// atomic and may be called from any thread at any time, also from inside a hook. A lifecycle
/// call made from inside a hook or from inside `doWork` is refused (false), as it could only
/// deadlock. `stateChanged` is emitted on the calling thread after the call has finished, once
/// for every state entered, in order.
///
/// Worker. A stream whose `threadingMode()` is `WorkerThread` gets a host thread while it runs:
/// it calls `doWork()` repeatedly (while Running, and while Paused if `worksWhilePaused()`),
/// waiting the returned delay between calls; an empty result ends the worker. `stop` and `close`
/// end and join the worker before `stopImpl`. Streams that deliver data from threads of their
/// own (the default, `External`) get no worker.
///
/// Destruction. The base cannot reach the hooks any more when its destructor runs, so a
/// subclass calls `close()` in its own destructor.
class QUORVANE_STREAM_EXPORT Stream : public Data, public Configurable
{
public:
    /// Lifecycle states; 0 is not a state. 3 and 4 are the running ones.
    enum class State : int {
        Closed = 1,   ///< created or closed: no resources held
        Open = 2,     ///< opened: resources held, no data flowing
        Running = 3,  ///< started: data flowing
        Paused = 4,   ///< started but paused: counts as running
        Error = 5,    ///< a stop failed; only close is allowed
    };

    enum class ThreadingMode : int {
        External = 1,      ///< the stream delivers data from threads of its own; no host worker
        WorkerThread = 2,  ///< the host calls doWork() on a worker thread while the stream runs
    };

    /// What doWork() asks for: be called again after `delay`.
    struct WorkContinuation
    {
        std::chrono::milliseconds delay{0};
    };

    explicit Stream(std::string name = {});
    ~Stream() override;
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    bool open();
    bool start();
    bool pause();
    bool resume();
    bool stop();
    bool close();

    State state() const { return m_state.load(std::memory_order_acquire); }
    bool isStateOneOf(std::initializer_list<State> states) const;
    /// The same with state numbers (1 to 5); numbers that name no state never match.
    bool isStateOneOf(std::initializer_list<int> states) const;
    /// "Closed", "Open", "Running", "Paused", "Error", or "Invalid".
    static const char* stateName(State state);

    /// Emitted with every state the stream enters.
    Signal<State> stateChanged;
    /// Emitted once when destruction begins, on the destroying thread; listeners that keep a
    /// pointer to the stream drop it here. Host subclasses emit it first in their own destructor
    /// (through announceDestruction), while their data can still be read: from a base's
    /// destructor it would come after the dynamic type changed under a listener's virtual call.
    Signal<> aboutToBeDestroyed;

    // Data
    Kind kind() const override;
    Modality modality() const override;
    /// "<kind> '<name>' (<state>)".
    std::string describe() const override;

    // Stream's own virtual interface, in the order of its table.
    virtual ThreadingMode threadingMode() const { return ThreadingMode::External; }
    /// Whether the lifecycle operations may be called from a thread other than the host's UI
    /// thread. The base says false; the state machine itself is thread-safe either way.
    virtual bool supportsAsyncOperation() const { return false; }
    /// Whether pause()/resume() are available; the base says false (pause() then fails).
    virtual bool supportsPausing() const { return false; }
    /// Drops data collected so far without changing the state; the base has none.
    virtual void reset() {}
    /// True in the states Running and Paused.
    virtual bool isRunning() const;
    /// Identifies the kind of stream (not the instance), e.g. for saved workspaces.
    virtual std::string uuid() const { return "Stream"; }
    /// A panel the stream offers itself when no controller factory has one; the caller owns it.
    /// The base offers none.
    virtual AlgorithmController* createDefaultStreamController() { return nullptr; }

protected:
    /// Emits aboutToBeDestroyed unless that happened already.
    void announceDestruction();

    // The hooks of the lifecycle table; the base's succeed and do nothing.
    virtual bool openImpl() { return true; }
    virtual bool closeImpl() { return true; }
    virtual bool startImpl() { return true; }
    virtual bool stopImpl() { return true; }
    virtual bool pauseImpl() { return true; }
    virtual bool resumeImpl() { return true; }

public:
    /// Whether the worker thread needs an OpenGL context; the base says false.
    virtual bool workerThreadRequiresOpenGl() const { return false; }

protected:
    /// One piece of work on the worker thread (see the class comment); the base has none.
    virtual std::optional<WorkContinuation> doWork() { return std::nullopt; }
    /// Whether the worker keeps calling doWork() while paused; the base says false.
    virtual bool worksWhilePaused() const { return false; }

private:
    class LifecycleCall;
    enum class Hook { Open, Close, Start, Stop, Pause, Resume };

    bool callHook(Hook hook);
    /// One step of the lifecycle table that runs a single hook: from `from` through `hook` to
    /// `to`; refused in another state or when the operation is not `supported`.
    bool step(State from, Hook hook, State to, bool supported);
    bool runStop(LifecycleCall& call);
    bool runClose(LifecycleCall& call);
    void enter(LifecycleCall& call, State state);
    void startWorker();
    void stopWorker();
    bool workerMayWork() const;

    std::atomic<State> m_state{State::Closed};
    std::mutex m_lifecycleMutex;
    std::atomic<std::thread::id> m_lifecycleThread{};  // the thread inside a lifecycle call
    std::atomic<std::thread::id> m_workerThread{};     // the worker's thread while it exists
    std::unique_ptr<Internal::StreamWorker> m_worker;  // guarded by m_lifecycleMutex
    std::atomic<bool> m_destructionAnnounced{false};
};

}  // namespace Quorvane
