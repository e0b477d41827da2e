// The instrument store of TrackingStream: what each call changes and reports, unknown
// identifiers, and concurrent writers and readers.
#include "TestStreams.h"

#include <Quorvane/Stream/InstrumentStore.h>
#include <Quorvane/Stream/TrackingStream.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <future>
#include <limits>
#include <string>
#include <thread>
#include <vector>

namespace Quorvane {
namespace {

using M = InstrumentModification;

using Testing::TestTrackingStream;
using Testing::translation;

TEST(InstrumentStore, AddThenFindGivesIdentityAndTheGivenIdentity)
{
    TestTrackingStream stream;
    EXPECT_EQ(stream.addInstrument(TrackerID("optitrack-3", "", "Wand"), true),
              InstrumentModifications(M::Added));
    const std::optional<TrackingInstrument> found = stream.findInstrument("optitrack-3");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->identifier(), "optitrack-3");
    EXPECT_EQ(found->serial(), "");
    EXPECT_EQ(found->name(), "Wand");
    EXPECT_TRUE(found->pose.isIdentity());
    EXPECT_EQ(found->quality, 0.0);
    EXPECT_EQ(found->updateCount, 0u);
    EXPECT_FALSE(found->isTracked());
    EXPECT_FALSE(stream.findInstrument("optitrack-30"));
    EXPECT_FALSE(stream.findInstrument("optitrack-"));
}

TEST(InstrumentStore, UpdateReportsWhatChanged)
{
    TestTrackingStream stream;
    stream.addInstrument(TrackerID("a", "", "A"), true);

    struct Row
    {
        const char* name = nullptr;
        const Pose* pose = nullptr;
        double quality = 0.0;
        std::uint64_t timestamp = 0;
        std::uint32_t flags = 0;
        InstrumentModifications expected;
    };
    const Pose moved = translation(1, 2, 3);
    const Pose lost = Pose::Identity();
    const Row rows[] = {
        {"first valid update", &moved, 0.75, 10, 0,
         M::Updated | M::PoseChanged | M::QualityChanged | M::TimestampChanged | M::TrackingChanged},
        {"same values again", &moved, 0.75, 10, 0, M::Updated},
        {"only time moves", &moved, 0.75, 11, 0, M::Updated | M::TimestampChanged},
        {"status bits", &moved, 0.75, 11, 4, M::Updated | M::FlagsChanged},
        {"tracking lost", &lost, 0.0, 12, 4,
         M::Updated | M::PoseChanged | M::QualityChanged | M::TimestampChanged | M::TrackingChanged},
        {"still lost", &lost, 0.0, 13, 4, M::Updated | M::TimestampChanged},
    };
    std::uint64_t count = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(stream.updateInstrument("a", *row.pose, row.quality, row.timestamp, row.flags).raw(),
                  row.expected.raw());
        const auto found = stream.findInstrument("a");
        ASSERT_TRUE(found);
        EXPECT_EQ(found->pose, *row.pose);
        EXPECT_EQ(found->quality, row.quality);
        EXPECT_EQ(found->timestampMs, row.timestamp);
        EXPECT_EQ(found->flags, row.flags);
        EXPECT_EQ(found->updateCount, ++count);
        EXPECT_EQ(found->name(), "A");
    }
}

TEST(InstrumentStore, UnknownIdentifierIsIgnored)
{
    TestTrackingStream stream;
    stream.addInstrument(TrackerID("optitrack-1", "", "One"), true);
    EXPECT_TRUE(stream.updateInstrument("optitrack-2", translation(5, 5, 5), 0.0, 1, 0).empty());
    EXPECT_FALSE(stream.findInstrument("optitrack-2"));
    EXPECT_EQ(stream.numInstruments(), 1u);
    EXPECT_EQ(stream.findInstrument("optitrack-1")->updateCount, 0u);
}

TEST(InstrumentStore, AddingAgainKeepsTrackingDataAndReportsRenames)
{
    TestTrackingStream stream;
    stream.addInstrument(TrackerID("a", "", "A"), true);
    stream.updateInstrument("a", translation(1, 0, 0), 1.0, 5, 0);

    EXPECT_TRUE(stream.addInstrument(TrackerID("a", "", "A"), true).empty());
    EXPECT_EQ(stream.addInstrument(TrackerID("a", "", "Alpha"), true), InstrumentModifications(M::Renamed));
    EXPECT_EQ(stream.addInstrument(TrackerID("a", "", "Alpha"), false),
              InstrumentModifications(M::ActivityChanged));

    const auto found = stream.findInstrument("a");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->name(), "Alpha");
    EXPECT_EQ(found->pose, translation(1, 0, 0));
    EXPECT_EQ(found->updateCount, 1u);
    EXPECT_EQ(stream.numInstruments(), 1u);
    EXPECT_TRUE(stream.addInstrument(TrackerID("", "", "nameless"), true).empty());
    EXPECT_EQ(stream.numInstruments(), 1u);
}

