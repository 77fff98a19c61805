// The main window as the core sees it. The DM engine, the sub-request
// routines and the other worker threads reach the window only through this
// interface: the Qt main window implements it, tests and the command-line
// tool use the headless host (host/HeadlessHost.h).
//
// Threading contract:
// - SetIndicator, SetSignal, AppendMessageLine, MessageLineText, ShowControl,
//   SetLineText, EnableControl,
//   SetTextLimit, ResetDialPad, UserActiveView, MessageBox, the timers and
//   PostUserMessage may be called from any thread; a host that owns windows
//   runs the window work on its UI thread and returns when it is done.
// - SendUserMessage makes the caller wait until the UI thread has handled the
//   message (immediately when the caller is the UI thread).
// - RunPinDialog and RunTimedPopup are called from the engine thread and block
//   it while the dialog is open; EndModalDialog (from StopDmEngine) ends an
//   open PIN dialog with PinResult::EndedByEngine.
// - LookupName, like SendUserMessage, waits for the UI thread's answer.
// - WaitPumping waits until done() holds, dispatching the calling thread's
//   events when it is the UI thread. No lock is held while waiting.
#pragma once

#include "host/HostIds.h"
#include "engine/ModemState.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace kv {

// Where a posted message goes: the main window itself, the open modal page
// (m_hModalWnd) or the SMS page.
enum class MsgTarget { MainWindow, ModalWindow, SmsPage };

class IDmHost {
public:
    virtual ~IDmHost() = default;

    // The ModemState record (owned by the main window object).
    virtual ModemState& State() = 0;

    // --- status panel ---
    virtual void SetIndicator(int id, int value) = 0;
    virtual void SetSignal(int id, int value) = 0;
    virtual void AppendMessageLine(const std::string& text, bool replace) = 0;
    // The message line's text as it stands now ("" when not known).
    virtual std::string MessageLineText() { return {}; }

    // --- controls and pages ---
    virtual void ShowControl(int id, bool show) = 0;
    // Sets the text of a status line (1071, 1115, 1116), not wrapped.
    virtual void SetLineText(int id, const std::string& text) = 0;
    virtual void EnableControl(int id, bool enable) = 0;
    // Text limit of the main window's text field (the ASCII SMS limit).
    virtual void SetTextLimit(int chars) = 0;
    // Puts the dial pad page back to its initial state.
    virtual void ResetDialPad() = 0;
    // Puts the SMS page back to its initial state.
    virtual void ResetSmsPage() = 0;
    // Page switching; 1 done, 0 refused.
    virtual int UserActiveView(int page, int sub) = 0;
    virtual void SetWaitCursor(bool on) = 0;

    // --- dialogs (caption "Korvianet") ---
    virtual void MessageBox(const std::string& text, MsgIcon icon) = 0;
    // The modal PIN dialog in PIN_MODE_ENTER or PIN_MODE_UNBLOCK. On Ok the
    // dialog has written "chv1" (and "chv1_temp" when unblocking).
    virtual PinResult RunPinDialog(int mode) = 0;
    // Ends an open PIN dialog (StopDmEngine); harmless when none is open.
    virtual void EndModalDialog() = 0;
    // The timed popup; returns its result byte (1, 2 or 4).
    virtual int RunTimedPopup(const std::string& text, MsgIcon icon, int mode, int countdownSec,
                              bool defaultOk) = 0;

    // --- messages and timers ---
    virtual void PostUserMessage(MsgTarget target, uint32_t msg, uintptr_t wParam,
                                 intptr_t lParam) = 0;
    virtual intptr_t SendUserMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) = 0;
    virtual void StartTimer(uint32_t id, uint32_t periodMs) = 0;
    virtual void KillTimer(uint32_t id) = 0;

    // --- waiting ---
    virtual bool WaitPumping(const std::function<bool()>& done, int64_t timeoutMs) = 0;
    // A hint that something a pumping waiter may be checking has changed
    // (the engine's state word): wakes the UI thread's wait early.
    virtual void Wake() {}

    // Pulses the device presence watcher's event, when one runs.
    virtual void PulseDeviceWatcher() {}

    // --- the phonebook (UM_LOOKUP_NAME) ---
    // The contact's name for a number, looked up on the UI thread; nullopt
    // when no contact has it (the caller keeps the number).
    virtual std::optional<std::string> LookupName(const std::string&) { return std::nullopt; }
};

} // namespace kv
