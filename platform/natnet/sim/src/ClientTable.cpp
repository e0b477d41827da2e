#include "ClientTable.h"

#include <algorithm>

namespace NatNet::Sim::Internal {

bool ClientTable::upsert(const UnicastClient& client)
{
    if (UnicastClient* known = find(client.endpoint)) {
        *known = client;
        return false;
    }
    clients_.push_back(client);
    return true;
}

bool ClientTable::touch(Net::Ipv4Endpoint endpoint, uint64_t nowNs)
{
    if (UnicastClient* known = find(endpoint)) {
        known->lastHeardNs = nowNs;
        return true;
    }
    return false;
}

bool ClientTable::remove(Net::Ipv4Endpoint endpoint)
{
    const auto it = std::find_if(clients_.begin(), clients_.end(),
                                 [&](const UnicastClient& client) { return client.endpoint == endpoint; });
    if (it == clients_.end()) {
        return false;
    }
    clients_.erase(it);
    return true;
}

UnicastClient* ClientTable::find(Net::Ipv4Endpoint endpoint)
{
    const auto it = std::find_if(clients_.begin(), clients_.end(),
                                 [&](const UnicastClient& client) { return client.endpoint == endpoint; });
    return it == clients_.end() ? nullptr : &*it;
}

size_t ClientTable::expire(uint64_t nowNs, uint64_t timeoutNs)
{
    const size_t before = clients_.size();
    clients_.erase(std::remove_if(clients_.begin(), clients_.end(),
                                  [&](const UnicastClient& client) {
                                      return nowNs > client.lastHeardNs &&
                                             nowNs - client.lastHeardNs > timeoutNs;
                                  }),
                   clients_.end());
    return before - clients_.size();
}

}  // namespace NatNet::Sim::Internal