TEST(InstrumentStore, SnapshotsKeepAddOrderAndAreIndependentCopies)
{
    TestTrackingStream stream;
    for (const char* id : {"optitrack-10", "optitrack-2", "optitrack-1"}) {
        stream.addInstrument(TrackerID(id, "", id), std::string(id) != "optitrack-2");
    }
    const std::vector<TrackingInstrument> all = stream.instruments();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].identifier(), "optitrack-10");
    EXPECT_EQ(all[1].identifier(), "optitrack-2");
    EXPECT_EQ(all[2].identifier(), "optitrack-1");

    const std::vector<TrackingInstrument> active = stream.activeInstruments();
    ASSERT_EQ(active.size(), 2u);
    EXPECT_EQ(active[1].identifier(), "optitrack-1");

    stream.addInstrument(TrackerID("optitrack-2", "", "renamed"), false);
    stream.updateInstrument("optitrack-2", translation(9, 9, 9), 1.0, 1, 0);
    EXPECT_EQ(all[1].name(), "optitrack-2") << "a snapshot must not see later changes";
    EXPECT_TRUE(all[1].pose.isIdentity());
}

TEST(InstrumentStore, RemoveKeepsTheOthersReachable)
{
    TestTrackingStream stream;
    for (const char* id : {"a", "b", "c"}) {
        stream.addInstrument(TrackerID(id, "", id), true);
    }
    EXPECT_EQ(stream.removeInstrument("a"), InstrumentModifications(M::Removed));
    EXPECT_TRUE(stream.removeInstrument("a").empty());
    // Updates after the removal must reach the right instruments.
    stream.updateInstrument("c", translation(3, 0, 0), 1.0, 1, 0);
    stream.updateInstrument("b", translation(2, 0, 0), 1.0, 1, 0);
    EXPECT_EQ(stream.findInstrument("b")->pose(0, 3), 2.0);
    EXPECT_EQ(stream.findInstrument("c")->pose(0, 3), 3.0);
    EXPECT_EQ(stream.numInstruments(), 2u);
}

TEST(InstrumentStore, FindsEachOfManySimilarIdentifiersAndNoOther)
{
    InstrumentStore store;
    std::vector<std::string> ids;
    for (int i = 0; i < 3000; ++i) ids.emplace_back("optitrack-" + std::to_string(i));
    // Prefixes of each other, and lengths around the eight-byte steps of the lookup.
    for (std::size_t length = 1; length <= 25; ++length) ids.emplace_back(length, 'x');
    ids.emplace_back("nul\0one", 7);
    ids.emplace_back("nul\0two", 7);
    for (const std::string& id : ids) ASSERT_EQ(store.add(TrackerID(id, "", "n" + id), true), M::Added) << id;
    for (const std::string& id : ids) ASSERT_TRUE(store.add(TrackerID(id, "", "n" + id), true).empty()) << id;

    for (const char* absent : {"optitrack-3000", "optitrack-", "optitrack-00", "optitrack--1",
                               "xxxxxxxxxxxxxxxxxxxxxxxxxx", "", "nul"}) {
        EXPECT_FALSE(store.contains(absent)) << absent;
    }

    // Remove every third; the others must still be found, and updates reach their own instrument.
    for (std::size_t i = 0; i < ids.size(); i += 3) ASSERT_EQ(store.remove(ids[i]), M::Removed) << ids[i];
    for (std::size_t i = 0; i < ids.size(); ++i) {
        const bool kept = i % 3 != 0;
        ASSERT_EQ(store.contains(ids[i]), kept) << ids[i];
        if (kept) store.update(ids[i], translation(static_cast<double>(i), 0, 0), 1.0, 1, 0);
    }
    const std::vector<TrackingInstrument> all = store.snapshot();
    ASSERT_EQ(all.size(), ids.size() - (ids.size() + 2) / 3);
    for (const TrackingInstrument& instrument : all) {
        EXPECT_EQ(instrument.name(), "n" + instrument.identifier());
        const auto at = static_cast<std::size_t>(instrument.pose(0, 3));
        ASSERT_LT(at, ids.size());
        EXPECT_EQ(ids[at], instrument.identifier());
    }
}

