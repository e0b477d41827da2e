// Handing a stream out of a StreamIoAlgorithm: takeOutput, outputTaken and clearStream as a
// derived algorithm that holds its stream uses them.
#include "TestStreams.h"

#include <Quorvane/Lib/OwningDataList.h>
#include <Quorvane/Stream/StreamIoAlgorithm.h>
#include <Quorvane/Stream/TrackingStream.h>

#include <gtest/gtest.h>

#include <memory>

namespace Quorvane {
namespace {

using Testing::HoldingAlgorithm;
using CountedStream = Testing::TestTrackingStream;

TEST(StreamIoAlgorithm, TakeOutputHandsTheStreamOutOnce)
{
    CountedStream::alive = 0;
    HoldingAlgorithm algorithm;
    EXPECT_TRUE(algorithm.takeOutput().empty()) << "nothing to hand out before execute";
    EXPECT_FALSE(algorithm.outputTaken());

    algorithm.execute();
    EXPECT_EQ(algorithm.status(), 0);
    Stream* stream = algorithm.currentStream();
    ASSERT_NE(stream, nullptr);

    // Through the IoAlgorithm side too: both bases reach the same operation.
    IoAlgorithm& asIo = algorithm;
    OwningDataList out = asIo.takeOutput();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out.at(0), static_cast<Data*>(stream));
    EXPECT_TRUE(algorithm.outputTaken());
    EXPECT_TRUE(algorithm.takeOutput().empty()) << "a second owner would destroy the stream twice";

    algorithm.execute();  // the taken stream must survive its replacement
    EXPECT_EQ(CountedStream::alive, 2);
    EXPECT_FALSE(algorithm.outputTaken());
    out = OwningDataList();
    EXPECT_EQ(CountedStream::alive, 1);
}

TEST(StreamIoAlgorithm, StreamNotHandedOutDiesWithTheAlgorithm)
{
    CountedStream::alive = 0;
    {
        HoldingAlgorithm algorithm;
        algorithm.execute();
        algorithm.execute();
        EXPECT_EQ(CountedStream::alive, 1);
    }
    EXPECT_EQ(CountedStream::alive, 0);
}

}  // namespace
}  // namespace Quorvane
