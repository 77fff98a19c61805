// The modem's owner on the session bus: org.korvianet.Korvianet1 at
// /org/korvianet/Korvianet1 (packaging/dbus/org.korvianet.Korvianet1.xml).
//
// The service runs one thread of its own with its own bus connection
// (sd-bus); every sd-bus call is made on it. The properties are the hub's
// snapshot, announced with PropertiesChanged when the hub changes; the hub's
// events become the interface's signals; the methods check the caller (the
// session's own user only) and their arguments (as korvianet-cli checks its
// own) and hand the work to IOwnerActions, answering when it is done, or
// with TimedOut when it is not done in time. The hub's listener and the
// actions' done callbacks only queue work and wake the thread.
//
// No session bus, or the name already taken: logged once, and the owner
// runs on without the service (Start() does not fail for it).
#pragma once

#include "host/OwnerActions.h"
#include "host/OwnerEvents.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace kv::bus {

// The session bus's address: KORVIANET_SESSION_BUS_ADDRESS when set (tests
// give a private bus), else "" for the user's session bus
// (DBUS_SESSION_BUS_ADDRESS).
inline constexpr const char* kSessionBusAddressEnv = "KORVIANET_SESSION_BUS_ADDRESS";
std::string SessionBusAddress();

struct BusServiceOptions {
    std::string address = SessionBusAddress();
    std::string version;            // the Version property; "" the build's
    int callTimeoutMs = 30000;      // a method's answer at the latest
    int smsTimeoutMs = 120000;      // SendSms waits for delivery reports
    // One line for the log of what happened (optional; called on the
    // service's thread).
    std::function<void(const std::string&)> note;
};

enum class BusServiceState {
    Idle,      // not started, or stopped
    Starting,  // connecting, asking for the name
    Offered,   // the name is ours and the object exported
    NameTaken, // another connection holds the name: running without
    NoBus,     // no session bus, or it went away: running without
};

class CBusService {
public:
    CBusService(COwnerHub& hub, IOwnerActions& actions, BusServiceOptions options = {});
    ~CBusService();
    CBusService(const CBusService&) = delete;
    CBusService& operator=(const CBusService&) = delete;

    // Starts the thread (once). False only when the thread cannot start.
    bool Start();
    // Answers the calls still waiting with Failed, leaves the bus and joins
    // the thread (within about a second once connected). Call it from the
    // thread that calls the hub's Update.
    void Stop();

    BusServiceState State() const { return m_state.load(); }
    // Waits (at most timeoutMs) until the start has settled: offered, or
    // running without. True when it settled.
    bool WaitSettled(int timeoutMs) const;

    // The service's insides (bus/BusLoop.h).
    struct Inbox;
    struct Loop;

private:
    class Listener;
    void ThreadMain();
    void Note(const std::string& line);

    COwnerHub& m_hub;
    IOwnerActions& m_actions;
    BusServiceOptions m_options;
    std::shared_ptr<Inbox> m_inbox;
    std::unique_ptr<Listener> m_listener;
    std::thread m_thread;
    std::atomic<BusServiceState> m_state{BusServiceState::Idle};
};

} // namespace kv::bus
