// The user's hooks: each executable regular file in hooks.d of the settings
// folder runs on the owner's events, in name order, one event at a time and
// in the order the events came.
//
// A hook is started directly (posix_spawn, argv[0] its file name, never
// through a shell), in a process group of its own, in the hooks folder,
// with stdin /dev/null and the event in KORVIANET_* variables (HookEnv.h).
// Its stdout and stderr lines go to the diagnostic log with its name. One
// that runs past the time limit gets SIGTERM, and SIGKILL after a grace, to
// its whole group. Names starting with '.', folders, non-executables and
// files another user could have written (owned by someone else but root,
// or writable by group or others) are skipped; so is the whole folder when
// another user could write it.
//
// The listener call only queues (a bounded queue: an event that does not
// fit is dropped and logged); one worker thread runs the hooks.
#pragma once

#include "host/OwnerEvents.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>

namespace kvnotify {

inline constexpr const char* kHooksFolder = "hooks.d";
inline constexpr int kHookTimeoutMs = 10000;
inline constexpr int kHookGraceMs = 2000;
inline constexpr size_t kHookQueueMax = 32;
inline constexpr size_t kHookLineMax = 1000;   // longer output lines are cut
inline constexpr int kHookLinesMax = 200;      // lines logged per run

// <settings folder>/hooks.d
std::string HooksDir();

struct HookRunnerOptions {
    std::string dir;                 // "": HooksDir(), read at each event
    int timeoutMs = kHookTimeoutMs;
    int graceMs = kHookGraceMs;      // between SIGTERM and SIGKILL
    size_t queueMax = kHookQueueMax;
    // One line for the log (optional; called on the worker thread, and on
    // the caller's for a dropped event).
    std::function<void(const std::string&)> note;
};

class CHookRunner : public kv::IOwnerListener {
public:
    explicit CHookRunner(HookRunnerOptions options = {});
    ~CHookRunner() override;
    CHookRunner(const CHookRunner&) = delete;
    CHookRunner& operator=(const CHookRunner&) = delete;

    // Starts the worker (once); false only when it cannot start.
    bool Start();
    // Stops the worker: a running hook is ended (SIGTERM, then SIGKILL),
    // the events still queued are dropped.
    void Stop();

    void OnOwnerEvent(const kv::OwnerEvent& event) override;

    // Waits until every queued event has been handled; false at the limit.
    bool WaitIdle(int timeoutMs);

private:
    void ThreadMain();
    void RunEvent(const kv::OwnerEvent& event);
    void RunHook(const std::string& dir, const std::string& name, const kv::OwnerEvent& event);
    void Note(const std::string& line);

    HookRunnerOptions m_opt;
    std::thread m_thread;
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<kv::OwnerEvent> m_queue;
    bool m_stop = false;
    bool m_running = false; // between Start and Stop
    bool m_busy = false;
};

} // namespace kvnotify
