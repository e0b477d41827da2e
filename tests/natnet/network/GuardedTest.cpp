// Guarded<T>: the value is reached only through an accessor that holds its lock.
#include "natnet/transport/Guarded.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

using NatNet::Net::Guarded;

// Unsynchronised read-modify-write through the accessor: without the lock
// increments are lost (and TSan reports the race).
TEST(Guarded, AccessorsFromManyThreadsAreSerialised)
{
    constexpr int kThreads = 4;
    constexpr int kIncrements = 20000;
    Guarded<std::vector<int>> counts(1, 0);
    std::vector<std::thread> threads;
    threads.reserve(kThreads);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&counts] {
            for (int i = 0; i < kIncrements; ++i) {
                const auto access = counts.lock();
                const int before = access->front();
                (*access)[0] = before + 1;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(counts.lock()->front(), kThreads * kIncrements);
}

TEST(Guarded, ConstAccessReadsTheSameValue)
{
    Guarded<std::string> text("abc");
    text.lock()->append("def");
    const Guarded<std::string>& view = text;
    EXPECT_EQ(*view.lock(), "abcdef");
}

}  // namespace
