// The connection manager's side of a suspend: the session the sleep takes
// is hung up through the queue (the monitor thread runs the disconnect, so
// the record and the journal are handled as at Net Disconnect), and after
// the resume the look pass dials it again once the modem is there.
#include "net/ConnectionManager.h"

#include "log/DebugLog.h"
#include "platform/Event.h"

namespace kvnet {

namespace {
constexpr const char* kResumeDialText = "Reconnecting after sleep...";

bool SessionState(uint8_t s) { return s == RAS_REQ_CONNECT || s == RAS_REQ_MONITOR || s == RAS_REQ_RESET; }
} // namespace

bool CConnectionManager::SessionWanted() const
{
    if (!m_bThreadAlive.load())
        return false;
    return SessionState(State()) || RasRequestPending(RAS_REQ_CONNECT) || m_reconnect.Armed();
}

bool CConnectionManager::SleepHangUp()
{
    if (!SessionWanted())
        return false;
    m_nSleepDial = kSleepDialAsleep;
    m_reconnect.UserStopped(); // nothing is dialled while asleep
    const bool dialQueued = RasRequestPending(RAS_REQ_CONNECT);
    RasRequestRemove(RAS_REQ_CONNECT);
    if (SessionState(State()) || dialQueued)
        RasRequest(RAS_REQ_DISCONNECT, true);
    DEBUG_LOG(LEVEL_ST, "sleep: the session is hung up, to be dialled again after the resume");
    return true;
}

bool CConnectionManager::SleepHangUpDone() const
{
    if (!m_bThreadAlive.load())
        return true;
    if (RasRequestPending(RAS_REQ_DISCONNECT))
        return false;
    const uint8_t s = State();
    return !SessionState(s) && s != RAS_REQ_DISCONNECT;
}

bool CConnectionManager::ResumeAfterSleep()
{
    int asleep = kSleepDialAsleep;
    m_tResumedAt = kv::TickMs();
    return m_nSleepDial.compare_exchange_strong(asleep, kSleepDialDue);
}

bool CConnectionManager::MaybeResumeDial()
{
    if (m_nSleepDial.load() != kSleepDialDue)
        return false;
    if (!CanDialByItself()) {
        if (kv::TickMs() - m_tResumedAt.load() > kResumeDialWaitMs) {
            DEBUG_LOG(LEVEL_ST, "sleep: no modem to dial over since the resume: not dialled again");
            m_nSleepDial = kSleepDialNone;
        }
        return false;
    }
    int due = kSleepDialDue;
    if (!m_nSleepDial.compare_exchange_strong(due, kSleepDialNone))
        return false; // the user pressed a button meanwhile
    DEBUG_LOG(LEVEL_ST, "sleep: dialling again after the resume");
    m_reconnect.UserConnected();
    m_host.ShowControl(kv::IDC_MESSAGE_LINE, true);
    m_host.AppendMessageLine(kResumeDialText, true);
    QueueDial();
    return true;
}

} // namespace kvnet
