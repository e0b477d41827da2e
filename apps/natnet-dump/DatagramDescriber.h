// One JSON object per NatNet datagram, for natnet-dump.
//
// Keeps what a session teaches: the bitstream version from the last server
// information (unless one was forced), so later frames and model definitions
// decode in the server's layout.
#pragma once

#include "natnet/codec/FrameStorage.h"
#include "natnet/codec/Status.h"
#include "natnet/codec/Version.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace NatNet::Dump {

class DatagramDescriber
{
public:
    // forced: decode everything with `version`, ignoring server information.
    DatagramDescriber(Wire::Version version, bool forced);
    ~DatagramDescriber();
    DatagramDescriber(const DatagramDescriber&) = delete;
    DatagramDescriber& operator=(const DatagramDescriber&) = delete;

    // Always an object with "message"; a datagram that does not decode gets
    // "status" with the codec's status name.
    nlohmann::json describe(const uint8_t* data, size_t size);

    Wire::Version version() const { return m_version; }
    size_t badDatagrams() const { return m_bad; }

private:
    nlohmann::json frame(const uint8_t* payload, size_t size);
    nlohmann::json modelDefinitions(const uint8_t* payload, size_t size);
    // What a versioned payload's description starts with: the layout it was decoded with and,
    // when decoding failed (counted as bad), the status.
    nlohmann::json versionedHead(Wire::Status status);

    Wire::Version m_version;
    bool m_forced;
    size_t m_bad = 0;
    Wire::FrameStorage m_storage;
    std::unique_ptr<sFrameOfMocapData> m_frame;
};

}  // namespace NatNet::Dump
