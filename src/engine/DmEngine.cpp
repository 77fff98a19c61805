// The engine thread, its queue filter, parking, start, stop and restart.
// The command handlers live in DmStatusPoll.cpp, DmStartup.cpp and DmRuim.cpp.
#include "engine/DmEngine.h"

#include "engine/DmTexts.h"
#include "host/PageButtons.h"
#include "host/PortOpenText.h"
#include "log/DebugLog.h"
#include "settings/Profile.h"

#include <algorithm>
#include <vector>

namespace kv {

namespace {

// The engines whose UI-side sub-request is under way on this thread.
thread_local std::vector<const CDmEngine*> t_subRequestsUnderWay;

class CSubRequestMark {
public:
    explicit CSubRequestMark(const CDmEngine* e) : m_e(e) { t_subRequestsUnderWay.push_back(e); }
    ~CSubRequestMark()
    {
        auto it = std::find(t_subRequestsUnderWay.rbegin(), t_subRequestsUnderWay.rend(), m_e);
        if (it != t_subRequestsUnderWay.rend())
            t_subRequestsUnderWay.erase(std::next(it).base());
    }
    CSubRequestMark(const CSubRequestMark&) = delete;
    CSubRequestMark& operator=(const CSubRequestMark&) = delete;

    static bool UnderWay(const CDmEngine* e)
    {
        return std::find(t_subRequestsUnderWay.begin(), t_subRequestsUnderWay.end(), e)
               != t_subRequestsUnderWay.end();
    }

private:
    const CDmEngine* m_e;
};

} // namespace

CDmEngine::CDmEngine(IDmHost& host, IDmLink& link) : m_host(host), m_link(link) {}

CDmEngine::~CDmEngine()
{
    if (m_bThreadRunning.load())
        StopDmEngine();
    // The thread uses this object to its end: wait for it however long.
    if (m_thread.joinable() && std::this_thread::get_id() != m_thread.get_id())
        m_thread.join();
}

bool CDmEngine::StopRequested() const
{
    if (m_bStopRequested.load())
        return true;
    const CDmQueue& q = m_host.State().m_DmRequests;
    if (q.Contains(DM_END_WORK) || q.Contains(DM_DEVICE_NULL))
        return true;
    return m_stopCheck && m_stopCheck();
}

void CDmEngine::RegisterCommand(uint16_t code, CommandFn fn) { m_commands[code] = std::move(fn); }

void CDmEngine::RegisterSubRequest(uint16_t code, SubRequestFn fn)
{
    m_subRequests[code] = std::move(fn);
}

void CDmEngine::SetPortState(uint16_t s)
{
    m_host.State().m_nPortState.store(s);
    m_host.Wake();
}

int CDmEngine::Exchange(const DiagRequest& request)
{
    m_replyLength = 0;
    return m_link.Transact(request, m_reply.data(), m_reply.size(), m_replyLength);
}

void CDmEngine::JoinThreadIfDone()
{
    if (m_thread.joinable() && !m_bThreadRunning.load()
        && std::this_thread::get_id() != m_thread.get_id())
        m_thread.join();
}

// ---------------------------------------------------------------------------
// Start and stop

bool CDmEngine::UserDmRestart()
{
    ModemState& st = State();
    DEBUG_LOG(LEVEL_DM, "UserDmRestart()");
    // A running engine is stopped first; a dead one only needs its thread joined.
    if (m_bThreadRunning.load())
        StopDmEngine();
    JoinThreadIfDone();
    if (m_thread.joinable() && !IsEngineThread()) {
        DEBUG_LOG(LEVEL_ST, "UserDmRestart: the engine has not ended yet");
        return false;
    }
    if (st.m_nActiveView.load() != 0)
        m_host.UserActiveView(VIEW_STATUS, 0);

    // Our own discovery each time, so a modem that arrived later (or came
    // back after a dead link) is found with its current port and kind.
    const PortChoice pc = Discover();
    st.m_nComPort = pc.comPort;
    st.m_nDeviceKind = pc.deviceKind;
    const int baud = DecimalPrefix(
        GetProfileString(dmtext::kSecBaudrate, dmtext::kKeyNum, "115200", 64, kMainIni));

    st.m_ucPrefFlags = 0;
    st.m_ucUiFlags = 0;
    st.m_wLastSmsCount = 0;
    st.m_ucSmsCheckStage = 0;
    st.m_ucCardRetry = 0;
    st.m_ucServiceMode = 0;
    st.m_wModemVersion = 0;
    st.m_ucCallFlags = 0;
    st.m_ucCardFlags = 0;
    WriteProfileString(dmtext::kSecUserflag, dmtext::kKeyNum, "0", kMainIni);
    if (st.m_nModalView.load() == MODAL_NONE)
        st.m_hModalWnd = 0;
    m_host.ResetDialPad();
    m_host.ResetSmsPage();
    st.m_DmRequests.Clear();

    // A dead engine leaves its port open: close it before opening again.
    if (m_link.IsOpen())
        m_link.Close();
    if (!m_link.Open(pc.comPort, baud > 0 ? uint32_t(baud) : 115200u)) {
        m_host.AppendMessageLine(PortNotOpenedText(m_link.OpenError()), true);
        static const int kNoModem[][2] = {
            {IND_BATTERY, 255}, {IND_SIGNAL_1X, kSignalNone}, {IND_SIGNAL_EVDO, kSignalNone},
            {IND_SERVICE, SERVICE_NONE}, {IND_CALL, 1}, {IND_SMS, 0}, {IND_1045, 1},
            {IND_1046, 1}, {IND_ROAMING, 128}, {IND_RX_DIVERSITY, 0}, {IND_CHARGE, 0},
            {IND_DATA_RATE_A, 128}};
        for (const auto& kv : kNoModem)
            m_host.SetIndicator(kv[0], kv[1]);
        m_host.SetSignal(IND_SIGNAL_1X, kSignalNone);
        m_host.SetSignal(IND_SIGNAL_EVDO, kSignalNone);
        m_host.EnableControl(IDC_SETTING, true);
        return false;
    }

    m_host.StartTimer(TIMER_AT_POLL, 8000);
    SetPortState(DM_PREF_READ);
    m_pDmWaitEvent = std::make_unique<CEvent>(true, false);
    st.m_dwWait = 200;
    DEBUG_LOG(LEVEL_DM, "m_dwWait = %d", int(st.m_dwWait.load()));
    st.m_ucLastCallState = 0;
    m_bParkResumed = true;
    m_parkOwner = 0;
    m_bEndedByHangup = false;
    m_bStopRequested = false;
    m_bThreadRunning = true;
    m_thread = std::thread(&CDmEngine::ThreadMain, this);
    return true;
}

void CDmEngine::StopDmEngine()
{
    ModemState& st = State();
    const bool onEngine = m_bThreadRunning.load() && IsEngineThread();
    // An open PIN dialog is ended as "closed by the engine", not as a cancel.
    m_host.EndModalDialog();
    const uint16_t s = PortState();
    if (s != DM_STOPPED && s != DM_END_WORK)
        PostDmCommand(DM_END_WORK, true);

    if (!onEngine) {
        // Stopping from inside our own sub-request (the parked engine's
        // owner is further down this very stack): release the park, so the
        // engine can end; the owner's remaining exchanges find the port closed.
        if (m_parkOwner.load() != 0 && m_parkOwnerThread.load() == std::this_thread::get_id())
            m_bParkResumed = true;
        m_bStopRequested = true;
        // An exchange waiting for its answer (up to a minute for the card)
        // fails now; the end itself still talks to the modem.
        m_link.CancelWait();
        m_host.SetWaitCursor(true);
        auto ended = [this] { return !m_bThreadRunning.load(); };
        if (!m_host.WaitPumping(ended, m_nStopWaitMs) && !ended()) {
            // Stuck in one long exchange: closing the port under it makes
            // that exchange and every later one fail, and the engine ends.
            DEBUG_LOG(LEVEL_ST, "dm engine did not stop in %d ms: closing the port", int(m_nStopWaitMs));
            m_link.Close();
            m_host.WaitPumping(ended, m_nStopWaitMs);
        }
        m_host.SetWaitCursor(false);
        if (!ended()) {
            // Still inside an exchange that ignores the closed port: the
            // thread is joined when it ends (at the latest by the destructor);
            // its queued end stays where it is.
            DEBUG_LOG(LEVEL_ST, "dm engine still running after the stop");
            return;
        }
        JoinThreadIfDone();
        // A thread that ended at once (cancelled unblock entry) left its state.
        st.m_nPortState = DM_STOPPED;
    }

    if (!onEngine)
        m_pDmWaitEvent.reset();
    if (m_link.IsOpen()) {
        m_link.Close();
        m_host.SetIndicator(IND_MESSAGE_LINE, 3);
    }
    st.m_DmRequests.Clear();
    if (st.m_nActiveView.load() != 0)
        m_host.UserActiveView(VIEW_STATUS, 0);
    m_host.PulseDeviceWatcher();
}

void CDmEngine::RestartDmEngine()
{
    m_host.SetWaitCursor(true);
    StopDmEngine();
    UserDmRestart();
    m_host.SetWaitCursor(false);
}

// ---------------------------------------------------------------------------
// Queue filter

int CDmEngine::PostDmCommand(uint16_t code, bool atHead)
{
    ModemState& st = State();
    if (PortState() >= DM_STOPPED)
        return 1; // the engine is stopped or stopping: dropped silently

    bool accept = false;
    if (code == DM_GET_INFO || code == DM_IN_CALL || (code >= 0x0005 && code <= 0x0009)
        || code == DM_SMS_INSPECTED || code == DM_SMS_INFO2 || (code >= 0x0050 && code <= 0x0052)
        || (code >= 0x0054 && code <= 0x0056) || code == DM_PBOOK_INFO
        || (code >= 0x8001 && code <= 0x800F) || code == DM_END_WORK || code == DM_DEVICE_NULL) {
        accept = true;
    } else if (code == DM_OUT_CALL) {
        const uint8_t ras = st.m_nRasState.load();
        const uint8_t svc = st.m_ucServiceState.load();
        if ((ras == RAS_STATE_CONNECTING || ras == RAS_STATE_CONNECTED)
            && (svc == SERVICE_1X || svc == SERVICE_EVDO)) {
            if (!(svc == SERVICE_1X && st.m_wUiPhase.load() == UI_PHASE_INCOMING))
                m_host.MessageBox(dmtext::kCannotCallWhileConnecting, MsgIcon::Warning);
            m_host.ResetDialPad();
            m_host.StartTimer(TIMER_RESTORE_MESSAGE_LINE, 50);
            return 0;
        }
        accept = true;
    } else if (code == DM_KEY_PRESS) {
        accept = st.m_nActiveView.load() == VIEW_DIAL_PAD;
    } else if (code == DM_SMS_SEND) {
        if (st.m_ucLastCallState.load() > 130) {
            DEBUG_LOG(LEVEL_ST, "not send sms ");
            return 0;
        }
        accept = true;
    }
    if (!accept)
        return 0;
    st.m_DmRequests.Push(code, atHead);
    return 1;
}

// ---------------------------------------------------------------------------
// Sub-requests and parking

uint16_t CDmEngine::DmSubRequest(uint16_t code, uintptr_t type, bool fromEngine)
{
    if (fromEngine) {
        SleepMs(50);
        return RunSubRequest(code, type);
    }
    if (CSubRequestMark::UnderWay(this)) {
        DEBUG_LOG(LEVEL_ST, "sub request 0x%04x refused: another one is under way", unsigned(code));
        return DM_RESULT_BUSY;
    }
    CSubRequestMark mark(this);

    auto engineGone = [this] {
        const uint16_t s = PortState();
        return s == DM_STOPPED || s == DM_END_WORK || !m_bThreadRunning.load();
    };
    // One owner of the parked engine at a time.
    const uint64_t ticket = ++m_parkTicket;
    bool owned = false;
    m_host.WaitPumping(
        [&] {
            uint64_t none = 0;
            if (m_parkOwner.compare_exchange_strong(none, ticket)) {
                owned = true;
                return true;
            }
            return engineGone();
        },
        -1);
    if (!owned)
        return DM_RESULT_ENGINE_STOPPED;
    m_parkOwnerThread = std::this_thread::get_id();
    auto release = [this] {
        m_parkOwnerThread = std::thread::id();
        m_parkOwner = 0;
        m_host.Wake();
    };

    PostDmCommand(DM_STOP_WORK, false);
    m_host.SetWaitCursor(true);
    m_host.WaitPumping([] { return false; }, 300);
    // Parked for us: DM_PARKED entered after our DM_STOP_WORK cleared the
    // resume mark (a park left over from the previous owner does not count).
    m_host.WaitPumping(
        [&] { return (PortState() == DM_PARKED && !m_bParkResumed.load()) || engineGone(); }, -1);
    if (PortState() != DM_PARKED || m_bParkResumed.load()) {
        release();
        m_host.SetWaitCursor(false);
        return DM_RESULT_ENGINE_STOPPED;
    }

    uint16_t result = RunSubRequest(code, type);

    if ((PortState() & 0xFFF0) == 0xFFF0) {
        result = DM_RESULT_ENGINE_STOPPED;
    } else {
        State().m_DmRequests.Push(DM_GET_INFO, true);
    }
    m_bParkResumed = true; // the owner always resumes, also on failure
    release();
    m_host.SetWaitCursor(false);
    return result;
}

uint16_t CDmEngine::RunSubRequest(uint16_t code, uintptr_t type)
{
    auto it = m_subRequests.find(code);
    if (it != m_subRequests.end())
        return it->second(*this, code, type);
    switch (code) {
    case DM_PREF_HDR_DRC: return SubPrefHdrDrc();
    case DM_PREF_1X_DRC: return SubPref1xDrc();
    case DM_GET_SERVICE: return SubGetService();
    case DM_RUIM_VERIFY: return SubRuimVerify(type);
    case DM_PBOOK_INFO: return SubPbookInfo(type);
    default: return code; // unrecognised: nothing done
    }
}

// ---------------------------------------------------------------------------
// The engine thread

void CDmEngine::ThreadMain()
{
    ModemState& st = State();
    m_engineThreadId = std::this_thread::get_id();
    m_nErrorCount = 0;
    m_nPrevSmsCount = 0;
    m_wPollSmsCount = 0;
    m_bEndNow = false;
    m_strProgress.clear();
    m_tSmsInfoSince = m_tPbookSince = m_tCardSince = 0;
    st.m_wUiPhase = UI_PHASE_IDLE;

    for (;;) {
        m_pDmWaitEvent->Wait(int64_t(st.m_dwWait.load()));
        if (int16_t(m_wPollSmsCount) > m_nPrevSmsCount) {
            ShowNewMessage();
            m_host.PostUserMessage(MsgTarget::MainWindow, UM_BRING_TO_FRONT, 0, 0);
        }
        m_nPrevSmsCount = int16_t(m_wPollSmsCount);

        const uint16_t s = PortState();
        if (s == DM_END_WORK) {
            EndWork();
            break;
        }
        if (s == DM_DEVICE_NULL) {
            DeviceNull();
            break;
        }
        Dispatch(s);
        if (m_bEndNow)
            break;
        // The modem is gone: no use polling a port that cannot answer. A
        // parked engine waits for its owner to resume it first (the owner's
        // exchanges fail at once meanwhile).
        const bool parked = PortState() == DM_PARKED && !m_bParkResumed.load();
        if (!parked && m_link.HungUp()) {
            PortHungUp();
            break;
        }
        // An exchange cut short by a stop is no sign of a dead link: the
        // queued end runs (and ends a call) instead.
        if (m_nErrorCount >= 2 && !State().m_DmRequests.Contains(DM_END_WORK)) {
            DeclareLinkDead();
            break;
        }
        Join();
    }
    m_bThreadRunning = false;
    m_host.Wake();
}

bool CDmEngine::RunRegistered(uint16_t code)
{
    auto it = m_commands.find(code);
    if (it == m_commands.end())
        return false;
    it->second(*this);
    return true;
}

void CDmEngine::Dispatch(uint16_t code)
{
    if (RunRegistered(code))
        return;
    switch (code) {
    case DM_GET_INFO: CmdGetInfo(); break;
    case DM_STOP_WORK:
        m_bParkResumed = false;
        State().m_DmRequests.Push(DM_PARKED, true);
        break;
    case DM_PARKED: break;
    case DM_UI_ENABLE: CmdUiEnable(); break;
    case DM_SMS_INFO2: CmdSmsInfo2(); break;
    case DM_PBOOK_INFO: CmdPbookInfo(); break;
    case DM_GET_SERVICE: CmdGetService(); break;
    case DM_PREF_READ: CmdPrefRead(); break;
    case DM_RUIM_STATUS: CmdRuimStatus(); break;
    case DM_RUIM_VERIFY: CmdRuimVerify(KVA_SUB_RUIM_VERIFY_CHV); break;
    case DM_RUIM_UNBLOCK: CmdRuimVerify(KVA_SUB_RUIM_UNBLOCK_CHV); break;
    case DM_IN_CALL:
    case DM_OUT_CALL:
    case DM_KEY_PRESS:
    case DM_EAR_LEVEL:
    case DM_SMS_INSPECTED:
        // Call and SMS commands come with their families; without one the
        // command is skipped rather than counted as a link failure.
        DEBUG_LOG(LEVEL_DM, "dm command 0x%04x has no handler", code);
        break;
    default:
        m_nErrorCount = 2; // unrecognised state
        break;
    }
}

void CDmEngine::Join()
{
    ModemState& st = State();
    const uint16_t s = PortState();
    // Parking is exclusive: until its owner resumes it the engine takes
    // nothing from the queue, not even an end or a removal.
    if (s == DM_PARKED && !m_bParkResumed.load())
        return;
    if (st.m_DmRequests.Contains(DM_END_WORK)) {
        SetPortState(DM_END_WORK);
        return;
    }
    if (st.m_DmRequests.Contains(DM_DEVICE_NULL)) {
        SetPortState(DM_DEVICE_NULL);
        return;
    }
    if (m_nErrorCount != 0) {
        DEBUG_LOG(LEVEL_ST, "error_count = %d", m_nErrorCount);
        return;
    }
    uint16_t next = 0;
    if (st.m_DmRequests.PopHead(next)) {
        SetPortState(next);
        return;
    }
    if (s == DM_PARKED)
        return;
    SetPortState(DM_GET_INFO);
}

void CDmEngine::DeclareLinkDead()
{
    ModemState& st = State();
    static const int kReset[][2] = {
        {IND_BATTERY, 1}, {IND_SIGNAL_1X, kSignalNone}, {IND_SERVICE, SERVICE_NONE}, {IND_CALL, 1},
        {IND_SMS, 0}, {IND_1045, 1}, {IND_1046, 1}, {IND_MESSAGE_LINE, 0}, {IND_ROAMING, 128},
        {IND_RX_DIVERSITY, 0}};
    for (const auto& kv : kReset)
        m_host.SetIndicator(kv[0], kv[1]);
    // The indicator table ignores signal ids: draw "no signal" through SetSignal.
    m_host.SetSignal(IND_SIGNAL_1X, kSignalNone);
    m_host.SetSignal(IND_SIGNAL_EVDO, kSignalNone);
    m_host.ShowControl(IDC_PROGRESS, false);
    DEBUG_LOG(LEVEL_ST, "did not communication !!! ");
    st.m_ucCallFlags = 0;
    m_host.KillTimer(TIMER_CALL_DURATION);
    m_host.KillTimer(TIMER_CHARGE_BLINK);
    SetPortState(DM_STOPPED);
    DEBUG_LOG(LEVEL_ST, "dm thread close 3 %d", 0);
}

void CDmEngine::EndWork()
{
    DEBUG_LOG(LEVEL_DM, "DM_END_WORK:");
    const uint8_t last = State().m_ucLastCallState.load();
    const bool ringing = last == CALL_STATE_RINGING && State().m_wUiPhase.load() == UI_PHASE_INCOMING;
    if (last >= CALL_STATE_VC_INIT && !(ringing && !m_bEndRefusesRinging.load())) {
        for (int attempt = 1; attempt <= 2; ++attempt) {
            if (Exchange(BuildHsKeyReq(0x00, 0x51)) == DIAG_OK) {
                DEBUG_LOG(LEVEL_DM, "dm end work: end key(%d) ok", attempt);
                break;
            }
        }
    }
    SetPortState(DM_STOPPED);
    DEBUG_LOG(LEVEL_DM, "dm thread close 1");
}

void CDmEngine::DeviceNull()
{
    DEBUG_LOG(LEVEL_DM, "DM_DEVICE_NULL: driver remove.");
    State().m_ucCallFlags = 0;
    m_host.KillTimer(TIMER_CALL_DURATION);
    m_host.KillTimer(TIMER_CHARGE_BLINK);
    SetPortState(DM_STOPPED);
    StopDmEngine();
    DEBUG_LOG(LEVEL_DM, "dm thread close 2");
}

void CDmEngine::PortHungUp()
{
    DEBUG_LOG(LEVEL_ST, "port hung up: the modem is gone");
    m_bEndedByHangup = true;
    ShowNoDeviceState(m_host);
    DisablePageButtons(m_host);
    m_host.ShowControl(IDC_PROGRESS, false);
    State().m_ucCallFlags = 0;
    m_host.KillTimer(TIMER_CALL_DURATION);
    m_host.KillTimer(TIMER_CHARGE_BLINK);
    SetPortState(DM_STOPPED);
    StopDmEngine(); // from the engine thread: closes the port, empties the queue
    DEBUG_LOG(LEVEL_DM, "dm thread close 2");
}

void ShowNoDeviceState(IDmHost& host)
{
    static const int kNoDevice[][2] = {
        {IND_BATTERY, 1}, {IND_SIGNAL_1X, kSignalNone}, {IND_SIGNAL_EVDO, kSignalNone},
        {IND_SERVICE, SERVICE_NONE}, {IND_CALL, 1}, {IND_SMS, 0}, {IND_1045, 1}, {IND_1046, 1},
        {IND_ROAMING, 128}, {IND_RX_DIVERSITY, 0}, {IND_CHARGE, 0}, {IND_DATA_RATE_A, 128}};
    for (const auto& kv : kNoDevice)
        host.SetIndicator(kv[0], kv[1]);
    host.SetSignal(IND_SIGNAL_1X, kSignalNone);
    host.SetSignal(IND_SIGNAL_EVDO, kSignalNone);
}

void CDmEngine::ShowProgressStars()
{
    if (m_strProgress.size() + 2 <= kProgressCap)
        m_strProgress += "**";
    // Without a usable card the line holds the emergency-call notice: the
    // start-up's progress must not wipe it.
    if (State().m_ucCardFlags.load() & (CARDF_PIN_CANCELLED | CARDF_NO_CARD))
        return;
    m_host.AppendMessageLine(m_strProgress, true);
}

bool CDmEngine::RetryWindowExpired(int64_t& since)
{
    const int64_t now = TickMs();
    if (since == 0)
        since = now;
    return now - since >= m_nRetryWindowMs;
}

} // namespace kv
