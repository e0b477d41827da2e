// The stream state machine: allowed and refused transitions, failing and throwing hooks, the
// order of hooks and state signals, and the worker loop.
#include "Eventually.h"

#include <Quorvane/Core/Log.h>
#include <Quorvane/Core/RecordingLogSink.h>
#include <Quorvane/Core/ScopedLogCapture.h>
#include <Quorvane/Stream/Stream.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace Quorvane {
namespace {

using State = Stream::State;

/// A stream whose hooks record their calls and answer as the test says.
class ScriptedStream : public Stream
{
public:
    ScriptedStream() : Stream("scripted") {}
    ~ScriptedStream() override { close(); }

    std::vector<std::string> calls;
    bool openResult = true, closeResult = true, startResult = true, stopResult = true;
    bool pauseResult = true, resumeResult = true;
    bool pausing = true;
    bool throwOnStart = false;
    std::function<void()> duringStart;

    bool supportsPausing() const override { return pausing; }

protected:
    bool openImpl() override { return record("open", openResult); }
    bool closeImpl() override { return record("close", closeResult); }
    bool startImpl() override
    {
        if (duringStart) {
            duringStart();
        }
        if (throwOnStart) {
            throw std::runtime_error("device gone");
        }
        return record("start", startResult);
    }
    bool stopImpl() override { return record("stop", stopResult); }
    bool pauseImpl() override { return record("pause", pauseResult); }
    bool resumeImpl() override { return record("resume", resumeResult); }

private:
    bool record(const char* name, bool result)
    {
        calls.emplace_back(name);
        return result;
    }
};

/// The calls a row makes on the stream.
using Call = bool (Stream::*)();
struct Op
{
    static constexpr Call Open = &Stream::open;
    static constexpr Call Start = &Stream::start;
    static constexpr Call Pause = &Stream::pause;
    static constexpr Call Resume = &Stream::resume;
    static constexpr Call Stop = &Stream::stop;
    static constexpr Call Close = &Stream::close;
};

/// Brings a fresh stream into `state` with successful hooks.
void reach(ScriptedStream& stream, State state)
{
    switch (state) {
        case State::Closed:
            break;
        case State::Open:
            ASSERT_TRUE(stream.open());
            break;
        case State::Running:
            ASSERT_TRUE(stream.start());
            break;
        case State::Paused:
            ASSERT_TRUE(stream.start());
            ASSERT_TRUE(stream.pause());
            break;
        case State::Error:
            ASSERT_TRUE(stream.start());
            stream.stopResult = false;
            ASSERT_FALSE(stream.stop());
            stream.stopResult = true;
            break;
    }
    ASSERT_EQ(stream.state(), state);
    stream.calls.clear();
}

/// One call from one state. With `failing` set, that hook answers false; the call must then fail.
struct TransitionRow
{
    const char* name;
    State from;
    Call op;
    bool ok;
    State to;
    std::vector<std::string> hooks;
    bool ScriptedStream::*failing = nullptr;
};

class TransitionTest : public ::testing::TestWithParam<TransitionRow>
{
};

TEST_P(TransitionTest, MovesOnlyAlongAllowedEdges)
{
    const TransitionRow& row = GetParam();
    ScopedLogCapture quiet;
    ScriptedStream stream;
    reach(stream, row.from);
    if (row.failing) stream.*row.failing = false;
    EXPECT_EQ((stream.*row.op)(), row.ok);
    EXPECT_EQ(stream.state(), row.to);
    EXPECT_EQ(stream.calls, row.hooks);
    if (row.failing) stream.*row.failing = true;
}

const auto kRowName = [](const ::testing::TestParamInfo<TransitionRow>& row) {
    return std::string(row.param.name);
};

/// `op` from `from` succeeds, calls `hooks` in order and ends in `to`.
TransitionRow allowed(const char* name, State from, Call op, State to, std::vector<std::string> hooks)
{
    return {name, from, op, true, to, std::move(hooks)};
}

/// `op` from `from` is refused: the call fails, calls no hook and leaves the state as it was.
TransitionRow refused(const char* name, State from, Call op)
{
    return {name, from, op, false, from, {}};
}

const TransitionRow kTransitions[] = {
    allowed("OpenClosed", State::Closed, Op::Open, State::Open, {"open"}),
    refused("OpenTwice", State::Open, Op::Open),
    refused("OpenRunning", State::Running, Op::Open),
    allowed("StartOpen", State::Open, Op::Start, State::Running, {"start"}),
    allowed("StartClosedOpensFirst", State::Closed, Op::Start, State::Running, {"open", "start"}),
    refused("StartRunning", State::Running, Op::Start),
    refused("StartPaused", State::Paused, Op::Start),
    refused("StartError", State::Error, Op::Start),
    allowed("PauseRunning", State::Running, Op::Pause, State::Paused, {"pause"}),
    refused("PauseOpen", State::Open, Op::Pause),
    allowed("ResumePaused", State::Paused, Op::Resume, State::Running, {"resume"}),
    refused("ResumeRunning", State::Running, Op::Resume),
    allowed("StopRunning", State::Running, Op::Stop, State::Open, {"stop"}),
    allowed("StopPaused", State::Paused, Op::Stop, State::Open, {"stop"}),
    refused("StopOpen", State::Open, Op::Stop),
    refused("StopClosed", State::Closed, Op::Stop),
    allowed("CloseOpen", State::Open, Op::Close, State::Closed, {"close"}),
    allowed("CloseRunningStopsFirst", State::Running, Op::Close, State::Closed, {"stop", "close"}),
    allowed("ClosePausedStopsFirst", State::Paused, Op::Close, State::Closed, {"stop", "close"}),
    allowed("CloseClosedDoesNothing", State::Closed, Op::Close, State::Closed, {}),
    allowed("CloseError", State::Error, Op::Close, State::Closed, {"close"}),
    refused("OpenError", State::Error, Op::Open),
};

INSTANTIATE_TEST_SUITE_P(Stream, TransitionTest, ::testing::ValuesIn(kTransitions), kRowName);

// A failing hook leaves a sensible state.
constexpr bool ScriptedStream::*kFailOpen = &ScriptedStream::openResult;
constexpr bool ScriptedStream::*kFailStart = &ScriptedStream::startResult;
constexpr bool ScriptedStream::*kFailPause = &ScriptedStream::pauseResult;
constexpr bool ScriptedStream::*kFailResume = &ScriptedStream::resumeResult;
constexpr bool ScriptedStream::*kFailStop = &ScriptedStream::stopResult;
constexpr bool ScriptedStream::*kFailClose = &ScriptedStream::closeResult;

/// `op` from `from` with `hook` answering false: the call fails.
TransitionRow failing(const char* name, State from, Call op, bool ScriptedStream::*hook, State to,
                      std::vector<std::string> hooks)
{
    return {name, from, op, false, to, std::move(hooks), hook};
}

INSTANTIATE_TEST_SUITE_P(
    FailingHook, TransitionTest,
    ::testing::Values(
        failing("OpenFails", State::Closed, Op::Open, kFailOpen, State::Closed, {"open"}),
        failing("StartFailsStaysOpen", State::Open, Op::Start, kFailStart, State::Open, {"start"}),
        failing("StartFromClosedFailsLeavesOpen", State::Closed, Op::Start, kFailStart, State::Open,
                {"open", "start"}),
        failing("StartFromClosedOpenFails", State::Closed, Op::Start, kFailOpen, State::Closed, {"open"}),
        failing("PauseFails", State::Running, Op::Pause, kFailPause, State::Running, {"pause"}),
        failing("ResumeFails", State::Paused, Op::Resume, kFailResume, State::Paused, {"resume"}),
        failing("StopFailsIsError", State::Running, Op::Stop, kFailStop, State::Error, {"stop"}),
        failing("CloseFailsStaysOpen", State::Open, Op::Close, kFailClose, State::Open, {"close"}),
        failing("CloseRunningStopFailsNoClose", State::Running, Op::Close, kFailStop, State::Error, {"stop"}),
        failing("CloseRunningCloseFailsLeavesOpen", State::Running, Op::Close, kFailClose, State::Open,
                {"stop", "close"})),
    kRowName);

TEST(StreamLifecycle, PauseNeedsSupport)
{
    ScriptedStream stream;
    stream.pausing = false;
    ASSERT_TRUE(stream.start());
    stream.calls.clear();
    EXPECT_FALSE(stream.pause());
    EXPECT_EQ(stream.state(), State::Running);
    EXPECT_TRUE(stream.calls.empty());
}

TEST(StreamLifecycle, IsStateOneOfTakesNumbersAndStates)
{
    ScriptedStream stream;
    EXPECT_FALSE(stream.isStateOneOf({4, 3}));
    EXPECT_TRUE(stream.isStateOneOf({1}));
    EXPECT_FALSE(stream.isStateOneOf({0}));
    EXPECT_FALSE(stream.isStateOneOf(std::initializer_list<int>{}));
    ASSERT_TRUE(stream.start());
    EXPECT_TRUE(stream.isStateOneOf({4, 3}));
    EXPECT_TRUE(stream.isStateOneOf({State::Running}));
    EXPECT_TRUE(stream.isRunning());
    ASSERT_TRUE(stream.pause());
    EXPECT_TRUE(stream.isStateOneOf({4, 3}));
    EXPECT_TRUE(stream.isRunning());
    ASSERT_TRUE(stream.stop());
    EXPECT_FALSE(stream.isStateOneOf({4, 3}));
    EXPECT_TRUE(stream.isStateOneOf({State::Closed, State::Open}));
    EXPECT_FALSE(stream.isRunning());
}

TEST(StreamLifecycle, SignalsEveryStateEnteredInOrder)
{
    std::vector<State> seen;  // outlives the stream, whose destructor still signals
    ScriptedStream stream;
    stream.stateChanged.connect([&](State s) { seen.push_back(s); });
    ASSERT_TRUE(stream.start());
    ASSERT_TRUE(stream.close());
    EXPECT_EQ(seen, (std::vector<State>{State::Open, State::Running, State::Open, State::Closed}));

    seen.clear();
    stream.startResult = false;
    EXPECT_FALSE(stream.start());
    EXPECT_EQ(seen, std::vector<State>{State::Open});
}

TEST(StreamLifecycle, StateSlotMayDriveTheStream)
{
    // The signal is emitted after the call has finished, so a slot may call the stream again.
    bool stoppedFromSlot = false;
    ScriptedStream stream;
    stream.stateChanged.connect([&](State s) {
        if (s == State::Running) {
            stoppedFromSlot = stream.stop();
        }
    });
    ASSERT_TRUE(stream.start());
    EXPECT_TRUE(stoppedFromSlot);
    EXPECT_EQ(stream.state(), State::Open);
}

TEST(StreamLifecycle, ThrowingHookIsAFailureAndLogged)
{
    ScopedLogCapture capture;
    ScriptedStream stream;
    stream.throwOnStart = true;
    EXPECT_FALSE(stream.start());
    EXPECT_EQ(stream.state(), State::Open);
    EXPECT_EQ(capture.sink().count(4, "Stream", "Stream 'scripted': start failed: device gone"), 1u);
}

TEST(StreamLifecycle, LifecycleCallFromInsideAHookIsRefused)
{
    ScopedLogCapture quiet;
    ScriptedStream stream;
    bool nestedResult = true;
    stream.duringStart = [&] {
        nestedResult = stream.stop();
        EXPECT_FALSE(stream.isStateOneOf({4, 3}));  // still Open while the hook runs
    };
    EXPECT_TRUE(stream.start());
    EXPECT_FALSE(nestedResult);
    EXPECT_EQ(stream.state(), State::Running);
}

/// A stream that asks for the worker and counts its calls.
class WorkingStream : public Stream
{
public:
    WorkingStream() : Stream("working") {}
    ~WorkingStream() override { close(); }

