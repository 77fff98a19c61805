// The single-instance lock "tealfin_one_process": an flock()ed file in the
// private runtime folder (platform/RuntimeDir.h). The kernel drops the lock
// when the process ends in any way, kill -9 included, so a crashed run never
// blocks the next.
#pragma once

#include <string>

namespace kv {

inline constexpr const char* kSingleInstanceName = "tealfin_one_process";

class CSingleInstance {
public:
    enum class Result {
        Held,   // this object holds the lock
        Busy,   // another process (or another object in this one) holds it
        Failed, // the lock file could not be opened or locked: FailureText()
    };

    explicit CSingleInstance(const std::string& name = kSingleInstanceName);
    ~CSingleInstance();
    CSingleInstance(const CSingleInstance&) = delete;
    CSingleInstance& operator=(const CSingleInstance&) = delete;

    // Takes the lock without waiting.
    Result Acquire();
    // Why the last Acquire failed: the lock file's path and the system's
    // reason.
    const std::string& FailureText() const { return m_strFailure; }
    // Gives the lock up (also done by the destructor).
    void Release();
    bool Held() const { return m_fd >= 0; }

    // The lock file's path: <runtime folder>/<name>.lock. The runtime folder
    // is made (if it can be) by this call.
    static std::string LockPath(const std::string& name = kSingleInstanceName);

private:
    std::string m_strName;
    std::string m_strFailure;
    int m_fd = -1;
};

} // namespace kv
