// The headless main window: an event loop of posted tasks and timers on one
// thread, and a record of what a window would show.
#include "host/HeadlessHost.h"

#include "engine/StatusIds.h"

#include "log/DebugLog.h"
#include "platform/Event.h"
#include "platform/PumpHook.h"

#include <algorithm>

namespace kv {

namespace {
// The hooks are set from any thread and copied out before a call, so that
// no lock is held while one runs.
template <class F> void PutHook(std::mutex& lock, F& slot, F value)
{
    std::lock_guard<std::mutex> g(lock);
    slot = std::move(value);
}

template <class F> F CopyHook(std::mutex& lock, const F& slot)
{
    std::lock_guard<std::mutex> g(lock);
    return slot;
}
} // namespace

CHeadlessHost::CHeadlessHost()
{
    BindToCurrentThread();
    m_core.AddObserver(this);
    // As the window starts: the initial indicator state, then every
    // indicator hidden until the modem reports.
    std::lock_guard<std::mutex> g(m_viewLock);
    m_core.Model().InitialState();
    for (int id : statusid::kIndicatorControls)
        m_panelView.ShowIndicator(id, false);
}

CHeadlessHost::~CHeadlessHost()
{
    if (IsUiThread() && CurrentPump() == this)
        SetCurrentPump(nullptr);
}

void CHeadlessHost::BindToCurrentThread()
{
    {
        std::lock_guard<std::mutex> g(m_loopLock);
        m_uiThread = std::this_thread::get_id();
    }
    SetCurrentPump(this);
}

bool CHeadlessHost::IsUiThread() const
{
    std::lock_guard<std::mutex> g(m_loopLock);
    return m_uiThread == std::this_thread::get_id();
}

void CHeadlessHost::SetPinProvider(PinProvider p) { PutHook(m_cfgLock, m_pinProvider, std::move(p)); }

void CHeadlessHost::SetMessageHandler(MessageHandler h) { PutHook(m_cfgLock, m_msgHandler, std::move(h)); }

void CHeadlessHost::SetTimerHandler(TimerHandler h) { PutHook(m_cfgLock, m_timerHandler, std::move(h)); }

void CHeadlessHost::SetObserver(Observer o) { PutHook(m_cfgLock, m_observer, std::move(o)); }

void CHeadlessHost::Note(const std::string& what)
{
    const Observer o = CopyHook(m_cfgLock, m_observer);
    if (o)
        o(what);
}

// ---------------------------------------------------------------------------
// Event loop

bool CHeadlessHost::DispatchOne(std::unique_lock<std::mutex>& lk)
{
    if (!m_tasks.empty()) {
        Task t = std::move(m_tasks.front());
        m_tasks.pop_front();
        lk.unlock();
        t.fn();
        lk.lock();
        return true;
    }
    const int64_t now = TickMs();
    for (auto& [id, timer] : m_timers) {
        if (timer.due <= now) {
            timer.due = now + timer.period;
            const uint32_t fired = id;
            lk.unlock();
            m_core.OnTimer(fired);
            lk.lock();
            return true;
        }
    }
    return false;
}

void CHeadlessHost::PumpFor(int64_t maxMs)
{
    const int64_t deadline = TickMs() + std::max<int64_t>(0, maxMs);
    std::unique_lock<std::mutex> lk(m_loopLock);
    bool did = false;
    for (;;) {
        // Bounded by the deadline too: a timer whose handler takes longer
        // than its period is due again at once and would keep us here.
        while (DispatchOne(lk)) {
            did = true;
            if (TickMs() >= deadline)
                break;
        }
        if (did || m_bWoken) {
            m_bWoken = false;
            return;
        }
        const int64_t now = TickMs();
        if (now >= deadline)
            return;
        int64_t until = deadline;
        for (const auto& [id, timer] : m_timers)
            until = std::min(until, timer.due);
        if (until > now)
            m_loopCv.wait_for(lk, std::chrono::milliseconds(until - now));
    }
}

bool CHeadlessHost::RunUntil(const std::function<bool()>& done, int64_t timeoutMs)
{
    return WaitPumping(done, timeoutMs);
}

bool CHeadlessHost::WaitPumping(const std::function<bool()>& done, int64_t timeoutMs)
{
    // Another thread has no events to dispatch: a bounded wait that Wake()
    // cuts short.
    return HostWaitLoop(
        done, timeoutMs, IsUiThread(), [this](int64_t ms) { PumpFor(ms); },
        [this](int64_t ms) {
            std::unique_lock<std::mutex> lk(m_loopLock);
            m_loopCv.wait_for(lk, std::chrono::milliseconds(ms));
        },
        10);
}

void CHeadlessHost::Wake()
{
    {
        std::lock_guard<std::mutex> g(m_loopLock);
        m_bWoken = true;
    }
    m_loopCv.notify_all();
}

void CHeadlessHost::RunOnUi(std::function<void()> fn)
{
    {
        std::lock_guard<std::mutex> g(m_loopLock);
        m_tasks.push_back(Task{std::move(fn)});
    }
    m_loopCv.notify_all();
}

void CHeadlessHost::PostUserMessage(MsgTarget target, uint32_t msg, uintptr_t wParam, intptr_t lParam)
{
    {
        std::lock_guard<std::mutex> g(m_viewLock);
        m_posted.push_back(PostedMessage{target, msg, wParam, lParam});
    }
    if (target == MsgTarget::ModalWindow && State().m_hModalWnd.load() == 0)
        return; // no modal page open: the message goes nowhere
    RunOnUi([this, target, msg, wParam, lParam] { HandleMessage(target, msg, wParam, lParam); });
}

void CHeadlessHost::RunOnUiAndWait(const std::function<void()>& fn)
{
    if (IsUiThread()) {
        fn();
        return;
    }
    // The caller waits for the UI thread, holding no lock.
    auto done = std::make_shared<CEvent>(true, false);
    RunOnUi([&fn, done] {
        fn();
        done->Set();
    });
    done->Wait();
}

intptr_t CHeadlessHost::SendUserMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam)
{
    intptr_t result = 0;
    RunOnUiAndWait([&] { result = HandleMessage(MsgTarget::MainWindow, msg, wParam, lParam); });
    return result;
}