TEST(TrackingStreamSignals, EmitSignalsDeliversTheFrameFlagsFromTheReceiveThread)
{
    TestTrackingStream stream;
    std::vector<InstrumentModifications> received;
    std::thread::id slotThread;
    stream.instrumentsUpdated.connect([&](InstrumentModifications m) {
        received.push_back(m);
        slotThread = std::this_thread::get_id();
    });

    std::thread receiveThread([&] {
        InstrumentModifications frame;
        frame |= stream.addInstrument(TrackerID("optitrack-1", "", "One"), true);
        frame |= stream.updateInstrument("optitrack-1", translation(1, 2, 3), 0.5, 100, 0);
        frame |= stream.updateInstrument("optitrack-9", Pose::Identity(), 0.0, 100, 0);
        stream.emitSignals(frame);
        stream.emitSignals(InstrumentModifications());
    });
    const std::thread::id receiverId = receiveThread.get_id();
    receiveThread.join();

    ASSERT_EQ(received.size(), 2u);
    EXPECT_TRUE(received[0].test(M::Added | M::Updated | M::PoseChanged | M::QualityChanged));
    EXPECT_TRUE(received[1].empty());
    EXPECT_EQ(slotThread, receiverId);
}

TEST(TrackingStreamConcurrency, WritersAndReadersSeeConsistentInstruments)
{
    TestTrackingStream stream;
    constexpr int kBodies = 8;
    constexpr int kFrames = 2000;
    for (int i = 0; i < kBodies; ++i) {
        stream.addInstrument(TrackerID("optitrack-" + std::to_string(i), "", "Body " + std::to_string(i)),
                             true);
    }
    std::atomic<int> emitted{0};
    stream.instrumentsUpdated.connect([&](InstrumentModifications) { ++emitted; });

    std::atomic<bool> writing{true};
    std::thread writer([&] {
        const std::string ids[kBodies] = {"optitrack-0", "optitrack-1", "optitrack-2", "optitrack-3",
                                          "optitrack-4", "optitrack-5", "optitrack-6", "optitrack-7"};
        for (int frame = 1; frame <= kFrames; ++frame) {
            InstrumentModifications changes;
            for (const std::string& id : ids) {
                // Every value of one update is derived from the frame number, so a torn read shows.
                changes |= stream.updateInstrument(id, translation(frame, 2.0 * frame, 3.0 * frame), frame,
                                                   static_cast<std::uint64_t>(frame), 0);
            }
            stream.emitSignals(changes);
        }
        writing = false;
    });

    auto checkConsistent = [](const TrackingInstrument& instrument) {
        if (instrument.updateCount == 0) {
            return true;
        }
        const double frame = instrument.quality;
        return instrument.pose(0, 3) == frame && instrument.pose(1, 3) == 2.0 * frame &&
               instrument.pose(2, 3) == 3.0 * frame &&
               instrument.timestampMs == static_cast<std::uint64_t>(frame) &&
               instrument.updateCount == instrument.timestampMs;
    };
    int inconsistent = 0;
    std::uint64_t lastSeen = 0;
    int reads = 0;
    while (writing.load() || reads == 0) {
        for (const TrackingInstrument& instrument : stream.instruments()) {
            inconsistent += checkConsistent(instrument) ? 0 : 1;
        }
        const auto one = stream.findInstrument("optitrack-7");
        ASSERT_TRUE(one);
        inconsistent += checkConsistent(*one) ? 0 : 1;
        EXPECT_GE(one->timestampMs, lastSeen) << "updates must not go backwards";
        lastSeen = one->timestampMs;
        ++reads;
    }
    writer.join();
    EXPECT_EQ(inconsistent, 0);
    EXPECT_EQ(emitted.load(), kFrames);
    EXPECT_EQ(stream.findInstrument("optitrack-0")->updateCount, static_cast<std::uint64_t>(kFrames));
}

TEST(InstrumentStoreReaders, NeverWaitForAWriter)
{
    InstrumentStore store;
    store.add(TrackerID("a", "", "A"), true);

    // A writer that holds the store's writer lock until told to let go, after adding "b" and
    // updating "a".
    std::promise<void> holding;
    std::promise<void> letGo;
    std::shared_future<void> letGoSignal = letGo.get_future().share();
    std::thread writer([&] {
        InstrumentStore::Writer writing(store);
        writing.add(TrackerID("b", "", "B"), true);
        writing.update("a", translation(7, 0, 0), 1.0, 3, 0);
        holding.set_value();
        letGoSignal.wait();
    });
    holding.get_future().wait();

    struct Seen
    {
        std::optional<TrackingInstrument> a;
        bool containsB = true;
        std::size_t size = 0;
        std::size_t copies = 0;
        std::size_t active = 0;
    };
    // On another thread with a deadline, so that a reader that waits for the writer fails the test
    // instead of hanging it.
    auto reading = std::async(std::launch::async, [&] {
        Seen seen;
        seen.a = store.find("a");
        seen.containsB = store.contains("b") || store.find("b").has_value();
        seen.size = store.size();
        seen.copies = store.snapshot().size();
        seen.active = store.activeSnapshot().size();
        return seen;
    });
    const bool readWithoutWaiting = reading.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    letGo.set_value();
    writer.join();
    ASSERT_TRUE(readWithoutWaiting) << "a reader waited for the writer";

    const Seen seen = reading.get();
    ASSERT_TRUE(seen.a);
    EXPECT_EQ(seen.a->pose(0, 3), 7.0) << "an update is visible as soon as it is made";
    EXPECT_EQ(seen.a->updateCount, 1u);
    EXPECT_FALSE(seen.containsB) << "an add is published when the writer ends";
    EXPECT_EQ(seen.size, 1u);
    EXPECT_EQ(seen.copies, 1u);
    EXPECT_EQ(seen.active, 1u);

    EXPECT_TRUE(store.contains("b"));
    EXPECT_EQ(store.size(), 2u);
    EXPECT_EQ(store.find("b")->name(), "B");
}

