// Model definitions (marker sets and rigid bodies) held in C++ containers,
// with an SDK sDataDescriptions view of them for the simulator and for tests.
//
//     NatNet::Sim::Descriptions models;
//     models.addMarkerSet({"Probe", {"Probe_1", "Probe_2", "Probe_3"}});
//     models.addRigidBody({"Probe", 1, -1, {0, 0, 0}, {{0.03f, 0, 0}, ...}, {0, 0, 0}, {"Probe_1", ...}});
//     simulator.setDataDescriptions(models.view());  // copied by the simulator
//
// For other description kinds build an sDataDescriptions by hand and pass it
// to Simulator::setDataDescriptions directly.
#pragma once

#include "NatNetTypes.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace NatNet::Sim {

struct MarkerSetModel
{
    std::string name;
    std::vector<std::string> markerNames;
};

struct RigidBodyModel
{
    std::string name;
    int32_t id = 0;
    int32_t parentId = -1;
    std::array<float, 3> offset{};
    std::vector<std::array<float, 3>> markers;  // positions in the body's frame
    std::vector<int32_t> requiredLabels;        // one per marker (0: none); may be empty
    std::vector<std::string> markerNames;       // one per marker; may be empty
};

class Descriptions
{
public:
    Descriptions();
    ~Descriptions();
    Descriptions(Descriptions&&) noexcept;
    Descriptions& operator=(Descriptions&&) noexcept;
    Descriptions(const Descriptions& other);
    Descriptions& operator=(const Descriptions& other);

    // In the order added; at most MAX_MODELS in total.
    void addMarkerSet(MarkerSetModel markerSet);
    void addRigidBody(RigidBodyModel rigidBody);
    size_t size() const { return m_entries.size(); }

    // An SDK list pointing into this object; valid until it changes or dies.
    const sDataDescriptions& view() const;

private:
    struct Entry;
    // A new entry of the type, or null when the list is full.
    Entry* append(int32_t type);
    void rebuild() const;

    std::vector<std::unique_ptr<Entry>> m_entries;
    mutable std::unique_ptr<sDataDescriptions> m_view;
    mutable bool m_stale = true;
};

}  // namespace NatNet::Sim
