#include "net/SessionSleep.h"

#include "net/ConnectionManager.h"
#include "platform/Event.h"

namespace kvnet {

CSessionSleep::CSessionSleep(CConnectionManager& manager, std::function<void(const std::string&)> note,
                             std::string busAddress)
    : m_manager(manager), m_note(note), m_watch(Hooks(note), std::move(busAddress))
{
    m_watch.Start();
}

CSessionSleep::CSessionSleep(std::shared_ptr<CConnectionManager> manager,
                             std::function<void(const std::string&)> note, std::string busAddress)
    : m_keep(std::move(manager)), m_manager(*m_keep), m_note(note), m_watch(Hooks(note), std::move(busAddress))
{
    m_watch.Start();
}

CSessionSleep::~CSessionSleep()
{
    m_bStopping = true;
    m_watch.Stop();
}

SleepWatchHooks CSessionSleep::Hooks(std::function<void(const std::string&)> note)
{
    SleepWatchHooks h;
    h.holdLock = [this] { return m_manager.SessionWanted(); };
    h.beforeSleep = [this] { BeforeSleep(); };
    h.afterResume = [this] {
        if (m_manager.ResumeAfterSleep() && m_note)
            m_note("dialling again after the resume");
    };
    h.note = std::move(note);
    return h;
}

void CSessionSleep::BeforeSleep()
{
    if (!m_manager.SleepHangUp())
        return;
    if (m_note)
        m_note("hanging up before sleep");
    // The manager's thread hangs up and writes the record; only the wait is
    // here, bounded and ended by a stop.
    const int64_t end = kv::TickMs() + kHangUpWaitMs;
    while (!m_manager.SleepHangUpDone() && !m_bStopping.load() && kv::TickMs() < end)
        kv::SleepMs(20);
    if (!m_manager.SleepHangUpDone() && m_note)
        m_note("the hang-up before sleep did not end in time");
}

} // namespace kvnet
