#include <Quorvane/Core/RecordingLogSink.h>
#include <Quorvane/Core/ScopedLogCapture.h>
#include <Quorvane/Lib/AlgorithmFactory.h>
#include <Quorvane/Lib/Data.h>

#include <gtest/gtest.h>

#include <ostream>

#include <stdexcept>
#include <string>
#include <vector>

namespace Quorvane {
namespace {

class Plain : public Algorithm
{
public:
    void execute() override { setStatus(Success); }
    void configure(const Properties* p) override
    {
        ++configureCalls;
        if (p != nullptr) {
            p->param("gain", gain);
        }
    }
    int configureCalls = 0;
    double gain = 1.0;
};

class Reader : public IoAlgorithm
{
public:
    void execute() override {}
    std::vector<std::string> supportedFileExtensions() const override { return {"nii", "MHD"}; }
    void configure(const Properties* p) override
    {
        configured.push_back(p != nullptr ? p->keys() : std::vector<std::string>{});
    }
    std::vector<std::vector<std::string>> configured;
};

class Throwing : public Algorithm
{
public:
    Throwing() { throw std::runtime_error("no device"); }
    void execute() override {}
};

class OddThrow : public Algorithm
{
public:
    OddThrow() { throw 42; }
    void execute() override {}
};

class ThrowingConfigure : public Algorithm
{
public:
    void execute() override {}
    void configure(const Properties*) override { throw std::runtime_error("bad setting"); }
};

class TestFactory : public AlgorithmFactory
{
public:
    explicit TestFactory(const std::string& name) : AlgorithmFactory(name) {}
};

TEST(AlgorithmFactory, PrefixesNamesAndRefusesADuplicateOnceWithAWarning)
{
    ScopedLogCapture capture(0);
    TestFactory factory("OptiTrack");
    factory.registerAlgorithm<Plain>("OptiTrackStream", "IO;OptiTrack;OptiTrack Duo/Trio", 0);
    factory.registerAlgorithm<Reader>("OptiTrackStream", "Other;Path", 5);

    ASSERT_EQ(factory.entries().size(), 1u);
    const AlgorithmFactory::Entry& entry = factory.entries().front();
    EXPECT_EQ(entry.name, "OptiTrack.OptiTrackStream");
    EXPECT_EQ(entry.displayPath, "IO;OptiTrack;OptiTrack Duo/Trio");
    EXPECT_EQ(entry.tag, 0);
    EXPECT_TRUE(entry.valid);
    EXPECT_EQ(capture.sink().records(),
              (std::vector<RecordingLogSink::Record>{
                  {3, "AlgorithmFactory", "Algorithm already registered: OptiTrack.OptiTrackStream"}}));
    // The refused registration left the type map alone.
    EXPECT_EQ(factory.registeredName<Plain>(), "OptiTrack.OptiTrackStream");
    EXPECT_EQ(factory.registeredName<Reader>(), "");
}

TEST(AlgorithmFactory, NamesAreComparedExactlyAndAnEmptyFactoryNameAddsNoPrefix)
{
    ScopedLogCapture capture(0);
    TestFactory factory("");
    factory.registerAlgorithm<Plain>("Stream", "A", 1);
    factory.registerAlgorithm<Plain>("stream", "B", 2);  // case counts: a second entry
    ASSERT_EQ(factory.entries().size(), 2u);
    EXPECT_EQ(factory.entries()[0].name, "Stream");
    EXPECT_EQ(factory.entries()[1].name, "stream");
    EXPECT_EQ(capture.sink().size(), 0u);
    // The same class registered under a second name: the type map holds the latest.
    EXPECT_EQ(factory.registeredName<Plain>(), "stream");
}

TEST(AlgorithmFactory, CreateGivesFactoryInfoAndOnlyAcceptsAnEmptyList)
{
    ScopedLogCapture capture(0);
    TestFactory factory("OptiTrack");
    factory.registerAlgorithm<Plain>("OptiTrackStream", "IO;OptiTrack;OptiTrack Duo/Trio", 0);
    const AlgorithmFactory::Entry& entry = factory.entries().front();

    Data item("CT");
    EXPECT_FALSE(entry.isCompatible(DataList{&item}));
    EXPECT_TRUE(entry.isCompatible(DataList{}));
    EXPECT_EQ(entry.create(DataList{&item}), nullptr);
    EXPECT_EQ(capture.sink().size(), 0u) << "refusing data is not logged";

    std::unique_ptr<Algorithm> algorithm = entry.create(DataList{});
    ASSERT_NE(algorithm, nullptr);
    EXPECT_EQ(algorithm->factoryInfo().name, "OptiTrack.OptiTrackStream");
    EXPECT_EQ(algorithm->factoryInfo().displayName, "OptiTrack Duo/Trio");
    EXPECT_TRUE(algorithm->factoryInfo().data.empty());
    EXPECT_EQ(dynamic_cast<Plain&>(*algorithm).configureCalls, 0) << "no properties, no configure";
    EXPECT_EQ(algorithm->status(), Algorithm::NotExecuted);
}

struct DisplayRow
{
    const char* path;
    const char* displayName;
};

/// Rows print as their name, so test names stay short and stable.
void PrintTo(const DisplayRow& row, std::ostream* os)
{
    *os << '"' << row.path << '"';
}

class DisplayNames : public ::testing::TestWithParam<DisplayRow>
{
};

TEST_P(DisplayNames, AreTheLastPieceOrTheWholePath)
{
    TestFactory factory("F");
    factory.registerAlgorithm<Plain>("A", GetParam().path, 0);
    std::unique_ptr<Algorithm> algorithm = factory.entries().front().create(DataList{});
    ASSERT_NE(algorithm, nullptr);
    EXPECT_EQ(algorithm->factoryInfo().displayName, GetParam().displayName);
    EXPECT_EQ(factory.algorithmDescriptor("F.A", false)->displayName, GetParam().displayName);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DisplayNames,
    ::testing::Values(DisplayRow{"IO;OptiTrack;OptiTrack Duo/Trio", "OptiTrack Duo/Trio"},
                      DisplayRow{"Without separator", "Without separator"},
                      DisplayRow{"IO;Trailing;", "Trailing"}, DisplayRow{";;", ";;"}, DisplayRow{"", ""}));

TEST(AlgorithmFactory, ARegisteredPropertiesCopyConfiguresEveryNewAlgorithm)
{
    TestFactory factory("F");
    Properties props;
    props.setParam("gain", 2.5);
    factory.registerAlgorithm<Plain>("P", "P", 0, &props);
    props.setParam("gain", 9.0);  // the entry holds its own copy
    std::unique_ptr<Algorithm> algorithm = factory.entries().front().create(DataList{});
    ASSERT_NE(algorithm, nullptr);
    EXPECT_EQ(dynamic_cast<Plain&>(*algorithm).configureCalls, 1);
    EXPECT_EQ(dynamic_cast<Plain&>(*algorithm).gain, 2.5);
}

TEST(AlgorithmFactory, AThrowingConstructorIsLoggedAndGivesNothing)
{
    ScopedLogCapture capture(0);
    TestFactory factory("F");
    factory.registerAlgorithm<Throwing>("T", "IO;Devices;Broken device", 0);
    EXPECT_EQ(factory.entries().front().create(DataList{}), nullptr);
    EXPECT_EQ(capture.sink().records(),
              (std::vector<RecordingLogSink::Record>{
                  {4, "", "Cannot create algorithm IO;Devices;Broken device: no device"}}));
}

TEST(AlgorithmFactory, TheHostQueriesNeverLetAnExceptionOut)
{
    ScopedLogCapture capture(0);
    TestFactory factory("F");
    factory.registerAlgorithm<OddThrow>("Odd", "Odd", 0);
    const Properties none;
    factory.registerAlgorithm<ThrowingConfigure>("Conf", "Conf", 0, &none);
    EXPECT_EQ(factory.instantiateAlgorithm("F.Odd", DataList{}), nullptr);
    EXPECT_EQ(factory.instantiateAlgorithm("F.Conf", DataList{}), nullptr);
    EXPECT_EQ(capture.sink().count(4, "AlgorithmFactory", "Cannot create algorithm Odd: unknown exception"),
              1u);
    EXPECT_EQ(capture.sink().count(4, "AlgorithmFactory", "Cannot create algorithm Conf: bad setting"), 1u);
}

TEST(AlgorithmFactory, DescriptorQueriesCoverIoAndUnknownNames)
{
    TestFactory factory("F");
    factory.registerAlgorithm<Plain>("Plain", "Filters;Plain filter", 3);
    factory.registerAlgorithm<Reader>("Reader", "IO;Files;Volume reader", 4);

    const std::vector<AlgorithmDescriptor> all = factory.algorithmDescriptors();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].name, "F.Plain");
    EXPECT_FALSE(all[0].isIo);
    EXPECT_EQ(all[1].displayName, "Volume reader");
    EXPECT_EQ(all[1].tag, 4);
    EXPECT_EQ(all[1].factoryName, "F");
    EXPECT_TRUE(all[1].isIo);

