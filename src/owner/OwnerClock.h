// A small timer thread of the owner: runs a callback after a delay, on its
// own thread (the callback posts to the UI thread). It sleeps without a
// deadline when nothing is due, so an idle owner costs no CPU.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace kv {

class COwnerClock {
public:
    COwnerClock();
    ~COwnerClock();
    COwnerClock(const COwnerClock&) = delete;
    COwnerClock& operator=(const COwnerClock&) = delete;

    // fn runs on the clock's thread after ms (again under the same key
    // replaces the earlier one). Dropped when the clock stops first.
    void After(int key, int64_t ms, std::function<void()> fn);
    void Cancel(int key);
    bool Pending(int key) const;
    // Ends the thread; due callbacks no longer run. Safe to call twice.
    void Stop();

private:
    struct Due {
        int64_t at;
        std::function<void()> fn;
    };
    void Main();

    mutable std::mutex m_lock;
    std::condition_variable m_cv;
    std::map<int, Due> m_due;
    bool m_bStop = false;
    std::thread m_thread;
};

} // namespace kv
