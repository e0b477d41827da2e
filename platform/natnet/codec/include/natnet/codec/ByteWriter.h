// Bounded little-endian writer over a caller's buffer, with message framing.
//
// Writes past the end are refused and remembered: after a failed write the
// writer stays failed and the encoder reports BufferTooSmall. An encoder that
// fails rewinds the writer to where its message began.
#pragma once

#include "natnet/codec/MessageId.h"
#include "natnet/codec/Status.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace NatNet::Wire {

class ByteWriter
{
public:
    ByteWriter(uint8_t* buffer, size_t capacity) : m_data(buffer), m_capacity(buffer ? capacity : 0) {}

    size_t size() const { return m_pos; }
    size_t capacity() const { return m_capacity; }
    bool failed() const { return m_failed; }
    const uint8_t* data() const { return m_data; }
    void reset() { rewind(0); }
    // Drops everything written after `position` and clears a failure.
    void rewind(size_t position)
    {
        if (position <= m_pos) m_pos = position;
        m_failed = false;
    }

    void writeU8(uint8_t v) { store(v, 1); }
    void writeBool(bool v) { store(v ? 1u : 0u, 1); }
    void writeU16(uint16_t v) { store(v, 2); }
    void writeI16(int16_t v) { store(static_cast<uint16_t>(v), 2); }
    void writeU32(uint32_t v) { store(v, 4); }
    void writeI32(int32_t v) { store(static_cast<uint32_t>(v), 4); }
    void writeU64(uint64_t v) { store(v, 8); }
    void writeF32(float v)
    {
        uint32_t bits = 0;
        std::memcpy(&bits, &v, sizeof bits);
        store(bits, 4);
    }
    void writeF64(double v)
    {
        uint64_t bits = 0;
        std::memcpy(&bits, &v, sizeof bits);
        store(bits, 8);
    }
    void writeBytes(const void* bytes, size_t count)
    {
        if (!reserve(count)) return;
        if (count) std::memcpy(m_data + m_pos, bytes, count);
        m_pos += count;
    }
    void writeZeros(size_t count)
    {
        if (!reserve(count)) return;
        std::memset(m_data + m_pos, 0, count);
        m_pos += count;
    }
    // Text and its terminating zero.
    void writeCString(std::string_view text)
    {
        writeBytes(text.data(), text.size());
        writeU8(0);
    }
    // Overwrites 4 bytes written earlier (size fields known only afterwards).
    void patchI32(size_t offset, int32_t v)
    {
        if (m_failed || offset + 4 > m_pos) return;
        const uint32_t u = static_cast<uint32_t>(v);
        for (size_t i = 0; i < 4; ++i) m_data[offset + i] = static_cast<uint8_t>(u >> (8 * i));
    }
    void patchU16(size_t offset, uint16_t v)
    {
        if (m_failed || offset + 2 > m_pos) return;
        m_data[offset] = static_cast<uint8_t>(v);
        m_data[offset + 1] = static_cast<uint8_t>(v >> 8);
    }

private:
    bool reserve(size_t count)
    {
        if (m_failed || m_capacity - m_pos < count) {
            m_failed = true;
            return false;
        }
        return true;
    }
    void store(uint64_t v, size_t width)
    {
        if (!reserve(width)) return;
        for (size_t i = 0; i < width; ++i) m_data[m_pos + i] = static_cast<uint8_t>(v >> (8 * i));
        m_pos += width;
    }

    uint8_t* m_data;
    size_t m_capacity;
    size_t m_pos = 0;
    bool m_failed = false;
};

}  // namespace NatNet::Wire
