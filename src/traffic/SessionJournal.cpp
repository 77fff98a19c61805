// The running session's journal: the writer (lock, checkpoints, end) and the
// fold of journals whose writer is gone.
#include "traffic/SessionJournal.h"

#include "settings/DataDir.h"
#include "settings/FileUtil.h"
#include "settings/Profile.h"
#include "settings/SettingsKeys.h"
#include "traffic/TrafficRecords.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kvtraffic {

namespace {

constexpr const char* kMagic = "korvianet session journal 1";
constexpr const char* kJournalExt = ".journal";
constexpr const char* kLockExt = ".lock";
// A journal is a few dozen bytes; anything much larger is not one of ours.
constexpr off_t kMaxJournalBytes = 4096;
// Checkpoint times before this (2000-01-01) are a clock that was never set.
constexpr int64_t kEarliestPlausible = 946684800;

bool EndsWith(const std::string& s, const char* ext)
{
    const size_t n = std::strlen(ext);
    return s.size() > n && s.compare(s.size() - n, n, ext) == 0;
}

// Decimal digits only, no sign, no blanks, at most max.
bool ParseUnsigned(const std::string& s, uint64_t max, uint64_t& out)
{
    if (s.empty() || s.size() > 20)
        return false;
    uint64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        const uint64_t d = uint64_t(c - '0');
        if (v > (max - d) / 10)
            return false;
        v = v * 10 + d;
    }
    out = v;
    return true;
}

// "<key> <number>" with nothing else on the line.
bool ReadField(const std::string& line, const char* key, uint64_t max, uint64_t& out)
{
    const size_t n = std::strlen(key);
    if (line.size() <= n + 1 || line.compare(0, n, key) != 0 || line[n] != ' ')
        return false;
    return ParseUnsigned(line.substr(n + 1), max, out);
}

// Opens (creating when missing) a lock file without following a link.
int OpenLock(const std::string& path)
{
    return ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
}

bool TryLock(int fd)
{
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno != EINTR)
            return false;
    }
}

// The three traffic files get the record with the given time (the journal's
// last checkpoint): a session that crashed on the last day of a month
// belongs to that month, not to the one in which the program ran next.
bool AppendWithTime(const TrafficRecord& record)
{
    const std::string prefix =
        kv::GetProfileString(kv::kSecCurDir, kv::kKeyDir, "", kv::kBufPath, kv::kIniDialer);
    if (prefix.empty() || prefix[0] != '/')
        kv::EnsureUserDataDir();
    bool all = true;
    for (const char* file : {kTrafficFileAll, kTrafficFileMirror, kTrafficFileLast})
        all = AppendTrafficRecordToFile(kv::DataFilePath(prefix, file), record) && all;
    return all;
}

// Reads a journal without following a link; why says what was wrong.
bool ReadJournal(const std::string& path, JournalCounters& out, std::string& why, bool& missing)
{
    missing = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        missing = errno == ENOENT;
        why = errno == ELOOP ? "a symbolic link" : std::strerror(errno);
        return false;
    }
    struct stat st {};
    std::string text;
    bool ok = ::fstat(fd, &st) == 0;
    if (!ok)
        why = std::strerror(errno);
    else if (!S_ISREG(st.st_mode))
        why = "not a regular file", ok = false;
    else if (st.st_uid != ::geteuid())
        why = "owned by another user", ok = false;
    else if (st.st_size > kMaxJournalBytes)
        why = "too large (" + std::to_string(st.st_size) + " bytes)", ok = false;
    if (ok) {
        char buf[kMaxJournalBytes + 1];
        size_t have = 0;
        for (;;) {
            const ssize_t n = ::read(fd, buf + have, sizeof buf - have);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                why = std::strerror(errno);
                ok = false;
                break;
            }
            if (n == 0)
                break;
            have += size_t(n);
            if (have == sizeof buf) {
                why = "too large";
                ok = false;
                break;
            }
        }
        text.assign(buf, have);
    }
    ::close(fd);
    return ok && DecodeSessionJournal(text, out, &why);
}

} // namespace

std::string EncodeSessionJournal(const JournalCounters& c)
{
    return std::string(kMagic) + "\nwritten " + std::to_string(c.written) + "\nduration " + std::to_string(c.duration)
           + "\nsent " + std::to_string(c.sent) + "\nreceived " + std::to_string(c.received) + "\n";
}

bool DecodeSessionJournal(const std::string& text, JournalCounters& out, std::string* why)
{
    auto fail = [why](const char* what) {
        if (why)
            *why = what;
        return false;
    };
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t nl = text.find('\n', pos);
        if (nl == std::string::npos)
            return fail("the last line is not ended");
        lines.push_back(text.substr(pos, nl - pos));
        pos = nl + 1;
        if (lines.size() > 5)
            return fail("more lines than a journal holds");
    }
    if (lines.size() != 5 || lines[0] != kMagic)
        return fail("not a session journal");
    constexpr uint64_t k32 = std::numeric_limits<uint32_t>::max();
    constexpr uint64_t k63 = uint64_t(std::numeric_limits<int64_t>::max());
    uint64_t written = 0, duration = 0, sent = 0, received = 0;
    if (!ReadField(lines[1], "written", k63, written))
        return fail("bad checkpoint time");
    if (!ReadField(lines[2], "duration", k32, duration))
        return fail("bad duration");
    if (!ReadField(lines[3], "sent", k32, sent))
        return fail("bad sent bytes");
    if (!ReadField(lines[4], "received", k32, received))
        return fail("bad received bytes");
    out.written = int64_t(written);
    out.duration = uint32_t(duration);
    out.sent = uint32_t(sent);
    out.received = uint32_t(received);
    return true;
}

