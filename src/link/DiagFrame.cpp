#include "link/DiagFrame.h"

#include <algorithm>
#include <array>
#include <cstring>

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

// Eight bytes at a time ("slicing by eight"): table k holds the FCS change a
// byte makes when k more bytes follow it, so the eight lookups of a block are
// independent of each other and the FCS is reduced once per block.
constexpr std::array<std::array<uint16_t, 256>, 8> MakeFcsSlices()
{
    std::array<std::array<uint16_t, 256>, 8> t{};
    t[0] = MakeFcsTable();
    for (unsigned k = 1; k < 8; ++k)
        for (unsigned b = 0; b < 256; ++b) {
            const uint16_t prev = t[k - 1][b];
            t[k][b] = uint16_t((prev >> 8) ^ t[0][prev & 0xFF]);
        }
    return t;
}

constexpr auto kFcsSlices = MakeFcsSlices();

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
    const auto& t = kFcsSlices;
    while (len >= 8) {
        const uint8_t* d = data;
        fcs = uint16_t(t[7][(d[0] ^ fcs) & 0xFF] ^ t[6][(d[1] ^ (fcs >> 8)) & 0xFF] ^ t[5][d[2]]
                       ^ t[4][d[3]] ^ t[3][d[4]] ^ t[2][d[5]] ^ t[1][d[6]] ^ t[0][d[7]]);
        data += 8;
        len -= 8;
    }
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
    // Replies are mostly plain bytes: each run up to the next escape is
    // copied in one go, and the FCS runs once over the result.
    outLen = 0;
    size_t i = 0;
    size_t n = 0;
    while (i < len) {
        const auto* esc = static_cast<const uint8_t*>(std::memchr(piece + i, kDiagEscape, len - i));
        const size_t run = esc ? size_t(esc - (piece + i)) : len - i;
        if (run > outCap - n)
            return false; // longer than any valid response
        std::memcpy(out + n, piece + i, run);
        n += run;
        i += run;
        if (!esc)
            break;
        // An escape as the piece's last byte stands for itself.
        uint8_t b = kDiagEscape;
        if (i + 1 < len) {
            b = uint8_t(piece[i + 1] ^ kDiagEscapeXor);
            i += 2;
        } else {
            i += 1;
        }
        if (n >= outCap)
            return false;
        out[n++] = b;
    }
    if (n == 0)
        return false;
    const bool good = Fcs16(kFcsInit, out, n) == kFcsGoodResidue;
    outLen = n > 2 ? n - 2 : n;
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
