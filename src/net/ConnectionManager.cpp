// The connection manager's UI-thread side: the buttons, the dial-up entry,
// the request queue, and starting and stopping the monitor thread. The
// thread's loop is in RasMonitor.cpp.
#include "net/ConnectionManager.h"

#include "link/DiagCatalog.h"
#include "log/DebugLog.h"
#include "settings/Profile.h"
#include "settings/SettingsKeys.h"

#include <algorithm>
#include <cstdio>

namespace kvnet {

namespace {
// The settings of the account (teal_dialer.ini, key "text").
constexpr const char* kIni = kv::kIniDialer;
constexpr const char* kSectionUser = kv::kSecUserName;
constexpr const char* kSectionPassword = kv::kSecPassword;
constexpr const char* kSectionPhone = kv::kSecPhoneNumber;
constexpr const char* kKeyText = kv::kKeyText;
constexpr int kAccountChars = 64;
} // namespace

std::string FormatDuration(uint32_t connectDurationMs, uint32_t durationMs)
{
    const uint32_t secs = durationMs / 1000;
    char buf[48];
    if (connectDurationMs >= 86400000u)
        std::snprintf(buf, sizeof buf, rastext::kDurationDaysFormat, secs / 86400, secs / 3600 % 24, secs / 60 % 60,
                      secs % 60);
    else
        std::snprintf(buf, sizeof buf, rastext::kDurationFormat, secs / 3600 % 24, secs / 60 % 60, secs % 60);
    return buf;
}

bool IsCdmaDial(const std::string& imsi, uint8_t sysMode)
{
    if (imsi.find(rastext::kCdmaImsiMark) != std::string::npos)
        return true;
    return imsi.empty() && (sysMode == kv::sys_mode::k1x || sysMode == kv::sys_mode::kEvdo);
}

CConnectionManager::CConnectionManager(kv::IDmHost& host, ConnectionUi ui) : m_host(host), m_ui(std::move(ui))
{
    if (!m_ui.makeClient)
        m_ui.makeClient = [] {
            auto c = std::make_unique<CRasClient>();
            return c->Init() ? std::move(c) : nullptr;
        };
    if (!m_ui.appendTraffic) {
        m_ui.appendTraffic = [](const kvtraffic::TrafficRecord& r) {
            std::string why;
            const bool ok = kvtraffic::AppendTrafficRecord(r, &why);
            if (!ok)
                DEBUG_LOG(LEVEL_ST, "traffic record: %s error", why.c_str());
            return ok;
        };
        // Records to the traffic files: so does a crashed session's journal.
        if (!m_ui.journal)
            m_ui.journal = std::make_shared<kvtraffic::CSessionJournal>();
    }
    m_reconnect.SetDelays(m_ui.reconnectDelaysMs.empty() ? ReconnectDelaysFromEnv() : m_ui.reconnectDelaysMs);
}

CConnectionManager::~CConnectionManager() { Shutdown(); }

void CConnectionManager::ReadAccount()
{
    SetAccount(kv::GetProfileString(kSectionUser, kKeyText, "", kAccountChars, kIni),
               kv::GetProfileString(kSectionPassword, kKeyText, "", kAccountChars, kIni),
               kv::GetProfileString(kSectionPhone, kKeyText, "", kAccountChars, kIni));
}

void CConnectionManager::SetAccount(const std::string& user, const std::string& password,
                                    const std::string& dialString)
{
    std::lock_guard<std::mutex> g(m_textLock);
    m_strUserName = user;
    m_strPassword = password;
    m_strDialString = dialString;
}

std::string CConnectionManager::DurationText() const
{
    std::lock_guard<std::mutex> g(m_textLock);
    return m_strDurationText;
}

std::string CConnectionManager::EntryErrorText() const
{
    std::lock_guard<std::mutex> g(m_textLock);
    return m_strEntryError;
}

std::string CConnectionManager::DialString() const
{
    std::lock_guard<std::mutex> g(m_textLock);
    return m_strDialString;
}

std::string CConnectionManager::DeviceName() const
{
    std::lock_guard<std::mutex> g(m_textLock);
    return m_strDeviceName;
}

void CConnectionManager::SetEntryError(const std::string& text)
{
    std::lock_guard<std::mutex> g(m_textLock);
    m_strEntryError = text;
}

void CConnectionManager::SetDurationText(const std::string& text)
{
    {
        std::lock_guard<std::mutex> g(m_textLock);
        m_strDurationText = text;
    }
    m_host.SetLineText(kDurationLineId, text);
}

bool TextTakesFirstLine(const std::string& text)
{
    const std::string first = text.substr(0, text.find('\n'));
    return first.find_first_not_of(" \t\r") != std::string::npos;
}

void CConnectionManager::ShowDuration()
{
    std::string shown = DurationText();
    if (m_tDialTextSince != 0) {
        // The message line and the duration line share one place. The
        // dial's closing text ("Connection Success Please wait...") keeps it
        // until timer 101 and the next idle report have put the resting
        // text back; then the duration takes the first row for good. A line
        // that nothing puts back (no modem engine runs) holds it no longer
        // than kDialTextHoldMs.
        if (kv::TickMs() - m_tDialTextSince < kDialTextHoldMs && TextTakesFirstLine(m_host.MessageLineText()))
            shown.clear();
        else
            m_tDialTextSince = 0;
    }
    m_host.SetLineText(kDurationLineId, shown);
}

// ---------------------------------------------------------------------------
// The request queue: one lock around each list operation; producers insert at
// either end, the monitor thread takes the head.

bool CConnectionManager::RasRequest(uint8_t code, bool atFront)
{
    if (code == 0)
        return false;
    std::lock_guard<std::mutex> g(m_queueLock);
    auto queued = [&](uint8_t c) { return std::find(m_RasRequests.begin(), m_RasRequests.end(), c) != m_RasRequests.end(); };
    if (queued(RAS_REQ_TERMINATE))
        return false;
    if (code != RAS_REQ_TERMINATE && queued(RAS_REQ_DISCONNECT))
        return false;
    if (atFront)
        m_RasRequests.push_front(code);
    else
        m_RasRequests.push_back(code);
    return true;
}

void CConnectionManager::RasRequestRemove(uint8_t code)
{
    std::lock_guard<std::mutex> g(m_queueLock);
    if (code == RAS_REQ_ALL)
        m_RasRequests.clear();
    else
        std::erase(m_RasRequests, code);
}

bool CConnectionManager::RasRequestPending(uint8_t code) const
{
    std::lock_guard<std::mutex> g(m_queueLock);
    return std::find(m_RasRequests.begin(), m_RasRequests.end(), code) != m_RasRequests.end();
}

size_t CConnectionManager::RasRequestCount() const
{
    std::lock_guard<std::mutex> g(m_queueLock);
    return m_RasRequests.size();
}

// ---------------------------------------------------------------------------
// The entry

bool CConnectionManager::CreateDialUpEntry() { return MakeDialUpEntry() == EntryOutcome::Ready; }

CConnectionManager::EntryOutcome CConnectionManager::MakeDialUpEntry()
{
    std::lock_guard<std::mutex> g(m_clientLock);
    CRasClient* client = m_bClientReady.load() ? m_pClient.get() : nullptr;
    if (!client)
        return EntryOutcome::NoClient;
    std::string device;
    {
        std::lock_guard<std::mutex> t(m_textLock);
        m_strDeviceName.clear();
    }
    if (client->FindModemDevice(device) == 0) {
        DEBUG_LOG(LEVEL_ST, "%s", raslog::kCreateEntryError);
        return EntryOutcome::NoModem;
    }
    std::string user, password, dial;
    {
        std::lock_guard<std::mutex> t(m_textLock);
        m_strDeviceName = device;
        user = m_strUserName;
        password = m_strPassword;
        dial = m_strDialString;
    }
    const int rc = client->CreateEntry(kEntryLabel, kDeviceTypeModem, device, kProtocolsIp, kFramingPpp, dial,
                                       kPhonebook);
    if (rc == RAS_ERR_ALREADY_EXISTS && !client->SetEntryDevice(kEntryLabel, {device, dial}, kPhonebook)) {
        SetEntryError(rastext::kEntryFailed);
        return EntryOutcome::Failed;
    }
    if (client->SetEntryOptions(kEntryLabel, kEntryOptions, true, kDeviceTypeModem, device, kPhonebook) != RAS_OK) {
        SetEntryError(rastext::kEntryFailed);
        return EntryOutcome::Failed;
    }
    client->SetDialParams(kEntryLabel, user, password, kPhonebook);
    return EntryOutcome::Ready;
}

// ---------------------------------------------------------------------------
// Buttons

void CConnectionManager::NetConnect()
{
    kv::ModemState& st = m_host.State();
    if (st.m_ucCardFlags.load() != 0)
        return;
    if (m_bClientReady.load()) {
        m_host.ShowControl(kv::IDC_MESSAGE_LINE, true);
        const std::string imsi = m_ui.imsi ? m_ui.imsi() : std::string();
        if (IsCdmaDial(imsi, st.m_ucSysMode.load())) {
            bool missing = false;
            {
                std::lock_guard<std::mutex> g(m_textLock);
                m_strDialString = rastext::kDialCdma;
                missing = m_strUserName.empty() || m_strPassword.empty();
            }
            if (missing) {
                if (m_ui.showStatusPanel)
                    m_ui.showStatusPanel();
                m_host.AppendMessageLine(rastext::kNoAccount, true);
                m_host.UserActiveView(kv::VIEW_SETTINGS, kv::kSettingsPageBasic);
                return;
            }
        } else {
            std::lock_guard<std::mutex> g(m_textLock);
            m_strDialString = rastext::kDialGsm;
        }
        const uint8_t service = st.m_ucServiceState.load();
        if ((service & 0x06) != 0 && st.m_ucLastCallState.load() > 0x82) {
            m_host.MessageBox(rastext::kOutgoingCall, kv::MsgIcon::Warning);
            if (m_ui.clearDialPadNumber)
                m_ui.clearDialPadNumber();
            return;
        }
        // After a quota hang-up the user is asked before the cycle's next dial.
        if (m_ui.confirmDial && !m_ui.confirmDial())
            return;
        if (DialPadShown() && m_ui.clearDialPadNumber)
            m_ui.clearDialPadNumber();
        if (MakeDialUpEntry() == EntryOutcome::NoModem) {
            // Without the maker's modem there is no entry to dial: the dial
            // would only fail with the entry's absence, after the dial
            // states had run on the message line. The user is told the
            // cause, once, and Net Connect stays for when the modem is in.
            m_host.MessageBox(rastext::kNoModem, kv::MsgIcon::Information);
            if (DialPadShown() && m_ui.focusDialPad)
                m_ui.focusDialPad();
            return;
        }
        m_ucConnFlags = 0;
        m_host.EnableControl(kv::IDC_NET_CONNECT, false);
        m_reconnect.UserConnected();
        m_nSleepDial = kSleepDialNone; // the user's own dial takes its place
        RasRequest(RAS_REQ_CONNECT, true);
        m_dwBaseline = 0;
    }
    if (DialPadShown() && m_ui.focusDialPad)
        m_ui.focusDialPad();
}

void CConnectionManager::NetDisconnect()
{
    if (!m_bClientReady.load())
        return;
    if (m_ui.clearDialPadNumber)
        m_ui.clearDialPadNumber();
    m_host.EnableControl(kv::IDC_NET_DISCONNECT, false);
    m_reconnect.UserStopped();
    m_nSleepDial = kSleepDialNone;
    RasRequest(RAS_REQ_DISCONNECT, true);
    m_host.EnableControl(kv::IDC_SETTING, true);
    if (DialPadShown() && m_ui.focusDialPad)
        m_ui.focusDialPad();
}

// ---------------------------------------------------------------------------
// Thread start and stop

bool CConnectionManager::Start()
{
    // Only one of the two buttons is ever shown; without a client Net
    // Connect stays, disabled.
    m_host.ShowControl(kv::IDC_NET_DISCONNECT, false);
    {
        std::lock_guard<std::mutex> g(m_clientLock);
        m_pClient = m_ui.makeClient();
        m_bClientReady = m_pClient != nullptr;
    }
    if (!m_bClientReady.load()) {
        DEBUG_LOG(LEVEL_ST, "%s", raslog::kInitError);
        m_host.EnableControl(kv::IDC_NET_CONNECT, false);
        return false;
    }
    CreateDialUpEntry();
    m_nRasFailCount = 0;
    if (!m_bThreadAlive.load()) {
        JoinThread();
        StartLoop();
    }
    return true;
}

void CConnectionManager::JoinThread()
{
    if (!m_thread.joinable())
        return;
    if (!m_bThreadAlive.load()) {
        m_thread.join();
        return;
    }
    // Still running after every bounded wait: it must not outlive us, but
    // joining here could wait for our own UI thread.
    m_host.WaitPumping([this] { return !m_bThreadAlive.load(); }, 60000);
    if (m_bThreadAlive.load()) {
        DEBUG_LOG(LEVEL_ST, "ras thread does not end: left behind");
        m_thread.detach();
    } else {
        m_thread.join();
    }
}

void CConnectionManager::RestartThread()
{
    if (m_bThreadAlive.load()) {
        DEBUG_LOG(LEVEL_ST, "ras thread still running: not started again");
        return;
    }
    JoinThread();
    // The modem has just come back: the client the removal left was made
    // while it was away, so its dial-up service was chosen without it. A
    // fresh one chooses by the modem that is there now.
    if (!RecreateClient()) {
        DEBUG_LOG(LEVEL_ST, "%s", raslog::kInitError);
        return;
    }
    StartLoop();
}

void CConnectionManager::StartLoop()
{
    RasRequestRemove(RAS_REQ_ALL);
    m_host.State().m_nRasState = RAS_REQ_LOOK;
    m_rasEvent.Reset();
    m_bEventAlive = true;
    m_bThreadAlive = true;
    m_thread = std::thread(&CConnectionManager::ThreadMain, this);
}

void CConnectionManager::StopThread(int64_t timeoutMs)
{
    kv::ModemState& st = m_host.State();
    m_reconnect.UserStopped(); // Exit ends a reconnect plan too
    const uint8_t s = st.m_nRasState.load();
    if (s != 0 && s != RAS_REQ_TERMINATE && m_bThreadAlive.load()) {
        m_host.EnableControl(kv::IDC_NET_DISCONNECT, false);
        RasRequest(RAS_REQ_TERMINATE, true);
    }
    if (m_bThreadAlive.load()) {
        m_host.SetWaitCursor(true);
        m_host.WaitPumping([&] { return st.m_nRasState.load() == 0 || !m_bThreadAlive.load(); }, timeoutMs);
        m_host.SetWaitCursor(false);
    }
    RasRequestRemove(RAS_REQ_ALL);
    m_bEventAlive = false;
    m_rasEvent.Set();
    if (m_ui.pulseRemoval)
        m_ui.pulseRemoval();
    if (!m_bThreadAlive.load())
        JoinThread();
}

void CConnectionManager::Shutdown()
{
    StopThread();
    JoinThread();
    std::lock_guard<std::mutex> g(m_clientLock);
    m_bClientReady = false;
    if (m_pClient)
        m_pClient->Unload();
    m_pClient.reset();
}

} // namespace kvnet
