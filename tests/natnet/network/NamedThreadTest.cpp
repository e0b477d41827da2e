// The one thread type of the NatNet library: names, stops from anywhere, joins once.
#include "natnet/transport/NamedThread.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/post.hpp>

#include <gtest/gtest.h>

#include <pthread.h>

#include <array>
#include <chrono>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

using NatNet::Net::NamedThread;
using namespace std::chrono_literals;

constexpr auto kDeadline = 10s;

std::string currentThreadName()
{
    std::array<char, 16> name{};
    pthread_getname_np(pthread_self(), name.data(), name.size());
    return name.data();
}

// An io_context kept from running out of work, for a thread to serve.
struct ServedContext
{
    boost::asio::io_context io;
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> work =
        boost::asio::make_work_guard(io);

    // Whether a handler posted now runs within the deadline: the context is being served.
    bool served()
    {
        std::promise<void> ran;
        boost::asio::post(io, [&ran] { ran.set_value(); });
        return ran.get_future().wait_for(kDeadline) == std::future_status::ready;
    }
};

TEST(NamedThread, NameIsVisibleToTheSystem)
{
    struct Row
    {
        const char* given;
        const char* seen;
    };
    const Row rows[] = {
        {"natnet-test", "natnet-test"},
        {"a-name-longer-than-fifteen", "a-name-longer-t"},
    };
    for (const Row& row : rows) {
        NamedThread thread;
        std::promise<std::string> seen;
        thread.start(row.given, [&seen] { seen.set_value(currentThreadName()); });
        auto future = seen.get_future();
        ASSERT_EQ(future.wait_for(kDeadline), std::future_status::ready);
        EXPECT_EQ(future.get(), row.seen);
        thread.join();
    }
}

TEST(NamedThread, StopAndJoinAreIdempotent)
{
    ServedContext context;
    NamedThread thread;
    thread.startServing("natnet-test", context.io);
    ASSERT_TRUE(context.served());
    thread.stop();
    EXPECT_TRUE(context.io.stopped());
    thread.stop();
    thread.join();
    EXPECT_FALSE(thread.isCurrent());
}

TEST(NamedThread, StopFromInsideDoesNotWaitForItself)
{
    ServedContext context;
    NamedThread thread;
    thread.startServing("natnet-test", context.io);
    std::promise<bool> inside;
    boost::asio::post(context.io, [&] {
        const bool current = thread.isCurrent();
        thread.stop();
        thread.join();
        inside.set_value(current);
    });
    auto future = inside.get_future();
    ASSERT_EQ(future.wait_for(kDeadline), std::future_status::ready);
    EXPECT_TRUE(future.get());
    thread.join();
    EXPECT_TRUE(context.io.stopped());
}

TEST(NamedThread, StartsAgainAfterStop)
{
    ServedContext context;
    NamedThread thread;
    for (int round = 0; round < 2; ++round) {
        context.io.restart();
        thread.startServing("natnet-test", context.io);
        ASSERT_TRUE(context.served()) << "round " << round;
        thread.stop();
    }
}

TEST(NamedThread, ServingGoesOnAfterAHandlerThrows)
{
    ServedContext context;
    NamedThread thread;
    std::promise<std::string> reported;
    thread.startServing("natnet-test", context.io,
                        [&reported](const char* what) { reported.set_value(what); });
    boost::asio::post(context.io, [] { throw std::runtime_error("handler failed"); });
    ASSERT_TRUE(context.served());
    auto report = reported.get_future();
    ASSERT_EQ(report.wait_for(kDeadline), std::future_status::ready);
    EXPECT_EQ(report.get(), "handler failed");
    thread.stop();
}

// The last owner may be the thread itself (a client destroyed in its own
// callback): destroying the object there must neither join nor abort.
TEST(NamedThread, DestroyedOnItsOwnThreadLetsItEnd)
{
    auto owner = std::make_shared<NamedThread>();
    std::promise<void> taken;
    std::promise<void> letGo;
    std::promise<void> ended;
    auto letGoFuture = letGo.get_future();
    owner->start("natnet-test", [&, keep = std::weak_ptr<NamedThread>(owner)] {
        std::shared_ptr<NamedThread> last = keep.lock();
        taken.set_value();
        if (letGoFuture.wait_for(kDeadline) != std::future_status::ready) {
            return;
        }
        last.reset();  // the destructor runs here, on the thread itself
        ended.set_value();
    });
    ASSERT_EQ(taken.get_future().wait_for(kDeadline), std::future_status::ready);
    owner.reset();
    letGo.set_value();
    EXPECT_EQ(ended.get_future().wait_for(kDeadline), std::future_status::ready);
}

}  // namespace