std::optional<std::string> CHeadlessHost::LookupName(const std::string& number)
{
    std::optional<std::string> name;
    RunOnUiAndWait([&] { name = m_core.LookupName(number); });
    return name;
}

intptr_t CHeadlessHost::HandleMessage(MsgTarget target, uint32_t msg, uintptr_t w, intptr_t l)
{
    const MessageHandler h = CopyHook(m_cfgLock, m_msgHandler);
    intptr_t result = 0;
    if (h && h(target, msg, w, l, result))
        return result;
    return target == MsgTarget::MainWindow ? m_core.OnUserMessage(msg, w, l) : 0;
}

bool CHeadlessHost::ReadPhonebook(uintptr_t storageWord)
{
    // No phonebook engine in this host: the phonebook counts as loaded.
    DEBUG_LOG(LEVEL_PB, "headless host: no phonebook engine, phonebook 0x%lx marked loaded",
              static_cast<unsigned long>(storageWord));
    return true;
}

void CHeadlessHost::WithView(const std::function<void()>& fn)
{
    std::lock_guard<std::mutex> g(m_viewLock);
    fn();
}

void CHeadlessHost::StartTimer(uint32_t id, uint32_t periodMs) { m_core.StartTimer(id, periodMs); }

void CHeadlessHost::KillTimer(uint32_t id) { m_core.KillTimer(id); }

void CHeadlessHost::ScheduleTimer(uint32_t id, uint32_t periodMs)
{
    {
        std::lock_guard<std::mutex> g(m_loopLock);
        m_timers[id] = Timer{periodMs, TickMs() + periodMs};
    }
    m_loopCv.notify_all();
}

