#include "cli/CliOutput.h"

#include "cli/CliCommand.h"
#include "engine/DmCodes.h"
#include "owner/StatusReport.h"

#include <cstdio>

namespace kvcli {

namespace {

bool g_json = false;
bool g_printed = false;
std::string g_lastError;

} // namespace

std::string Utf8Text(std::string_view bytes) { return kv::Utf8Text(bytes); }

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

std::string ResultText(uint16_t result) { return kv::ResultText(result); }

int ExitForResult(uint16_t result)
{
    switch (result) {
    case kv::DM_RESULT_EXCHANGE_FAILED: return kExitTimedOut;
    case kv::DM_RESULT_ENGINE_STOPPED: return kExitNoDevice;
    default: return kExitFailure;
    }
}

} // namespace kvcli
