// Ends the test program with a message when a test hangs past its limit:
// a wait that never ends fails at once and names itself, instead of
// holding the whole suite until the runner's time-out.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace kvtest {

class HangGuard {
public:
    HangGuard(int limitMs, std::string what) : m_what(std::move(what))
    {
        m_thread = std::thread([this, limitMs] {
            std::unique_lock<std::mutex> lk(m_lock);
            if (!m_cv.wait_for(lk, std::chrono::milliseconds(limitMs), [this] { return m_done; })) {
                std::fprintf(stderr, "HANG: %s did not finish in %d ms\n", m_what.c_str(), limitMs);
                std::fflush(stderr);
                std::_Exit(3);
            }
        });
    }
    ~HangGuard()
    {
        {
            std::lock_guard<std::mutex> g(m_lock);
            m_done = true;
        }
        m_cv.notify_all();
        m_thread.join();
    }
    HangGuard(const HangGuard&) = delete;
    HangGuard& operator=(const HangGuard&) = delete;

private:
    std::string m_what;
    std::mutex m_lock;
    std::condition_variable m_cv;
    bool m_done = false;
    std::thread m_thread;
};

} // namespace kvtest
