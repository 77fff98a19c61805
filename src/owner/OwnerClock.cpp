#include "owner/OwnerClock.h"

#include "platform/Event.h"

#include <chrono>

namespace kv {

COwnerClock::COwnerClock() : m_thread([this] { Main(); }) {}

COwnerClock::~COwnerClock() { Stop(); }

void COwnerClock::After(int key, int64_t ms, std::function<void()> fn)
{
    {
        std::lock_guard<std::mutex> g(m_lock);
        if (m_bStop)
            return;
        m_due[key] = Due{TickMs() + ms, std::move(fn)};
    }
    m_cv.notify_all();
}

void COwnerClock::Cancel(int key)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_due.erase(key);
}

bool COwnerClock::Pending(int key) const
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_due.count(key) != 0;
}

void COwnerClock::Stop()
{
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_bStop = true;
        m_due.clear();
    }
    m_cv.notify_all();
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
}

void COwnerClock::Main()
{
    std::unique_lock<std::mutex> lk(m_lock);
    while (!m_bStop) {
        if (m_due.empty()) {
            m_cv.wait(lk);
            continue;
        }
        auto next = m_due.begin();
        for (auto it = m_due.begin(); it != m_due.end(); ++it)
            if (it->second.at < next->second.at)
                next = it;
        const int64_t now = TickMs();
        if (next->second.at > now) {
            m_cv.wait_for(lk, std::chrono::milliseconds(next->second.at - now));
            continue;
        }
        std::function<void()> fn = std::move(next->second.fn);
        m_due.erase(next);
        lk.unlock();
        fn();
        lk.lock();
    }
}

} // namespace kv
