// Signals used from several threads at once (run again under TSan). Every loop is
// bounded in count; waits have deadlines of a few seconds.

#include <Quorvane/Core/RecordingLogSink.h>
#include <Quorvane/Core/ScopedLogCapture.h>
#include <Quorvane/Core/ScopedSignalConnection.h>
#include <Quorvane/Core/SignalImpl.h>
#include <Quorvane/Core/SignalReceiver.h>
#include "Eventually.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace Quorvane {
namespace {

using namespace std::chrono_literals;

/// Emits `signal` on `count` threads until stopped, for at most 30 seconds.
class Emitters
{
public:
    Emitters(const SignalImpl<1, int>& signal, int count)
    {
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        for (int t = 0; t < count; ++t) {
            m_threads.emplace_back([this, &signal, deadline] {
                for (long i = 0; !m_stop.load(); ++i) {
                    signal.emitSignal(1);
                    m_emissions.fetch_add(1);
                    if (i % 1024 == 0 && std::chrono::steady_clock::now() > deadline) {
                        break;
                    }
                }
            });
        }
    }
    ~Emitters() { stop(); }
    void stop()
    {
        m_stop = true;
        for (auto& t : m_threads) {
            if (t.joinable()) {
                t.join();
            }
        }
    }
    /// Waits until `more` further emissions happened; false after two seconds without.
    bool waitForEmissions(long more) const
    {
        const long target = m_emissions.load() + more;
        return TestSupport::eventually([&] { return m_emissions.load() >= target; }, 2s);
    }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<long> m_emissions{0};
    std::vector<std::thread> m_threads;
};

/// Fails (and ends the process, since a deadlocked thread cannot be joined) when `f`
/// does not finish within five seconds.
template <class F>
void finishesInTime(F f)
{
    auto done = std::async(std::launch::async, f);
    if (done.wait_for(5s) != std::future_status::ready) {
        ADD_FAILURE() << "deadlock";
        std::_Exit(1);
    }
    done.get();
}

using TestSupport::eventually;

TEST(SignalThreads, NoCallStartsAfterDisconnectReturnsAndRunningOnesHaveEnded)
{
    SignalImpl<1, int> signal;
    Emitters emitters(signal, 2);
    for (int round = 0; round < 100; ++round) {
        // The slot's state is destroyed right after disconnect: ASan/TSan see any late call.
        auto state = std::make_unique<std::atomic<int>>(0);
        std::atomic<bool> returned{false};
        std::atomic<bool> lateCall{false};
        std::atomic<int>* raw = state.get();
        SignalConnection c = signal.connect([raw, &returned, &lateCall](int v) {
            if (returned.load()) {
                lateCall = true;
            }
            raw->fetch_add(v);
        });
        ASSERT_TRUE(emitters.waitForEmissions(3));
        ASSERT_TRUE(signal.disconnect(c));
        returned = true;
        state.reset();
        ASSERT_TRUE(emitters.waitForEmissions(3));
        ASSERT_FALSE(lateCall.load()) << "round " << round;
    }
}

/// A receiver used from another thread disconnects in its own destructor: the base's
/// destructor runs after the subclass is gone, too late for a concurrent call.
class Tally : public SignalReceiver
{
public:
    ~Tally() override { disconnectAllSignals(); }
    void add(int v) { m_total.fetch_add(v); }
    std::atomic<int> m_total{0};
};

TEST(SignalThreads, AReceiverMayBeDestroyedWhileAnotherThreadEmits)
{
    SignalImpl<1, int> signal;
    Emitters emitters(signal, 2);
    for (int round = 0; round < 100; ++round) {
        auto tally = std::make_unique<Tally>();
        signal.connect(tally.get(), &Tally::add);
        ASSERT_TRUE(emitters.waitForEmissions(2));
        tally.reset();  // disconnects, waits for running calls; freed memory is never touched
    }
    EXPECT_EQ(signal.numConnections(), 0u);
}

TEST(SignalThreads, ASlotDisconnectingItselfOnTwoThreadsAtOnceDoesNotDeadlock)
{
    finishesInTime([] {
        for (int round = 0; round < 300; ++round) {
            SignalImpl<0> signal;
            std::atomic<int> calls{0};
            SignalConnection self;
            std::atomic<bool> ready{false};
            self = signal.connect([&] {
                calls.fetch_add(1);
                while (!ready.load()) {
                    std::this_thread::yield();
                }
                self.disconnect();
            });
            // A second slot disconnects everything, also from inside a call.
            signal.connect([&] { signal.disconnectAll(); });
            std::thread a([&] { signal.emitSignal(); });
            std::thread b([&] { signal.emitSignal(); });
            ready = true;
            a.join();
            b.join();
            EXPECT_GE(calls.load(), 1);
            EXPECT_EQ(signal.numConnections(), 0u);
        }
    });
}

TEST(SignalThreads, ADisconnectFromInsideAnotherSlotWaitsForTheCallRunningElsewhere)
{
    for (int round = 0; round < 5; ++round) {
        SignalImpl<0> updates;   // emitted on the worker thread, like a stream's frames
        SignalImpl<0> teardown;  // emitted on this thread; its slot ends the connection
        std::atomic<bool> entered{false};
        std::atomic<bool> disconnectCalled{false};
        std::atomic<bool> disconnectReturned{false};
        std::atomic<bool> returnedWhileRunning{false};
        SignalConnection c = updates.connect([&] {
            entered = true;
            eventually([&] { return disconnectCalled.load(); });
            // Still running: a correct disconnect cannot have returned, however long this takes.
            if (eventually([&] { return disconnectReturned.load(); }, 50ms)) {
                returnedWhileRunning = true;
            }
        });
        teardown.connect([&] {
            disconnectCalled = true;
            c.disconnect();
            disconnectReturned = true;
        });
        std::thread worker([&] { updates.emitSignal(); });
        ASSERT_TRUE(eventually([&] { return entered.load(); }));
        teardown.emitSignal();
        worker.join();
        EXPECT_FALSE(returnedWhileRunning.load()) << "round " << round;
    }
}

TEST(SignalThreads, AConnectionEndedFromInsideASlotIsNeverCalledAfterwards)
{
    SignalImpl<1, int> signal;
    SignalImpl<0> teardown;
    Emitters emitters(signal, 2);
    // Three ways to end it, each from inside a slot on this thread while two threads emit.
    for (int round = 0; round < 90; ++round) {
        auto state = std::make_unique<std::atomic<int>>(0);
        std::atomic<int>* raw = state.get();
        auto tally = std::make_unique<Tally>();
        SignalConnection plain;
        ScopedSignalConnection scoped;
        const int way = round % 3;
        if (way == 0) {
            plain = signal.connect([raw](int v) { raw->fetch_add(v); });
        } else if (way == 1) {
            scoped = signal.connect([raw](int v) { raw->fetch_add(v); });
        } else {
            signal.connect(tally.get(), &Tally::add);
        }
        ASSERT_TRUE(emitters.waitForEmissions(3));
        SignalConnection end = teardown.connect([&] {
            if (way == 0) {
                plain.disconnect();
            } else if (way == 1) {
                ScopedSignalConnection gone = std::move(scoped);
            } else {
                tally.reset();  // a receiver destroyed inside a slot
            }
            state.reset();  // freed: ASan/TSan see any call that is still running or starts later
        });
        teardown.emitSignal();
        end.disconnect();
        ASSERT_EQ(state, nullptr);
        ASSERT_TRUE(emitters.waitForEmissions(3));
    }
    EXPECT_EQ(signal.numConnections(), 0u);
}

/// Rings of slots on as many threads: each slot, once all are running, disconnects the
/// next one, so every thread waits for the next. One of them must see the circle.
class SignalDisconnectRing : public ::testing::TestWithParam<int>
{
};

TEST_P(SignalDisconnectRing, DoesNotDeadlockAndEndsEveryConnection)
{
    const int n = GetParam();
    finishesInTime([n] {
        for (int round = 0; round < 20; ++round) {
            std::vector<std::unique_ptr<SignalImpl<0>>> signals;
            std::vector<SignalConnection> connections(static_cast<std::size_t>(n));
            std::atomic<int> running{0};
            for (int i = 0; i < n; ++i) {
                signals.push_back(std::make_unique<SignalImpl<0>>());
            }
            for (int i = 0; i < n; ++i) {
                const std::size_t next = static_cast<std::size_t>((i + 1) % n);
                connections[static_cast<std::size_t>(i)] =
                    signals[static_cast<std::size_t>(i)]->connect([&, next] {
                        running.fetch_add(1);
                        EXPECT_TRUE(eventually([&] { return running.load() == n; }));
                        connections[next].disconnect();
                    });
            }
            std::vector<std::thread> threads;
            for (int i = 0; i < n; ++i) {
                threads.emplace_back([&signals, i] { signals[static_cast<std::size_t>(i)]->emitSignal(); });
            }
            for (auto& t : threads) {
                t.join();
            }
            for (const SignalConnection& c : connections) {
                EXPECT_FALSE(c.connected());
            }
        }
    });
}

INSTANTIATE_TEST_SUITE_P(Sizes, SignalDisconnectRing, ::testing::Values(2, 3, 4));

TEST(SignalThreads, AnExceptionFromASlotIsLoggedAndTheOtherSlotsStillRun)
{
    ScopedLogCapture capture(0);
    SignalImpl<1, int> signal;
    std::atomic<int> before{0};
    std::atomic<int> after{0};
    signal.connect([&](int v) { before.fetch_add(v); });
    signal.connect([](int v) {
        if (v == 1) {
            throw std::runtime_error("listener failed");
        }
        throw 7;  // not a std::exception
    });
    signal.connect([&](int v) { after.fetch_add(v); });

    constexpr int kThreads = 3;
    constexpr int kEmissions = 20;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kEmissions; ++i) {
                EXPECT_NO_THROW(signal.emitSignal(1));
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_NO_THROW(signal.emitSignal(2));

    EXPECT_EQ(before.load(), kThreads * kEmissions + 2);
    EXPECT_EQ(after.load(), kThreads * kEmissions + 2);
    const std::string prefix = "A slot threw an exception (the other slots are still called)";
    EXPECT_EQ(capture.sink().count(4, "Signal", prefix + ": listener failed"),
              static_cast<std::size_t>(kThreads * kEmissions));
    EXPECT_EQ(capture.sink().count(4, "Signal", prefix), 1u);
}

TEST(SignalThreads, SlotsThatConnectAndEmitFromSeveralThreadsDoNotDeadlock)
{
    finishesInTime([] {
        SignalImpl<1, int> signal;
        SignalImpl<0> other;
        std::atomic<int> otherCalls{0};
        other.connect([&] { otherCalls.fetch_add(1); });
        signal.connect([&](int) { other.emitSignal(); });  // emits another signal from a slot
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&, t] {
                for (int i = 0; i < 500; ++i) {
                    if (t % 2 == 0) {
                        SignalConnection c = signal.connect([&](int) { other.connect([] {}).disconnect(); });
                        signal.emitSignal(i);
                        c.disconnect();
                    } else {
                        signal.emitSignal(i);
                    }
                }
            });
        }
        for (auto& t : threads) {
            t.join();
        }
        EXPECT_EQ(otherCalls.load(), 4 * 500);
        EXPECT_EQ(signal.numConnections(), 1u);
        EXPECT_EQ(other.numConnections(), 1u);
    });
}

TEST(SignalThreads, EveryEmissionReachesEveryStableSlot)
{
    SignalImpl<1, int> signal;
    std::atomic<long> sum{0};
    for (int s = 0; s < 4; ++s) {
        signal.connect([&](int v) { sum.fetch_add(v); });
    }
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 5000; ++i) {
                signal.emitSignal(1);
            }
        });
    }
    // Churn: connections that come and go meanwhile must not disturb the stable ones.
    for (int i = 0; i < 2000; ++i) {
        signal.connect([](int) {}).disconnect();
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(sum.load(), 4L * 4 * 5000);
}

}  // namespace
}  // namespace Quorvane
