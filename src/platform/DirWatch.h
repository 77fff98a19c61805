// Change notification on one folder of the registry file tree (inotify),
// with a wake-up that any thread may give.
//
// A key that does not exist yet has no folder to watch: its nearest
// existing ancestor is watched instead, so that creating the key ends a
// wait too. Arm() is called before every wait and moves the watch to the
// folder itself once it exists (or back up when it is removed). The watch
// stays in place between two waits, so a change made between them is not
// lost: it ends the next wait at once.
#pragma once

#include <cstdint>
#include <string>

namespace kv {

class CDirWatch {
public:
    CDirWatch() = default;
    ~CDirWatch();
    CDirWatch(const CDirWatch&) = delete;
    CDirWatch& operator=(const CDirWatch&) = delete;

    // Sets up the notification and the wake-up; false when the system
    // refuses either.
    bool Create();
    bool Created() const { return m_nInotify >= 0; }
    // Watches folder (or, while it is missing, its nearest existing
    // ancestor). False when the place to watch exists but is not a folder,
    // or cannot be watched.
    bool Arm(const std::string& folder);
    // Waits up to timeoutMs for a change in the watched folder or a Wake().
    // 1 a change, 0 time-out or woken, -1 the wait failed.
    int Wait(int64_t timeoutMs);
    // Ends the current (or the next) wait early. Any thread.
    void Wake();
    // The folder being watched ("" none) and whether it is the one asked for.
    const std::string& Watched() const { return m_strWatched; }
    bool WatchingTarget() const { return m_bTarget; }
    // The last Arm() had to place the watch anew (it moved, or the watched
    // folder went away): a change made meanwhile may have gone unseen.
    bool Moved() const { return m_bMoved; }
    // Releases the notification and the wake-up; only once no thread waits.
    void Close();

private:
    void Drain();

    int m_nInotify = -1;
    int m_nWake = -1;
    int m_nWd = -1;
    bool m_bTarget = false;
    bool m_bMoved = false;
    bool m_bArmedOnce = false;
    std::string m_strWatched;
};

} // namespace kv
