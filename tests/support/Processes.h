// Watching processes a test did not start itself (a fake pppd's children).
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace kvtest {

// The pids listed in a file, one a line (unreadable lines are skipped).
std::vector<pid_t> PidsIn(const std::string& path);
// Whether pid is a live process: a zombie has ended.
bool ProcessRuns(pid_t pid);

} // namespace kvtest
