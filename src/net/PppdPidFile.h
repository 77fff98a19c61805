// Our record of each pppd we started, one file per pppd in the private
// runtime folder ("pppd-<pid>.pid"), so that a run after a crash (of us and
// of the keeper: PppdKeeper.h) finds a pppd that nobody hangs up any more.
//
// A pid alone cannot say whether it is still our pppd: pids are reused. The
// record also holds the process's start time (field 22 of /proc/<pid>/stat)
// and the same two facts of the process that started it. A pppd counts as an
// orphan only when it is alive with the recorded start time, still leads its
// own process group, and its owner is gone; any other record is stale and is
// removed without a signal to anyone.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace kvnet {

struct PppdRecord {
    pid_t pppd = 0;
    uint64_t pppdStart = 0;
    pid_t owner = 0;
    uint64_t ownerStart = 0;
};

std::string FormatPppdRecord(const PppdRecord& r);
// False for anything but four positive numbers in range.
bool ParsePppdRecord(std::string_view text, PppdRecord& out);

// A process's start time and process group from <procRoot>/<pid>/stat.
bool ReadProcessStart(const std::string& procRoot, pid_t pid, uint64_t& start, pid_t* group = nullptr);

std::string PppdRecordPath(const std::string& dir, pid_t pppd);
// Writes the record of a pppd started by this process; false on failure.
bool WritePppdRecord(const std::string& dir, const std::string& procRoot, pid_t pppd);
void RemovePppdRecord(const std::string& dir, pid_t pppd);

// Hangs up every orphaned pppd recorded in dir (SIGTERM to its group, SIGKILL
// after graceMs) and removes the records of orphans and stale ones. Returns
// how many orphans were hung up.
int HangUpOrphanedPppd(const std::string& dir, const std::string& procRoot, int graceMs = 3000);

} // namespace kvnet
