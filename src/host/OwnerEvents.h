// What the owner of the modem (the window, or the headless run) tells the
// services that watch it: the bus service, the desktop notifications, the
// hooks and the tray. The snapshot holds every value those show; the events
// are the moments they react to. The feed (host/OwnerFeed) fills both from
// the host core; the hub hands them on.
//
// Threads. Update is called on the owner's UI thread only (so that the
// listeners hear the changes in order); Publish and Snapshot on any thread.
// Listeners are called on the calling thread with no lock held and must not
// block (the bus service queues and wakes its own thread).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kv {

// Unknown numbers are -1 (signal levels: 0 dBm and 0 bars), unknown texts "".
struct OwnerSnapshot {
    bool engineReady = false;
    std::string port;           // tty path, "" without a modem
    int comPort = -1;
    int deviceKind = -1;

    std::string serviceState;   // the names "korvianet-cli status" prints
    int serviceStateCode = -1;
    std::string systemMode;
    int systemModeCode = -1;
    bool roaming = false;
    int signal1xDbm = 0;
    uint32_t signal1xBars = 0;  // 0..5
    int signalEvdoDbm = 0;
    uint32_t signalEvdoBars = 0;

    std::string batteryState;
    int batteryLevel = -1;
    bool chargerConnected = false;
    std::string cardState;
    bool pinCheck = false;
    int pinAttemptsLeft = -1;
    int unblockAttemptsLeft = -1;

    uint32_t newMessages = 0;
    int messagesMemory = -1;
    int messagesRuim = -1;

    std::string connectionState = "disconnected"; // connecting, connected, disconnecting
    std::string connectionText;
    uint32_t connectionDuration = 0;               // seconds
    uint64_t bytesReceived = 0;
    uint64_t bytesSent = 0;

    std::string callState = "idle";                // dialing, incoming, active
    std::string callNumber;
    std::string callName;

    bool operator==(const OwnerSnapshot&) const = default;
};

// The names of the snapshot's fields as the bus calls them ("Signal1xDbm"),
// for those that differ between a and b.
std::vector<std::string> ChangedProperties(const OwnerSnapshot& a, const OwnerSnapshot& b);

enum class OwnerEventKind {
    SmsReceived,      // storage, slot, index, number (sender), name
    CallIncoming,     // number, name
    CallAnswered,     // number
    CallEnded,        // number, seconds
    CallMissed,       // number, name
    ConnectionUp,     // text
    ConnectionDown,   // text
    ConnectionFailed, // text
    ModemAdded,       // port
    ModemRemoved,     // port
    QuotaWarning,     // percent, used, quota (bytes)
};

struct OwnerEvent {
    OwnerEventKind kind{};
    std::string storage;  // "memory" or "ruim"
    uint32_t slot = 0;
    uint32_t index = 0;
    std::string number;
    std::string name;     // phonebook name, "" when nobody has the number
    std::string text;     // first line of an SMS; the connection's text
    uint32_t seconds = 0;
    std::string port;
    uint32_t percent = 0;
    uint64_t used = 0;
    uint64_t quota = 0;
};

class IOwnerListener {
public:
    virtual ~IOwnerListener() = default;
    // The snapshot after a change, and the properties that changed.
    virtual void OnOwnerChanged(const OwnerSnapshot& /*now*/, const std::vector<std::string>& /*changed*/) {}
    virtual void OnOwnerEvent(const OwnerEvent& /*event*/) {}
};

class COwnerHub {
public:
    // Applies edit to a copy of the snapshot; listeners hear of it when
    // something changed.
    void Update(const std::function<void(OwnerSnapshot&)>& edit);
    void Publish(const OwnerEvent& event);
    OwnerSnapshot Snapshot() const;

    void AddListener(IOwnerListener* listener);
    // Once it returns, the listener is not called any more and no call to
    // it is under way on another thread (one on the calling thread itself,
    // a listener removing itself, may still be returning).
    void RemoveListener(IOwnerListener* listener);

private:
    void Deliver(const std::function<void(IOwnerListener&)>& call);

    mutable std::mutex m_lock;
    std::condition_variable m_idle;
    OwnerSnapshot m_now;
    std::vector<IOwnerListener*> m_listeners;
    // The threads delivering now, one entry per delivery under way.
    std::vector<std::thread::id> m_delivering;
};

} // namespace kv
