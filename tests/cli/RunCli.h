// Runs the built korvianet-cli with arguments and collects what it says.
#pragma once

#include <string>
#include <vector>

namespace kvtest {

struct CliResult {
    int exitCode = -1; // -1: did not exit normally
    std::string out;
    std::string err;
};

// Runs korvianet-cli args... and waits for it (at most 30 s, then killed).
// With uid >= 0 (and root) the program runs as that user and group.
CliResult RunCli(const std::vector<std::string>& args, int uid = -1);
// The same for another copy of the program.
CliResult RunProgram(const std::string& program, const std::vector<std::string>& args, int uid = -1);

} // namespace kvtest
