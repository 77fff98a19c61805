#include "platform/Event.h"

#include <thread>

namespace kv {

// Notifies while holding the lock: a waiter that sees the event signalled
// may destroy it at once (a "done" event on its stack), so nothing here may
// touch the event after the lock is released.
void CEvent::Set()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bSignalled = true;
    if (m_bManual)
        m_cv.notify_all();
    else
        m_cv.notify_one();
}

void CEvent::Reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bSignalled = false;
}

bool CEvent::IsSet() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bSignalled;
}

bool CEvent::Wait(int64_t timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    auto ready = [this] { return m_bSignalled; };
    if (timeoutMs < 0)
        m_cv.wait(lock, ready);
    else if (!m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready))
        return false;
    if (!m_bManual)
        m_bSignalled = false;
    return true;
}

void SleepMs(int64_t ms)
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int64_t TickMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace kv
