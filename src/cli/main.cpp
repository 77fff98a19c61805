// korvianet-cli: headless front end for diagnostics and scripts.
#include "cli/CliCommand.h"
#include "log/DebugLog.h"
#include "settings/Profile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace kvcli {

std::vector<Command>& CommandTable()
{
    static std::vector<Command> table;
    return table;
}

void RegisterCommand(const Command& cmd) { CommandTable().push_back(cmd); }
const std::vector<Command>& Commands() { return CommandTable(); }

int UsageError(const std::string& message)
{
    std::fprintf(stderr, "korvianet-cli: %s\nTry 'korvianet-cli --help'.\n", message.c_str());
    return kExitUsage;
}

} // namespace kvcli

namespace {

void PrintHelp()
{
    std::printf(
        "Usage: korvianet-cli [OPTIONS] COMMAND [ARGS...]\n"
        "Headless front end to the Korvianet modem: diagnostics and scripting.\n\n"
        "Options:\n"
        "  --device PATH      use this tty as the modem's diagnostic port (no discovery)\n"
        "  --config-dir DIR   settings folder (default: $KORVIANET_CONFIG_DIR,\n"
        "                     $XDG_CONFIG_HOME/korvianet or ~/.config/korvianet)\n"
        "  -v, --verbose      write the diagnostic log to standard error\n"
        "  --log-file FILE    append the diagnostic log to FILE (created owner-only)\n"
        "  -h, --help         show this help\n"
        "  --version          show the version\n\n"
        "Data: the database and the traffic files live in $KORVIANET_DATA_DIR,\n"
        "$XDG_DATA_HOME/korvianet or ~/.local/share/korvianet ($KORVIANET_DB names\n"
        "one database file instead).\n\n"
        "Commands:\n");
    for (const kvcli::Command& c : kvcli::Commands())
        std::printf("  %s\n      %s\n", c.synopsis, c.help);
    std::printf("\nExit status: 0 success, 1 failure, 2 bad arguments, 3 no modem.\n");
}

} // namespace

int main(int argc, char** argv)
{
    kvcli::GlobalOptions opts;
    std::string logFile;
    int i = 1;
    for (; i < argc; ++i) {
        const char* a = argv[i];
        if (!std::strcmp(a, "-h") || !std::strcmp(a, "--help")) {
            PrintHelp();
            return kvcli::kExitOk;
        }
        if (!std::strcmp(a, "--version")) {
            std::printf("korvianet-cli 0.1.0\n");
            return kvcli::kExitOk;
        }
        if (!std::strcmp(a, "-v") || !std::strcmp(a, "--verbose")) {
            opts.verbose = true;
            continue;
        }
        if (!std::strcmp(a, "--log-file")) {
            if (i + 1 >= argc || !*argv[i + 1])
                return kvcli::UsageError("--log-file needs a file name");
            logFile = argv[++i];
            continue;
        }
        if (!std::strcmp(a, "--device") || !std::strcmp(a, "--config-dir")) {
            if (i + 1 >= argc)
                return kvcli::UsageError(std::string(a) + " needs a value");
            (a[2] == 'd' ? opts.device : opts.configDir) = argv[++i];
            continue;
        }
        if (a[0] == '-')
            return kvcli::UsageError(std::string("unknown option '") + a + "'");
        break;
    }
    if (i >= argc)
        return kvcli::UsageError("no command given");

    if (!opts.configDir.empty())
        setenv("KORVIANET_CONFIG_DIR", opts.configDir.c_str(), 1);
    // The log stays off unless asked for: a file wins over standard error.
    if (!logFile.empty()) {
        if (!kv::EnableDiagnosticFile(logFile)) {
            std::fprintf(stderr, "korvianet-cli: cannot open log file '%s': %s\n", logFile.c_str(),
                         std::strerror(errno));
            return kvcli::kExitFailure;
        }
    } else if (opts.verbose) {
        kv::EnableDiagnosticSink(stderr);
    }

    const std::string word = argv[i];
    std::vector<std::string> args(argv + i + 1, argv + argc);
    for (const kvcli::Command& c : kvcli::Commands())
        if (word == c.name)
            return c.run(opts, args);
    return kvcli::UsageError("unknown command '" + word + "'");
}
