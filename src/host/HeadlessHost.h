// A main window without windows: the host that tests and the command-line
// tool give the DM engine. It runs a small event loop on its UI thread (the
// thread that created it, or the one that called BindToCurrentThread): posted
// and sent user messages and timers are dispatched while that thread pumps
// (PumpFor, RunUntil, WaitPumping). It keeps the indicator values, the
// message line and the message boxes so that callers can observe them, and
// reports each change to an optional observer. Indicators and the message
// line go through the same status model as the main window's
// (host/StatusModel.h): what this host shows is what the window shows.
#pragma once

#include "engine/DmHost.h"
#include "host/HostCore.h"
#include "host/StatusModel.h"
#include "platform/PumpHook.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kv {

class CHeadlessHost : public IDmHost, public IPumpHook, private IHostAdapter, private IHostObserver {
public:
    // Asked on the engine thread when the card wants its PIN (mode 2) or
    // the unblock code (mode 4). ended() turns true when the engine stops
    // meanwhile. On Ok the provider has written the codes to the settings.
    using PinProvider = std::function<PinResult(int mode, const std::function<bool()>& ended)>;
    // Sees every user message first; returns true when it handled it.
    using MessageHandler =
        std::function<bool(MsgTarget target, uint32_t msg, uintptr_t w, intptr_t l, intptr_t& result)>;
    using Observer = std::function<void(const std::string& what)>;
    // Sees every timer first (UI thread); returns true when it handled it.
    // Timers of other folders (the AT poll) are served this way.
    using TimerHandler = std::function<bool(uint32_t id)>;

    struct PostedMessage {
        MsgTarget target;
        uint32_t msg;
        uintptr_t wParam;
        intptr_t lParam;
    };

    CHeadlessHost();
    ~CHeadlessHost() override;
    CHeadlessHost(const CHeadlessHost&) = delete;
    CHeadlessHost& operator=(const CHeadlessHost&) = delete;

    // Makes the calling thread the host's UI thread (and installs its pump).
    void BindToCurrentThread();
    bool IsUiThread() const;

    void SetPinProvider(PinProvider p);
    void SetMessageHandler(MessageHandler h);
    void SetObserver(Observer o);
    void SetTimerHandler(TimerHandler h);
    // The phonebook's name lookup (UI thread), as the window has it.
    void SetLookupNameHandler(CHostCore::LookupNameHandler h) { m_core.SetLookupNameHandler(std::move(h)); }
    // The shared core: its observers see this host's events.
    CHostCore& Core() { return m_core; }

    // --- the event loop (UI thread) ---
    // Dispatches events for at most maxMs; returns early after dispatching
    // something or when woken.
    void PumpFor(int64_t maxMs) override;
    bool RunUntil(const std::function<bool()>& done, int64_t timeoutMs);
    // Runs fn on the UI thread (posted; returns at once).
    void RunOnUi(std::function<void()> fn);

    // --- observation (any thread) ---
    int Indicator(int id) const;   // last value, -1 when never set
    int Signal(int id) const;      // last value, -1 when never set
    std::vector<std::pair<int, int>> IndicatorCalls() const;
    std::vector<std::pair<int, int>> SignalCalls() const;
    std::string MessageLine() const;
    // The picture the status model put into an indicator control (0 none),
    // and whether that control is shown.
    int IndicatorBitmap(int controlId) const;
    bool IndicatorShown(int controlId) const;
    int Beeps() const;
    std::vector<std::string> MessageBoxes() const;
    std::vector<std::string> Popups() const;
    std::vector<PostedMessage> Posted() const;
    bool TimerActive(uint32_t id) const;
    bool ControlEnabled(int id) const;
    bool ControlShown(int id) const;
    std::string LineText(int id) const; // "" when never set
    int PinDialogsShown() const;
    bool CloseRequested() const;

