// CAtPoll: the AT poll of the main window (timer 100003, every 8 s from the
// port's opening). One tick asks for the signal quality, the IMSI and the
// card's PIN state, shows them on the status lines 1116, 1071 and 1115, and
// sets the packet-data APN when the IMSI or the configured fixed APN
// changed: automatically from the built-in table by the IMSI's network
// prefix, or the fixed APN of the settings ("apn_type" / "apn_content").
//
// Tick runs on the UI thread. The exchanges share the port with the DM
// engine (see AtChannel.h): a query the engine keeps the port from is
// skipped for this tick, like one that got no answer. The whole tick holds
// the UI thread at most kAtTickBudgetMs, plus the short pause after each
// exchange (the call duration and every other timer wait for it): each
// query may take its share of what is left, so a modem slow to answer one
// query cannot starve the others, and a query that finds no time left is
// skipped until the next tick. The values are read
// by other threads (the connection manager takes CurrentImsiText for its
// dial string), so every accessor returns a copy taken under a lock.
#pragma once

#include "engine/DmHost.h"
#include "net/AtChannel.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace kv {

// What the poll knows, for the command-line tool and tests.
struct AtPollSnapshot {
    std::string lastSignalAnswer;
    std::string lastGoodSignalAnswer;
    std::string signalValue;
    std::string imsiAnswer;
    std::string currentImsiText;
    std::string previousImsiText;
    std::string imsiDigits;   // the IMSI's digits of the latest answer ("" unknown)
    std::string apnText;      // "\rAPN:<apn>"
    std::string apn;          // the APN last chosen
    std::string cardAnswer;
    std::string staticApn;
    std::string previousStaticApn;
    bool pinRequested = false;
    uint64_t ticks = 0;
    uint64_t busySkips = 0;   // queries skipped because the DIAG link held the port
    uint64_t noAnswers = 0;   // queries the modem did not answer in time
    uint64_t apnCommands = 0; // APN commands sent
    uint64_t apnRefused = 0;  // APNs that failed validation (never sent)
    uint64_t timeSkips = 0;   // queries left for the next tick: the tick's time was up
};

// What one tick may hold the UI thread: the three queries' 250 ms each.
inline constexpr int kAtTickBudgetMs = 750;

class CAtPoll {
public:
    CAtPoll(IDmHost& host, IAtPort& port);
    CAtPoll(const CAtPoll&) = delete;
    CAtPoll& operator=(const CAtPoll&) = delete;

    // One timer tick.
    void Tick();

    // The IMSI part used for change detection; the dial string depends on it.
    std::string CurrentImsiText() const;
    // 1 when the card asked for its PIN in the latest card answer.
    bool PinRequested() const { return m_bPinRequested.load(); }
    AtPollSnapshot Snapshot() const;

private:
    bool QuerySignal(bool read);
    void QueryImsi(bool read);
    // Step 4; false when the tick ends there (a new fixed APN was sent).
    bool HandleImsi();
    void QueryCard(bool read);
    void SendApn(const std::string& apn);
    void ShowLine(int id, const std::string& text);
    std::string ApnText() const;
    AtExchangeResult Exchange(const char* command, const AtReadPlan& plan, bool read,
                              std::string& answer);
    // Whether the tick has time left; when not, counts the skipped queries.
    bool TimeLeft(int queriesSkipped);
    // The deadline of the next exchange: its share of the tick's time left.
    int64_t NextShare();

    IDmHost& m_host;
    IAtPort& m_port;

    mutable std::mutex m_lock; // the values below
    AtPollSnapshot m_v;
    std::atomic<bool> m_bPinRequested{false};
    bool m_bApnRetry = false; // the last APN command could not be sent (UI thread)
    int64_t m_tickEnd = 0;    // the running tick's deadline on the port's clock (UI thread)
    int m_queriesLeft = 0;    // exchanges the running tick still plans (UI thread)
};

} // namespace kv
