#include <Quorvane/Core/ScopedSignalConnection.h>
#include <Quorvane/Core/SignalImpl.h>
#include <Quorvane/Core/SignalReceiver.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace Quorvane {
namespace {

TEST(Signal, CallsSlotsInConnectionOrderWithTheArguments)
{
    Signal<int, const std::string&> signal;
    std::vector<std::string> calls;
    signal.connect([&](int n, const std::string& s) { calls.push_back("a" + std::to_string(n) + s); });
    signal.connect([&](int n, const std::string& s) { calls.push_back("b" + std::to_string(n) + s); });
    signal.emitSignal(1, "x");
    EXPECT_EQ(calls, (std::vector<std::string>{"a1x", "b1x"}));
    static_assert(
        std::is_same<Signal<int, const std::string&>, SignalImpl<2, int, const std::string&>>::value,
        "Signal<Args...> is SignalImpl<N, Args...>");
}

TEST(Signal, ADroppedHandleKeepsTheConnectionUntilDisconnected)
{
    SignalImpl<0> signal;
    int calls = 0;
    signal.connect([&] { ++calls; });  // handle dropped at once
    SignalConnection kept = signal.connect([&] { calls += 10; });
    signal.emitSignal();
    EXPECT_EQ(calls, 11);
    EXPECT_EQ(signal.numConnections(), 2u);

    EXPECT_TRUE(signal.disconnect(kept));
    EXPECT_FALSE(kept.connected());
    EXPECT_FALSE(signal.disconnect(kept));  // only once
    signal.emitSignal();
    EXPECT_EQ(calls, 12);

    signal.disconnectAll();
    signal.emitSignal();
    EXPECT_EQ(calls, 12);
    EXPECT_EQ(signal.numConnections(), 0u);
}

TEST(Signal, BlockingSuppressesCalls)
{
    SignalImpl<1, int> signal;
    int sum = 0;
    signal.connect([&](int v) { sum += v; });
    signal.setBlocked(true);
    signal.emitSignal(5);
    EXPECT_EQ(sum, 0);
    signal.setBlocked(false);
    signal.emitSignal(5);
    EXPECT_EQ(sum, 5);
}

TEST(Signal, AHandleOfAnotherSignalIsNotDisconnected)
{
    SignalImpl<0> a;
    SignalImpl<0> b;
    int calls = 0;
    SignalConnection onA = a.connect([&] { ++calls; });
    EXPECT_FALSE(b.disconnect(onA));
    a.emitSignal();
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(b.disconnect(SignalConnection()));  // an empty handle
}

TEST(Signal, ASlotMayDisconnectItselfConnectAndEmitWithoutDeadlock)
{
    SignalImpl<0> signal;
    std::vector<std::string> calls;
    SignalConnection self;
    self = signal.connect([&] {
        calls.emplace_back("once");
        EXPECT_TRUE(self.disconnect());  // from inside its own call
    });
    int depth = 0;
    signal.connect([&] {
        calls.emplace_back("reentrant");
        if (++depth == 1) {
            signal.connect([&] { calls.emplace_back("late"); });  // called from the next emission on
            signal.emitSignal();                                  // nested emission
        }
    });

    signal.emitSignal();
    // Outer: once, reentrant -> nested emission (once is gone): reentrant, late.
    EXPECT_EQ(calls, (std::vector<std::string>{"once", "reentrant", "reentrant", "late"}));
    calls.clear();
    signal.emitSignal();
    EXPECT_EQ(calls, (std::vector<std::string>{"reentrant", "late"}));
}

TEST(Signal, ASlotDisconnectedDuringAnEmissionIsNotCalledByIt)
{
    SignalImpl<0> signal;
    int laterCalls = 0;
    SignalConnection later;
    signal.connect([&] { later.disconnect(); });
    later = signal.connect([&] { ++laterCalls; });
    signal.emitSignal();
    EXPECT_EQ(laterCalls, 0);
}

TEST(Signal, ASlotMayDestroyTheSignalThatCallsIt)
{
    auto signal = std::make_unique<SignalImpl<0>>();
    int after = 0;
    signal->connect([&] { signal.reset(); });
    signal->connect([&] { ++after; });  // disconnected by the destruction: not called
    signal->emitSignal();
    EXPECT_EQ(signal, nullptr);
    EXPECT_EQ(after, 0);
}

TEST(ScopedSignalConnection, EndsItsConnectionWithItsScopeUnlessMovedOrReleased)
{
    SignalImpl<0> signal;
    std::string calls;
    SignalConnection released;
    {
        ScopedSignalConnection a = signal.connect([&] { calls += 'a'; });
        ScopedSignalConnection b = signal.connect([&] { calls += 'b'; });
        ScopedSignalConnection moved(std::move(a));  // takes a's connection over, a ends nothing
        // NOLINTNEXTLINE(bugprone-use-after-move,clang-analyzer-cplusplus.Move): checks the moved-from a
        EXPECT_FALSE(a.connected());
        EXPECT_TRUE(moved.connected());
        b = signal.connect([&] { calls += 'c'; });  // the old connection of b ends now
        ScopedSignalConnection kept = signal.connect([&] { calls += 'k'; });
        released = kept.release();
        signal.emitSignal();
        EXPECT_EQ(calls, "ack");
    }
    EXPECT_TRUE(released.connected());
    EXPECT_EQ(signal.numConnections(), 1u);
    calls.clear();
    signal.emitSignal();
    EXPECT_EQ(calls, "k");

    ScopedSignalConnection late = signal.connect([] {});
    EXPECT_TRUE(late.disconnect());
    EXPECT_FALSE(late.disconnect());
}

class Counter : public SignalReceiver
{
public:
    void add(int v) { total += v; }
    int total = 0;
};

TEST(SignalReceiver, ConnectionsForAReceiverEndWithIt)
{
    SignalImpl<1, int> signal;
    int other = 0;
    signal.connect([&](int v) { other += v; });
    SignalConnection handle;
    {
        Counter counter;
        handle = signal.connect(&counter, &Counter::add);
        signal.connect(&counter, [&counter](int v) { counter.add(2 * v); });
        EXPECT_EQ(counter.numReceivedConnections(), 2u);
        signal.emitSignal(1);
        EXPECT_EQ(counter.total, 3);
    }
    EXPECT_FALSE(handle.connected());
    EXPECT_EQ(signal.numConnections(), 1u);
    signal.emitSignal(1);  // would touch the destroyed counter if still connected (ASan)
    EXPECT_EQ(other, 2);
}

TEST(SignalReceiver, OutlivingTheSignalIsHarmless)
{
    Counter counter;
    {
        SignalImpl<1, int> signal;
        signal.connect(&counter, &Counter::add);
        signal.emitSignal(4);
    }
    EXPECT_EQ(counter.numReceivedConnections(), 0u);
    counter.disconnectAllSignals();
    EXPECT_EQ(counter.total, 4);
}

}  // namespace
}  // namespace Quorvane
