#include <Quorvane/Lib/Algorithm.h>
#include <Quorvane/Lib/Data.h>
#include <Quorvane/Lib/DataList.h>
#include <Quorvane/Lib/IoAlgorithm.h>
#include <Quorvane/Lib/OwningDataList.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace Quorvane {
namespace {

/// Counts live instances so that ownership mistakes show up as wrong counts.
class Counted : public Data
{
public:
    explicit Counted(int* live) : Data("counted"), m_live(live) { ++*m_live; }
    ~Counted() override { --*m_live; }

private:
    int* m_live;
};

TEST(DataList, IsANonOwningOrderedListThatIgnoresNull)
{
    Data a("a");
    Data b("b");
    DataList list{&a, nullptr, &b};
    EXPECT_EQ(list.size(), 2u);
    list.add(nullptr);
    list.add(&a);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0], &a);
    EXPECT_EQ(list[1], &b);
    EXPECT_EQ(list.at(5), nullptr);
    const DataList copy = list;
    EXPECT_EQ(copy, list);
    EXPECT_TRUE(DataList().empty());
}

TEST(OwningDataList, OwnsUntilReleasedAndDestroysTheRest)
{
    int live = 0;
    std::unique_ptr<Data> released;
    {
        OwningDataList list(std::make_unique<Counted>(&live));
        list.add(std::make_unique<Counted>(&live));
        list.add(nullptr);
        ASSERT_EQ(list.size(), 2u);
        EXPECT_EQ(list.dataList().size(), 2u);
        EXPECT_EQ(list.dataList()[1], list.at(1));
        released = list.release(0);
        EXPECT_EQ(list.release(7), nullptr);
        EXPECT_EQ(list.size(), 1u);
        OwningDataList moved = std::move(list);
        EXPECT_EQ(moved.size(), 1u);
        EXPECT_EQ(live, 2);
    }
    EXPECT_EQ(live, 1) << "the list destroys what it still holds, and only that";
    ASSERT_NE(released, nullptr);
    released.reset();
    EXPECT_EQ(live, 0);

    OwningDataList all;
    all.add(std::make_unique<Counted>(&live));
    all.add(std::make_unique<Counted>(&live));
    std::vector<std::unique_ptr<Data>> items = all.releaseAll();
    EXPECT_TRUE(all.empty());
    EXPECT_EQ(items.size(), 2u);
    items.clear();
    EXPECT_EQ(live, 0);
}

TEST(Data, MatrixFromWorldAndToWorldAreInverses)
{
    Data d("volume");
    Eigen::Matrix4d toWorld = Eigen::Matrix4d::Identity();
    toWorld(0, 3) = 10.0;  // data origin at x = 10 mm in the world
    d.setMatrixToWorld(toWorld);
    EXPECT_TRUE(d.matrixToWorld().isApprox(toWorld));
    EXPECT_DOUBLE_EQ(d.matrixFromWorld()(0, 3), -10.0);
    EXPECT_TRUE(d.matrix().isApprox(d.matrixFromWorld()));  // default convention
    EXPECT_EQ(d.describe(), "Unknown 'volume'");
    EXPECT_TRUE(d.bounds().isEmpty());
}

class Job : public IoAlgorithm
{
public:
    void execute() override {}
    std::vector<std::string> supportedFileExtensions() const override { return {"mhd"}; }
};

TEST(Algorithm, ProgressIsClampedAndEmittedAndFailSetsTheStatus)
{
    Job job;
    std::vector<double> seen;
    job.progressChanged.connect([&](double v) { seen.push_back(v); });
    job.setProgress(0.5);
    job.setProgress(2.0);
    job.setProgress(-1.0);
    job.setProgress(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(seen, (std::vector<double>{0.5, 1.0, 0.0, 0.0}));

    EXPECT_EQ(job.status(), Algorithm::NotExecuted);
    job.fail("disk full");
    EXPECT_EQ(job.status(), Algorithm::Failure);
    EXPECT_EQ(job.failureReason(), "disk full");
    EXPECT_TRUE(job.takeOutput().empty());
}

TEST(IoAlgorithm, CanLoadMatchesTheExtensionOfTheFileNameOnly)
{
    Job job;
    EXPECT_TRUE(job.canLoad("scan.mhd"));
    EXPECT_TRUE(job.canLoad("/a.b/scan.MHD"));
    EXPECT_FALSE(job.canLoad("/data.mhd/scan"));
    EXPECT_FALSE(job.canLoad("scan."));
    EXPECT_FALSE(job.canLoad("mhd"));
    EXPECT_EQ(job.ioMode(), IoAlgorithm::IoMode::Input);
    EXPECT_TRUE(job.supportedLocations().empty());
    job.setLocation("127.0.0.1:1510");
    EXPECT_EQ(job.location(), "127.0.0.1:1510");
    job.configureFromGlobalSettings();  // no controller, no registered name: nothing happens
}

}  // namespace
}  // namespace Quorvane
