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
    boost::asio::io_context io;
    auto work = boost::asio::make_work_guard(io);
    NamedThread thread;
    thread.startServing("natnet-test", io);
    std::promise<void> served;
    boost::asio::post(io, [&served] { served.set_value(); });
    ASSERT_EQ(served.get_future().wait_for(kDeadline), std::future_status::ready);
    thread.stop();
    EXPECT_TRUE(io.stopped());
    thread.stop();
    thread.join();
    EXPECT_FALSE(thread.isCurrent());
}

TEST(NamedThread, StopFromInsideDoesNotWaitForItself)
{
    boost::asio::io_context io;
    auto work = boost::asio::make_work_guard(io);
    NamedThread thread;
    thread.startServing("natnet-test", io);
    std::promise<bool> inside;
    boost::asio::post(io, [&] {
        const bool current = thread.isCurrent();
        thread.stop();
        thread.join();
        inside.set_value(current);
    });
    auto future = inside.get_future();
    ASSERT_EQ(future.wait_for(kDeadline), std::future_status::ready);
    EXPECT_TRUE(future.get());
    thread.join();
    EXPECT_TRUE(io.stopped());
}

TEST(NamedThread, StartsAgainAfterStop)
{
    boost::asio::io_context io;
    auto work = boost::asio::make_work_guard(io);
    NamedThread thread;
    for (int round = 0; round < 2; ++round) {
        io.restart();
        thread.startServing("natnet-test", io);
        std::promise<void> served;
        boost::asio::post(io, [&served] { served.set_value(); });
        ASSERT_EQ(served.get_future().wait_for(kDeadline), std::future_status::ready) << "round " << round;
        thread.stop();
    }
}

TEST(NamedThread, ServingGoesOnAfterAHandlerThrows)
{
    boost::asio::io_context io;
    auto work = boost::asio::make_work_guard(io);
    NamedThread thread;
    std::promise<std::string> reported;
    thread.startServing("natnet-test", io, [&reported](const char* what) { reported.set_value(what); });
    boost::asio::post(io, [] { throw std::runtime_error("handler failed"); });
    std::promise<void> served;
    boost::asio::post(io, [&served] { served.set_value(); });
    ASSERT_EQ(served.get_future().wait_for(kDeadline), std::future_status::ready);
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
