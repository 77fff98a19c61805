// The RAS monitor thread: one loop that paces itself on the RAS event
// (500 ms), runs the request in m_nRasState and then takes the next one from
// the head of the queue. Every way out of the loop clears m_nRasState after
// the thread's final window call, so a stop that waits for 0 always ends and
// may then join the thread; the running flag is cleared after that, last.
#include "net/ConnectionManager.h"

#include "log/DebugLog.h"

namespace kvnet {

using kv::IND_CALL;
using kv::IND_1046;

void CConnectionManager::ThreadMain()
{
    kv::ModemState& st = m_host.State();
    m_bConnected = false;
    m_tDialTextSince = 0;
    for (;;) {
        if (!EventAlive())
            break;
        m_rasEvent.Wait(kMonitorPeriodMs);
        if (!EventAlive())
            break;
        const uint8_t state = st.m_nRasState.load();
        bool keepGoing = true;
        switch (state) {
        case RAS_REQ_CONNECT: DoConnect(); break;
        case RAS_REQ_MONITOR: DoMonitor(); break;
        case RAS_REQ_LOOK: DoLook(); break;
        case RAS_REQ_DISCONNECT:
        case RAS_REQ_TERMINATE: keepGoing = DoDisconnect(state); break;
        case RAS_REQ_RESET: DoReset(); break;
        default: break;
        }
        if (!keepGoing)
            break;
        std::lock_guard<std::mutex> g(m_queueLock);
        if (!m_RasRequests.empty()) {
            st.m_nRasState = m_RasRequests.front();
            m_RasRequests.pop_front();
        }
    }
    st.m_nRasState = 0;
    // A removal in progress waits for this state: the pulses given on the
    // way out came before it was clear.
    if (m_ui.pulseRemoval)
        m_ui.pulseRemoval();
    // "Not running" is the thread's last word: whoever waits for it (a stop,
    // the command-line tool, a test) then sees every call the thread made,
    // the final pulse included.
    m_bThreadAlive = false;
    m_host.Wake();
}

void CConnectionManager::ReportDialFailure(const std::string& text)
{
    m_strDialFailure = text;
    m_host.MessageBox(text, kv::MsgIcon::Information);
}

bool CConnectionManager::DialUp()
{
    CRasClient* client = m_pClient.get();
    if (!client)
        return false;
    CRasClient::ClearDialError();
    std::string user, password, dial;
    {
        std::lock_guard<std::mutex> g(m_textLock);
        user = m_strUserName;
        password = m_strPassword;
        dial = m_strDialString;
    }
    if (client->Handle() == 0) {
        const int rc = client->Dial(kEntryLabel, dial, user, password, "", kPhonebook);
        if (rc != RAS_OK) {
            // A dial that cannot start has no state to wait for.
            std::string text;
            client->GetErrorText(rc, 0, text);
            DEBUG_LOG(LEVEL_RAS, "dial not started: %d %s\n", rc, text.c_str());
            ReportDialFailure(text);
            return false;
        }
    }
    m_nRasFailCount = 0;
    std::string text;
    bool connected = false;
    int adoptedFailures = 0;
    for (;;) {
        if (RasRequestPending(RAS_REQ_TERMINATE) || RasRequestPending(RAS_REQ_DISCONNECT) || !EventAlive())
            return false;
        const int ended = client->GetDialState(text, connected);
        m_host.ShowControl(kv::IDC_MESSAGE_LINE, true);
        SetEntryError(text);
        m_host.AppendMessageLine(text, true);
        if (ended)
            break;
        kv::SleepMs(kDialPollMs);
        if (const int err = CRasClient::DialError(); err != 0) {
            std::string errText;
            client->GetErrorText(err, CRasClient::DialExtendedError(), errText);
            ReportDialFailure(errText);
            return false;
        }
        RasHandle h = 0;
        if (!client->FindConnection(kEntryLabel, h) && (m_ucConnFlags.load() & kConnAdopted)) {
            if (++adoptedFailures >= kMaxAdoptedDialFailures)
                return false;
        }
    }
    // A dial that ended on an error reports it even when the state came first.
    if (!connected) {
        if (const int err = CRasClient::DialError(); err != 0) {
            std::string errText;
            client->GetErrorText(err, CRasClient::DialExtendedError(), errText);
            ReportDialFailure(errText);
        }
    }
    return connected;
}

void CConnectionManager::DoConnect()
{
    m_bConnected = true;
    m_tDialTextSince = 0;
    m_strDialFailure.clear();
    NoteChange();
    m_dwBaseline = 0;
    m_host.SetIndicator(IND_1046, 0);
    m_host.ShowControl(kv::IDC_NET_CONNECT, false);
    m_host.EnableControl(kv::IDC_NET_DISCONNECT, true);
    m_host.ShowControl(kv::IDC_NET_DISCONNECT, true);
    m_host.ShowControl(kDurationLineId, true);
    if (DialUp()) {
        RasRequestRemove(RAS_REQ_LOOK);
        RasRequest(RAS_REQ_MONITOR, false);
        m_pStats = std::make_unique<RasStats>();
        BeginJournal();
        NoteConnected(true);
        const std::string number = m_ui.dialPadNumber ? m_ui.dialPadNumber() : std::string();
        if (DialPadShown() && !number.empty()) {
            m_host.AppendMessageLine(number, true);
        } else {
            m_tDialTextSince = kv::TickMs();
            m_host.StartTimer(kv::TIMER_RESTORE_MESSAGE_LINE, kDialTextMs);
        }
        m_host.SetIndicator(IND_CALL, 128);
    } else {
        DEBUG_LOG(LEVEL_ST, "%s", raslog::kThreadError);
        m_host.EnableControl(kv::IDC_NET_CONNECT, true);
        RasRequest(RAS_REQ_DISCONNECT, true);
    }
    m_nRasFailCount = 0;
}

void CConnectionManager::LostCheck()
{
    if (++m_nRasFailCount >= kMaxFailedChecks) {
        NoteLinkLost();
        RasRequest(RAS_REQ_DISCONNECT, true);
        SetDurationText(rastext::kLostDuration);
        m_host.EnableControl(kv::IDC_SETTING, true);
    }
}

void CConnectionManager::DoMonitor()
{
    CRasClient* client = m_pClient.get();
    if (!client)
        return;
    RasStats stats;
    if (client->GetStatistics(m_pStats ? m_pStats.get() : &stats)) {
        const RasStats& s = m_pStats ? *m_pStats : stats;
        const uint32_t base = m_dwBaseline.load();
        // A baseline beyond the connection's age (a reset taken from another
        // connection's figures) counts from zero, never wraps.
        const uint32_t duration = s.connectDurationMs >= base ? s.connectDurationMs - base : 0;
        m_dwConnectDuration = s.connectDurationMs;
        m_dwDuration = duration;
        DEBUG_LOG(LEVEL_ST, raslog::kRasStats, int(s.connectDurationMs), int(base), int(duration));
        {
            std::lock_guard<std::mutex> g(m_textLock);
            m_strDurationText = FormatDuration(s.connectDurationMs, duration);
        }
        m_dwRxBytes = s.bytesRcved;
        m_dwTxBytes = s.bytesXmited;
        m_host.PostUserMessage(kv::MsgTarget::ModalWindow, kv::UM_CONFIG_UPDATE, kv::CONFIG_UPDATE_TRAFFIC, 0);
        CheckpointJournal();
        MeterCounters();
    }
    RasHandle h = 0;
    if (client->FindConnection(kEntryLabel, h)) {
        m_nRasFailCount = 0;
        RasRequest(RAS_REQ_MONITOR, false);
        ShowDuration();
        m_host.SetIndicator(IND_CALL, 128);
    } else {
        LostCheck();
    }
}

void CConnectionManager::DoLook()
{
    if (MaybeResumeDial() || MaybeReconnect())
        return;
    CRasClient* client = m_pClient.get();
    NoteChange();
    RasHandle h = 0;
    if (client && client->FindConnection(kEntryLabel, h)) {
        m_dwBaseline = 0;
        DEBUG_LOG(LEVEL_ST, "%s", raslog::kExternConnecting);
        RasRequestRemove(RAS_REQ_LOOK);
        RasRequest(RAS_REQ_CONNECT, false);
        client->SetHandle(h);
        m_ucConnFlags |= kConnAdopted;
        m_bConnected = true;
    } else {
        RasRequest(RAS_REQ_LOOK, false);
    }
}

void CConnectionManager::AppendRecord()
{
    kvtraffic::TrafficRecord r;
    r.time = int64_t(std::time(nullptr));
    r.duration = m_dwDuration.load();
    r.bytesSent = m_dwTxBytes.load();
    r.bytesReceived = m_dwRxBytes.load();
    if (!m_ui.appendTraffic(r))
        DEBUG_LOG(LEVEL_ST, "traffic record not written error");
    m_host.PostUserMessage(kv::MsgTarget::ModalWindow, kv::UM_CONFIG_UPDATE, kv::CONFIG_UPDATE_SESSION_ENDED, 0);
}

bool CConnectionManager::RecreateClient()
{
    std::unique_ptr<CRasClient> fresh = m_ui.makeClient();
    std::lock_guard<std::mutex> g(m_clientLock);
    m_bClientReady = false;
    if (m_pClient)
        m_pClient->Unload();
    m_pClient = std::move(fresh);
    m_bClientReady = m_pClient != nullptr;
    return m_bClientReady.load();
}

bool CConnectionManager::DoDisconnect(uint8_t code)
{
    kv::ModemState& st = m_host.State();
    // A monitor pass that queued its next check just before the disconnect
    // took the head leaves that check behind it: run after the hang-up, it
    // would put the thread back in the connected state for a whole period
    // (the engine shows data rates again, a failed check is counted). The
    // ended connection's checks and resets go with it.
    RasRequestRemove(RAS_REQ_MONITOR);
    RasRequestRemove(RAS_REQ_RESET);
    // 1.
    m_host.ShowControl(kv::IDC_NET_DISCONNECT, false);
    m_host.EnableControl(kv::IDC_NET_CONNECT, false);
    m_host.ShowControl(kDurationLineId, false);
    m_host.ShowControl(kv::IDC_NET_CONNECT, true);
    // 2.
    if (m_dwRxBytes.load() != 0)
        AppendRecord();
    EndJournal();
    // 3.
    m_dwRxBytes = 0;
    m_dwTxBytes = 0;
    m_dwDuration = 0;
    m_dwBaseline = 0;
    NoteChange();
    m_host.PostUserMessage(kv::MsgTarget::ModalWindow, kv::UM_CONFIG_UPDATE, kv::CONFIG_UPDATE_TRAFFIC, 0);
    // 4. After a failed dial, what went wrong stays on the message line (its
    // box is closed by now) instead of the disconnect's passing text.
    std::string failure;
    failure.swap(m_strDialFailure);
    if (code == RAS_REQ_DISCONNECT) {
        m_host.AppendMessageLine(failure.empty() ? rastext::kDisconnecting : failure, true);
        m_host.EnableControl(kv::IDC_SETTING, true);
    }
    // 5.
    m_ucConnFlags = 0;
    m_tDialTextSince = 0;
    if (m_bConnected) {
        if (!m_pClient || !m_pClient->HangUp(kEntryLabel))
            DEBUG_LOG(LEVEL_ST, "%s", raslog::kHangUpError);
        m_bConnected = false;
    }
    // 6. Net Connect waits for the new client (below).
    m_pStats.reset();
    if (m_pClient)
        m_pClient->SetHandle(0);
    m_nRasFailCount = 0;
    if (failure.empty() || code != RAS_REQ_DISCONNECT)
        m_host.ShowControl(kv::IDC_MESSAGE_LINE, false);
    st.m_ucDataRateA = 255;
    m_host.SetIndicator(kv::IND_DATA_RATE_A, 128);
    SetDurationText("");
    // 7.
    if (!RecreateClient()) {
        DEBUG_LOG(LEVEL_ST, "%s", raslog::kInitError);
        m_bEventAlive = false;
        DEBUG_LOG(LEVEL_ST, "%s", raslog::kThreadClose3);
        if (m_ui.pulseRemoval)
            m_ui.pulseRemoval();
        return false;
    }
    m_host.EnableControl(kv::IDC_NET_CONNECT, true);
    // 8.
    if (code == RAS_REQ_DISCONNECT) {
        DEBUG_LOG(LEVEL_ST, "%s", raslog::kRasClose);
        RasRequest(RAS_REQ_LOOK, false);
        if (failure.empty())
            m_host.StartTimer(kv::TIMER_RESTORE_MESSAGE_LINE, 2000);
        m_host.SetIndicator(IND_1046, 1);
        m_host.SetIndicator(IND_CALL, 129);
        NoteDisconnected(code);
        return true;
    }
    NoteDisconnected(code);
    // 9.
    DEBUG_LOG(LEVEL_ST, "%s", raslog::kThreadClosed1);
    if (m_ui.pulseRemoval)
        m_ui.pulseRemoval();
    return false;
}

void CConnectionManager::DoReset()
{
    if (!m_bConnected)
        return;
    CRasClient* client = m_pClient.get();
    if (!client)
        return;
    // What was counted before the reset goes to the traffic files first, or
    // the month's sums would lose it.
    if (m_dwRxBytes.load() != 0) {
        AppendRecord();
        ClearJournal();
        m_dwRxBytes = 0;
        m_dwTxBytes = 0;
        m_dwDuration = 0;
    }
    NoteChange();
    m_dwBaseline = m_dwConnectDuration.load();
    client->ClearStatistics();
    MeterCleared();
    RasHandle h = 0;
    if (client->FindConnection(kEntryLabel, h)) {
        DEBUG_LOG(LEVEL_ST, "%s", raslog::kResetOk);
        m_nRasFailCount = 0;
        RasRequest(RAS_REQ_MONITOR, false);
        SetDurationText("");
        m_host.SetIndicator(IND_CALL, 128);
    } else {
        DEBUG_LOG(LEVEL_ST, "%s", raslog::kResetFail);
        LostCheck();
    }
}

} // namespace kvnet
