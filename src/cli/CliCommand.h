// The command table of korvianet-cli. A command lives in its own file and
// registers itself with a static KV_CLI_COMMAND(...) object, so adding one
// never touches the others.
#pragma once

#include <string>
#include <vector>

namespace kvcli {

// Options that come before the command word and apply to every command.
struct GlobalOptions {
    std::string device;     // --device PATH: the modem's tty, skipping discovery
    std::string configDir;  // --config-dir DIR: the settings folder
    bool verbose = false;   // -v / --verbose: diagnostic log on stderr
    std::string logFile;    // --log-file FILE: diagnostic log appended to FILE
    bool json = false;      // --json: one JSON document on standard output
};

// Exit codes shared by every command (the table is printed by --help).
enum ExitCode {
    kExitOk = 0,
    kExitFailure = 1,   // the modem refused, a database error, or done only in part
    kExitUsage = 2,     // a bad argument, named in the message
    kExitNoDevice = 3,  // no modem: none found, its port unusable, or it did not start
    kExitTimedOut = 4,  // the modem did not answer (or report) in time
};

using CommandFn = int (*)(const GlobalOptions& opts, const std::vector<std::string>& args);

struct Command {
    const char* name;     // command word, e.g. "frame"
    const char* synopsis; // one line for --help, e.g. "frame encode HEX | frame decode HEX"
    const char* help;     // a few lines of detail
    CommandFn run;
    const char* json = nullptr; // the fields of its --json document ("COMMAND --help")
};

void RegisterCommand(const Command& cmd);
const std::vector<Command>& Commands();

struct Registrar {
    explicit Registrar(const Command& cmd) { RegisterCommand(cmd); }
};

// Prints "korvianet-cli: <message>" on stderr and returns kExitUsage (see
// Fail in cli/CliOutput.h).
int UsageError(const std::string& message);

// Makes the user's database ready (the first start copies the template into
// the user data folder) and gives the file to open. On failure prints why on
// stderr and returns false; the command then ends with kExitFailure.
bool PrepareDatabase(std::string& path);

} // namespace kvcli

#define KV_CLI_CONCAT2(a, b) a##b
#define KV_CLI_CONCAT(a, b) KV_CLI_CONCAT2(a, b)
#define KV_CLI_COMMAND(...) \
    static ::kvcli::Registrar KV_CLI_CONCAT(kvCliRegistrar_, __LINE__)(::kvcli::Command{__VA_ARGS__})
