#include "owner/OwnerFeed.h"

#include "data/AppDatabase.h"
#include "data/DataConstants.h"
#include "engine/DmCodes.h"
#include "engine/DmEngine.h"
#include "engine/DmTexts.h"
#include "engine/PinCheck.h"
#include "host/HostIds.h"
#include "link/CommPort.h"
#include "log/DebugLog.h"
#include "log/NumberParse.h"
#include "messaging/MessagingServices.h"
#include "net/ConnectionManager.h"
#include "net/RasCodes.h"
#include "owner/StatusReport.h"
#include "platform/Event.h"
#include "settings/Profile.h"

namespace kv {

namespace {

constexpr int kTickKey = 1;      // the connection's one-second tick
constexpr int kRecheckKey = 2;   // the engine is ending: look again
constexpr int kSmsRetryKey = 3;  // the message check met a busy engine
constexpr int64_t kTickMs = 1000;

const char* ConnectionWord(uint8_t rasState)
{
    switch (rasState) {
    case kvnet::RAS_REQ_CONNECT: return "connecting";
    case kvnet::RAS_REQ_MONITOR: return "connected";
    case kvnet::RAS_REQ_DISCONNECT:
    case kvnet::RAS_REQ_RESET:
    case kvnet::RAS_REQ_TERMINATE: return "disconnecting";
    default: return "disconnected";
    }
}

// A message-line text as one line: its rows joined by blanks.
std::string OneLine(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n' || c == '\r' || c == '\t') {
            if (!out.empty() && out.back() != ' ')
                out += ' ';
        } else {
            out += c;
        }
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

int SettingNumber(const char* section)
{
    const std::string v = GetProfileString(section, "num", "", 64, kMainIni);
    return v.empty() ? -1 : DecimalPrefix(v);
}

} // namespace

COwnerFeed::COwnerFeed(COwnerHub& hub, const OwnerParts& parts, COwnerWork& work)
    : m_hub(hub), m_parts(parts), m_work(work)
{
}

COwnerFeed::~COwnerFeed() { Stop(); }

void COwnerFeed::Start()
{
    if (m_bStarted.exchange(true))
        return;
    m_parts.core->AddObserver(this);
    RequestRefresh();
}

void COwnerFeed::Stop()
{
    if (!m_alive->exchange(false))
        return;
    if (m_bStarted.load())
        m_parts.core->RemoveObserver(this);
    m_clock.Stop();
}

void COwnerFeed::RequestRefresh()
{
    if (!m_alive->load() || m_bRefreshPosted.exchange(true))
        return;
    auto alive = m_alive;
    m_parts.post([this, alive] {
        if (!alive->load())
            return;
        m_bRefreshPosted = false;
        Refresh();
    });
}

void COwnerFeed::OnStatusChanged(int id, int value)
{
    {
        std::lock_guard<std::mutex> g(m_valueLock);
        m_indicators[id] = value;
    }
    RequestRefresh();
}

void COwnerFeed::OnSignal(int id, int value)
{
    // The blank value only makes the display alternate.
    if (value == kSignalBlank)
        return;
    {
        std::lock_guard<std::mutex> g(m_valueLock);
        m_signals[id] = value;
    }
    RequestRefresh();
}

void COwnerFeed::OnSmsArrived(int kind)
{
    // 1: a new message; 2 and 3 are the voice-mail notice.
    if (kind == 1)
        QueueMessageCheck(false);
    RequestRefresh();
}

int COwnerFeed::Indicator(int id) const
{
    std::lock_guard<std::mutex> g(m_valueLock);
    auto it = m_indicators.find(id);
    return it == m_indicators.end() ? -1 : it->second;
}

std::string COwnerFeed::NameOf(const std::string& number)
{
    if (number.empty())
        return {};
    if (number != m_nameNumber) {
        m_nameNumber = number;
        m_nameCached = Utf8Text(m_parts.core->LookupName(number).value_or(std::string()));
    }
    return m_nameCached;
}

void COwnerFeed::Read(OwnerSnapshot& s)
{
    const ModemState& st = m_parts.core->State();
    CDmEngine& engine = *m_parts.engine;
    const bool running = engine.ThreadRunning();
    const bool ready = running && (!m_parts.startupDone || m_parts.startupDone());
    s.engineReady = ready;
    if (running) {
        s.comPort = st.m_nComPort.load();
        s.deviceKind = st.m_nDeviceKind.load();
        s.port = m_parts.device.empty() ? (s.comPort > 0 ? CCommPort::ComDevicePath(uint32_t(s.comPort)) : "")
                                        : m_parts.device;
    } else {
        s.port.clear();
        s.comPort = -1;
        s.deviceKind = -1;
    }

    std::map<int, int> ind, sig;
    {
        std::lock_guard<std::mutex> g(m_valueLock);
        ind = m_indicators;
        sig = m_signals;
    }
    const auto value = [](const std::map<int, int>& m, int id) {
        auto it = m.find(id);
        return it == m.end() ? -1 : it->second;
    };
    const int service = running ? value(ind, IND_SERVICE) : -1;
    s.serviceStateCode = service;
    s.serviceState = service < 0 ? "" : ServiceName(service);
    const int sysMode = running && service >= 0 ? int(st.m_ucSysMode.load()) : -1;
    s.systemModeCode = sysMode;
    s.systemMode = sysMode < 0 ? "" : SystemModeName(sysMode);
    const int roaming = value(ind, IND_ROAMING);
    // 128: the no-modem display.
    s.roaming = running && roaming > 0 && roaming != 128;
    // Signal values are dBm (negative): "never reported" is its own case.
    const auto signal = [&](int id, int& dbm, uint32_t& bars) {
        auto it = sig.find(id);
        const bool known = running && it != sig.end();
        dbm = !known || it->second == kSignalNone ? 0 : it->second;
        bars = known ? SignalBars(it->second) : 0;
    };
    signal(IND_SIGNAL_1X, s.signal1xDbm, s.signal1xBars);
    signal(IND_SIGNAL_EVDO, s.signalEvdoDbm, s.signalEvdoBars);

    const int battery = running ? value(ind, IND_BATTERY) : -1;
    s.batteryLevel = battery;
    s.batteryState = battery < 0 ? "" : BatteryName(battery);
    s.chargerConnected = running && (value(ind, IND_CHARGE) & 0x7F) > 0;

    s.cardState = running ? CardStateName(st) : "";
    s.pinCheck = running && s.cardState != "absent" && PinCheckOn(st);
    if (s.cardState != m_cardSeen) {
        // The attempts come from the settings the card's check wrote.
        m_cardSeen = s.cardState;
        const bool seen = !s.cardState.empty() && s.cardState != "absent";
        m_pinLeft = seen ? SettingNumber(dmtext::kSecChv1Cnt) : -1;
        m_pukLeft = seen ? SettingNumber(dmtext::kSecChv1PukCnt) : -1;
    }
    s.pinAttemptsLeft = m_pinLeft;
    s.unblockAttemptsLeft = m_pukLeft;

    s.newMessages = ready ? st.m_wLastSmsCount.load() : 0;
    if (ready && m_parts.services && (st.m_ucUiFlags.load() & UIF_SMS_LOADED || m_bBaselined)) {
        s.messagesMemory = m_parts.services->Shared().m_nMemoryCount.load();
        s.messagesRuim = m_parts.services->Shared().m_nRuimCount.load();
    } else {
        s.messagesMemory = -1;
        s.messagesRuim = -1;
    }

    if (kvnet::CConnectionManager* net = m_parts.net) {
        s.connectionState = ConnectionWord(net->State());
        const bool up = s.connectionState == "connected";
        s.connectionDuration = up ? net->Duration() / 1000 : 0;
        s.bytesReceived = up ? net->ReceivedBytes() : 0;
        s.bytesSent = up ? net->SentBytes() : 0;
        s.connectionText = up ? net->DurationText() : s.connectionState == "disconnected" ? s.connectionText : "";
    }

    const uint16_t phase = st.m_wUiPhase.load();
    const bool conversation = st.m_ucLastCallState.load() == CALL_STATE_CONVERSATION;
    if (!running || (phase != UI_PHASE_INCOMING && phase != UI_PHASE_OUTGOING)) {
        s.callState = "idle";
        s.callNumber.clear();
    } else {
        s.callState = conversation ? "active" : phase == UI_PHASE_INCOMING ? "incoming" : "dialing";
        const CallTexts texts = st.m_call.Texts();
        s.callNumber = Utf8Text(texts.callerNumber.empty() ? st.m_call.DialNumber() : texts.callerNumber);
    }
    s.callName = NameOf(s.callNumber);
}

void COwnerFeed::Refresh()
{
    if (!m_alive->load())
        return;
    const OwnerSnapshot before = m_hub.Snapshot();
    OwnerSnapshot now = before;
    Read(now);
    m_hub.Update([&](OwnerSnapshot& s) { s = now; });
    PublishTransitions(before, now);

    CDmEngine& engine = *m_parts.engine;
    const bool running = engine.ThreadRunning();
    if (running && m_parts.core->State().m_nPortState.load() == DM_STOPPED) {
        // The engine is ending (its port hung up): its end comes without
        // another report, so look again shortly.
        auto alive = m_alive;
        m_clock.After(kRecheckKey, 300, [this, alive] {
            if (alive->load())
                RequestRefresh();
        });
    }
    if (m_bWasRunning && !running && engine.EndedByHangup())
        ModemRemoved();
    if (running && m_bRemoved && !m_bWasRunning)
        ModemAdded();
    m_bWasRunning = running;
    if (now.engineReady && !before.engineReady && !m_bBaselined)
        QueueMessageCheck(true);
    else if (now.engineReady && now.newMessages > before.newMessages && before.engineReady)
        QueueMessageCheck(false); // another one while the indicator already says "new"
    // The messages seen stay known across a removal: after a replug the
    // store is mirrored again, and what was there before is no news.
    if (!now.engineReady)
        m_bBaselined = false;

    if (now.connectionState != "disconnected") {
        if (!m_clock.Pending(kTickKey)) {
            auto alive = m_alive;
            m_clock.After(kTickKey, kTickMs, [this, alive] {
                if (alive->load())
                    RequestRefresh();
            });
        }
    } else {
        m_clock.Cancel(kTickKey);
    }
}

void COwnerFeed::PublishTransitions(const OwnerSnapshot& before, const OwnerSnapshot& now)
{
    // The call.
    if (before.callState != now.callState) {
        const std::string number = now.callNumber.empty() ? m_lastCallNumber : now.callNumber;
        OwnerEvent e;
        e.number = number;
        e.name = NameOf(number);
        if (now.callState == "incoming" && before.callState == "idle") {
            m_bCallAnswered = false;
            e.kind = OwnerEventKind::CallIncoming;
            m_hub.Publish(e);
        } else if (now.callState == "active") {
            m_bCallAnswered = true;
            m_callActiveSince = TickMs();
            e.kind = OwnerEventKind::CallAnswered;
            m_hub.Publish(e);
        } else if (now.callState == "dialing" && before.callState == "idle") {
            m_bCallAnswered = false;
        } else if (now.callState == "idle") {
            if (before.callState == "incoming" && !m_bCallAnswered) {
                e.kind = OwnerEventKind::CallMissed;
            } else {
                e.kind = OwnerEventKind::CallEnded;
                e.seconds = m_bCallAnswered ? uint32_t((TickMs() - m_callActiveSince) / 1000) : 0;
            }
            m_bCallAnswered = false;
            m_hub.Publish(e);
        }
    }
    if (!now.callNumber.empty())
        m_lastCallNumber = now.callNumber;
    else if (now.callState == "idle")
        m_lastCallNumber.clear();

    // The data connection.
    if (before.connectionState != now.connectionState) {
        OwnerEvent e;
        if (now.connectionState == "connected") {
            e.kind = OwnerEventKind::ConnectionUp;
            e.text = "connected";
            m_hub.Publish(e);
        } else if (before.connectionState == "connected") {
            e.kind = OwnerEventKind::ConnectionDown;
            e.text = OneLine(m_parts.host->MessageLineText());
            m_hub.Publish(e);
        } else if (before.connectionState == "connecting" && now.connectionState == "disconnected") {
            e.kind = OwnerEventKind::ConnectionFailed;
            std::string text = m_parts.net ? m_parts.net->EntryErrorText() : std::string();
            if (text.empty())
                text = m_parts.host->MessageLineText();
            e.text = OneLine(text);
            m_hub.Update([&](OwnerSnapshot& s) { s.connectionText = e.text; });
            m_hub.Publish(e);
        }
    }
    if (!now.port.empty())
        m_lastPort = now.port;
}

void COwnerFeed::ModemRemoved()
{
    auto alive = m_alive;
    m_parts.post([this, alive] {
        if (!alive->load() || m_bRemoved)
            return;
        m_bRemoved = true;
        OwnerEvent e;
        e.kind = OwnerEventKind::ModemRemoved;
        e.port = m_lastPort;
        m_hub.Publish(e);
        RequestRefresh();
    });
}

void COwnerFeed::ModemAdded()
{
    auto alive = m_alive;
    m_parts.post([this, alive] {
        if (!alive->load() || !m_bRemoved)
            return;
        m_bRemoved = false;
        Refresh();
        OwnerEvent e;
        e.kind = OwnerEventKind::ModemAdded;
        e.port = m_hub.Snapshot().port;
        m_hub.Publish(e);
    });
}

void COwnerFeed::QueueMessageCheck(bool baseline)
{
    if (!m_parts.services || !m_parts.db)
        return;
    auto alive = m_alive;
    m_work.Queue(
        [this, alive, baseline] {
            if (alive->load())
                CheckMessages(baseline);
        },
        {});
}

void COwnerFeed::CheckMessages(bool baseline)
{
    CDmEngine& engine = *m_parts.engine;
    if (!engine.ThreadRunning() || (baseline && m_bBaselined))
        return;
    // While the modem is gone (or starting again) the message table is
    // being emptied and filled again: nothing in it is news.
    if (!m_hub.Snapshot().engineReady)
        return;
    if (!baseline && !m_bBaselined) {
        // An arrival before the first listing: the listing comes first,
        // then this arrival is looked at against it.
        CheckMessages(true);
        if (!m_bBaselined)
            return;
    }
    bool busy = false;
    for (const int store : {kSmsStoreMemory, kSmsStoreRuim}) {
        const uint16_t r = engine.DmSubRequest(DM_SMS_LIST, uintptr_t(store), false);
        busy = busy || r == DM_RESULT_BUSY;
    }
    if (busy) {
        // The window's own message work holds the engine: try again.
        auto alive = m_alive;
        m_clock.After(kSmsRetryKey, 1000, [this, alive, baseline] {
            if (alive->load())
                QueueMessageCheck(baseline);
        });
        return;
    }
    std::set<int32_t> all;
    std::vector<int32_t> fresh;
    try {
        CDaoSmsDb& sms = m_parts.db->Sms();
        if (sms.GetRecordCount() > 0)
            for (sms.MoveFirst(); !sms.IsEOF(); sms.MoveNext()) {
                all.insert(sms.m_index);
                if (!baseline && !m_seenMessages.count(sms.m_index) && sms.m_tag_type <= kSmsTagUnread)
                    fresh.push_back(sms.m_index);
            }
    } catch (const CDaoException& e) {
        DEBUG_LOG(LEVEL_ST, "owner: the message table: %s", e.Description().c_str());
        return;
    }
    if (baseline)
        m_seenMessages.insert(all.begin(), all.end());
    else
        m_seenMessages = all;
    m_bBaselined = true;
    if (fresh.empty()) {
        RequestRefresh(); // the counts are known now
        return;
    }
    if (engine.DmSubRequest(DM_SMS_READ, 0, false) != DM_SMS_READ)
        DEBUG_LOG(LEVEL_ST, "owner: reading the new messages failed");
    std::vector<OwnerEvent> events;
    try {
        CDaoSmsDb& sms = m_parts.db->Sms();
        for (int32_t index : fresh) {
            if (!sms.FindFirst(CDaoSmsDb::FilterIndex(index)))
                continue;
            OwnerEvent e;
            e.kind = OwnerEventKind::SmsReceived;
            e.storage = SmsStorageOf(index) == kSmsStoreRuim ? "ruim" : "memory";
            e.slot = uint32_t(SmsSlotOf(index));
            e.index = uint32_t(index);
            e.number = Utf8Text(sms.m_cb_number);
            const std::string text = Utf8Text(sms.MessageText());
            e.text = text.substr(0, text.find('\n'));
            events.push_back(e);
        }
    } catch (const CDaoException& e) {
        DEBUG_LOG(LEVEL_ST, "owner: the message table: %s", e.Description().c_str());
    }
    for (OwnerEvent& e : events) {
        e.name = NameOf(e.number);
        m_hub.Publish(e);
    }
    RequestRefresh();
}

} // namespace kv