void CHeadlessHost::CancelTimer(uint32_t id)
{
    std::lock_guard<std::mutex> g(m_loopLock);
    m_timers.erase(id);
}

bool CHeadlessHost::TimerActive(uint32_t id) const
{
    std::lock_guard<std::mutex> g(m_loopLock);
    return m_timers.count(id) != 0;
}

bool CHeadlessHost::ServeTimer(uint32_t id)
{
    const TimerHandler handler = CopyHook(m_cfgLock, m_timerHandler);
    return handler && handler(id);
}

void CHeadlessHost::CloseProgram()
{
    std::lock_guard<std::mutex> g(m_viewLock);
    m_bClose = true;
}

// ---------------------------------------------------------------------------
// What the window shows

void CHeadlessHost::SetIndicator(int id, int value)
{
    std::string note;
    {
        std::lock_guard<std::mutex> g(m_viewLock);
        m_indicatorCalls.emplace_back(id, value);
        auto it = m_indicators.find(id);
        const bool changed = it == m_indicators.end() || it->second != value;
        m_indicators[id] = value;
        if (changed && id != IND_MESSAGE_LINE)
            note = "indicator " + std::to_string(id) + " = " + std::to_string(value);
    }
    // The message line's own change is told by the core.
    m_core.SetIndicator(id, value);
    if (!note.empty())
        Note(note);
}

void CHeadlessHost::SetSignal(int id, int value)
{
    std::string note;
    {
        std::lock_guard<std::mutex> g(m_viewLock);
        m_signalCalls.emplace_back(id, value);
        if (value == kSignalBlank) {
            m_signals.erase(id); // the next value draws again
        } else {
            auto it = m_signals.find(id);
            if (it == m_signals.end() || it->second != value)
                note = "signal " + std::to_string(id) + " = " + std::to_string(value);
            m_signals[id] = value;
        }
    }
    m_core.SetSignal(id, value);
    if (!note.empty())
        Note(note);
}

void CHeadlessHost::AppendMessageLine(const std::string& text, bool replace)
{
    m_core.AppendMessageLine(text, replace);
}

void CHeadlessHost::ShowControl(int id, bool show)
{
    std::lock_guard<std::mutex> g(m_viewLock);
    m_shown[id] = show;
}

void CHeadlessHost::SetLineText(int id, const std::string& text)
{
    {
        std::lock_guard<std::mutex> g(m_viewLock);
        m_lineTexts[id] = text;
    }
    Note("line " + std::to_string(id) + " " + text);
}

std::string CHeadlessHost::LineText(int id) const
{
    std::lock_guard<std::mutex> g(m_viewLock);
    auto it = m_lineTexts.find(id);
    return it == m_lineTexts.end() ? std::string() : it->second;
}

void CHeadlessHost::EnableControl(int id, bool enable)
{
    std::lock_guard<std::mutex> g(m_viewLock);
    m_enabled[id] = enable;
}

void CHeadlessHost::SetTextLimit(int) {}

int CHeadlessHost::UserActiveView(int page, int sub)
{
    // On the calling thread, as before the core: the rules read only the
    // state record, and this host's pages are records too.
    return m_core.UserActiveView(page, sub);
}

int CHeadlessHost::ShowPage(int page, int)
{
    if (page == VIEW_STATUS || page == VIEW_DIAL_PAD || page == VIEW_SMS) {
        State().m_nActiveView = uint8_t(page);
        return 1;
    }
    return 0;
}

void CHeadlessHost::MessageBox(const std::string& text, MsgIcon)
{
    {
        std::lock_guard<std::mutex> g(m_viewLock);
        m_boxes.push_back(text);
    }
    Note("message box: " + text);
}