    ASSERT_EQ(factory.ioAlgorithmDescriptors().size(), 1u);
    EXPECT_EQ(factory.ioAlgorithmDescriptors()[0].name, "F.Reader");
    EXPECT_TRUE(factory.algorithmDescriptor("F.Plain", false).has_value());
    EXPECT_FALSE(factory.algorithmDescriptor("F.Plain", true).has_value());
    EXPECT_FALSE(factory.algorithmDescriptor("Plain", false).has_value());  // unprefixed: unknown
    EXPECT_EQ(factory.instantiateAlgorithm("F.Missing", DataList{}), nullptr);
    EXPECT_EQ(factory.instantiateIoAlgorithm("F.Plain", DataList{}), nullptr);  // not an IO algorithm
    EXPECT_NE(factory.instantiateIoAlgorithm("F.Reader", DataList{}), nullptr);

    Data item;
    EXPECT_EQ(factory.compatibleDescriptors(DataList{}).size(), 2u);
    EXPECT_TRUE(factory.compatibleDescriptors(DataList{&item}).empty());
    EXPECT_EQ(factory.compatibleIoDescriptors(DataList{}).size(), 1u);
    ASSERT_EQ(factory.compatibleIoDescriptors(std::string("/data/head.MHD")).size(), 1u);
    EXPECT_TRUE(factory.compatibleIoDescriptors(std::string("/data/head.png")).empty());
    EXPECT_TRUE(factory.compatibleIoDescriptors(std::string("/data.nii/head")).empty());
}

TEST(AlgorithmFactory, FactoriesAddedToTheFrontAreConsultedFirstAndCyclesAreRefused)
{
    ScopedLogCapture capture(0);
    TestFactory base("Base");
    base.registerAlgorithm<Plain>("A", "A", 0);
    TestFactory front("Front");
    front.registerAlgorithm<Reader>("B", "IO;B", 0);

    EXPECT_TRUE(base.addAlgorithmFactoryToFront(&front));
    const std::vector<AlgorithmDescriptor> all = base.algorithmDescriptors();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].name, "Front.B");
    EXPECT_EQ(all[1].name, "Base.A");
    EXPECT_NE(base.instantiateAlgorithm("Front.B", DataList{}), nullptr);

    EXPECT_FALSE(front.addAlgorithmFactoryToFront(&base));  // would loop forever
    EXPECT_FALSE(base.addAlgorithmFactoryToFront(&base));
    EXPECT_FALSE(base.addAlgorithmFactoryToFront(nullptr));
    EXPECT_EQ(capture.sink().countContaining("Refused to consult factory"), 3u);
    EXPECT_EQ(front.algorithmDescriptors().size(), 1u);
}

}  // namespace
}  // namespace Quorvane
