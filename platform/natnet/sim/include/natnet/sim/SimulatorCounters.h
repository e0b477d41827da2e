// What a simulator has seen and done since it started.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace NatNet::Sim {

struct SimulatorCounters
{
    uint64_t connects = 0;           // NAT_CONNECT received
    uint64_t discoveries = 0;        // NAT_DISCOVERY received
    uint64_t requests = 0;           // NAT_REQUEST received (all commands)
    uint64_t modelDefRequests = 0;   // NAT_REQUEST_MODELDEF received
    uint64_t echoRequests = 0;       // NAT_ECHOREQUEST received
    uint64_t keepAlives = 0;         // NAT_KEEPALIVE received (never answered)
    uint64_t disconnects = 0;        // NAT_DISCONNECT or the "Disconnect" request
    uint64_t otherMessages = 0;      // any other message ID
    uint64_t malformed = 0;          // datagrams shorter than their header says
    uint64_t droppedByScript = 0;    // messages left unanswered because the script said so
    uint64_t framesSent = 0;         // frames sent (one per frame, not per client; also when nobody listens)
    uint64_t datagramsSent = 0;      // frame datagrams sent (one per receiver)
    uint64_t clientsRegistered = 0;  // unicast registrations (a repeated CONNECT replaces, not adds)
    uint64_t clientsDropped = 0;     // unicast clients dropped after falling silent
    uint64_t clientsDisconnected = 0;     // unicast clients that said goodbye
    uint64_t clientsConnected = 0;        // unicast clients registered now
    uint64_t answersDelayed = 0;          // answers that waited (setAnswerDelay, or behind one that did)
    uint64_t answersDuplicated = 0;       // answers sent twice (setDuplicateAnswers)
    uint64_t answersShifted = 0;          // answers held back for the client's next request
    uint64_t answersDroppedBacklog = 0;   // answers dropped because too many were waiting
    uint64_t unsolicitedServerInfos = 0;  // NAT_SERVERINFO datagrams sent without a NAT_CONNECT
    uint64_t framesFromOtherPort = 0;     // frame datagrams sent from a port other than the data port
    // NAT_REQUEST by command word (text before the first comma), as received.
    std::map<std::string, uint64_t> requestsByCommand;

    uint64_t requestsFor(const std::string& command) const
    {
        const auto it = requestsByCommand.find(command);
        return it == requestsByCommand.end() ? 0 : it->second;
    }
};

}  // namespace NatNet::Sim
