// Waitable events in the manner of the serial driver and the worker threads:
// a manual-reset event stays signalled until Reset(); an auto-reset event
// releases exactly one waiter and clears itself.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace kv {

class CEvent {
public:
    explicit CEvent(bool manualReset = false, bool initialState = false)
        : m_bManual(manualReset), m_bSignalled(initialState) {}
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    void Set();
    void Reset();
    // Waits up to timeoutMs (negative: forever). True when signalled.
    bool Wait(int64_t timeoutMs = -1);
    bool IsSet() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    const bool m_bManual;
    bool m_bSignalled;
};

void SleepMs(int64_t ms);

// Milliseconds on a monotonic clock, for bounded waits and time-outs.
int64_t TickMs();

} // namespace kv
