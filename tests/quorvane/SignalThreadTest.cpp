// Signals used from several threads at once (run again under TSan). Every loop is
// bounded in count; waits have deadlines of a few seconds.

#include <Quorvane/Core/SignalImpl.h>
#include <Quorvane/Core/SignalReceiver.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <memory>
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
        const auto deadline = std::chrono::steady_clock::now() + 2s;
        while (m_emissions.load() < target) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::yield();
        }
        return true;
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
