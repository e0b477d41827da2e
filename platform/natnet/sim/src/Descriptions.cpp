#include "natnet/sim/Descriptions.h"

#include <algorithm>
#include <cstring>

namespace NatNet::Sim {

struct Descriptions::Entry
{
    int32_t type = Descriptor_MarkerSet;
    MarkerSetModel markerSet;
    RigidBodyModel rigidBody;

    // The SDK records of the view, pointing into the models above.
    sMarkerSetDescription markerSetRecord{};
    sRigidBodyDescription rigidBodyRecord{};
    std::vector<char*> names;
    std::unique_ptr<MarkerData[]> positions;
    std::vector<int32_t> labels;
};

namespace {

void copyName(const std::string& name, char (&out)[MAX_NAMELENGTH])
{
    std::memset(out, 0, sizeof(out));
    std::memcpy(out, name.data(), std::min(name.size(), sizeof(out) - 1));
}

}  // namespace

Descriptions::Descriptions() = default;
Descriptions::~Descriptions() = default;
Descriptions::Descriptions(Descriptions&&) noexcept = default;
Descriptions& Descriptions::operator=(Descriptions&&) noexcept = default;

Descriptions::Descriptions(const Descriptions& other)
{
    *this = other;
}

Descriptions& Descriptions::operator=(const Descriptions& other)
{
    if (this != &other) {
        m_entries.clear();
        for (const auto& entry : other.m_entries) {
            auto copy = std::make_unique<Entry>();
            copy->type = entry->type;
            copy->markerSet = entry->markerSet;
            copy->rigidBody = entry->rigidBody;
            m_entries.push_back(std::move(copy));
        }
        m_view.reset();
        m_stale = true;
    }
    return *this;
}

Descriptions::Entry* Descriptions::append(int32_t type)
{
    if (m_entries.size() >= MAX_MODELS) return nullptr;
    auto entry = std::make_unique<Entry>();
    entry->type = type;
    m_entries.push_back(std::move(entry));
    m_stale = true;
    return m_entries.back().get();
}

void Descriptions::addMarkerSet(MarkerSetModel markerSet)
{
    if (Entry* entry = append(Descriptor_MarkerSet)) entry->markerSet = std::move(markerSet);
}

void Descriptions::addRigidBody(RigidBodyModel rigidBody)
{
    if (Entry* entry = append(Descriptor_RigidBody)) entry->rigidBody = std::move(rigidBody);
}

void Descriptions::rebuild() const
{
    if (!m_view) {
        m_view = std::make_unique<sDataDescriptions>();
    }
    std::memset(m_view.get(), 0, sizeof(sDataDescriptions));
    for (const auto& entry : m_entries) {
        sDataDescription& slot = m_view->arrDataDescriptions[m_view->nDataDescriptions++];
        slot.type = entry->type;
        entry->names.clear();
        if (entry->type == Descriptor_MarkerSet) {
            MarkerSetModel& model = entry->markerSet;
            sMarkerSetDescription& record = entry->markerSetRecord;
            copyName(model.name, record.szName);
            for (std::string& name : model.markerNames) {
                entry->names.push_back(name.data());
            }
            record.nMarkers = static_cast<int32_t>(entry->names.size());
            record.szMarkerNames = entry->names.empty() ? nullptr : entry->names.data();
            slot.Data.MarkerSetDescription = &record;
            continue;
        }
        RigidBodyModel& model = entry->rigidBody;
        sRigidBodyDescription& record = entry->rigidBodyRecord;
        record = sRigidBodyDescription{};
        copyName(model.name, record.szName);
        record.ID = model.id;
        record.parentID = model.parentId;
        record.offsetx = model.offset[0];
        record.offsety = model.offset[1];
        record.offsetz = model.offset[2];
        entry->positions.reset(model.markers.empty() ? nullptr : new MarkerData[model.markers.size()]);
        for (size_t i = 0; i < model.markers.size(); ++i) {
            std::copy(model.markers[i].begin(), model.markers[i].end(), entry->positions[i]);
        }
        entry->labels.assign(model.markers.size(), 0);
        for (size_t i = 0; i < std::min(model.requiredLabels.size(), entry->labels.size()); ++i) {
            entry->labels[i] = model.requiredLabels[i];
        }
        if (!model.markerNames.empty()) {
            model.markerNames.resize(model.markers.size());
            for (std::string& name : model.markerNames) {
                entry->names.push_back(name.data());
            }
        }
        record.nMarkers = static_cast<int32_t>(model.markers.size());
        record.MarkerPositions = entry->positions.get();
        record.MarkerRequiredLabels = entry->labels.empty() ? nullptr : entry->labels.data();
        record.szMarkerNames = entry->names.empty() ? nullptr : entry->names.data();
        slot.Data.RigidBodyDescription = &record;
    }
    m_stale = false;
}

const sDataDescriptions& Descriptions::view() const
{
    if (m_stale || !m_view) {
        rebuild();
    }
    return *m_view;
}

}  // namespace NatNet::Sim
