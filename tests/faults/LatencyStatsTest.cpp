// The latency tool: its percentiles (nearest rank, no off-by-one at the 99.9th of 1000), and a
// short run end to end whose JSON carries the fields scripts read, with counts that add up.

#include "LatencyStats.h"
#include "ShellCommand.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

namespace NatNetLatency {
namespace {

struct RankRow
{
    const char* name;
    std::size_t count;  // samples 1, 2, ..., count ns
    double percent;
    std::uint64_t expected;
};

class NearestRank : public ::testing::TestWithParam<RankRow>
{
};

TEST_P(NearestRank, PicksTheSmallestSampleThatCoversThePercentage)
{
    std::vector<std::uint64_t> samples(GetParam().count);
    std::iota(samples.begin(), samples.end(), 1);
    EXPECT_EQ(nearestRank(samples, GetParam().percent), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, NearestRank,
    ::testing::Values(RankRow{"one", 1, 50.0, 1}, RankRow{"medianOfTwo", 2, 50.0, 1},
                      RankRow{"medianOfThree", 3, 50.0, 2}, RankRow{"p99of100", 100, 99.0, 99},
                      RankRow{"p999of1000", 1000, 99.9, 999}, RankRow{"p999of100", 100, 99.9, 100},
                      RankRow{"p99of1000", 1000, 99.0, 990}, RankRow{"all", 7, 100.0, 7}),
    [](const ::testing::TestParamInfo<RankRow>& row) { return std::string(row.param.name); });

TEST(Summarize, SortsAndSummarizesAnyOrder)
{
    std::vector<std::uint64_t> samples{50, 10, 40, 20, 30};
    const LatencySummary s = summarize(samples);
    EXPECT_EQ(s.count, 5u);
    EXPECT_EQ(s.p50Ns, 30u);
    EXPECT_EQ(s.p99Ns, 50u);
    EXPECT_EQ(s.maxNs, 50u);
    EXPECT_DOUBLE_EQ(s.meanNs, 30.0);
    std::vector<std::uint64_t> none;
    EXPECT_EQ(summarize(none).count, 0u);
    EXPECT_EQ(summarize(none).maxNs, 0u);
}

TEST(LatencyTool, AShortRunReportsBothPathsInJson)
{
    const std::string command =
        std::string(NATNET_LATENCY_TOOL) +
        " --rates 200,500 --durations 0.5 --rigid-bodies 8 --warmup 0.1 --reactor-floor --json 2>&1";
    const TestSupport::ShellResult run = TestSupport::runShell(command);
    ASSERT_TRUE(run.started);
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string& output = run.output;

    std::vector<nlohmann::json> objects;
    std::size_t start = 0;
    while (start < output.size()) {
        const std::size_t end = output.find('\n', start);
        const std::string line = output.substr(start, end - start);
        if (!line.empty() && line.front() == '{') objects.push_back(nlohmann::json::parse(line));
        start = end == std::string::npos ? output.size() : end + 1;
    }
    ASSERT_EQ(objects.size(), 2u) << output;
    const double rates[] = {200.0, 500.0};
    for (std::size_t i = 0; i < objects.size(); ++i) {
        const nlohmann::json& o = objects[i];
        SCOPED_TRACE(o.dump());
        EXPECT_EQ(o.at("rateHz").get<double>(), rates[i]);
        EXPECT_EQ(o.at("rigidBodies").get<int>(), 8);
        const auto sent = o.at("sent").get<std::uint64_t>();
        EXPECT_EQ(sent, static_cast<std::uint64_t>(rates[i] * 0.5));
        EXPECT_EQ(o.at("lost").get<std::uint64_t>() + o.at("received").get<std::uint64_t>(), sent);
        EXPECT_EQ(o.at("rawSent").get<std::uint64_t>(), sent);
        EXPECT_LE(o.at("rawEpollLost").get<std::uint64_t>(), sent);
        // Something arrived, with plausible one-way times on loopback (well under a second).
        EXPECT_GT(o.at("received").get<std::uint64_t>(), sent / 2);
        for (const char* key : {"rawP50Us", "rawP99Us", "rawEpollP50Us", "fullP50Us", "fullP99Us"}) {
            EXPECT_GT(o.at(key).get<double>(), 0.0) << key;
            EXPECT_LT(o.at(key).get<double>(), 1e6) << key;
        }
        EXPECT_LE(o.at("fullP50Us").get<double>(), o.at("fullP99Us").get<double>());
        EXPECT_GT(o.at("cpuPerFrameUs").get<double>(), 0.0);
        EXPECT_GT(o.at("datagramBytes").get<int>(), 8 * 38);
    }
}

}  // namespace
}  // namespace NatNetLatency
