#include "FrameSender.h"

#include "WireHelpers.h"

#include "natnet/codec/ByteWriter.h"
#include "natnet/codec/FrameCodec.h"
#include "natnet/codec/MessageId.h"

namespace NatNet::Sim::Internal {

namespace {

constexpr size_t kDatagramCapacity = 65536;

}  // namespace

FrameSender::FrameSender(const SimulatorConfig& config, ServerState& state, boost::asio::io_context& io)
    : m_config(config), m_state(state), m_socket(io), m_otherSocket(io), m_frameBuffer(kDatagramCapacity)
{
}

void FrameSender::enable(Net::Ipv4Endpoint group)
{
    std::lock_guard<std::mutex> sending(m_sendMutex);
    m_group = group;
    m_enabled = true;
}

void FrameSender::disable()
{
    std::lock_guard<std::mutex> sending(m_sendMutex);
    m_enabled = false;
    m_socket.close();
    m_otherSocket.close();
}

void FrameSender::collectTargets()
{
    m_targets.clear();
    std::lock_guard<std::mutex> lock(m_state.mutex);
    if (m_config.multicast) {
        m_targets.push_back({m_group, toVersion(m_state.natNetVersion), false});
        return;
    }
    for (UnicastClient& client : m_state.clients.all()) {
        m_targets.push_back({client.endpoint, client.version, client.versionChanged});
        client.versionChanged = false;
    }
}

void FrameSender::countSent(int datagrams)
{
    std::lock_guard<std::mutex> lock(m_state.mutex);
    ++m_state.counters.framesSent;
    m_state.counters.datagramsSent += static_cast<uint64_t>(datagrams);
    m_state.changed.notify_all();
}

int FrameSender::sendFrame(const sFrameOfMocapData& frame)
{
    std::lock_guard<std::mutex> sending(m_sendMutex);
    const int sent = sendFrameVia(m_socket, frame);
    countSent(sent);
    return sent;
}

int FrameSender::sendFrameFromOtherPort(const sFrameOfMocapData& frame)
{
    std::lock_guard<std::mutex> sending(m_sendMutex);
    const int sent = sendFrameVia(m_otherSocket, frame);
    std::lock_guard<std::mutex> lock(m_state.mutex);
    m_state.counters.framesFromOtherPort += static_cast<uint64_t>(sent);
    m_state.changed.notify_all();
    return sent;
}

// m_sendMutex held.
int FrameSender::sendFrameVia(Net::UdpSocket& socket, const sFrameOfMocapData& frame)
{
    if (!m_enabled) {
        return 0;
    }
    collectTargets();
    int sent = 0;
    bool encoded = false;
    Wire::Version encodedVersion;
    size_t size = 0;
    for (const Target& target : m_targets) {
        if (!encoded || !sameLayout(encodedVersion, target.version)) {
            Wire::ByteWriter writer(m_frameBuffer.data(), m_frameBuffer.size());
            encoded = Wire::encodeFrame(writer, frame, target.version) == Wire::Status::Ok;
            encodedVersion = target.version;
            size = writer.size();
            if (!encoded) {
                continue;
            }
        }
        // After a version change the first frame says so (params bit 3); params
        // sit just before the 4-byte end tag.
        const bool flag = target.versionChanged && target.version.atLeast(Wire::Gate::FrameParams) &&
                          size >= Wire::kHeaderSize + 6;
        uint8_t saved = 0;
        if (flag) {
            saved = m_frameBuffer[size - 6];
            m_frameBuffer[size - 6] = static_cast<uint8_t>(saved | Wire::kFrameBitstreamChanged);
        }
        if (!socket.sendTo(m_frameBuffer.data(), size, target.endpoint)) {
            ++sent;
        }
        if (flag) {
            m_frameBuffer[size - 6] = saved;
        }
    }
    return sent;
}

int FrameSender::sendRawDatagram(const void* bytes, size_t size)
{
    std::lock_guard<std::mutex> sending(m_sendMutex);
    if (!m_enabled) {
        return 0;
    }
    collectTargets();
    int sent = 0;
    for (const Target& target : m_targets) {
        if (!m_socket.sendTo(bytes, size, target.endpoint)) {
            ++sent;
        }
    }
    countSent(sent);
    return sent;
}

}  // namespace NatNet::Sim::Internal
