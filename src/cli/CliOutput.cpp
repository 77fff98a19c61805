#include "cli/CliOutput.h"

#include "cli/CliCommand.h"
#include "engine/DmCodes.h"

#include <cstdio>

namespace kvcli {

namespace {

bool g_json = false;
bool g_printed = false;
std::string g_lastError;

bool ValidUtf8(std::string_view s)
{
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size())
            return false;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += n;
    }
    return true;
}

} // namespace

std::string Utf8Text(std::string_view bytes)
{
    if (ValidUtf8(bytes))
        return std::string(bytes);
    std::string out;
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            out += char(c);
        } else {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string ShownMessage(std::string_view message)
{
    // A backslash byte is never part of a longer UTF-8 sequence: the pieces
    // between backslashes are escaped on their own.
    std::string out;
    size_t from = 0;
    while (from <= message.size()) {
        const size_t at = message.find('\\', from);
        const size_t end = at == std::string_view::npos ? message.size() : at;
        out += Shown(message.substr(from, end - from));
        if (at == std::string_view::npos)
            break;
        out += '\\';
        from = at + 1;
    }
    return out;
}

void SetJsonMode(bool on) { g_json = on; }
bool JsonMode() { return g_json; }

void PrintJsonLine(const Json& doc)
{
    g_printed = true;
    const std::string text = doc.dump(-1, ' ', false, Json::error_handler_t::replace);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void PrintJson(const Json& doc)
{
    if (g_printed)
        return;
    g_printed = true;
    const std::string text = doc.dump(2, ' ', false, Json::error_handler_t::replace);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

bool JsonPrinted() { return g_printed; }

int Fail(int status, const std::string& message)
{
    g_lastError = message;
    std::fprintf(stderr, "korvianet-cli: %s\n", message.c_str());
    return status;
}

const std::string& LastError() { return g_lastError; }

std::string ResultText(uint16_t result)
{
    char code[16];
    std::snprintf(code, sizeof code, "0x%04x", unsigned(result));
    switch (result) {
    case kv::DM_RESULT_EXCHANGE_FAILED: return std::string("no answer from the modem in time (") + code + ")";
    case kv::DM_RESULT_MODEM_REFUSED: return std::string("the modem refused it (") + code + ")";
    case kv::DM_RESULT_DB_ERROR: return std::string("database error (") + code + ")";
    case kv::DM_RESULT_ENGINE_STOPPED: return std::string("the modem stopped answering (") + code + ")";
    case kv::DM_RESULT_BAD_ARGUMENT: return std::string("the request was incomplete (") + code + ")";
    default: return std::string("failed (") + code + ")";
    }
}

int ExitForResult(uint16_t result)
{
    switch (result) {
    case kv::DM_RESULT_EXCHANGE_FAILED: return kExitTimedOut;
    case kv::DM_RESULT_ENGINE_STOPPED: return kExitNoDevice;
    default: return kExitFailure;
    }
}

} // namespace kvcli
