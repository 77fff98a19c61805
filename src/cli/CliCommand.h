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
};

// Exit codes shared by every command.
enum ExitCode { kExitOk = 0, kExitFailure = 1, kExitUsage = 2, kExitNoDevice = 3 };

using CommandFn = int (*)(const GlobalOptions& opts, const std::vector<std::string>& args);

struct Command {
    const char* name;     // command word, e.g. "frame"
    const char* synopsis; // one line for --help, e.g. "frame encode HEX | frame decode HEX"
    const char* help;     // a few lines of detail
    CommandFn run;
};

void RegisterCommand(const Command& cmd);
const std::vector<Command>& Commands();

struct Registrar {
    explicit Registrar(const Command& cmd) { RegisterCommand(cmd); }
};

// Prints "korvianet-cli: <message>" on stderr and returns kExitUsage.
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