    ThreadingMode threadingMode() const override { return ThreadingMode::WorkerThread; }
    bool supportsPausing() const override { return true; }

    std::atomic<int> calls{0};
    std::atomic<bool> inDoWork{false};
    std::atomic<int> limit{1 << 30};
    std::atomic<bool> tryStopFromWorker{false};
    std::atomic<int> nestedStopResults{0};

    bool waitForCalls(int n)
    {
        return TestSupport::eventually([&] { return calls.load() >= n; }, std::chrono::seconds(5));
    }

protected:
    std::optional<WorkContinuation> doWork() override
    {
        inDoWork = true;
        const int n = ++calls;
        std::this_thread::yield();
        inDoWork = false;
        if (tryStopFromWorker.exchange(false)) {
            nestedStopResults += stop() ? 100 : 1;
        }
        if (n >= limit.load()) {
            return std::nullopt;
        }
        return WorkContinuation{std::chrono::milliseconds(1)};
    }
};

TEST(StreamWorker, CallsDoWorkWhileRunningAndNotWhilePaused)
{
    ScopedLogCapture quiet;
    WorkingStream stream;
    ASSERT_TRUE(stream.start());
    ASSERT_TRUE(stream.waitForCalls(3));
    ASSERT_TRUE(stream.pause());
    // pause() returns after the state changed; a call already under way may still finish.
    const int atPause = stream.calls.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_LE(stream.calls.load(), atPause + 1);
    ASSERT_TRUE(stream.resume());
    EXPECT_TRUE(stream.waitForCalls(atPause + 3));
    ASSERT_TRUE(stream.stop());
    EXPECT_FALSE(stream.inDoWork.load()) << "stop() must join the worker";
    const int atStop = stream.calls.load();
    ASSERT_TRUE(stream.start());
    EXPECT_TRUE(stream.waitForCalls(atStop + 1)) << "a new start runs a new worker";
}

TEST(StreamWorker, EmptyContinuationEndsTheWorkerAndStopStillWorks)
{
    WorkingStream stream;
    stream.limit = 2;
    ASSERT_TRUE(stream.start());
    ASSERT_TRUE(stream.waitForCalls(2));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(stream.calls.load(), 2);
    EXPECT_TRUE(stream.isRunning());
    EXPECT_TRUE(stream.close());
}

TEST(StreamWorker, LifecycleCallFromTheWorkerIsRefusedNotDeadlocked)
{
    ScopedLogCapture quiet;
    WorkingStream stream;
    stream.tryStopFromWorker = true;
    ASSERT_TRUE(stream.start());
    ASSERT_TRUE(stream.waitForCalls(2));
    EXPECT_EQ(stream.nestedStopResults.load(), 1);
    EXPECT_TRUE(stream.stop());
}

TEST(StreamConcurrency, StateQueriesRaceLifecycleCalls)
{
    ScriptedStream stream;
    std::atomic<bool> done{false};
    std::atomic<long> runningSeen{0};
    std::thread reader([&] {
        while (!done.load()) {
            if (stream.isStateOneOf({4, 3})) {
                ++runningSeen;
            }
            EXPECT_TRUE(stream.isStateOneOf({1, 2, 3, 4}));
        }
    });
    std::thread controller([&] {
        for (int i = 0; i < 300; ++i) {
            stream.start();
            stream.stop();
        }
    });
    for (int i = 0; i < 300; ++i) {
        stream.close();
        stream.open();
    }
    controller.join();
    done = true;
    reader.join();
    EXPECT_TRUE(stream.close());
    EXPECT_EQ(stream.state(), State::Closed);
}

}  // namespace
}  // namespace Quorvane
