// The single-instance lock "tealfin_one_process": an flock()ed file in
// $XDG_RUNTIME_DIR (else /tmp). The kernel drops the lock when the process
// ends in any way, kill -9 included, so a crashed run never blocks the next.
#pragma once

#include <string>

namespace kv {

inline constexpr const char* kSingleInstanceName = "tealfin_one_process";

class CSingleInstance {
public:
    explicit CSingleInstance(const std::string& name = kSingleInstanceName);
    ~CSingleInstance();
    CSingleInstance(const CSingleInstance&) = delete;
    CSingleInstance& operator=(const CSingleInstance&) = delete;

    // Takes the lock without waiting. True when this object holds it; false
    // when another process (or another object in this one) does, or the
    // lock file cannot be opened.
    bool Acquire();
    // Gives the lock up (also done by the destructor).
    void Release();
    bool Held() const { return m_fd >= 0; }

    // The lock file's path: <runtime dir>/<name>.lock.
    static std::string LockPath(const std::string& name = kSingleInstanceName);

private:
    std::string m_strName;
    int m_fd = -1;
};

} // namespace kv
