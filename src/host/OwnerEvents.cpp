#include "host/OwnerEvents.h"

#include <algorithm>

namespace kv {

std::vector<std::string> ChangedProperties(const OwnerSnapshot& a, const OwnerSnapshot& b)
{
    std::vector<std::string> out;
    const auto check = [&](bool differs, const char* name) {
        if (differs)
            out.emplace_back(name);
    };
    check(a.engineReady != b.engineReady, "EngineReady");
    check(a.port != b.port, "Port");
    check(a.comPort != b.comPort, "ComPort");
    check(a.deviceKind != b.deviceKind, "DeviceKind");
    check(a.serviceState != b.serviceState, "ServiceState");
    check(a.serviceStateCode != b.serviceStateCode, "ServiceStateCode");
    check(a.systemMode != b.systemMode, "SystemMode");
    check(a.systemModeCode != b.systemModeCode, "SystemModeCode");
    check(a.roaming != b.roaming, "Roaming");
    check(a.signal1xDbm != b.signal1xDbm, "Signal1xDbm");
    check(a.signal1xBars != b.signal1xBars, "Signal1xBars");
    check(a.signalEvdoDbm != b.signalEvdoDbm, "SignalEvdoDbm");
    check(a.signalEvdoBars != b.signalEvdoBars, "SignalEvdoBars");
    check(a.batteryState != b.batteryState, "BatteryState");
    check(a.batteryLevel != b.batteryLevel, "BatteryLevel");
    check(a.chargerConnected != b.chargerConnected, "ChargerConnected");
    check(a.cardState != b.cardState, "CardState");
    check(a.pinCheck != b.pinCheck, "PinCheck");
    check(a.pinAttemptsLeft != b.pinAttemptsLeft, "PinAttemptsLeft");
    check(a.unblockAttemptsLeft != b.unblockAttemptsLeft, "UnblockAttemptsLeft");
    check(a.newMessages != b.newMessages, "NewMessages");
    check(a.messagesMemory != b.messagesMemory, "MessagesMemory");
    check(a.messagesRuim != b.messagesRuim, "MessagesRuim");
    check(a.connectionState != b.connectionState, "ConnectionState");
    check(a.connectionText != b.connectionText, "ConnectionText");
    check(a.connectionDuration != b.connectionDuration, "ConnectionDuration");
    check(a.bytesReceived != b.bytesReceived, "BytesReceived");
    check(a.bytesSent != b.bytesSent, "BytesSent");
    check(a.callState != b.callState, "CallState");
    check(a.callNumber != b.callNumber, "CallNumber");
    check(a.callName != b.callName, "CallName");
    return out;
}

void COwnerHub::Update(const std::function<void(OwnerSnapshot&)>& edit)
{
    OwnerSnapshot now;
    std::vector<std::string> changed;
    {
        std::lock_guard<std::mutex> g(m_lock);
        now = m_now;
        edit(now);
        changed = ChangedProperties(m_now, now);
        if (changed.empty())
            return;
        m_now = now;
    }
    Deliver([&](IOwnerListener& l) { l.OnOwnerChanged(now, changed); });
}

void COwnerHub::Publish(const OwnerEvent& event)
{
    Deliver([&](IOwnerListener& l) { l.OnOwnerEvent(event); });
}

OwnerSnapshot COwnerHub::Snapshot() const
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_now;
}

void COwnerHub::AddListener(IOwnerListener* listener)
{
    std::lock_guard<std::mutex> g(m_lock);
    if (std::find(m_listeners.begin(), m_listeners.end(), listener) == m_listeners.end())
        m_listeners.push_back(listener);
}

void COwnerHub::RemoveListener(IOwnerListener* listener)
{
    std::unique_lock<std::mutex> g(m_lock);
    m_listeners.erase(std::remove(m_listeners.begin(), m_listeners.end(), listener), m_listeners.end());
    // Deliveries on other threads may hold the listener still: wait for
    // them, never for one of this thread's own (that would never end).
    const auto self = std::this_thread::get_id();
    m_idle.wait(g, [&] {
        return std::all_of(m_delivering.begin(), m_delivering.end(),
                           [&](std::thread::id t) { return t == self; });
    });
}

void COwnerHub::Deliver(const std::function<void(IOwnerListener&)>& call)
{
    std::vector<IOwnerListener*> targets;
    const auto self = std::this_thread::get_id();
    {
        std::lock_guard<std::mutex> g(m_lock);
        targets = m_listeners;
        m_delivering.push_back(self);
    }
    for (IOwnerListener* l : targets) {
        {
            // A listener removed meanwhile hears nothing more.
            std::lock_guard<std::mutex> g(m_lock);
            if (std::find(m_listeners.begin(), m_listeners.end(), l) == m_listeners.end())
                continue;
        }
        call(*l);
    }
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_delivering.erase(std::find(m_delivering.begin(), m_delivering.end(), self));
    }
    m_idle.notify_all();
}

} // namespace kv