PinResult CHeadlessHost::RunPinDialog(int mode)
{
    const PinProvider p = CopyHook(m_cfgLock, m_pinProvider);
    {
        std::lock_guard<std::mutex> g(m_viewLock);
        ++m_pinDialogs;
        m_bPinOpen = true;
        m_bPinEnded = false;
    }
    Note(mode == PIN_MODE_UNBLOCK ? "card wants the unblock code" : "card wants the PIN");
    auto ended = [this] {
        std::lock_guard<std::mutex> g(m_viewLock);
        return m_bPinEnded;
    };
    PinResult r = p ? p(mode, ended) : PinResult::Cancel;
    std::lock_guard<std::mutex> g(m_viewLock);
    if (m_bPinEnded)
        r = PinResult::EndedByEngine;
    m_bPinOpen = false;
    return r;
}

void CHeadlessHost::EndModalDialog()
{
    std::lock_guard<std::mutex> g(m_viewLock);
    if (m_bPinOpen)
        m_bPinEnded = true;
}

int CHeadlessHost::RunTimedPopup(const std::string& text, MsgIcon, int mode, int, bool defaultOk)
{
    {
        std::lock_guard<std::mutex> g(m_viewLock);
        m_popups.push_back(text);
    }
    Note("popup: " + text);
    // The countdown runs out at once: the default action.
    if (!defaultOk)
        return 2;
    return mode == POPUP_QUESTION ? 4 : 1;
}

// ---------------------------------------------------------------------------
// Observation

int CHeadlessHost::Indicator(int id) const
{
    std::lock_guard<std::mutex> g(m_viewLock);
    auto it = m_indicators.find(id);
    return it == m_indicators.end() ? -1 : it->second;
}

int CHeadlessHost::Signal(int id) const
{
    std::lock_guard<std::mutex> g(m_viewLock);
    auto it = m_signals.find(id);
    return it == m_signals.end() ? -1 : it->second;
}

std::vector<std::pair<int, int>> CHeadlessHost::IndicatorCalls() const
{
    std::lock_guard<std::mutex> g(m_viewLock);
    return m_indicatorCalls;
}

std::vector<std::pair<int, int>> CHeadlessHost::SignalCalls() const
{
    std::lock_guard<std::mutex> g(m_viewLock);
    return m_signalCalls;
}

std::string CHeadlessHost::MessageLine() const
{
    std::lock_guard<std::mutex> g(m_viewLock);
    return m_panelView.line;
}

int CHeadlessHost::IndicatorBitmap(int controlId) const
{
    std::lock_guard<std::mutex> g(m_viewLock);
    auto it = m_panelView.bitmaps.find(controlId);
    return it == m_panelView.bitmaps.end() ? 0 : it->second;
}

bool CHeadlessHost::IndicatorShown(int controlId) const
{
    std::lock_guard<std::mutex> g(m_viewLock);
    return m_panelView.IndicatorShown(controlId);
}

int CHeadlessHost::Beeps() const
{
    std::lock_guard<std::mutex> g(m_viewLock);
    return m_panelView.beeps;
}

std::vector<std::string> CHeadlessHost::MessageBoxes() const
{
    std::lock_guard<std::mutex> g(m_viewLock);
    return m_boxes;
}

std::vector<std::string> CHeadlessHost::Popups() const
{
    std::lock_guard<std::mutex> g(m_viewLock);
    return m_popups;
}

std::vector<CHeadlessHost::PostedMessage> CHeadlessHost::Posted() const
{
    std::lock_guard<std::mutex> g(m_viewLock);
    return m_posted;
}

bool CHeadlessHost::ControlEnabled(int id) const
{
    std::lock_guard<std::mutex> g(m_viewLock);
    auto it = m_enabled.find(id);
    return it != m_enabled.end() && it->second;
}

bool CHeadlessHost::ControlShown(int id) const
{
    std::lock_guard<std::mutex> g(m_viewLock);
    auto it = m_shown.find(id);
    return it != m_shown.end() && it->second;
}

int CHeadlessHost::PinDialogsShown() const
{
    std::lock_guard<std::mutex> g(m_viewLock);
    return m_pinDialogs;
}

bool CHeadlessHost::CloseRequested() const
{
    std::lock_guard<std::mutex> g(m_viewLock);
    return m_bClose;
}

} // namespace kv
