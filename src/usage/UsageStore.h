// The usage history in tables of our own in the user's database, next to the
// phonebook, SMS and call tables and never touching them:
//   usage_hourly  (hour_start, rx, tx, seconds): traffic per UTC hour;
//   usage_daily   (day_start, rx, tx, seconds): hours older than two years,
//                 folded into local days;
//   signal_minute (minute_start, samples, 1x and EV-DO min/max/mean in dBm,
//                 system mode, roaming): one row per minute the status poll
//                 ran, kept 30 days;
//   usage_meta    (key, value): the import-done flag and the quota warnings
//                 shown in a cycle.
// The tables are created when a store opens a database (CREATE TABLE IF NOT
// EXISTS), so a database of an older Korvianet gains them on its first start.
//
// One store is one connection, used by one thread at a time (the monitor
// thread's meter and the engine thread's signal history each own one). Every
// failure is a false result with the reason in Error(); nothing throws.
#pragma once

#include "usage/BillingCycle.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace kvusage {

inline constexpr int64_t kHourlyKeepSeconds = 2 * 366 * 86400LL; // a little over 2 years
inline constexpr int64_t kSignalKeepSeconds = 30 * 86400LL;

// Traffic of one span (an hour, a day, a month, a cycle).
struct UsageRow {
    int64_t start = 0; // first second of the span
    int64_t end = 0;   // first second after it
    uint64_t rx = 0;   // bytes received (download)
    uint64_t tx = 0;   // bytes sent (upload)
    uint64_t seconds = 0; // connected seconds
};

// The signal over one minute. A level is absent when the minute had no
// sample with a signal.
struct SignalRow {
    int64_t minute = 0; // first second of the minute (UTC)
    int samples = 0;
    std::optional<int> oneXMin, oneXMax;
    std::optional<double> oneXMean;
    std::optional<int> evdoMin, evdoMax;
    std::optional<double> evdoMean;
    int sysMode = 0; // the last sample's: 0 none, 2 1x, 4 EV-DO
    int roaming = 0; // 1 when any sample of the minute was roaming
};

class CUsageStore {
public:
    CUsageStore() = default;
    ~CUsageStore();
    CUsageStore(const CUsageStore&) = delete;
    CUsageStore& operator=(const CUsageStore&) = delete;

    // Opens an existing database file (never creates one) and makes sure our
    // tables are there.
    bool Open(const std::string& path);
    bool IsOpen() const { return m_db != nullptr; }
    void Close();
    const std::string& Error() const { return m_error; }

    // Adds traffic to the hour that holds t (the row is created or grown).
    bool AddTraffic(int64_t t, uint64_t rx, uint64_t tx, uint64_t seconds);
    // Several hours in one transaction.
    bool AddTrafficRows(const std::vector<UsageRow>& rows);

    // Books every record of a traffic file at its end time, once: a second
    // call (even after the file grew) does nothing. imported is the number
    // of records booked by this call.
    bool ImportTrafficFileOnce(const std::string& path, int* imported = nullptr);
    bool ImportDone();

    // Hours older than the keep time before now go into local days; signal
    // minutes older than 30 days go.
    bool Prune(int64_t now);

    // Drops signal minutes older than 30 days before now.
    bool PruneSignal(int64_t now);
    // One minute's signal row (replaces a row of the same minute).
    bool AddSignalMinute(const SignalRow& row);

    // Hour rows with from <= hour_start < to, in time order.
    bool Hourly(int64_t from, int64_t to, std::vector<UsageRow>& out);
    // Local days that start in [from, to), from the hours and the folded
    // days; days without traffic are left out.
    bool Daily(int64_t from, int64_t to, std::vector<UsageRow>& out);
    // Local months and billing cycles built from those days.
    bool Monthly(int64_t from, int64_t to, std::vector<UsageRow>& out);
    bool Cycles(int64_t from, int64_t to, int cycleDay, std::vector<UsageRow>& out);
    // The sum over one span (hours that start in it, folded days too).
    bool Sum(const Span& span, UsageRow& out);
    bool Signal(int64_t from, int64_t to, std::vector<SignalRow>& out);

    // A text kept in usage_meta ("" when none).
    std::string Meta(const std::string& key);
    bool SetMeta(const std::string& key, const std::string& value);

    // The first and last hour with traffic (false when there is none).
    bool Extent(int64_t& first, int64_t& last);

private:
    bool Exec(const char* sql);
    bool Fail();
    bool Migrate();

    sqlite3* m_db = nullptr;
    std::string m_error;
};

// The usage_meta key of the import flag.
inline constexpr const char* kMetaImportDone = "pktff_imported";

} // namespace kvusage
