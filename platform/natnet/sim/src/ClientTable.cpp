#include "ClientTable.h"

#include <algorithm>

namespace NatNet::Sim::Internal {

bool ClientTable::upsert(const UnicastClient& client)
{
    if (UnicastClient* known = find(client.endpoint)) {
        *known = client;
        return false;
    }
    m_clients.push_back(client);
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
    const auto it = std::find_if(m_clients.begin(), m_clients.end(),
                                 [&](const UnicastClient& client) { return client.endpoint == endpoint; });
    if (it == m_clients.end()) {
        return false;
    }
    m_clients.erase(it);
    return true;
}

UnicastClient* ClientTable::find(Net::Ipv4Endpoint endpoint)
{
    const auto it = std::find_if(m_clients.begin(), m_clients.end(),
                                 [&](const UnicastClient& client) { return client.endpoint == endpoint; });
    return it == m_clients.end() ? nullptr : &*it;
}

size_t ClientTable::expire(uint64_t nowNs, uint64_t timeoutNs)
{
    const size_t before = m_clients.size();
    m_clients.erase(std::remove_if(m_clients.begin(), m_clients.end(),
                                   [&](const UnicastClient& client) {
                                       return nowNs > client.lastHeardNs &&
                                              nowNs - client.lastHeardNs > timeoutNs;
                                   }),
                    m_clients.end());
    return before - m_clients.size();
}

}  // namespace NatNet::Sim::Internal
