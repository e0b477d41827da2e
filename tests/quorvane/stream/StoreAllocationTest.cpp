// The frame path of the instrument store allocates nothing once the instruments exist: find,
// update and emitSignals with a listener connected. The binary counts allocations
// (AllocationCounter) on the test's thread.
#include "AllocationCounter.h"
#include "TestStreams.h"

#include <Quorvane/Stream/InstrumentStore.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace Quorvane {
namespace {

using Testing::TestTrackingStream;
using Testing::translation;

using TestSupport::allocationsIn;

TEST(StoreAllocation, SteadyStateFrameAllocatesNothing)
{
    TestTrackingStream stream;
    // Identifiers past the small-string buffer, and long display names, as a tracker may send.
    std::vector<std::string> ids;
    for (int i = 0; i < 32; ++i) {
        ids.push_back("optitrack-" + std::to_string(1000000 + i));
        stream.addInstrument(
            TrackerID(ids.back(), "", "A rather long instrument display name " + std::to_string(i)), true);
    }
    long slotCalls = 0;
    stream.instrumentsUpdated.connect([&](InstrumentModifications) { ++slotCalls; });
    const Pose pose = translation(1, 2, 3);

    auto frame = [&](int n) {
        InstrumentModifications changes;
        for (const std::string& id : ids) {
            const std::string_view key(id);
            if (!stream.findInstrument(key)) {
                ADD_FAILURE() << "instrument missing";
            }
            changes |= stream.updateInstrument(key, pose, 0.5, static_cast<std::uint64_t>(n), 0);
        }
        stream.emitSignals(changes);
    };
    // The counter must see the library's allocations, or the zero below proves nothing.
    EXPECT_GT(allocationsIn([&] { stream.addInstrument(TrackerID("optitrack-99999999", "", "Late"), true); }),
              0);
    frame(0);
    EXPECT_EQ(allocationsIn([&] {
                  for (int n = 1; n <= 100; ++n) {
                      frame(n);
                  }
              }),
              0);
    EXPECT_EQ(slotCalls, 101);
}

TEST(StoreAllocation, AFrameThroughOneWriterAndAReadersFindAllocateNothing)
{
    InstrumentStore store;
    std::vector<std::string> ids;
    for (int i = 0; i < 32; ++i) {
        ids.push_back("optitrack-" + std::to_string(1000000 + i));
        store.add(TrackerID(ids.back(), "", "A rather long instrument display name " + std::to_string(i)),
                  true);
    }
    const Pose pose = translation(1, 2, 3);
    long found = 0;
    EXPECT_EQ(allocationsIn([&] {
                  for (int n = 1; n <= 100; ++n) {
                      InstrumentStore::Writer writer(store);
                      for (const std::string& id : ids) {
                          writer.update(id, pose, 0.5, static_cast<std::uint64_t>(n), 0);
                      }
                  }
                  for (const std::string& id : ids) found += store.find(id) ? 1 : 0;
                  found += static_cast<long>(store.size());
              }),
              0);
    EXPECT_EQ(found, 64);
    EXPECT_EQ(store.find(ids[0])->updateCount, 100u);
}

}  // namespace
}  // namespace Quorvane
