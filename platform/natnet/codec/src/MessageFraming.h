// Header framing shared by the encoders.
#pragma once

#include "natnet/codec/ByteWriter.h"
#include "natnet/codec/MessageId.h"
#include "natnet/codec/Status.h"

#include "NatNetTypes.h"

#include <cstddef>

namespace NatNet::Wire::Internal {

// Writes the header with a placeholder size; finish() patches in the payload
// size, or rewinds the writer and reports why the message could not be written.
class MessageFrame
{
public:
    MessageFrame(ByteWriter& out, uint16_t messageId) : m_out(out), m_start(out.size())
    {
        m_out.writeU16(messageId);
        m_out.writeU16(0);
    }
    Status finish() { return finish(Status::Ok); }
    // A failed encode leaves the writer where the message began.
    Status finish(Status encodeStatus)
    {
        Status status = encodeStatus;
        if (status == Status::Ok && m_out.failed()) status = Status::BufferTooSmall;
        const size_t payload = m_out.size() - m_start - kHeaderSize;
        if (status == Status::Ok && payload > MAX_PACKETSIZE) status = Status::MessageTooLarge;
        if (status != Status::Ok) {
            m_out.rewind(m_start);
            return status;
        }
        m_out.patchU16(m_start + 2, static_cast<uint16_t>(payload));
        return Status::Ok;
    }

private:
    ByteWriter& m_out;
    size_t m_start;
};

}  // namespace NatNet::Wire::Internal
