// korvianet-cli: headless front end for diagnostics and scripts.
#include "cli/CliCommand.h"
#include "cli/CliOutput.h"
#include "log/DebugLog.h"
#include "settings/DataDir.h"
#include "settings/Profile.h"
#include "version/Version.h"

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
    // A usage message quotes what the user typed: control bytes in it are
    // shown, never sent to the terminal.
    Fail(kExitUsage, ShownMessage(message));
    std::fprintf(stderr, "Try 'korvianet-cli --help'.\n");
    return kExitUsage;
}

} // namespace kvcli

namespace {

constexpr const char* kExitTable =
    "Exit status:\n"
    "  0  success\n"
    "  1  failure: the modem refused, a database error, or the work was done only in part\n"
    "     (the message says which part and how it is repaired); also a settings or data\n"
    "     folder that is not yours, which is refused\n"
    "  2  bad arguments: the message names the argument and the limit\n"
    "  3  no modem: none found, its port cannot be used (the message says why), or it went away\n"
    "  4  timed out: the modem did not answer (at start-up or to a request), or no delivery\n"
    "     report came, in time\n";

void PrintHelp()
{
    std::printf(
        "Usage: korvianet-cli [OPTIONS] COMMAND [ARGS...]\n"
        "Headless front end to the Korvianet modem: diagnostics and scripting.\n\n"
        "Options (before the command; each works with every command):\n"
        "  --device PATH      use this tty as the modem's diagnostic port (no discovery)\n"
        "  --config-dir DIR   settings folder (default: $KORVIANET_CONFIG_DIR,\n"
        "                     $XDG_CONFIG_HOME/korvianet or ~/.config/korvianet)\n"
        "  -v, --verbose      write the diagnostic log to standard error\n"
        "  --log-file FILE    append the diagnostic log to FILE (created owner-only)\n"
        "  --json             print one JSON document on standard output (fields: COMMAND --help);\n"
        "                     a failure prints {\"error\": {\"exit_status\": N, \"message\": TEXT}}\n"
        "  -h, --help         show this help\n"
        "  --version          show the version\n\n"
        "Data: the database and the traffic files live in $KORVIANET_DATA_DIR,\n"
        "$XDG_DATA_HOME/korvianet or ~/.local/share/korvianet ($KORVIANET_DB names\n"
        "one database file instead). A settings or data folder, or a file in them, that\n"
        "belongs to another user is refused, never used.\n\n"
        "Texts from the modem or the database (names, numbers, messages) are printed with control\n"
        "characters escaped (\\n, \\x1b, \\\\ ...), one record per line.\n\n"
        "Commands:\n");
    for (const kvcli::Command& c : kvcli::Commands())
        std::printf("  %s\n      %s\n", c.synopsis, c.help);
    std::printf("\n%s", kExitTable);
}

void PrintCommandHelp(const kvcli::Command& c)
{
    std::printf("Usage: korvianet-cli [OPTIONS] %s\n  %s\n", c.synopsis, c.help);
    if (c.json)
        std::printf("\nWith --json:\n%s\n", c.json);
    std::printf("\n%s", kExitTable);
}

} // namespace

int main(int argc, char** argv)
{
    kvcli::GlobalOptions opts;
    int i = 1;
    for (; i < argc; ++i) {
        const char* a = argv[i];
        if (!std::strcmp(a, "-h") || !std::strcmp(a, "--help")) {
            PrintHelp();
            return kvcli::kExitOk;
        }
        if (!std::strcmp(a, "--version")) {
            std::printf("korvianet-cli %s\n", kv::ProgramVersion());
            return kvcli::kExitOk;
        }
        if (!std::strcmp(a, "-v") || !std::strcmp(a, "--verbose")) {
            opts.verbose = true;
            continue;
        }
        if (!std::strcmp(a, "--json")) {
            opts.json = true;
            continue;
        }
        if (!std::strcmp(a, "--log-file") || !std::strcmp(a, "--device") || !std::strcmp(a, "--config-dir")) {
            if (i + 1 >= argc || !*argv[i + 1])
                return kvcli::UsageError(std::string(a) + " needs a value");
            const char* v = argv[++i];
            (a[2] == 'l' ? opts.logFile : a[2] == 'd' ? opts.device : opts.configDir) = v;
            continue;
        }
        if (a[0] == '-')
            return kvcli::UsageError(std::string("unknown option '") + kvcli::Shown(a) + "'");
        break;
    }
    kvcli::SetJsonMode(opts.json);
    auto finish = [&](int status) {
        // One JSON document per run, also when the command printed none.
        if (opts.json && !kvcli::JsonPrinted()) {
            if (status == kvcli::kExitOk)
                kvcli::PrintJson(kvcli::Json{{"ok", true}});
            else
                kvcli::PrintJson(kvcli::Json{
                    {"error", {{"exit_status", status}, {"message", kvcli::LastError()}}}});
        }
        return status;
    };
    if (i >= argc)
        return finish(kvcli::UsageError("no command given"));

    if (!opts.configDir.empty())
        setenv("KORVIANET_CONFIG_DIR", opts.configDir.c_str(), 1);
    // The log stays off unless asked for: a file wins over standard error.
    if (!opts.logFile.empty()) {
        if (!kv::EnableDiagnosticFile(opts.logFile)) {
            return finish(kvcli::Fail(kvcli::kExitFailure, "cannot open log file '" + kvcli::Shown(opts.logFile)
                                                               + "': " + std::strerror(errno)));
        }
    } else if (opts.verbose) {
        kv::EnableDiagnosticSink(stderr);
    }

    const std::string word = argv[i];
    std::vector<std::string> args(argv + i + 1, argv + argc);
    for (const kvcli::Command& c : kvcli::Commands()) {
        if (word != c.name)
            continue;
        if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
            PrintCommandHelp(c);
            return kvcli::kExitOk;
        }
        if (opts.json && !c.json)
            return finish(kvcli::UsageError("--json: '" + kvcli::Shown(word) + "' has no JSON output"));
        // Settings someone else can write could name their modem, and a data
        // folder of theirs would receive our messages: refuse both before the
        // command runs.
        if (std::string why; !kv::SettingsDirUsable(&why)
                             || (!kv::UserDataDir().empty() && !kv::UserDataDirUsable(&why)))
            return finish(kvcli::Fail(kvcli::kExitFailure, kvcli::Shown(why)));
        return finish(c.run(opts, args));
    }
    return finish(kvcli::UsageError("unknown command '" + kvcli::Shown(word) + "'"));
}
