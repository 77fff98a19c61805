// The plain byte-at-a-time unescape and FCS that the link's decode replaced:
// kept as the measure of its speed (bench_link) and of its results (the link
// tests and the frame fuzzer compare the two on every input).
#pragma once

#include <cstddef>
#include <cstdint>

namespace kvtest {

inline const uint16_t* ReferenceFcsTable()
{
    static const auto table = [] {
        struct T { uint16_t v[256]; } t{};
        for (unsigned b = 0; b < 256; ++b) {
            uint16_t v = uint16_t(b);
            for (int k = 0; k < 8; ++k)
                v = (v & 1) ? uint16_t((v >> 1) ^ 0x8408) : uint16_t(v >> 1);
            t.v[b] = v;
        }
        return t;
    }();
    return table.v;
}

inline uint16_t ReferenceFcs16(uint16_t fcs, const uint8_t* data, size_t len)
{
    const uint16_t* t = ReferenceFcsTable();
    for (size_t i = 0; i < len; ++i)
        fcs = uint16_t((fcs >> 8) ^ t[(fcs ^ data[i]) & 0xFF]);
    return fcs;
}

inline bool ReferenceDecodeDiagPiece(const uint8_t* piece, size_t len, uint8_t* out, size_t outCap,
                                     size_t& outLen)
{
    outLen = 0;
    size_t i = 0;
    while (i < len) {
        uint8_t b = piece[i];
        if (b == 0x7D && i + 1 < len) {
            b = uint8_t(piece[i + 1] ^ 0x20);
            i += 2;
        } else {
            i += 1;
        }
        if (outLen >= outCap) {
            outLen = 0;
            return false;
        }
        out[outLen++] = b;
    }
    if (outLen == 0)
        return false;
    const bool good = ReferenceFcs16(0xFFFF, out, outLen) == 0xF0B8;
    if (outLen > 2)
        outLen -= 2;
    return good;
}

} // namespace kvtest