std::string SessionJournalDir()
{
    const std::string data = kv::UserDataDir();
    return data.empty() ? std::string() : data + "/sessions";
}

int JournalIntervalSeconds()
{
    const char* env = std::getenv(kJournalSecondsEnv);
    uint64_t v = 0;
    if (env && ParseUnsigned(env, 3600, v) && v >= 1)
        return int(v);
    return 60;
}

// ---------------------------------------------------------------------------
// Writer

CSessionJournal::CSessionJournal(std::string dir) : m_dir(std::move(dir)) {}

CSessionJournal::~CSessionJournal()
{
    // Ended without its record (the process leaves mid-session): the
    // journal stays for the next start, the lock goes with the descriptor.
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

std::string CSessionJournal::JournalPath() const { return m_dir + "/" + m_name + kJournalExt; }
std::string CSessionJournal::LockPath() const { return m_dir + "/" + m_name + kLockExt; }

bool CSessionJournal::Begin()
{
    if (m_lockFd >= 0)
        End();
    if (m_dir.empty() || !kv::EnsureUserDataDir() || !kv::MakeOwnerDirs(m_dir))
        return false;
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
    // Unique per session, so a new session never takes over a name another
    // process is folding.
    m_name = "s" + std::to_string(::getpid()) + "-" + std::to_string(us);
    const int fd = ::open(LockPath().c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    // A fold cleaning up left-over locks may have taken this one between
    // its creation and the flock and removed it: a lock that is no longer
    // the file at its name guards nothing.
    struct stat held {}, named {};
    if (!TryLock(fd) || ::fstat(fd, &held) != 0 || ::lstat(LockPath().c_str(), &named) != 0
        || held.st_ino != named.st_ino || held.st_dev != named.st_dev) {
        ::close(fd);
        return false;
    }
    m_lockFd = fd;
    return true;
}

bool CSessionJournal::Checkpoint(const JournalCounters& c)
{
    if (m_lockFd < 0)
        return false;
    return kv::ReplaceFileAtomically(JournalPath(), EncodeSessionJournal(c));
}

void CSessionJournal::Clear()
{
    if (m_lockFd >= 0)
        ::unlink(JournalPath().c_str());
}

void CSessionJournal::End()
{
    if (m_lockFd < 0)
        return;
    // The journal before the lock: a fold that finds the lock free then
    // finds no journal to count twice.
    ::unlink(JournalPath().c_str());
    ::unlink(LockPath().c_str());
    ::close(m_lockFd);
    m_lockFd = -1;
}

// ---------------------------------------------------------------------------
// Fold

FoldReport FoldEndedSessionJournals(const std::string& dir, const std::function<bool(const TrafficRecord&)>& append)
{
    FoldReport report;
    if (dir.empty())
        return report;
    struct stat dst {};
    if (::lstat(dir.c_str(), &dst) != 0)
        return report; // no session ever ran here
    if (!S_ISDIR(dst.st_mode) || dst.st_uid != ::geteuid()) {
        report.lines.push_back("traffic journal folder " + dir + " refused: not a folder of this user");
        return report;
    }
    std::vector<std::string> journals, locks;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name.empty() || name[0] == '.')
                continue;
            if (EndsWith(name, kJournalExt))
                journals.push_back(name.substr(0, name.size() - std::strlen(kJournalExt)));
            else if (EndsWith(name, kLockExt))
                locks.push_back(name.substr(0, name.size() - std::strlen(kLockExt)));
        }
        ::closedir(d);
    }
    const int64_t now = int64_t(std::time(nullptr));
    for (const std::string& base : journals) {
        const std::string journal = dir + "/" + base + kJournalExt;
        const std::string lock = dir + "/" + base + kLockExt;
        const int fd = OpenLock(lock);
        if (fd < 0) {
            report.lines.push_back("traffic journal " + journal + " refused: its lock cannot be opened ("
                                   + std::strerror(errno) + ")");
            ++report.refused;
            ::unlink(journal.c_str());
            continue;
        }
        if (!TryLock(fd)) {
            ++report.live; // its writer runs: never ours to fold
            ::close(fd);
            continue;
        }
        JournalCounters c;
        std::string why;
        bool missing = false;
        if (ReadJournal(journal, c, why, missing)) {
            if (c.received != 0) {
                TrafficRecord r;
                r.time = c.written >= kEarliestPlausible && c.written <= now ? c.written : now;
                r.duration = c.duration;
                r.bytesSent = c.sent;
                r.bytesReceived = c.received;
                const bool ok = append ? append(r) : AppendWithTime(r);
                report.lines.push_back("traffic journal of an ended session folded: " + std::to_string(c.duration)
                                       + " ms, received " + std::to_string(c.received) + " bytes, sent "
                                       + std::to_string(c.sent) + " bytes"
                                       + (ok ? "" : " (a traffic file could not be written)"));
                ++report.folded;
            }
        } else if (!missing) {
            report.lines.push_back("traffic journal " + journal + " refused: " + why);
            ++report.refused;
        }
        kv::RemoveStaleTemporaries(journal);
        ::unlink(journal.c_str());
        ::unlink(lock.c_str());
        ::close(fd);
    }
    // Locks of sessions that ended before their first checkpoint.
    for (const std::string& base : locks) {
        const std::string lock = dir + "/" + base + kLockExt;
        struct stat st {};
        if (::lstat((dir + "/" + base + kJournalExt).c_str(), &st) == 0)
            continue;
        const int fd = ::open(lock.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) {
            if (errno == ELOOP)
                ::unlink(lock.c_str());
            continue;
        }
        if (TryLock(fd))
            ::unlink(lock.c_str());
        ::close(fd);
    }
    return report;
}

} // namespace kvtraffic
