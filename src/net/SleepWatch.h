// Suspend and resume, as logind announces them on the system bus. logind
// sends org.freedesktop.login1.Manager.PrepareForSleep(true) before the
// machine sleeps and PrepareForSleep(false) after it woke up; a "delay"
// inhibitor lock (Manager.Inhibit("sleep", ..., "delay") -> fd) makes it wait
// for us, at most its InhibitDelayMaxSec (5 s by default), until the fd is
// closed.
//
// The watch runs one thread of its own with its own bus connection (sd-bus
// from libsystemd): it polls the bus fd and a stop fd with a bounded wait,
// takes the lock while holdLock() says so and drops it when not, and calls
// beforeSleep() and afterResume() on that thread. The lock is released once
// beforeSleep() has returned and is taken again only after the resume. No
// bus or no logind: logged once, and the program carries on without it.
// Only the signals of the current owner of org.freedesktop.login1 count.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace kvnet {

// The system bus's address: KORVIANET_SYSTEM_BUS_ADDRESS when set (tests
// give a private bus), else "" for the default system bus.
inline constexpr const char* kSystemBusAddressEnv = "KORVIANET_SYSTEM_BUS_ADDRESS";
std::string SystemBusAddress();

struct SleepWatchHooks {
    // Whether a delay lock should be held now (a session is up). Asked on
    // the watch thread about every quarter second; must not block.
    std::function<bool()> holdLock;
    // The machine is about to sleep. Bounded; the lock goes after it.
    std::function<void()> beforeSleep;
    // The machine woke up.
    std::function<void()> afterResume;
    // One line for the log of what happened (optional).
    std::function<void(const std::string&)> note;
};

class CSleepWatch {
public:
    explicit CSleepWatch(SleepWatchHooks hooks, std::string address = SystemBusAddress());
    ~CSleepWatch();
    CSleepWatch(const CSleepWatch&) = delete;
    CSleepWatch& operator=(const CSleepWatch&) = delete;

    // Starts the thread (once). False only when the thread cannot start;
    // a bus that cannot be reached is the thread's to report.
    bool Start();
    // Asks the thread to stop and joins it (prompt: the waits are bounded).
    void Stop();

    // The bus connection is up and the signal is listened to.
    bool Listening() const { return m_bListening.load(); }
    // The watch gave up (no bus, or the bus went away).
    bool Ended() const { return m_bEnded.load(); }
    bool LockHeld() const { return m_bLockHeld.load(); }

private:
    struct Bus;
    void ThreadMain();
    void Note(const std::string& line);

    SleepWatchHooks m_hooks;
    std::string m_address;
    std::thread m_thread;
    int m_stopFd = -1;
    std::atomic<bool> m_bListening{false};
    std::atomic<bool> m_bEnded{false};
    std::atomic<bool> m_bLockHeld{false};
};

} // namespace kvnet
