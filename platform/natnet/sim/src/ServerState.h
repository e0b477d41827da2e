// What the simulator's threads share: the script, the unicast clients and the
// counters, all under one lock, with a condition variable that is signalled at
// every change (Simulator::waitFor waits on it).
#pragma once

#include "ClientTable.h"

#include "natnet/codec/ModelDefinitions.h"
#include "natnet/sim/Simulator.h"
#include "natnet/sim/SimulatorCounters.h"

#include "NatNetTypes.h"

#include <array>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace NatNet::Sim::Internal {

struct DescriptionsDeleter
{
    void operator()(sDataDescriptions* list) const { Wire::freeDescriptions(list); }
};
using OwnedDescriptionList = std::unique_ptr<sDataDescriptions, DescriptionsDeleter>;

struct ServerState
{
    mutable std::mutex mutex;
    mutable std::condition_variable changed;

    // The script.
    std::string appName = "Motive";
    std::array<uint8_t, 4> appVersion{3, 1, 0, 0};
    std::array<uint8_t, 4> natNetVersion{4, 1, 0, 0};
    float unitsToMillimeters = 1000.0f;
    float frameRate = 120.0f;
    int32_t analogSamples = 0;
    OwnedDescriptionList descriptions;
    std::optional<std::vector<uint8_t>> modelDefPayload;
    bool noHost = false;
    bool silent = false;
    bool recording = false;
    bool editMode = false;
    std::map<std::string, Answer> answers;                  // by lower-case command word
    std::map<std::string, std::vector<uint8_t>> responses;  // by lower-case command word
    std::map<std::string, int> requestDrops;                // by lower-case command word
    std::map<MessageKind, int> kindDrops;
    // Misbehaviour of the answers (AnswerScheduler).
    int answerDelayMinMs = 0;
    int answerDelayMaxMs = 0;   // 0: answers leave at once
    std::mt19937 answerRng{1};  // NOLINT(cert-msc32-c,cert-msc51-cpp): a scripted run repeats exactly
    bool duplicateAnswers = false;
    bool shiftAnswers = false;
    // In multicast nobody registers: where NAT_CONNECTs came from, for unsolicited
    // server information (bounded, newest last).
    std::vector<Net::Ipv4Endpoint> connectPeers;

    ClientTable clients;
    SimulatorCounters counters;
};

}  // namespace NatNet::Sim::Internal
