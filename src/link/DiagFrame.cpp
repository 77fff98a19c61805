#include "link/DiagFrame.h"

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

inline void AppendEscaped(uint8_t b, std::vector<uint8_t>& out)
{
    if (b == kDiagFlag || b == kDiagEscape) {
        out.push_back(kDiagEscape);
        out.push_back(uint8_t(b ^ kDiagEscapeXor));
    } else {
        out.push_back(b);
    }
}

} // namespace

uint16_t Fcs16(uint16_t fcs, const uint8_t* data, size_t len)
{
    for (size_t i = 0; i < len; ++i)
        fcs = uint16_t((fcs >> 8) ^ kFcsTable[(fcs ^ data[i]) & 0xFF]);
    return fcs;
}

void AppendDiagFrame(const uint8_t* data, size_t len, std::vector<uint8_t>& out)
{
    out.reserve(out.size() + len + len / 8 + 5);
    for (size_t i = 0; i < len; ++i)
        AppendEscaped(data[i], out);
    uint16_t fcs = uint16_t(~Fcs16(kFcsInit, data, len));
    AppendEscaped(uint8_t(fcs & 0xFF), out);
    AppendEscaped(uint8_t(fcs >> 8), out);
    out.push_back(kDiagFlag);
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

bool FindDiagAnswer(const uint8_t* rx, size_t len, uint8_t command, uint8_t* out, size_t outCap,
                    size_t& outLen)
{
    outLen = 0;
    size_t start = 0;
    for (size_t i = 0; i < len; ++i) {
        if (rx[i] != kDiagFlag)
            continue;
        const size_t pieceStart = start;
        start = i + 1;
        if (rx[pieceStart] != command) // an empty piece starts with its flag
            continue;
        if (DecodeDiagPiece(rx + pieceStart, i - pieceStart, out, outCap, outLen))
            return true;
    }
    return false;
}

} // namespace kv
