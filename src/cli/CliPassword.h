// Where a command takes a password from. Never from its arguments: every
// user on the machine can read a process's arguments (ps, /proc/PID/cmdline).
//   --password-file FILE   the first line of FILE, which must be the user's own
//                          and readable by the owner only;
//   --password -           a line from standard input; on a terminal it is
//                          asked for with the typing not shown.
#pragma once

#include <string>

namespace kvcli {

// The first line of path (without its line end). False, with why, when the
// file cannot be read, is not a regular file, is not the user's own or may be
// read by others.
bool ReadPasswordFile(const std::string& path, std::string& out, std::string& why);

// One line from standard input, with a prompt on standard error and the echo
// off when it is a terminal. Waits at most timeoutMs for the line. False, with
// why, on an error or when nothing came in time.
bool ReadPasswordInput(std::string& out, std::string& why, int timeoutMs = 120000);

// The text that refuses a password given as an argument.
inline constexpr const char* kPasswordArgRefused =
    "--password TEXT would show the password to every user in the process list: "
    "use --password-file FILE or --password - (standard input)";

} // namespace kvcli
