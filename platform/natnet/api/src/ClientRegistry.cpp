#include "ClientRegistry.h"

#include <mutex>
#include <unordered_map>

namespace NatNet::Net {

namespace {

struct Registry
{
    std::mutex mutex;
    std::unordered_map<const NatNetClient*, ClientCore*> clients;
};

Registry& registry()
{
    static Registry* instance = new Registry;  // never destroyed: clients may outlive static destruction
    return *instance;
}

}  // namespace

void ClientRegistry::add(const NatNetClient* client, ClientCore* core)
{
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.clients[client] = core;
}

void ClientRegistry::remove(const NatNetClient* client)
{
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.clients.erase(client);
}

ClientCore* ClientRegistry::find(const NatNetClient* client)
{
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    const auto it = r.clients.find(client);
    return it == r.clients.end() ? nullptr : it->second;
}

}  // namespace NatNet::Net
