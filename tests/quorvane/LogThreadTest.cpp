// The log used from several threads while sinks and thresholds change (run under TSan).

#include <Quorvane/Core/Log.h>
#include <Quorvane/Core/RecordingLogSink.h>
#include <Quorvane/Core/ScopedLogCapture.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace Quorvane {
namespace {

TEST(LogThreads, MessagesFromManyThreadsAllArriveWhileSinksAndThresholdsChange)
{
    ScopedLogCapture capture(0);
    constexpr int kThreads = 4;
    constexpr int kMessages = 2000;
    std::atomic<bool> stop{false};

    std::thread churn([&] {
        for (int i = 0; i < 5000 && !stop.load(); ++i) {
            auto extra = std::make_shared<RecordingLogSink>();
            Log::addSink(extra);
            Log::setCategoryLevel("Other", i % 5);
            Log::removeSink(extra);
            Log::clearCategoryLevel("Other");
        }
    });
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([t] {
            for (int i = 0; i < kMessages; ++i) {
                if (Log::g_globalLevel <= 2 && Log::isAccepted(2, "Worker")) {
                    Log::log(2, "Worker", "w" + std::to_string(t), "", -1);
                }
            }
        });
    }
    for (auto& w : writers) {
        w.join();
    }
    stop = true;
    churn.join();

    EXPECT_EQ(capture.sink().size(), static_cast<std::size_t>(kThreads * kMessages));
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(capture.sink().count(2, "Worker", "w" + std::to_string(t)),
                  static_cast<std::size_t>(kMessages));
    }
}

TEST(LogThreads, WaitForSeesAMessageFromAnotherThread)
{
    ScopedLogCapture capture(0);
    std::thread writer([] { Log::log(3, "Late", "arrived", "", -1); });
    const bool seen = capture.sink().waitFor(
        [](const std::vector<RecordingLogSink::Record>& records) {
            return !records.empty() && records.back().text == "arrived";
        },
        std::chrono::seconds(5));
    writer.join();
    EXPECT_TRUE(seen);
}

}  // namespace
}  // namespace Quorvane
