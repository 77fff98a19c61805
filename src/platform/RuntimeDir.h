// The runtime folder: where the program keeps the files that only mean
// something while a process runs (the single-instance lock, the lock and
// status of a running `korvianet-cli connect`). It is private (0700) and
// must belong to the user:
//   $XDG_RUNTIME_DIR/korvianet            when the session has a runtime folder,
//   $XDG_CACHE_HOME/korvianet/run         else (or ~/.cache/korvianet/run),
//   /tmp/korvianet-<uid>                  only when there is no home folder
//                                         of the user's own; it is made
//                                         0700 by us and
//                                         refused if it exists owned by
//                                         someone else or open to others.
// A shared folder is never used as it is: there anyone could plant a lock, a
// pid or a status file for us to trust.
#pragma once

#include <string>
#include <sys/types.h>

namespace kv {

// The folder's path (not created).
std::string RuntimeDirPath();

// Creates the folder if it is missing and checks it. The path on success,
// "" on failure with why (if given) saying what is wrong.
std::string EnsureRuntimeDir(std::string* why = nullptr);

// A lock file in the runtime folder that marks a running process: the
// holder keeps a write lock on it (the kernel drops it when the process ends
// in any way) and writes its pid inside for information. A reader never
// trusts that pid: HolderPid asks the kernel which process holds the lock on
// this very file. The lock is an fcntl() record lock rather than an flock()
// because only a record lock tells a reader its holder's pid.
class CRunLock {
public:
    explicit CRunLock(std::string name);
    ~CRunLock();
    CRunLock(const CRunLock&) = delete;
    CRunLock& operator=(const CRunLock&) = delete;

    enum class Result { Held, Busy, Failed };
    // Takes the lock without waiting and writes this process's pid into the
    // file. Failed: the folder or the file was refused (FailureText says why).
    Result Acquire();
    void Release();
    bool Held() const { return m_fd >= 0; }
    const std::string& FailureText() const { return m_why; }

    // The pid of the process that holds the lock named name, 0 when no
    // process holds it (a missing file, a stale pid file, a file another
    // user planted: all 0).
    static pid_t HolderPid(const std::string& name);
    // The lock file's path.
    static std::string PathOf(const std::string& name);

private:
    std::string m_name;
    std::string m_why;
    int m_fd = -1;
};

} // namespace kv
