// A small stand-in for logind on a private bus: it owns
// org.freedesktop.login1, serves Manager.Inhibit on /org/freedesktop/login1
// (each lock is the write end of a pipe; the lock is released when every
// copy of that end is closed) and emits Manager.PrepareForSleep on command.
// Its own thread and bus connection; every call here is thread-safe.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kvtest {

class FakeLogind {
public:
    struct InhibitCall {
        std::string what, who, why, mode;
    };

    explicit FakeLogind(std::string address);
    ~FakeLogind();
    FakeLogind(const FakeLogind&) = delete;
    FakeLogind& operator=(const FakeLogind&) = delete;

    // Connects and takes the name; false when that fails (10 s at most).
    bool Start();
    void Stop();

    // Inhibit answers with an error from now on (as a logind that refuses).
    void RefuseLocks(bool refuse) { m_bRefuse = refuse; }
    // Emits PrepareForSleep(start); returns once it is sent.
    bool EmitPrepareForSleep(bool start);

    std::vector<InhibitCall> Calls() const;
    // Locks handed out whose every fd copy is still open.
    int LocksHeld() const;

private:
    void ThreadMain();

    std::string m_address;
    std::thread m_thread;
    int m_wakeFd = -1;
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bRefuse{false};
    std::atomic<int> m_ready{0}; // 1 up, -1 failed

    mutable std::mutex m_lock;
    std::vector<InhibitCall> m_calls;
    std::vector<int> m_lockEnds; // the read ends
    std::vector<int> m_emits;    // queued PrepareForSleep arguments
    int m_emitted = 0;
    int m_queued = 0;

public:
    // For the bus callbacks only.
    void NoteInhibit(InhibitCall call, int readEnd);
    bool Refusing() const { return m_bRefuse.load(); }
};

// Emits PrepareForSleep(start) on address from a connection that does not
// own logind's name (a forged signal).
bool EmitForgedPrepareForSleep(const std::string& address, bool start);

} // namespace kvtest
