// The owner's feed: keeps the hub's snapshot true and publishes its events,
// from the host core's observers, the modem state, the data connection and
// the message stores. Every change is handled on the owner's UI thread (the
// observers only post a refresh there, coalesced); while a connection is up
// a one-second tick keeps its duration and counters current, and nothing
// runs while the modem is idle and silent.
#pragma once

#include "host/HostCore.h"
#include "host/OwnerEvents.h"
#include "owner/OwnerClock.h"
#include "owner/OwnerParts.h"
#include "owner/OwnerWork.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace kv {

class COwnerFeed : private IHostObserver {
public:
    COwnerFeed(COwnerHub& hub, const OwnerParts& parts, COwnerWork& work);
    ~COwnerFeed() override;
    COwnerFeed(const COwnerFeed&) = delete;
    COwnerFeed& operator=(const COwnerFeed&) = delete;

    // Starts listening (and posts the first refresh); Stop ends it for good.
    void Start();
    void Stop();

    // Asks for a refresh on the UI thread (any thread).
    void RequestRefresh();
    // Re-reads every value now and publishes what changed (UI thread).
    void Refresh();

    // The host's removal and recovery path (any thread): the modem went
    // away / came back. Each is published once per removal.
    void ModemRemoved();
    void ModemAdded();

    // The last value the engine reported for an indicator (-1 never).
    int Indicator(int id) const;

private:
    // --- IHostObserver (any thread) ---
    void OnStatusChanged(int id, int value) override;
    void OnSignal(int id, int value) override;
    void OnMessageLine(const std::string&) override { RequestRefresh(); }
    void OnSmsArrived(int kind) override;
    void OnCallState(int) override { RequestRefresh(); }
    void OnConnectionState(int) override { RequestRefresh(); }

    void Read(OwnerSnapshot& s);
    void PublishTransitions(const OwnerSnapshot& before, const OwnerSnapshot& now);
    // The message stores: listed at the first readiness (what is there is
    // not news), then on every arrival (UI thread, as a queued job).
    void QueueMessageCheck(bool baseline);
    void CheckMessages(bool baseline);
    std::string NameOf(const std::string& number);

    COwnerHub& m_hub;
    OwnerParts m_parts;
    COwnerWork& m_work;
    COwnerClock m_clock;
    std::shared_ptr<std::atomic<bool>> m_alive = std::make_shared<std::atomic<bool>>(true);
    std::atomic<bool> m_bStarted{false};
    std::atomic<bool> m_bRefreshPosted{false};

    mutable std::mutex m_valueLock;
    std::map<int, int> m_indicators;
    std::map<int, int> m_signals;

    // UI thread only.
    bool m_bRemoved = false;
    bool m_bWasRunning = false;
    bool m_bBaselined = false;
    std::set<int32_t> m_seenMessages;
    int64_t m_callActiveSince = 0;
    bool m_bCallAnswered = false;
    std::string m_lastCallNumber;
    std::string m_nameNumber, m_nameCached;
    std::string m_cardSeen = "?";
    int m_pinLeft = -1, m_pukLeft = -1;
    std::string m_lastPort;
};

} // namespace kv
