// The walk over a data description list, fed with hand-built lists: the exact lines per kind,
// missing arrays, null names, counts past the records' capacities and unknown types.

#include "FrameTestSupport.h"

#include <Quorvane/Core/Log.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace Quorvane::Testing {
namespace {

/// A description list and the records it points to, all owned here.
struct DescriptionList
{
    DescriptionList() : list(std::make_unique<sDataDescriptions>()) {}

    sDataDescription& add(int type)
    {
        sDataDescription& entry = list->arrDataDescriptions[list->nDataDescriptions++];
        entry.type = type;
        return entry;
    }

    sMarkerSetDescription& markerSet(const char* name, const std::vector<const char*>& names)
    {
        auto& set = *markerSets.emplace_back(std::make_unique<sMarkerSetDescription>());
        std::strncpy(set.szName, name, sizeof set.szName - 1);
        auto& pointers = namePointers.emplace_back();
        // The record's names are writable C strings: copies, which stay where they are.
        for (const char* n : names) {
            pointers.push_back(n != nullptr ? nameTexts.emplace_back(n).data() : nullptr);
        }
        set.nMarkers = static_cast<int>(names.size());
        set.szMarkerNames = pointers.empty() ? nullptr : pointers.data();
        add(Descriptor_MarkerSet).Data.MarkerSetDescription = &set;
        return set;
    }

    sRigidBodyDescription& rigidBody(const char* name, int id, std::vector<int> labels)
    {
        auto& body = *rigidBodies.emplace_back(std::make_unique<sRigidBodyDescription>());
        std::strncpy(body.szName, name, sizeof body.szName - 1);
        body.ID = id;
        body.parentID = -1;
        body.offsetx = 0.5f;
        body.offsety = -1.25f;
        body.offsetz = 2.0f;
        auto& positions = markerPositions.emplace_back(labels.size() * 3);
        for (std::size_t j = 0; j < positions.size(); ++j) positions[j] = static_cast<float>(j) * 0.25f;
        auto& storedLabels = markerLabels.emplace_back(std::move(labels));
        body.nMarkers = static_cast<int>(storedLabels.size());
        body.MarkerPositions = reinterpret_cast<MarkerData*>(positions.data());
        body.MarkerRequiredLabels = storedLabels.data();
        add(Descriptor_RigidBody).Data.RigidBodyDescription = &body;
        return body;
    }

    sSkeletonDescription& skeleton(const char* name, int id, int bones)
    {
        auto& skeleton = *skeletons.emplace_back(std::make_unique<sSkeletonDescription>());
        std::strncpy(skeleton.szName, name, sizeof skeleton.szName - 1);
        skeleton.skeletonID = id;
        skeleton.nRigidBodies = bones;
        for (int j = 0; j < bones && j < MAX_SKELRIGIDBODIES; ++j) {
            sRigidBodyDescription& bone = skeleton.RigidBodies[j];
            std::snprintf(bone.szName, sizeof bone.szName, "Bone%d", j);
            bone.ID = j + 1;
            bone.parentID = j;
            bone.offsetx = 1.0f;
            bone.offsety = 0.0f;
            bone.offsetz = -0.5f;
            // Bones' markers are not listed even when present.
            bone.nMarkers = 1;
        }
        add(Descriptor_Skeleton).Data.SkeletonDescription = &skeleton;
        return skeleton;
    }

    sForcePlateDescription& forcePlate(int id, const char* serial, int channels)
    {
        auto& plate = *forcePlates.emplace_back(std::make_unique<sForcePlateDescription>());
        plate.ID = id;
        std::strncpy(plate.strSerialNo, serial, sizeof plate.strSerialNo - 1);
        plate.fWidth = 0.6f;
        plate.fLength = 0.9f;
        plate.fOriginX = 0.1f;
        plate.fOriginY = 0.2f;
        plate.fOriginZ = -0.3f;
        for (int k = 0; k < 4; ++k) {
            for (int a = 0; a < 3; ++a) plate.fCorners[k][a] = static_cast<float>(10 * k + a);
        }
        plate.iPlateType = 2;
        plate.iChannelDataType = 1;
        plate.nChannels = channels;
        for (int c = 0; c < channels && c < MAX_ANALOG_CHANNELS; ++c) {
            std::snprintf(plate.szChannelNames[c], sizeof plate.szChannelNames[c], "F%d", c);
        }
        add(Descriptor_ForcePlate).Data.ForcePlateDescription = &plate;
        return plate;
    }

