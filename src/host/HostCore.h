// The part of the main window that is neither painting, pumping nor opening
// dialogs, shared by the Qt window and the headless host: the modem state
// record, the status model, the timers' dispatch, the routing of the user
// messages, the page rules, the name lookup and the observers. Each host is
// an adapter around one core: the window paints and opens dialogs, the
// headless host records and prints; the rules live here once.
//
// Threads. The core runs on its host's UI thread: the adapter calls OnTimer,
// OnUserMessage, UserActiveView and LookupName there. The status model is
// touched only inside IHostAdapter::WithView, which the headless host guards
// with its view lock. Observers are called with no lock held.
#pragma once

#include "engine/DmHost.h"
#include "engine/ModemState.h"
#include "host/HostIds.h"
#include "host/StatusModel.h"

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace kv {

// What the core asks of the host that carries it.
class IHostAdapter {
public:
    virtual ~IHostAdapter() = default;

    // Runs fn where the status view may be drawn (the UI thread, under the
    // view's lock where there is one).
    virtual void WithView(const std::function<void()>& fn) { fn(); }

    // The host's own timers: the core's rules start and end them here.
    virtual void ScheduleTimer(uint32_t id, uint32_t periodMs) = 0;
    virtual void CancelTimer(uint32_t id) = 0;
    // A timer the host serves itself; false leaves it to the core.
    virtual bool ServeTimer(uint32_t) { return false; }
    // The close timer: the port state is stopped already.
    virtual void CloseProgram() = 0;

    // A page switch the rules allowed; 1 shown, 0 refused.
    virtual int ShowPage(int page, int sub) = 0;
    // The box that refuses a page.
    virtual void RefuseBox(const std::string& text) = 0;

    // UI_REQ_LOAD_PHONEBOOK: reads one phonebook (storage word); true when
    // it counts as read.
    virtual bool ReadPhonebook(uintptr_t storageWord) = 0;
    // A UM_UI_REQUEST sub-code no handler was registered for.
    virtual intptr_t OnUiRequest(uint32_t, intptr_t) { return 0; }
    // Any other user message to the main window.
    virtual intptr_t OnMessage(uint32_t, uintptr_t, intptr_t) { return 0; }
};

// Typed events of the host, for services that watch the modem (any host).
// Called on the thread that made the change, with no lock held.
class IHostObserver {
public:
    virtual ~IHostObserver() = default;
    // Every indicator value the engine reported (id of SetIndicator).
    virtual void OnStatusChanged(int /*indicatorId*/, int /*value*/) {}
    virtual void OnSignal(int /*id*/, int /*value*/) {}
    virtual void OnMessageLine(const std::string& /*text*/) {}
    // The SMS indicator turned to a new value other than none (1 new
    // message, 2 and 3 voice mail).
    virtual void OnSmsArrived(int /*kind*/) {}
    // The call indicator's byte changed.
    virtual void OnCallState(int /*state*/) {}
    // The network service changed (none, 1x, EV-DO, hybrid).
    virtual void OnConnectionState(int /*service*/) {}
    virtual void OnCloseRequested() {}
};

class CHostCore {
public:
    using UiRequestHandler = std::function<intptr_t(intptr_t argument)>;
    // The contact's name for a number; nullopt (or "") when nobody has it.
    using LookupNameHandler = std::function<std::optional<std::string>(const std::string& number)>;

    // host: the IDmHost the engine is given (the adapter's own object).
    CHostCore(IDmHost& host, IHostAdapter& adapter, IStatusView& view);
    CHostCore(const CHostCore&) = delete;
    CHostCore& operator=(const CHostCore&) = delete;

    ModemState& State() { return m_state; }
    CStatusModel& Model() { return m_model; }
    const CStatusModel& Model() const { return m_model; }

    // --- the status panel (through WithView, observers told) ---
    void SetIndicator(int id, int value);
    void SetSignal(int id, int value);
    void AppendMessageLine(const std::string& text, bool replace);

    // --- timers ---
    // The call duration and the AT poll repeat; every other timer fires once.
    static bool IsPeriodicTimer(uint32_t id);
    void StartTimer(uint32_t id, uint32_t periodMs) { m_adapter.ScheduleTimer(id, periodMs); }
    void KillTimer(uint32_t id) { m_adapter.CancelTimer(id); }
    // A timer fired (UI thread).
    void OnTimer(uint32_t id);

    // --- user messages (UI thread) ---
    intptr_t OnUserMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam);
    // A registered handler replaces the core's and the adapter's own.
    void RegisterUiRequest(uint32_t subCode, UiRequestHandler handler);
    void SetLookupNameHandler(LookupNameHandler handler);
    // No handler or no contact: nullopt, and the caller keeps the number.
    std::optional<std::string> LookupName(const std::string& number) const;

    // --- pages (UI thread) ---
    // The rules every page switch passes, then the adapter's page.
    int UserActiveView(int page, int sub);

    // --- observers (any thread) ---
    void AddObserver(IHostObserver* observer);
    void RemoveObserver(IHostObserver* observer);

private:
    void LoadPhonebook(uintptr_t storageWord);
    void Notify(const std::function<void(IHostObserver&)>& event);

    IDmHost& m_host;
    IHostAdapter& m_adapter;
    IStatusView& m_view;
    ModemState m_state;
    CStatusModel m_model;

    std::map<uint32_t, UiRequestHandler> m_uiRequests;
    LookupNameHandler m_lookupName;

    std::mutex m_observerLock;
    std::vector<IHostObserver*> m_observers;
};

} // namespace kv
