// Runs the built korvianet-cli with arguments and collects what it says.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace kvtest {

struct CliResult {
    int exitCode = -1; // -1: did not exit normally
    std::string out;
    std::string err;
    bool killed = false; // RunCliKilledWhen's condition held
};

// Runs korvianet-cli args... and waits for it (at most 30 s, then killed).
// With signalAfterMs >= 0 the program gets signal sig that long after it
// started.
CliResult RunCli(const std::vector<std::string>& args, int signalAfterMs = -1, int sig = 15);
// The same, run as user and group uid (when the test runs as root).
CliResult RunCliAs(const std::vector<std::string>& args, int uid);
// The same for another copy of the program; with uid >= 0 (and root) it runs
// as that user and group.
// With stdinPath, standard input is that file (else the caller's).
CliResult RunProgram(const std::string& program, const std::vector<std::string>& args, int signalAfterMs = -1,
                     int sig = 15, int uid = -1, const std::function<bool()>& killWhen = {},
                     const std::string& stdinPath = "");
// Runs korvianet-cli args... and kills it (SIGKILL) as soon as killWhen
// holds (checked every 5 ms): a crash at a chosen moment.
CliResult RunCliKilledWhen(const std::vector<std::string>& args, const std::function<bool()>& killWhen);
// korvianet-cli args... with standard input read from the file stdinPath.
CliResult RunCliWithInput(const std::vector<std::string>& args, const std::string& stdinPath);

// A password file as connect --password-file wants it (the user's own,
// owner-only) in dir, holding password; returns its path.
std::string PasswordFile(const std::string& dir, const std::string& password);

} // namespace kvtest
