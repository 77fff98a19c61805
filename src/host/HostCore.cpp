// The host core: the rules both hosts share.
#include "host/HostCore.h"

#include "engine/DmCallState.h"
#include "engine/DmTexts.h"
#include "host/HostTexts.h"
#include "log/DebugLog.h"

#include <algorithm>

namespace kv {

CHostCore::CHostCore(IDmHost& host, IHostAdapter& adapter, IStatusView& view)
    : m_host(host), m_adapter(adapter), m_view(view), m_model(m_state, view)
{
}

// ---------------------------------------------------------------------------
// Status panel

void CHostCore::SetIndicator(int id, int value)
{
    std::string before, after;
    uint8_t sms = 0, call = 0, service = 0;
    m_adapter.WithView([&] {
        before = m_view.MessageLine();
        sms = m_model.Sms();
        call = m_model.Call();
        service = m_model.Service();
        m_model.SetIndicator(id, value);
        after = m_view.MessageLine();
    });
    const uint8_t smsNow = m_model.Sms(), callNow = m_model.Call(), serviceNow = m_model.Service();
    Notify([&](IHostObserver& o) { o.OnStatusChanged(id, value); });
    if (id == IND_MESSAGE_LINE && after != before)
        Notify([&](IHostObserver& o) { o.OnMessageLine(after); });
    if (smsNow != sms && smsNow != 0 && smsNow != CStatusModel::kUnknown)
        Notify([&](IHostObserver& o) { o.OnSmsArrived(smsNow); });
    if (callNow != call)
        Notify([&](IHostObserver& o) { o.OnCallState(callNow); });
    if (serviceNow != service)
        Notify([&](IHostObserver& o) { o.OnConnectionState(serviceNow); });
}

void CHostCore::SetSignal(int id, int value)
{
    m_adapter.WithView([&] { m_model.SetSignal(id, value); });
    Notify([&](IHostObserver& o) { o.OnSignal(id, value); });
}

void CHostCore::AppendMessageLine(const std::string& text, bool replace)
{
    std::string line;
    m_adapter.WithView([&] {
        m_model.AppendMessageLine(text, replace);
        line = m_view.MessageLine();
    });
    Notify([&](IHostObserver& o) { o.OnMessageLine(line); });
}

// ---------------------------------------------------------------------------
// Timers

bool CHostCore::IsPeriodicTimer(uint32_t id) { return id == TIMER_CALL_DURATION || id == TIMER_AT_POLL; }

void CHostCore::OnTimer(uint32_t id)
{
    if (!IsPeriodicTimer(id))
        m_adapter.CancelTimer(id);
    if (m_adapter.ServeTimer(id))
        return;
    switch (id) {
    case TIMER_RESTORE_MESSAGE_LINE: {
        std::string before, after;
        m_adapter.WithView([&] {
            before = m_view.MessageLine();
            m_model.RestoreMessageLine();
            after = m_view.MessageLine();
        });
        if (after != before)
            Notify([&](IHostObserver& o) { o.OnMessageLine(after); });
        break;
    }
    case TIMER_CHARGE_BLINK:
        m_adapter.WithView([&] { m_model.ChargeBlink(); });
        break;
    case TIMER_CALL_DURATION:
        TickCallDuration(m_state);
        break;
    case TIMER_CALL_START:
        RecordCallStart(m_state);
        break;
    case TIMER_WAITING_CALL:
        WaitingCallFallback(m_host);
        break;
    case TIMER_BACK_TO_STATUS:
        if (m_state.m_nActiveView.load() != VIEW_STATUS)
            UserActiveView(VIEW_STATUS, 0);
        break;
    case TIMER_CLOSE_PROGRAM:
        m_state.m_nPortState = DM_STOPPED;
        m_adapter.CloseProgram();
        Notify([](IHostObserver& o) { o.OnCloseRequested(); });
        break;
    default:
        DEBUG_LOG(LEVEL_ST, "timer %u has no handler here", unsigned(id));
        break;
    }
}

// ---------------------------------------------------------------------------
// User messages

void CHostCore::RegisterUiRequest(uint32_t subCode, UiRequestHandler handler)
{
    m_uiRequests[subCode] = std::move(handler);
}

void CHostCore::SetLookupNameHandler(LookupNameHandler handler) { m_lookupName = std::move(handler); }

std::optional<std::string> CHostCore::LookupName(const std::string& number) const
{
    if (!m_lookupName)
        return std::nullopt;
    std::optional<std::string> name = m_lookupName(number);
    if (name && name->empty())
        return std::nullopt;
    return name;
}

intptr_t CHostCore::OnUserMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam)
{
    if (msg != UM_UI_REQUEST)
        return m_adapter.OnMessage(msg, wParam, lParam);
    const uint32_t sub = uint32_t(wParam);
    auto it = m_uiRequests.find(sub);
    if (it != m_uiRequests.end() && it->second)
        return it->second(lParam);
    if (sub == UI_REQ_LOAD_PHONEBOOK) {
        LoadPhonebook(uintptr_t(lParam));
        return 0;
    }
    return m_adapter.OnUiRequest(sub, lParam);
}

void CHostCore::LoadPhonebook(uintptr_t storageWord)
{
    // The engine waits for this message: the read runs as its own
    // sub-request. Each storage has its own read flag.
    const bool ruim = storageWord == PB_STORAGE_WORD_RUIM;
    const uint8_t readBit = ruim ? kPbReadRuim : kPbReadMemory;
    if (!(m_state.m_ucPbReadDone.load() & readBit) && m_adapter.ReadPhonebook(storageWord))
        m_state.m_ucPbReadDone |= readBit;
    if (m_state.m_ucPbReadDone.load() & readBit)
        m_state.m_ucUiFlags |= ruim ? UIF_PB_RUIM_LOADED : UIF_PB_MEMORY_LOADED;
}

// ---------------------------------------------------------------------------
// Pages

int CHostCore::UserActiveView(int page, int sub)
{
    // The settings page, its traffic tab among them, opens also without a
    // modem: the traffic figures come from the files.
    if (page != VIEW_STATUS && page != VIEW_SETTINGS && page != VIEW_TRAFFIC) {
        const uint16_t s = m_state.m_nPortState.load();
        if (s == DM_STOPPED) {
            m_adapter.RefuseBox(dmtext::kPortNotOpened);
            return 0;
        }
        if (s == DM_END_WORK)
            return 0;
    }
    if ((page == VIEW_DIAL_PAD || page == VIEW_SMS) && m_state.m_ucServiceState.load() == SERVICE_EVDO) {
        // A data-only network carries no calls and no messages.
        m_adapter.RefuseBox(page == VIEW_DIAL_PAD ? hosttext::kNoCallEvdoOnly : hosttext::kNoSmsEvdoOnly);
        StartTimer(TIMER_BACK_TO_STATUS, 300);
        return 0;
    }
    return m_adapter.ShowPage(page, sub);
}

// ---------------------------------------------------------------------------
// Observers

void CHostCore::AddObserver(IHostObserver* observer)
{
    std::lock_guard<std::mutex> g(m_observerLock);
    if (observer && std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end())
        m_observers.push_back(observer);
}

void CHostCore::RemoveObserver(IHostObserver* observer)
{
    std::lock_guard<std::mutex> g(m_observerLock);
    std::erase(m_observers, observer);
}

void CHostCore::Notify(const std::function<void(IHostObserver&)>& event)
{
    std::vector<IHostObserver*> observers;
    {
        std::lock_guard<std::mutex> g(m_observerLock);
        observers = m_observers;
    }
    for (IHostObserver* o : observers)
        event(*o);
}

} // namespace kv
