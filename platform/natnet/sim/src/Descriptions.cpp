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
        entries_.clear();
        for (const auto& entry : other.entries_) {
            auto copy = std::make_unique<Entry>();
            copy->type = entry->type;
            copy->markerSet = entry->markerSet;
            copy->rigidBody = entry->rigidBody;
            entries_.push_back(std::move(copy));
        }
        view_.reset();
        stale_ = true;
    }
    return *this;
}

void Descriptions::addMarkerSet(MarkerSetModel markerSet)
{
    if (entries_.size() >= MAX_MODELS) {
        return;
    }
    auto entry = std::make_unique<Entry>();
    entry->type = Descriptor_MarkerSet;
    entry->markerSet = std::move(markerSet);
    entries_.push_back(std::move(entry));
    stale_ = true;
}

void Descriptions::addRigidBody(RigidBodyModel rigidBody)
{
    if (entries_.size() >= MAX_MODELS) {
        return;
    }
    auto entry = std::make_unique<Entry>();
    entry->type = Descriptor_RigidBody;
    entry->rigidBody = std::move(rigidBody);
    entries_.push_back(std::move(entry));
    stale_ = true;
}

void Descriptions::rebuild() const
{
    if (!view_) {
        view_ = std::make_unique<sDataDescriptions>();
    }
    std::memset(view_.get(), 0, sizeof(sDataDescriptions));
    for (const auto& entry : entries_) {
        sDataDescription& slot = view_->arrDataDescriptions[view_->nDataDescriptions++];
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
    stale_ = false;
}

const sDataDescriptions& Descriptions::view() const
{
    if (stale_ || !view_) {
        rebuild();
    }
    return *view_;
}

}  // namespace NatNet::Sim
