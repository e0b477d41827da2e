// Finds the working part of a NatNetClient for the extension functions: the
// SDK header keeps the implementation pointer private, so every client
// registers itself here for its lifetime.
#pragma once

class NatNetClient;

namespace NatNet::Net {

class ClientCore;

class ClientRegistry
{
public:
    static void add(const NatNetClient* client, ClientCore* core);
    static void remove(const NatNetClient* client);
    // nullptr for an unknown (or destroyed) client.
    static ClientCore* find(const NatNetClient* client);
};

}  // namespace NatNet::Net