    // --- IDmHost ---
    ModemState& State() override { return m_core.State(); }
    void SetIndicator(int id, int value) override;
    void SetSignal(int id, int value) override;
    void AppendMessageLine(const std::string& text, bool replace) override;
    std::string MessageLineText() override { return MessageLine(); }
    void ShowControl(int id, bool show) override;
    void SetLineText(int id, const std::string& text) override;
    void EnableControl(int id, bool enable) override;
    void SetTextLimit(int chars) override;
    void ResetDialPad() override {}
    void ResetSmsPage() override {}
    int UserActiveView(int page, int sub) override;
    void SetWaitCursor(bool) override {}
    void MessageBox(const std::string& text, MsgIcon icon) override;
    PinResult RunPinDialog(int mode) override;
    void EndModalDialog() override;
    int RunTimedPopup(const std::string& text, MsgIcon icon, int mode, int countdownSec,
                      bool defaultOk) override;
    void PostUserMessage(MsgTarget target, uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
    intptr_t SendUserMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
    void StartTimer(uint32_t id, uint32_t periodMs) override;
    void KillTimer(uint32_t id) override;
    bool WaitPumping(const std::function<bool()>& done, int64_t timeoutMs) override;
    void Wake() override;
    std::optional<std::string> LookupName(const std::string& number) override;

private:
    // What the window's indicator controls and message line would show.
    // Called by the status model with m_viewLock held.
    struct PanelView : IStatusView {
        void ShowIndicator(int controlId, bool show) override { shown[controlId] = show; }
        bool IndicatorShown(int controlId) const override
        {
            auto it = shown.find(controlId);
            return it != shown.end() && it->second;
        }
        void SetIndicatorBitmap(int controlId, int bitmapId) override { bitmaps[controlId] = bitmapId; }
        void Beep() override { ++beeps; }
        std::string MessageLine() const override { return line; }
        void SetMessageLine(const std::string& text, bool) override { line = text; }

        std::map<int, bool> shown;
        std::map<int, int> bitmaps;
        std::string line;
        int beeps = 0;
    };
    struct Task {
        std::function<void()> fn;
    };
    struct Timer {
        uint32_t period;
        int64_t due;
    };

    // --- IHostAdapter ---
    void WithView(const std::function<void()>& fn) override;
    void ScheduleTimer(uint32_t id, uint32_t periodMs) override;
    void CancelTimer(uint32_t id) override;
    bool ServeTimer(uint32_t id) override;
    void CloseProgram() override;
    int ShowPage(int page, int sub) override;
    void RefuseBox(const std::string& text) override { MessageBox(text, MsgIcon::Error); }
    bool ReadPhonebook(uintptr_t storageWord) override;

    // --- IHostObserver: what this host prints ---
    void OnMessageLine(const std::string& text) override { Note("message line: " + text); }
    void OnCloseRequested() override { Note("close requested"); }

    intptr_t HandleMessage(MsgTarget target, uint32_t msg, uintptr_t w, intptr_t l);
    // Runs fn on the UI thread and waits for it (at once on the UI thread).
    void RunOnUiAndWait(const std::function<void()>& fn);
    void Note(const std::string& what);
    bool DispatchOne(std::unique_lock<std::mutex>& lk);

    mutable std::mutex m_loopLock; // tasks, timers and the wake flag
    std::condition_variable m_loopCv;
    std::deque<Task> m_tasks;
    std::map<uint32_t, Timer> m_timers;
    bool m_bWoken = false;
    std::thread::id m_uiThread;

    mutable std::mutex m_viewLock; // what the window shows
    std::map<int, int> m_indicators;
    std::map<int, int> m_signals;
    std::vector<std::pair<int, int>> m_indicatorCalls;
    std::vector<std::pair<int, int>> m_signalCalls;
    PanelView m_panelView;
    CHostCore m_core{*this, *this, m_panelView};
    std::vector<std::string> m_boxes;
    std::vector<std::string> m_popups;
    std::vector<PostedMessage> m_posted;
    std::map<int, bool> m_enabled;
    std::map<int, bool> m_shown;
    std::map<int, std::string> m_lineTexts;
    int m_pinDialogs = 0;
    bool m_bPinOpen = false;
    bool m_bPinEnded = false;
    bool m_bClose = false;

    std::mutex m_cfgLock;
    PinProvider m_pinProvider;
    MessageHandler m_msgHandler;
    Observer m_observer;
    TimerHandler m_timerHandler;
};

} // namespace kv
