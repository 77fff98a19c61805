// Desktop notifications of the owner's events through the freedesktop
// notification service (org.freedesktop.Notifications on the session bus).
//
// The notifier is an IOwnerListener whose calls only queue the event and
// wake its thread. The thread has its own sd-bus connection: it sends
// Notify with the app name "Korvianet" and the "desktop-entry", "category"
// and "urgency" hints, keeps the ids the server gives back, and listens to
// ActionInvoked and NotificationClosed of the current owner of the name.
// The actions are carried out from that thread: Reply opens the reply in
// the window (IOwnerUi; a host without a window offers no Reply), Mark read
// reads the message, Answer and Decline answer or hang up the call. The
// incoming call's notification is closed when the call is answered or over.
//
// No session bus, or no notification service on it: logged once, nothing
// else changes (a service that appears later is used). With the setting off
// (NotificationsOn) nothing is sent.
#pragma once

#include "host/OwnerActions.h"
#include "host/OwnerEvents.h"

#include <atomic>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace kvnotify {

inline constexpr size_t kNotifyQueueMax = 64;

struct DesktopNotifierHooks {
    // Whether notifications are wanted now (asked on the thread before each
    // one); unset: the user's setting.
    std::function<bool()> enabled;
    // One line for the log of what happened (optional; called on any thread).
    std::function<void(const std::string&)> note;
};

class CDesktopNotifier : public kv::IOwnerListener {
public:
    // actions may be null (no actions offered then); ui is null in the run
    // without a window. address: the session bus's address, "" for the
    // user's own session bus.
    CDesktopNotifier(kv::IOwnerActions* actions, kv::IOwnerUi* ui, DesktopNotifierHooks hooks = {},
                     std::string address = "");
    ~CDesktopNotifier() override;
    CDesktopNotifier(const CDesktopNotifier&) = delete;
    CDesktopNotifier& operator=(const CDesktopNotifier&) = delete;

    // Starts the thread (once); false only when it cannot start.
    bool Start();
    // Stops and joins the thread (prompt: its waits are bounded). An open
    // incoming-call notification is closed first.
    void Stop();

    void OnOwnerEvent(const kv::OwnerEvent& event) override;

    // The bus connection is up and the signals are listened to.
    bool Listening() const { return m_bListening.load(); }
    // The thread gave up (no bus, or the bus went away).
    bool Ended() const { return m_bEnded.load(); }

private:
    struct Bus;
    void ThreadMain();
    void Note(const std::string& line);
    bool Take(kv::OwnerEvent& out);

    kv::IOwnerActions* m_actions;
    kv::IOwnerUi* m_ui;
    DesktopNotifierHooks m_hooks;
    std::string m_address;
    std::thread m_thread;
    int m_wakeFd = -1;
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bRunning{false}; // between Start and Stop
    std::atomic<bool> m_bListening{false};
    std::atomic<bool> m_bEnded{false};

    std::mutex m_lock;
    std::deque<kv::OwnerEvent> m_queue;
};

} // namespace kvnotify