    sDeviceDescription& device(const char* name, const char* serial, int id, int channels)
    {
        auto& device = *devices.emplace_back(std::make_unique<sDeviceDescription>());
        std::strncpy(device.strName, name, sizeof device.strName - 1);
        std::strncpy(device.strSerialNo, serial, sizeof device.strSerialNo - 1);
        device.ID = id;
        device.nChannels = channels;
        for (int c = 0; c < channels && c < MAX_ANALOG_CHANNELS; ++c) {
            std::snprintf(device.szChannelNames[c], sizeof device.szChannelNames[c], "Ch%d", c);
        }
        add(Descriptor_Device).Data.DeviceDescription = &device;
        return device;
    }

    std::unique_ptr<sDataDescriptions> list;
    std::vector<std::unique_ptr<sMarkerSetDescription>> markerSets;
    std::vector<std::vector<char*>> namePointers;
    std::deque<std::string> nameTexts;
    std::vector<std::unique_ptr<sRigidBodyDescription>> rigidBodies;
    std::vector<std::vector<float>> markerPositions;
    std::vector<std::vector<int>> markerLabels;
    std::vector<std::unique_ptr<sSkeletonDescription>> skeletons;
    std::vector<std::unique_ptr<sForcePlateDescription>> forcePlates;
    std::vector<std::unique_ptr<sDeviceDescription>> devices;
};

class DescriptionReport : public ::testing::Test
{
protected:
    void report() { OptiTrackStream::Impl::logDescriptionList(*m_descriptions.list); }

    std::vector<std::string> texts() const
    {
        std::vector<std::string> result;
        for (const auto& record : m_log.sink().records()) {
            EXPECT_EQ(record.category, "OptiTrackStream");
            result.push_back(record.text);
        }
        return result;
    }

