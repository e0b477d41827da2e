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
    : config_(config), state_(state), socket_(io), otherSocket_(io), frameBuffer_(kDatagramCapacity)
{
}

void FrameSender::enable(Net::Ipv4Endpoint group)
{
    std::lock_guard<std::mutex> sending(sendMutex_);
    group_ = group;
    enabled_ = true;
}

void FrameSender::disable()
{
    std::lock_guard<std::mutex> sending(sendMutex_);
    enabled_ = false;
    socket_.close();
    otherSocket_.close();
}

void FrameSender::collectTargets()
{
    targets_.clear();
    std::lock_guard<std::mutex> lock(state_.mutex);
    if (config_.multicast) {
        targets_.push_back({group_, toVersion(state_.natNetVersion), false});
        return;
    }
    for (UnicastClient& client : state_.clients.all()) {
        targets_.push_back({client.endpoint, client.version, client.versionChanged});
        client.versionChanged = false;
    }
}

void FrameSender::countSent(int datagrams)
{
    std::lock_guard<std::mutex> lock(state_.mutex);
    ++state_.counters.framesSent;
    state_.counters.datagramsSent += static_cast<uint64_t>(datagrams);
    state_.changed.notify_all();
}

int FrameSender::sendFrame(const sFrameOfMocapData& frame)
{
    std::lock_guard<std::mutex> sending(sendMutex_);
    const int sent = sendFrameVia(socket_, frame);
    countSent(sent);
    return sent;
}

int FrameSender::sendFrameFromOtherPort(const sFrameOfMocapData& frame)
{
    std::lock_guard<std::mutex> sending(sendMutex_);
    const int sent = sendFrameVia(otherSocket_, frame);
    std::lock_guard<std::mutex> lock(state_.mutex);
    state_.counters.framesFromOtherPort += static_cast<uint64_t>(sent);
    state_.changed.notify_all();
    return sent;
}

// sendMutex_ held.
int FrameSender::sendFrameVia(Net::UdpSocket& socket, const sFrameOfMocapData& frame)
{
    if (!enabled_) {
        return 0;
    }
    collectTargets();
    int sent = 0;
    bool encoded = false;
    Wire::Version encodedVersion;
    size_t size = 0;
    for (const Target& target : targets_) {
        if (!encoded || !sameLayout(encodedVersion, target.version)) {
            Wire::ByteWriter writer(frameBuffer_.data(), frameBuffer_.size());
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
            saved = frameBuffer_[size - 6];
            frameBuffer_[size - 6] = static_cast<uint8_t>(saved | 0x08);
        }
        if (!socket.sendTo(frameBuffer_.data(), size, target.endpoint)) {
            ++sent;
        }
        if (flag) {
            frameBuffer_[size - 6] = saved;
        }
    }
    return sent;
}

int FrameSender::sendRawDatagram(const void* bytes, size_t size)
{
    std::lock_guard<std::mutex> sending(sendMutex_);
    if (!enabled_) {
        return 0;
    }
    collectTargets();
    int sent = 0;
    for (const Target& target : targets_) {
        if (!socket_.sendTo(bytes, size, target.endpoint)) {
            ++sent;
        }
    }
    countSent(sent);
    return sent;
}

}  // namespace NatNet::Sim::Internal
