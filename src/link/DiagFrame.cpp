#include "link/DiagFrame.h"

#include <algorithm>
#include <array>

namespace kv {

namespace {

constexpr std::array<uint16_t, 256> MakeFcsTable()
{
    std::array<uint16_t, 256> t{};
    for (unsigned b = 0; b < 256; ++b) {
        uint16_t v = uint16_t(b);
        for (int i = 0; i < 8; ++i)
            v = (v & 1) ? uint16_t((v >> 1) ^ 0x8408) : uint16_t(v >> 1);
        t[b] = v;
    }
    return t;
}

constexpr std::array<uint16_t, 256> kFcsTable = MakeFcsTable();

// Escapes one byte at out, returning the position after it.
inline uint8_t* PutEscaped(uint8_t b, uint8_t* out)
{
    if (b == kDiagFlag || b == kDiagEscape) {
        out[0] = kDiagEscape;
        out[1] = uint8_t(b ^ kDiagEscapeXor);
        return out + 2;
    }
    *out = b;
    return out + 1;
}

} // namespace

uint16_t Fcs16(uint16_t fcs, const uint8_t* data, size_t len)
{
    for (size_t i = 0; i < len; ++i)
        fcs = uint16_t((fcs >> 8) ^ kFcsTable[(fcs ^ data[i]) & 0xFF]);
    return fcs;
}

size_t EncodeDiagFrameInto(const uint8_t* data, size_t len, uint8_t* out)
{
    // One pass: escape each byte and run the FCS over it as it goes by.
    uint16_t fcs = kFcsInit;
    uint8_t* p = out;
    for (size_t i = 0; i < len; ++i) {
        const uint8_t b = data[i];
        fcs = uint16_t((fcs >> 8) ^ kFcsTable[(fcs ^ b) & 0xFF]);
        p = PutEscaped(b, p);
    }
    fcs = uint16_t(~fcs);
    p = PutEscaped(uint8_t(fcs & 0xFF), p);
    p = PutEscaped(uint8_t(fcs >> 8), p);
    *p++ = kDiagFlag;
    return size_t(p - out);
}

void AppendDiagFrame(const uint8_t* data, size_t len, std::vector<uint8_t>& out)
{
    const size_t base = out.size();
    out.resize(base + DiagFrameWorstCase(len));
    out.resize(base + EncodeDiagFrameInto(data, len, out.data() + base));
}

std::vector<uint8_t> EncodeDiagFrame(const uint8_t* data, size_t len)
{
    std::vector<uint8_t> out;
    AppendDiagFrame(data, len, out);
    return out;
}

bool DecodeDiagPiece(const uint8_t* piece, size_t len, uint8_t* out, size_t outCap, size_t& outLen)
{
    outLen = 0;
    size_t i = 0;
    while (i < len) {
        uint8_t b = piece[i];
        if (b == kDiagEscape && i + 1 < len) {
            b = uint8_t(piece[i + 1] ^ kDiagEscapeXor);
            i += 2;
        } else {
            i += 1;
        }
        if (outLen >= outCap) {
            outLen = 0;
            return false; // longer than any valid response
        }
        out[outLen++] = b;
    }
    if (outLen == 0)
        return false;
    const bool good = Fcs16(kFcsInit, out, outLen) == kFcsGoodResidue;
    if (outLen > 2)
        outLen -= 2;
    return good;
}

bool FindDiagAnswer(const uint8_t* rx, size_t len, const uint8_t* echo, size_t echoLen, uint8_t* out,
                    size_t outCap, size_t& outLen)
{
    outLen = 0;
    if (echo == nullptr || echoLen == 0)
        return false;
    const bool escapedCommand = echo[0] == kDiagFlag || echo[0] == kDiagEscape;
    size_t start = 0;
    for (size_t i = 0; i < len; ++i) {
        if (rx[i] != kDiagFlag)
            continue;
        const size_t pieceStart = start;
        start = i + 1;
        // A quick look at the raw first byte, except for a command that
        // travels escaped (an empty piece starts with its flag).
        if (!escapedCommand && rx[pieceStart] != echo[0])
            continue;
        if (!DecodeDiagPiece(rx + pieceStart, i - pieceStart, out, outCap, outLen))
            continue;
        // The right command but another question's answer (a late reply to
        // an earlier sub-command, another NV item): not ours, look further.
        if (outLen >= echoLen && std::equal(echo, echo + echoLen, out))
            return true;
    }
    return false;
}

bool FindDiagAnswer(const uint8_t* rx, size_t len, uint8_t command, uint8_t* out, size_t outCap,
                    size_t& outLen)
{
    return FindDiagAnswer(rx, len, &command, 1, out, outCap, outLen);
}

} // namespace kv
