// Bounded little-endian reader over a byte span.
//
// Every read checks what remains first; a failed read returns false (or a
// failing Status) and leaves the position where it was.
#pragma once

#include "natnet/codec/Status.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace NatNet::Wire {

class ByteReader
{
public:
    ByteReader(const uint8_t* data, size_t size) : m_data(data), m_size(data ? size : 0) {}

    size_t position() const { return m_pos; }
    size_t remaining() const { return m_size - m_pos; }
    bool atEnd() const { return m_pos == m_size; }
    const uint8_t* current() const { return m_data + m_pos; }

    bool readU8(uint8_t& out) { return readUnsigned(out); }
    bool readBool(bool& out)
    {
        uint8_t v = 0;
        if (!readU8(v)) return false;
        out = v != 0;
        return true;
    }
    bool readU16(uint16_t& out) { return readUnsigned(out); }
    bool readI16(int16_t& out) { return readAs<uint16_t>(out); }
    bool readU32(uint32_t& out) { return readUnsigned(out); }
    bool readI32(int32_t& out) { return readAs<uint32_t>(out); }
    bool readU64(uint64_t& out) { return readUnsigned(out); }
    bool readF32(float& out) { return readAs<uint32_t>(out); }
    bool readF64(double& out) { return readAs<uint64_t>(out); }
    bool readBytes(void* out, size_t count)
    {
        if (remaining() < count) return false;
        if (count) std::memcpy(out, m_data + m_pos, count);
        m_pos += count;
        return true;
    }
    // Hands out the next `count` bytes (for elements of fixed size whose
    // count was checked), or nullptr when fewer remain.
    const uint8_t* take(size_t count)
    {
        if (remaining() < count) return nullptr;
        const uint8_t* bytes = m_data + m_pos;
        m_pos += count;
        return bytes;
    }
    bool skip(size_t count)
    {
        if (remaining() < count) return false;
        m_pos += count;
        return true;
    }

    // A zero-terminated text of any length. The view excludes the zero; the
    // position moves past it. Never looks beyond the span.
    Status readCString(std::string_view& out)
    {
        const size_t left = remaining();
        const void* zero = left ? std::memchr(m_data + m_pos, 0, left) : nullptr;
        if (!zero) return Status::UnterminatedString;
        const size_t length = static_cast<size_t>(static_cast<const uint8_t*>(zero) - (m_data + m_pos));
        out = std::string_view(reinterpret_cast<const char*>(m_data + m_pos), length);
        m_pos += length + 1;
        return Status::Ok;
    }
    // As above, copied into a fixed field of `capacity` bytes: cut to
    // capacity - 1 bytes and always terminated.
    Status readCString(char* out, size_t capacity)
    {
        std::string_view text;
        const Status status = readCString(text);
        if (status != Status::Ok) return status;
        copyBounded(text, out, capacity);
        return Status::Ok;
    }

    static void copyBounded(std::string_view text, char* out, size_t capacity)
    {
        if (capacity == 0) return;
        const size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
        if (n) std::memcpy(out, text.data(), n);
        out[n] = '\0';
    }

private:
    template <typename Unsigned>
    bool readUnsigned(Unsigned& out)
    {
        if (remaining() < sizeof out) return false;
        out = static_cast<Unsigned>(load(sizeof out));
        m_pos += sizeof out;
        return true;
    }
    // A value whose wire bytes are those of the unsigned `Bits` (two's complement, IEEE 754).
    template <typename Bits, typename T>
    bool readAs(T& out)
    {
        static_assert(sizeof(Bits) == sizeof(T));
        Bits bits = 0;
        if (!readUnsigned(bits)) return false;
        std::memcpy(&out, &bits, sizeof out);
        return true;
    }

    uint64_t load(size_t width) const
    {
        uint64_t v = 0;
        for (size_t i = width; i-- > 0;) v = (v << 8) | m_data[m_pos + i];
        return v;
    }

    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// Little-endian loads from bytes known to be there (see ByteReader::take).
inline uint32_t loadU32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline int32_t loadI32(const uint8_t* p)
{
    return static_cast<int32_t>(loadU32(p));
}
inline int16_t loadI16(const uint8_t* p)
{
    return static_cast<int16_t>(uint16_t(p[0] | (p[1] << 8)));
}
inline float loadF32(const uint8_t* p)
{
    const uint32_t bits = loadU32(p);
    float value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Text of a fixed-size field up to its first zero (or the whole field when the
// sender left no zero); stale bytes after the zero are ignored.
inline std::string_view boundedText(const char* field, size_t fieldSize)
{
    const void* zero = std::memchr(field, 0, fieldSize);
    return std::string_view(field,
                            zero ? static_cast<size_t>(static_cast<const char*>(zero) - field) : fieldSize);
}

}  // namespace NatNet::Wire
