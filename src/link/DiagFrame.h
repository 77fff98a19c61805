// The byte level of the DIAG link, as pure functions: HDLC-like escaping of
// 0x7D/0x7E, the 16-bit FCS of RFC 1662 (reflected polynomial 0x8408, start
// 0xFFFF, complemented, sent low byte first) and the closing 0x7E flag. No
// opening flag is written. Used by the port object and by the simulator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kv {

constexpr uint8_t kDiagFlag = 0x7E;
constexpr uint8_t kDiagEscape = 0x7D;
constexpr uint8_t kDiagEscapeXor = 0x20;
constexpr uint16_t kFcsInit = 0xFFFF;
constexpr uint16_t kFcsGoodResidue = 0xF0B8;

// Runs the FCS-16 over len bytes starting from fcs (no final complement).
uint16_t Fcs16(uint16_t fcs, const uint8_t* data, size_t len);

// The longest frame len data bytes can make: every byte and both FCS bytes
// escaped, plus the closing flag.
constexpr size_t DiagFrameWorstCase(size_t len) { return 2 * len + 5; }

// Writes the frame of len data bytes to out, which must hold
// DiagFrameWorstCase(len) bytes. Returns the frame's length.
size_t EncodeDiagFrameInto(const uint8_t* data, size_t len, uint8_t* out);

// Appends the frame of len data bytes (escaped body, escaped FCS, 0x7E) to out.
void AppendDiagFrame(const uint8_t* data, size_t len, std::vector<uint8_t>& out);
std::vector<uint8_t> EncodeDiagFrame(const uint8_t* data, size_t len);

// Unescapes a piece (without its closing flag) into out, at most outCap
// bytes; pieces that would unescape to more fail. Checks the FCS residue and,
// when more than 2 bytes were produced, drops the 2 FCS bytes from outLen.
// outLen is set in every case. True when the FCS is good.
bool DecodeDiagPiece(const uint8_t* piece, size_t len, uint8_t* out, size_t outCap, size_t& outLen);

// Splits received bytes into pieces (every 0x7E ends one; bytes after the
// last flag are dropped) and decodes, in order, each piece whose first byte
// is command until one has a good FCS. Its payload (at most outCap bytes;
// longer pieces are skipped like bad ones) is left in out. True when found.
bool FindDiagAnswer(const uint8_t* rx, size_t len, uint8_t command, uint8_t* out, size_t outCap,
                    size_t& outLen);
// The same, where the answer must begin with the echoLen bytes of echo (the
// command and what its answer repeats of the request: a vendor command's
// sub-command, a wrapped NV read's command and item). Good pieces that echo
// something else are skipped like foreign ones.
bool FindDiagAnswer(const uint8_t* rx, size_t len, const uint8_t* echo, size_t echoLen, uint8_t* out,
                    size_t outCap, size_t& outLen);

} // namespace kv
