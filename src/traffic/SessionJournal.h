// The journal of a running data session. The traffic files get a record only
// when a session ends, so a crash, a power cut or a kill would lose the whole
// session. While connected, the connection manager therefore writes the
// running counters every minute to a small file of our own in the user data
// folder ("sessions/<name>.journal", replaced atomically, owner-only) and
// holds an flock on its companion "<name>.lock" for as long as the session
// runs. When the session ends normally its record goes to the traffic files
// and both files are removed.
//
// A journal whose lock no one holds belongs to a session whose writer is
// gone (the kernel drops the lock with the process, so no pid is compared).
// The window and the command-line tool fold such journals into the traffic
// files as one record each at their start, so at most one interval of
// counting is lost. A journal whose writer still holds the lock is never
// touched by another process.
//
// The text format is ours and small:
//     korvianet session journal 1
//     written <seconds since 1970, UTC>
//     duration <ms>
//     sent <bytes>
//     received <bytes>
// Anything else (garbage, numbers out of range, a symlink, a file of another
// user, an oversized file) is refused with a log line and removed.
#pragma once

#include "traffic/TrafficStats.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kvtraffic {

// What a checkpoint holds: the running session's counters and when they
// were written.
struct JournalCounters {
    int64_t written = 0;
    uint32_t duration = 0;
    uint32_t sent = 0;
    uint32_t received = 0;
};

// The file's text, and its strict reader. False (why says what is wrong)
// for anything that is not exactly what Encode writes.
std::string EncodeSessionJournal(const JournalCounters& c);
bool DecodeSessionJournal(const std::string& text, JournalCounters& out, std::string* why = nullptr);

// The journal folder: "sessions" in the user data folder ("" without one).
std::string SessionJournalDir();

// Seconds between two checkpoints: 60, or KORVIANET_JOURNAL_SECONDS when it
// holds a whole number from 1 to 3600 (tests shorten it).
inline constexpr const char* kJournalSecondsEnv = "KORVIANET_JOURNAL_SECONDS";
int JournalIntervalSeconds();

// The writer side, one per running session. Not thread-safe: one thread
// (the connection manager's monitor thread) drives it.
class CSessionJournal {
public:
    explicit CSessionJournal(std::string dir = SessionJournalDir());
    ~CSessionJournal();
    CSessionJournal(const CSessionJournal&) = delete;
    CSessionJournal& operator=(const CSessionJournal&) = delete;

    // A session starts: a fresh name, its lock taken and held. False when
    // the folder or the lock cannot be made (the session then runs without
    // a journal).
    bool Begin();
    // Writes the counters (atomic replace). False when not begun or the
    // write failed (the previous checkpoint stays).
    bool Checkpoint(const JournalCounters& c);
    // The counters so far went to the traffic files (a traffic reset): the
    // journal goes, the lock stays.
    void Clear();
    // The session's record went to the traffic files: journal and lock go.
    void End();

    bool Active() const { return m_lockFd >= 0; }
    std::string JournalPath() const;
    std::string LockPath() const;

private:
    std::string m_dir;
    std::string m_name;
    int m_lockFd = -1;
};

struct FoldReport {
    int folded = 0;  // journals turned into records
    int refused = 0; // journals that were not ours to read (removed)
    int live = 0;    // journals of a running writer (left alone)
    std::vector<std::string> lines; // what was done, for the log
};

// Folds every journal in dir whose writer is gone into the traffic files as
// one record (written to the three files by append, its time the journal's
// last checkpoint, or now when that time is implausible), then removes it.
// append defaults to the traffic files under the current "Curdir" prefix.
FoldReport FoldEndedSessionJournals(const std::string& dir = SessionJournalDir(),
                                    const std::function<bool(const TrafficRecord&)>& append = {});

} // namespace kvtraffic