    ScopedLogCapture m_log{0};
    DescriptionList m_descriptions;
};

using Lines = std::vector<std::string>;

TEST_F(DescriptionReport, NoModelsGivesOnlyTheCount)
{
    report();
    EXPECT_EQ(texts(), Lines{"Received 0 Data Descriptions: "});
}

TEST_F(DescriptionReport, EveryKindWithItsExactLines)
{
    m_descriptions.markerSet("Wand", {"Marker1", "Marker2"});
    m_descriptions.rigidBody("Probe", 2, {0, 7});
    m_descriptions.skeleton("Body", 4, 2);
    m_descriptions.forcePlate(1, "FP-0001", 2);
    m_descriptions.device("NI-DAQ", "SN42", 9, 1);

    report();

    const Lines expected = {
        "Received 5 Data Descriptions: ",
        "Data Description # 0 (type=0)",
        "MarkerSet Name: Wand",
        "Marker1 ",
        "Marker2 ",
        "Data Description # 1 (type=1)",
        "RigidBody Name: Probe",
        "RigidBody ID: 2",
        "RigidBody Parent ID: -1",
        "Parent Offset: 0.5, -1.25, 2",
        "\tMarker #0:",
        "\t\tPosition: 0, 0.25, 0.5",
        "\tMarker #1:",
        "\t\tPosition: 0.75, 1, 1.25",
        "\t\tRequired active label: 7",
        "Data Description # 2 (type=2)",
        "Skeleton Name: Body",
        "Skeleton ID: 4",
        "RigidBody (Bone) Count: 2",
        "  RigidBody Name: Bone0",
        "  RigidBody ID: 1",
        "  RigidBody Parent ID: 0",
        "  Parent Offset: 1, 0, -0.5",
        "  RigidBody Name: Bone1",
        "  RigidBody ID: 2",
        "  RigidBody Parent ID: 1",
        "  Parent Offset: 1, 0, -0.5",
        "Data Description # 3 (type=3)",
        "Force Plate ID: 1",
        "Force Plate Serial: FP-0001",
        "Force Plate Width: 0.6",
        "Force Plate Length: 0.9",
        "Force Plate Electrical Center Offset (0.1, 0.2, -0.3)",
        "Force Plate Corner 0: (0, 1,2) ",
        "Force Plate Corner 1: (10, 11,12) ",
        "Force Plate Corner 2: (20, 21,22) ",
        "Force Plate Corner 3: (30, 31,32) ",
        "Force Plate Type: 2",
        "Force Plate Data Type: 1",
        "Force Plate Channel Count: 2",
        "\tChannel 0: F0",
        "\tChannel 1: F1",
        "Data Description # 4 (type=4)",
        "Device Name: NI-DAQ",
        "Device Serial: SN42",
        "Device ID: 9",
        "Device Channel Count: 1",
        "\tChannel 0: Ch0",
    };
    EXPECT_EQ(texts(), expected);
    for (const auto& record : m_log.sink().records()) EXPECT_EQ(record.level, 0) << record.text;
}

TEST_F(DescriptionReport, RequiredLabelsOfZeroAreNotListed)
{
    m_descriptions.rigidBody("Probe", 2, {5, 0, 6});
    report();
    const auto lines = texts();
    auto count = [&](const std::string& prefix) {
        std::size_t n = 0;
        for (const auto& line : lines) n += line.rfind(prefix, 0) == 0 ? 1 : 0;
        return n;
    };
    EXPECT_EQ(count("\tMarker #"), 3u);
    EXPECT_EQ(count("\t\tPosition: "), 3u);
    EXPECT_EQ(count("\t\tRequired active label: "), 2u);
    EXPECT_EQ(lines.back(), "\t\tRequired active label: 6");
}

TEST_F(DescriptionReport, MissingMarkerArraysListNoMarkers)
{
    m_descriptions.rigidBody("NoPositions", 1, {1, 2}).MarkerPositions = nullptr;
    m_descriptions.rigidBody("NoLabels", 2, {1, 2}).MarkerRequiredLabels = nullptr;
    m_descriptions.rigidBody("NegativeCount", 3, {1, 2}).nMarkers = -2;
    report();
    for (const auto& line : texts()) EXPECT_EQ(line.find("\t"), std::string::npos) << line;
    EXPECT_EQ(texts().size(), 1u + 3u * 5u);
}

TEST_F(DescriptionReport, NullNamesAndNullRecordsAreSkippedSafely)
{
    m_descriptions.markerSet("NoNames", {"a", "b"}).szMarkerNames = nullptr;
    m_descriptions.markerSet("OneNull", {"a", nullptr, "c"});
    m_descriptions.add(Descriptor_RigidBody).Data.RigidBodyDescription = nullptr;
    m_descriptions.add(Descriptor_Skeleton).Data.SkeletonDescription = nullptr;
    m_descriptions.add(Descriptor_MarkerSet).Data.MarkerSetDescription = nullptr;

    report();

    const Lines expected = {
        "Received 5 Data Descriptions: ",
        "Data Description # 0 (type=0)",
        "MarkerSet Name: NoNames",
        "Data Description # 1 (type=0)",
        "MarkerSet Name: OneNull",
        "a ",
        " ",
        "c ",
        "Data Description # 2 (type=1)",
        "Data Description # 3 (type=2)",
        "Data Description # 4 (type=0)",
    };
    EXPECT_EQ(texts(), expected);
}

TEST_F(DescriptionReport, CountsPastCapacitiesStopAtTheRecordsEnd)
{
    m_descriptions.skeleton("Big", 1, MAX_SKELRIGIDBODIES).nRigidBodies = MAX_SKELRIGIDBODIES + 1000;
    m_descriptions.forcePlate(1, "FP", MAX_ANALOG_CHANNELS).nChannels = 100000;
    m_descriptions.device("Dev", "SN", 2, MAX_ANALOG_CHANNELS).nChannels = MAX_ANALOG_CHANNELS + 1;
    m_descriptions.device("Neg", "SN", 3, 0).nChannels = -5;

    report();

    const auto lines = texts();
    std::size_t bones = 0;
    std::size_t channels = 0;
    for (const auto& line : lines) {
        bones += line.rfind("  RigidBody Name: ", 0) == 0 ? 1 : 0;
        channels += line.rfind("\tChannel ", 0) == 0 ? 1 : 0;
    }
    EXPECT_EQ(bones, static_cast<std::size_t>(MAX_SKELRIGIDBODIES));
    EXPECT_EQ(channels, 2u * MAX_ANALOG_CHANNELS);
    // The counts themselves are reported as the server gave them.
    EXPECT_EQ(m_log.sink().count("RigidBody (Bone) Count: 1200"), 1u);
    EXPECT_EQ(m_log.sink().count("Force Plate Channel Count: 100000"), 1u);
    EXPECT_EQ(m_log.sink().count("Device Channel Count: -5"), 1u);
}

TEST_F(DescriptionReport, TheDescriptionCountStopsAtTheListsCapacity)
{
    for (int i = 0; i < MAX_MODELS; ++i) m_descriptions.add(7);
    m_descriptions.list->nDataDescriptions = MAX_MODELS + 500;
    report();
    EXPECT_EQ(m_log.sink().count(0, "OptiTrackStream", "Received 2500 Data Descriptions: "), 1u);
    EXPECT_EQ(m_log.sink().count(1, "OptiTrackStream", "Unknown data type."),
              static_cast<std::size_t>(MAX_MODELS));
    EXPECT_EQ(m_log.sink().count("Data Description # 1999 (type=7)"), 1u);
    EXPECT_EQ(m_log.sink().count("Data Description # 2000 (type=7)"), 0u);
}

TEST_F(DescriptionReport, UnterminatedTextFieldsAreReadToTheirFieldsEnd)
{
    sDeviceDescription& device = m_descriptions.device("", "", 1, 1);
    std::memset(device.strName, 'N', sizeof device.strName);
    std::memset(device.strSerialNo, 'S', sizeof device.strSerialNo);
    std::memset(device.szChannelNames[0], 'C', sizeof device.szChannelNames[0]);
    sForcePlateDescription& plate = m_descriptions.forcePlate(2, "", 0);
    std::memset(plate.strSerialNo, 'P', sizeof plate.strSerialNo);
    sRigidBodyDescription& body = m_descriptions.rigidBody("", 3, {});
    std::memset(body.szName, 'R', sizeof body.szName);

    report();

    EXPECT_EQ(m_log.sink().count("Device Name: " + std::string(128, 'N')), 1u);
    EXPECT_EQ(m_log.sink().count("Device Serial: " + std::string(128, 'S')), 1u);
    EXPECT_EQ(m_log.sink().count("\tChannel 0: " + std::string(256, 'C')), 1u);
    EXPECT_EQ(m_log.sink().count("Force Plate Serial: " + std::string(128, 'P')), 1u);
    EXPECT_EQ(m_log.sink().count("RigidBody Name: " + std::string(256, 'R')), 1u);
}

TEST_F(DescriptionReport, AnUnknownTypeIsReportedAtLevelOneAndTheWalkGoesOn)
{
    m_descriptions.add(5);
    m_descriptions.device("Dev", "SN", 2, 0);
    report();
    const auto records = m_log.sink().records();
    ASSERT_GE(records.size(), 4u);
    EXPECT_EQ(records[1].text, "Data Description # 0 (type=5)");
    EXPECT_EQ(records[2].level, 1);
    EXPECT_EQ(records[2].text, "Unknown data type.");
    EXPECT_EQ(records[3].text, "Data Description # 1 (type=4)");
}

TEST_F(DescriptionReport, LevelZeroOffLeavesOnlyTheUnknownTypeLines)
{
    Log::g_globalLevel = 1;
    m_descriptions.markerSet("Wand", {"Marker1"});
    m_descriptions.add(-1);
    m_descriptions.add(6);
    report();
    EXPECT_EQ(texts(), (Lines{"Unknown data type.", "Unknown data type."}));
}

}  // namespace
}  // namespace Quorvane::Testing
