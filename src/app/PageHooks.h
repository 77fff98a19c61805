// How the pages and services that live in other folders plug into the main
// window. The application wires them at start-up (Dialer_one.cpp); a page
// that is not wired is simply absent: the main window logs the request and
// does nothing.
//
// - The dial pad (dialog 131) and the SMS page (dialog 133) are embedded
//   child pages; the main window creates them through a factory and talks to
//   them through the small interfaces below.
// - The settings page and the phonebook picker run modally; a runner opens
//   one, returns when it ends, and is given the tab or picker mode.
// - UM_UI_REQUEST sub-codes and UM_LOOKUP_NAME may be served by handlers
//   registered by sub-code; a registered handler replaces the window's own.
// - The message and phonebook engines are one service object the window
//   owns: the SMS page switch and timer 110 call it.
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

class CDialer_oneDlg;

namespace kvapp {

// The dial pad page as the main window uses it.
class IDialPadPage {
public:
    virtual ~IDialPadPage() = default;
    virtual QWidget* Widget() = 0;
    virtual std::string Number() const = 0;
    virtual void ClearNumber() = 0;
    virtual void PressSend() = 0;
    virtual void Reset() = 0;
    // A call text that waits for the message line; taken once.
    virtual bool TakePendingCallText(std::string&) { return false; }
    // The number the phonebook page chose to call.
    virtual void SetNumber(const std::string&) {}
    virtual void VolumeDown() {}
    virtual void VolumeUp() {}
};

// The SMS page as the main window uses it.
class ISmsPage {
public:
    virtual ~ISmsPage() = default;
    virtual QWidget* Widget() = 0;
    // Back to the list with nothing selected.
    virtual void ResetSelection() = 0;
    virtual void SetComposeMode(bool compose) = 0;
    virtual void Reset() = 0;
    // Sends one text to one number (the balance and number queries).
    virtual void SendQuick(const std::string& number, const std::string& text) = 0;
    // Fills the empty recipient rows from the phonebook selection; false
    // when none was free.
    virtual bool FillRecipients() { return false; }
    // The phonebook page's selection (at most 5 numbers) becomes the
    // recipients list; FillRecipients or the compose mode takes it from there.
    virtual void SetRecipients(const std::vector<std::string>&) {}
    // A send sequence runs.
    virtual bool Sending() const { return false; }
    // Timer 110, after the messaging service removed the voice-mail
    // notification's row: the page drops its list item (1: the inbox list
    // is shown).
    virtual void UpdateVoiceMail(int) {}
    // The list's state word (0 the home view, 0x201 the inbox list).
    virtual uint16_t ListState() const { return 0; }
    // The message list, for the engine's remove-all.
    virtual int ListItemCount() { return 0; }
    virtual int32_t ListItemData(int) { return 0; }
    virtual void ClearListItemData(int) {}
    virtual void DeleteAllListItems() {}
};

// The message and phonebook engines as the main window uses them (UI
// thread). The window owns the one it is given.
class IMessagingService {
public:
    virtual ~IMessagingService() = default;
    // First load of the message mirror before the SMS page shows; false
    // when the read failed (the switch is abandoned).
    virtual bool LoadMirror() = 0;
    // Timer 110: the voice-mail notification's row goes, after the engine
    // removed the notification from the modem.
    virtual void RemoveVoiceMailRow() = 0;
};

// The device presence watcher as the main window holds it.
class IDeviceWatcher {
public:
    virtual ~IDeviceWatcher() = default;
    // m_nRegNotifyState: 0 not running, 1 present, 253 removed, 255 stopping.
    virtual int State() const = 0;
    // The removal event's pulse (any thread).
    virtual void Pulse() = 0;
    // RegDestroy: the watcher's thread has ended when it returns (UI thread;
    // events are dispatched meanwhile).
    virtual void Stop() = 0;
};

struct PageHooks {
    std::function<IDialPadPage*(CDialer_oneDlg&)> makeDialPad;
    std::function<ISmsPage*(CDialer_oneDlg&)> makeSmsPage;
    // Runs the settings page modally on a tab (0: the page's own choice).
    std::function<void(CDialer_oneDlg&, int tab)> runSettings;
    // Runs the phonebook page modally as a picker (sub 1: select mode; 3:
    // the call history picker of the dial pad).
    std::function<void(CDialer_oneDlg&, int sub)> runPicker;
    // The in-call display and call history (UM_UI_REQUEST 4).
    std::function<void(CDialer_oneDlg&, intptr_t kind)> callDisplay;
    // The ring sound (UM_RING_START / UM_RING_STOP).
    std::function<void(bool start)> ring;
    // Connect and disconnect of the data connection (buttons 1000, 1001),
    // and the RAS request queue (button 1075, the close procedure).
    std::function<void(CDialer_oneDlg&)> netConnect;
    std::function<void(CDialer_oneDlg&)> netDisconnect;
    std::function<bool(CDialer_oneDlg&, int code, bool atFront)> rasRequest;
    // The RAS client and its monitor thread; false when the client could
    // not be initialised (connect and disconnect then stay disabled).
    std::function<bool(CDialer_oneDlg&)> startRas;
    // Timer 114: the monitor thread starts again after the modem came back.
    std::function<void(CDialer_oneDlg&)> restartRas;
    // The close procedure's RAS steps: stop the thread (pumping), empty the
    // queue, release the event, pulse the removal event.
    std::function<void(CDialer_oneDlg&)> stopRas;
    // The window's destruction: the stop again and the client unloaded.
    std::function<void(CDialer_oneDlg&)> endRas;
    // Whether Net Connect may be enabled (false while there is no client).
    std::function<bool(CDialer_oneDlg&)> rasReady;
    // The device presence watcher; false when it cannot watch.
    std::function<bool(CDialer_oneDlg&)> startDeviceWatcher;
    std::function<void(CDialer_oneDlg&)> stopDeviceWatcher;
};

// UM_UI_REQUEST handler: (argument) -> result.
using UiRequestHandler = std::function<intptr_t(intptr_t argument)>;
// UM_LOOKUP_NAME handler: the contact's name for a number, nullopt when no
// contact has it.
using LookupNameHandler = std::function<std::optional<std::string>(const std::string& number)>;

} // namespace kvapp
