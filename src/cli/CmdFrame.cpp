// "frame encode HEX" and "frame decode HEX": the DIAG frame of request
// bytes, and the check and payload of one received piece.
#include "cli/CliCommand.h"
#include "cli/CliOutput.h"
#include "link/CommPort.h"
#include "link/DiagFrame.h"
#include "log/NumberParse.h"

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Hex digits, optionally separated by spaces, colons or dashes; false on
// anything else or an odd digit count.
bool ParseHex(const std::string& text, std::vector<uint8_t>& out, std::string& error)
{
    std::string digits;
    for (char c : text) {
        if (std::isxdigit(static_cast<unsigned char>(c)))
            digits.push_back(c);
        else if (c != ' ' && c != ':' && c != '-') {
            error = "not a hex digit: '" + kvcli::Shown(std::string(1, c)) + "'";
            return false;
        }
    }
    if (digits.empty()) {
        error = "no hex bytes given";
        return false;
    }
    if (digits.size() % 2 != 0) {
        error = "odd number of hex digits";
        return false;
    }
    out.clear();
    for (size_t i = 0; i < digits.size(); i += 2) {
        uint8_t byte = 0;
        kv::ParseHex(std::string_view(digits).substr(i, 2), byte); // two hex digits: always a byte
        out.push_back(byte);
    }
    return true;
}

std::string ToHex(const uint8_t* p, size_t n)
{
    static const char* k = "0123456789abcdef";
    std::string s;
    s.reserve(2 * n);
    for (size_t i = 0; i < n; ++i) {
        s.push_back(k[p[i] >> 4]);
        s.push_back(k[p[i] & 0x0F]);
    }
    return s;
}

int RunFrame(const kvcli::GlobalOptions&, const std::vector<std::string>& args)
{
    if (args.size() < 2 || (args[0] != "encode" && args[0] != "decode"))
        return kvcli::UsageError("usage: frame encode HEX | frame decode HEX");
    std::string joined;
    for (size_t i = 1; i < args.size(); ++i)
        joined += args[i];
    std::vector<uint8_t> bytes;
    std::string error;
    if (!ParseHex(joined, bytes, error))
        return kvcli::UsageError("frame " + args[0] + ": " + error);

    if (args[0] == "encode") {
        const auto frame = kv::EncodeDiagFrame(bytes.data(), bytes.size());
        if (kvcli::JsonMode())
            kvcli::PrintJson({{"frame", ToHex(frame.data(), frame.size())}});
        else
            std::printf("%s\n", ToHex(frame.data(), frame.size()).c_str());
        return kvcli::kExitOk;
    }
    // decode: one piece ending in its 0x7E flag
    if (bytes.back() != kv::kDiagFlag)
        return kvcli::UsageError("frame decode: the piece must end with the flag byte 7e");
    for (size_t i = 0; i + 1 < bytes.size(); ++i) {
        if (bytes[i] == kv::kDiagFlag)
            return kvcli::UsageError("frame decode: more than one piece (7e inside)");
    }
    std::vector<uint8_t> payload(kv::kPayloadSize);
    size_t n = 0;
    const bool good = kv::DecodeDiagPiece(bytes.data(), bytes.size() - 1, payload.data(),
                                          payload.size(), n);
    if (kvcli::JsonMode())
        kvcli::PrintJson({{"good", good}, {"payload", ToHex(payload.data(), n)}});
    else
        std::printf("%s %s\n", good ? "ok" : "bad", ToHex(payload.data(), n).c_str());
    return good ? kvcli::kExitOk : kvcli::kExitFailure;
}

} // namespace

KV_CLI_COMMAND("frame", "frame encode HEX | frame decode HEX",
               "encode: print the DIAG frame (escaped body, FCS, 7e) of the request bytes HEX;\n"
               "decode: check one received piece ending in 7e and print ok or bad and its payload",
               RunFrame,
               "  frame encode: {\"frame\": HEX}\n"
               "  frame decode: {\"good\": true|false, \"payload\": HEX}");
