// Little-endian field access for DIAG records, shared by the request
// builders, the reply readers and the simulator's reply encoders. Readers
// use ReplyView, which refuses to read past the reply's length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace kv {

inline void PutU8(uint8_t* p, size_t off, uint8_t v) { p[off] = v; }
inline void PutU16(uint8_t* p, size_t off, uint16_t v)
{
    p[off] = uint8_t(v);
    p[off + 1] = uint8_t(v >> 8);
}
inline void PutU32(uint8_t* p, size_t off, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[off + size_t(i)] = uint8_t(v >> (8 * i));
}
inline uint16_t GetU16(const uint8_t* p, size_t off)
{
    return uint16_t(p[off] | (p[off + 1] << 8));
}
inline uint32_t GetU32(const uint8_t* p, size_t off)
{
    return uint32_t(p[off]) | (uint32_t(p[off + 1]) << 8) | (uint32_t(p[off + 2]) << 16)
        | (uint32_t(p[off + 3]) << 24);
}

// Copies text into a fixed field of width bytes, zero-padding the rest.
// Text longer than the field is cut.
inline void PutText(uint8_t* p, size_t off, size_t width, const std::string& text)
{
    size_t n = text.size() < width ? text.size() : width;
    std::memcpy(p + off, text.data(), n);
    std::memset(p + off + n, 0, width - n);
}

// Text of a fixed field: up to the first zero byte, at most width bytes.
inline std::string GetText(const uint8_t* p, size_t off, size_t width)
{
    size_t n = 0;
    while (n < width && p[off + n] != 0)
        ++n;
    return std::string(reinterpret_cast<const char*>(p + off), n);
}

// A reply as received: pointer and length. Every read is bounds-checked by
// Has(); parse functions test Has(end of last field) once before reading.
struct ReplyView {
    const uint8_t* data = nullptr;
    size_t length = 0;

    bool Has(size_t bytes) const { return data != nullptr && length >= bytes; }
    uint8_t U8(size_t off) const { return data[off]; }
    uint16_t U16(size_t off) const { return GetU16(data, off); }
    uint32_t U32(size_t off) const { return GetU32(data, off); }
    int32_t I32(size_t off) const { return int32_t(GetU32(data, off)); }
    std::string Text(size_t off, size_t width) const { return GetText(data, off, width); }
};

} // namespace kv
