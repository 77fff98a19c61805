#include "net/PppdPidFile.h"

#include "log/DebugLog.h"
#include "settings/FileUtil.h"

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <charconv>
#include <climits>
#include <thread>
#include <vector>

namespace kvnet {

namespace {

constexpr std::string_view kPrefix = "pppd-";
constexpr std::string_view kSuffix = ".pid";

// One decimal number at text[pos], skipping leading blanks.
bool TakeNumber(std::string_view text, size_t& pos, uint64_t& value)
{
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\n'))
        ++pos;
    const char* first = text.data() + pos;
    const char* last = text.data() + text.size();
    const auto r = std::from_chars(first, last, value);
    if (r.ec != std::errc() || r.ptr == first)
        return false;
    pos = size_t(r.ptr - text.data());
    return true;
}

bool AsPid(uint64_t v, pid_t& pid)
{
    if (v <= 1 || v > uint64_t(INT_MAX))
        return false;
    pid = pid_t(v);
    return true;
}

bool IsOrphan(const PppdRecord& r, const std::string& procRoot)
{
    uint64_t start = 0;
    pid_t group = 0;
    if (!ReadProcessStart(procRoot, r.pppd, start, &group) || start != r.pppdStart || group != r.pppd)
        return false;
    uint64_t ownerStart = 0;
    // The owner still runs: the pppd is its, not an orphan.
    return !(ReadProcessStart(procRoot, r.owner, ownerStart) && ownerStart == r.ownerStart);
}

} // namespace

std::string FormatPppdRecord(const PppdRecord& r)
{
    return std::to_string(r.pppd) + " " + std::to_string(r.pppdStart) + " " + std::to_string(r.owner) + " " +
           std::to_string(r.ownerStart) + "\n";
}

bool ParsePppdRecord(std::string_view text, PppdRecord& out)
{
    size_t pos = 0;
    uint64_t v[4];
    for (uint64_t& x : v)
        if (!TakeNumber(text, pos, x))
            return false;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\n'))
        ++pos;
    if (pos != text.size() || v[1] == 0 || v[3] == 0)
        return false;
    PppdRecord r;
    if (!AsPid(v[0], r.pppd) || !AsPid(v[2], r.owner))
        return false;
    r.pppdStart = v[1];
    r.ownerStart = v[3];
    out = r;
    return true;
}

bool ReadProcessStart(const std::string& procRoot, pid_t pid, uint64_t& start, pid_t* group)
{
    std::string text;
    if (pid <= 0 || !kv::ReadWholeFile(procRoot + "/" + std::to_string(pid) + "/stat", text))
        return false;
    // The command name may hold anything, ')' included: the fields start
    // after the last ')'.
    const size_t close = text.rfind(')');
    if (close == std::string::npos)
        return false;
    std::string_view rest(text);
    rest.remove_prefix(close + 1);
    // Fields from 3 on: state, ppid, pgrp, ... starttime is field 22.
    size_t pos = 0;
    while (pos < rest.size() && rest[pos] == ' ')
        ++pos;
    if (pos >= rest.size() || rest[pos] == 'Z' || rest[pos] == 'X')
        return false; // a zombie has ended: nothing to hang up
    ++pos;
    uint64_t field = 0;
    for (int n = 4; n <= 22; ++n) {
        if (!TakeNumber(rest, pos, field)) {
            // pgrp and the like are never negative; tty_nr may be: skip it.
            if (pos < rest.size() && rest[pos] == '-' && n != 5 && n != 22) {
                ++pos;
                if (!TakeNumber(rest, pos, field))
                    return false;
            } else {
                return false;
            }
        }
        if (n == 5 && group)
            *group = field <= uint64_t(INT_MAX) ? pid_t(field) : 0;
    }
    start = field;
    return true;
}

std::string PppdRecordPath(const std::string& dir, pid_t pppd)
{
    return dir + "/" + std::string(kPrefix) + std::to_string(pppd) + std::string(kSuffix);
}

bool WritePppdRecord(const std::string& dir, const std::string& procRoot, pid_t pppd)
{
    if (dir.empty())
        return false;
    PppdRecord r;
    r.pppd = pppd;
    r.owner = ::getpid();
    if (!ReadProcessStart(procRoot, pppd, r.pppdStart) || !ReadProcessStart(procRoot, r.owner, r.ownerStart))
        return false;
    return kv::ReplaceFileAtomically(PppdRecordPath(dir, pppd), FormatPppdRecord(r));
}

void RemovePppdRecord(const std::string& dir, pid_t pppd)
{
    if (!dir.empty())
        ::unlink(PppdRecordPath(dir, pppd).c_str());
}

int HangUpOrphanedPppd(const std::string& dir, const std::string& procRoot, int graceMs)
{
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            const std::string_view n = e->d_name;
            if (n.size() > kPrefix.size() + kSuffix.size() && n.substr(0, kPrefix.size()) == kPrefix &&
                n.substr(n.size() - kSuffix.size()) == kSuffix)
                names.emplace_back(n);
        }
        ::closedir(d);
    }
    int hungUp = 0;
    for (const std::string& n : names) {
        const std::string path = dir + "/" + n;
        std::string text;
        PppdRecord r;
        const bool read = kv::ReadWholeFile(path, text) && text.size() < 256 && ParsePppdRecord(text, r);
        if (read) {
            uint64_t ownerStart = 0;
            if (ReadProcessStart(procRoot, r.owner, ownerStart) && ownerStart == r.ownerStart)
                continue; // a running copy of us owns it
        }
        if (read && IsOrphan(r, procRoot)) {
            DEBUG_LOG(LEVEL_RAS, "pppd %d outlived its owner %d: hanging it up\n", int(r.pppd), int(r.owner));
            ::kill(-r.pppd, SIGTERM);
            uint64_t start = 0;
            for (int t = 0; t < graceMs && ReadProcessStart(procRoot, r.pppd, start) && start == r.pppdStart; t += 50)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (ReadProcessStart(procRoot, r.pppd, start) && start == r.pppdStart)
                ::kill(-r.pppd, SIGKILL);
            ++hungUp;
        }
        ::unlink(path.c_str());
    }
    return hungUp;
}

} // namespace kvnet
