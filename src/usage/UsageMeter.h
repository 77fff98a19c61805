// The live usage meter of a running data session. The connection manager
// hands it the session's counters after every statistics read; the meter
// books what grew since the last read into the hour in which it was counted
// (so a session that runs across midnight or a cycle edge is split where
// its bytes went, not booked wholly at its end), writes the hours to the
// database about once a minute and at every hour change, and checks the
// billing cycle's quota: each warning percentage is announced once per cycle
// (the record of what was announced lives in the database, so a restart
// does not repeat it), and with the hang-up setting on, reaching the quota
// asks for a hang-up once. Net Connect then asks before dialling again in
// that cycle; a yes lets the rest of the cycle run without another hang-up.
//
// Counters, CountersCleared and SessionEnded come from one thread (the
// monitor thread); DialNeedsConfirmation and DialConfirmed from the UI
// thread. A mutex guards the state; nothing waits for another thread under
// it, and the notices go out after it is released.
#pragma once

#include "usage/UsageSettings.h"
#include "usage/UsageStore.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kvusage {

inline constexpr int64_t kMeterFlushSeconds = 60;
inline constexpr double kBytesPerMb = 1048576.0;

// The notices of the quota, in the words the user reads.
std::string QuotaWarningText(int percent, double usedMb, double quotaMb, QuotaKind kind, bool hangingUp);
std::string QuotaDialQuestion(double quotaMb);

// One quota warning as it is announced: the percentage reached, the bytes
// counted against the quota and the quota itself, and the text.
struct QuotaNotice {
    int percent = 0;
    uint64_t used = 0;
    uint64_t quota = 0;
    std::string text;
    bool hangingUp = false;
};

class CUsageMeter {
public:
    using Clock = std::function<int64_t()>;
    using Notify = std::function<void(const std::string&)>;
    using SettingsFn = std::function<UsageSettings()>;
    using QuotaSink = std::function<void(const QuotaNotice&)>;

    // dbPath: the user's database (opened on first use; without it the
    // meter still checks the quota against this session's bytes).
    explicit CUsageMeter(std::string dbPath, SettingsFn settings = ReadUsageSettings, Clock clock = {},
                         Notify notify = {});
    ~CUsageMeter();
    CUsageMeter(const CUsageMeter&) = delete;
    CUsageMeter& operator=(const CUsageMeter&) = delete;

    // Who hears of each quota warning besides notify (the owner's hub, for
    // the desktop notification and the hooks); called on the thread that
    // hands in the counters, with no lock held.
    void SetQuotaSink(QuotaSink sink);

    // A session starts or its counters were reset: they count from 0 again.
    void CountersCleared();
    // The running session's counters (cumulative since the last clear).
    // True asks the caller to hang up (once per session).
    bool Counters(uint32_t received, uint32_t sent, uint32_t durationMs);
    // The session ended: what is pending is written.
    void SessionEnded();
    // Writes the pending hours now; false when the database refused them
    // (they stay pending and go with the next write).
    bool Flush();

    // A quota hang-up is set up and the quota of this cycle is reached (and
    // the user has not said yes to dialling in this cycle yet).
    bool DialNeedsConfirmation();
    // The user said yes: no further hang-up in this cycle.
    void DialConfirmed();

    // Bytes of the current cycle so far (stored and pending).
    UsageRow CycleUsage();
    // The hours counted but not yet written to the database (by hour).
    std::vector<UsageRow> Unbooked();
    // When the running session came up (from its duration at the last
    // read); 0 when none runs.
    int64_t SessionSince();

private:
    int64_t Now() const;
    bool OpenStore();                     // m_lock held
    bool FlushLocked(int64_t now);        // m_lock held
    void LoadCycle(const Span& cycle);    // m_lock held
    uint64_t UsedOf(const UsageSettings& s) const; // m_lock held
    std::string MetaCycleValue(const char* key); // m_lock held

    std::string m_dbPath;
    SettingsFn m_settings;
    Clock m_clock;
    Notify m_notify;
    QuotaSink m_quotaSink; // under m_lock

    std::mutex m_lock;
    CUsageStore m_store;
    bool m_storeTried = false;
    uint32_t m_lastRx = 0, m_lastTx = 0, m_lastDurMs = 0;
    std::map<int64_t, UsageRow> m_pending; // by hour start
    int64_t m_lastFlush = 0;
    Span m_cycle{0, 0};
    UsageRow m_cycleStored; // what the database holds of m_cycle
    int m_warnedPercent = 0; // highest percentage announced in m_cycle
    bool m_overridden = false; // the user said yes to dialling in m_cycle
    bool m_hangUpAsked = false; // in this session
    int64_t m_sessionSince = 0; // 0: no session runs
};

// usage_meta keys of the meter: "<cycle start> <percent>" of the last
// warning, and the cycle start of a confirmed dial.
inline constexpr const char* kMetaQuotaWarned = "quota_warned";
inline constexpr const char* kMetaQuotaOverride = "quota_override";

} // namespace kvusage