TEST(InstrumentStoreWriter, UpdatesOfOneWriterShareTheirTimeAndReportLikeTheStore)
{
    InstrumentStore store;
    {
        InstrumentStore::Writer writer(store);
        EXPECT_TRUE(writer.update("a", translation(1, 0, 0), 1.0, 1, 0).empty()) << "unknown yet";
        EXPECT_EQ(writer.add(TrackerID("a", "", "A"), true), InstrumentModifications(M::Added));
        EXPECT_EQ(writer.add(TrackerID("b", "", "B"), false), InstrumentModifications(M::Added));
        EXPECT_TRUE(writer.update("a", translation(1, 0, 0), 1.0, 1, 0).test(M::Updated | M::PoseChanged));
        EXPECT_TRUE(writer.update("b", translation(2, 0, 0), 1.0, 1, 0).test(M::Updated | M::PoseChanged));
    }
    const auto a = store.find("a");
    const auto b = store.find("b");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->lastUpdate, b->lastUpdate);
    EXPECT_EQ(b->pose(0, 3), 2.0);
    EXPECT_EQ(store.activeSnapshot().size(), 1u);
    // A later writer may go on at once: the first let go of the lock.
    EXPECT_EQ(store.update("b", translation(3, 0, 0), 1.0, 2, 0).raw(),
              (M::Updated | M::PoseChanged | M::TimestampChanged).raw());
}

TEST(TrackingStreamConcurrency, ReadersSeeWholeInstrumentsWhileTheyAreAddedRenamedAndRemoved)
{
    InstrumentStore store;
    constexpr int kRounds = 300;
    std::atomic<bool> writing{true};
    std::thread writer([&] {
        for (int round = 0; round < kRounds; ++round) {
            const std::string id = "optitrack-" + std::to_string(round);
            store.add(TrackerID(id, "", "first " + id), true);
            store.update(id, translation(round, 0, 0), 1.0, static_cast<std::uint64_t>(round), 0);
            store.add(TrackerID(id, "", "second " + id), round % 2 == 0);
            if (round % 3 == 0) store.remove(id);
            if (round == kRounds / 2) store.clear();
        }
        writing = false;
    });

    // Every instrument a reader gets carries the name given with its own identifier, and a pose
    // that is its own or the identity it was added with.
    auto whole = [](const TrackingInstrument& instrument) {
        const std::string& id = instrument.identifier();
        const bool named = instrument.name() == "first " + id || instrument.name() == "second " + id;
        const double x = instrument.pose(0, 3);
        const bool posed = instrument.updateCount == 0
                               ? instrument.pose.isIdentity()
                               : x == std::stod(id.substr(std::string("optitrack-").size()));
        return named && posed;
    };
    int broken = 0;
    int reads = 0;
    while (writing.load() || reads == 0) {
        for (const TrackingInstrument& instrument : store.snapshot()) broken += whole(instrument) ? 0 : 1;
        for (const TrackingInstrument& instrument : store.activeSnapshot()) {
            broken += whole(instrument) ? 0 : 1;
        }
        if (const auto one = store.find("optitrack-" + std::to_string(reads % kRounds))) {
            broken += whole(*one) ? 0 : 1;
        }
        ++reads;
    }
    writer.join();
    EXPECT_EQ(broken, 0);
    // Of the second half (after the clear), every round not divisible by three stays.
    std::size_t expected = 0;
    for (int round = kRounds / 2 + 1; round < kRounds; ++round) expected += round % 3 == 0 ? 0 : 1;
    EXPECT_EQ(store.size(), expected);
    EXPECT_EQ(store.snapshot().size(), expected);
}

}  // namespace
}  // namespace Quorvane
