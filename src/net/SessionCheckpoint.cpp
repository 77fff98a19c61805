// The connection manager's side of the session journal (monitor thread): a
// journal begins with the connection, takes the counters of the statistics
// read every interval, is emptied when a traffic reset recorded what it held,
// and ends when the session's record is in the traffic files.
#include "net/ConnectionManager.h"

#include "log/DebugLog.h"
#include "platform/Event.h"

namespace kvnet {

void CConnectionManager::BeginJournal()
{
    MeterCleared();
    m_tLastCheckpoint = 0;
    if (m_ui.journal && !m_ui.journal->Begin())
        DEBUG_LOG(LEVEL_ST, "traffic journal not started error");
}

void CConnectionManager::CheckpointJournal()
{
    if (!m_ui.journal || !m_ui.journal->Active())
        return;
    const int64_t interval =
        m_ui.journalIntervalMs > 0 ? m_ui.journalIntervalMs : int64_t(kvtraffic::JournalIntervalSeconds()) * 1000;
    const int64_t now = kv::TickMs();
    if (m_tLastCheckpoint != 0 && now - m_tLastCheckpoint < interval)
        return;
    kvtraffic::JournalCounters c;
    c.written = int64_t(std::time(nullptr));
    c.duration = m_dwDuration.load();
    c.sent = m_dwTxBytes.load();
    c.received = m_dwRxBytes.load();
    if (!m_ui.journal->Checkpoint(c))
        DEBUG_LOG(LEVEL_ST, "traffic journal not written error");
    m_tLastCheckpoint = now;
}

void CConnectionManager::ClearJournal()
{
    if (m_ui.journal)
        m_ui.journal->Clear();
    m_tLastCheckpoint = 0;
}

void CConnectionManager::EndJournal()
{
    if (m_ui.sessionEnded)
        m_ui.sessionEnded();
    if (m_ui.journal)
        m_ui.journal->End();
    m_tLastCheckpoint = 0;
}

void CConnectionManager::MeterCleared()
{
    if (m_ui.countersCleared)
        m_ui.countersCleared();
}

// The meter sees every statistics read, so the quota is checked while the
// bytes flow. Its hang-up goes the way of Net Disconnect, and a lost-link
// redial is not armed by it.
void CConnectionManager::MeterCounters()
{
    if (!m_ui.countersRead || !m_ui.countersRead(m_dwRxBytes.load(), m_dwTxBytes.load(), m_dwDuration.load()))
        return;
    DEBUG_LOG(LEVEL_ST, "quota reached: hanging up");
    m_reconnect.UserStopped();
    m_host.EnableControl(kv::IDC_NET_DISCONNECT, false);
    RasRequest(RAS_REQ_DISCONNECT, true);
    m_host.EnableControl(kv::IDC_SETTING, true);
}

} // namespace kvnet
