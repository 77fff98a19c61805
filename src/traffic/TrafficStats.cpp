// The traffic files: appending a finished session, the totals, the last
// session and the month sums.
#include "traffic/TrafficStats.h"

#include "settings/DataDir.h"
#include "settings/Profile.h"
#include "settings/SettingsKeys.h"
#include "traffic/TrafficRecords.h"

#include <ctime>

namespace kvtraffic {

namespace {

std::string Prefix()
{
    return kv::GetProfileString(kv::kSecCurDir, kv::kKeyDir, "", kv::kBufPath, kv::kIniDialer);
}

TrafficSums SumAll(const TrafficQuery& q)
{
    TrafficSums s;
    SumTrafficFile(TrafficFilePath(kTrafficFileAll), q, s);
    return s;
}

// Local midnight of the 1st of the month that holds t.
int64_t MonthStart(int64_t t)
{
    const std::time_t tt = std::time_t(t);
    std::tm tm {};
    if (!::localtime_r(&tt, &tm))
        return t;
    tm.tm_mday = 1;
    tm.tm_hour = tm.tm_min = tm.tm_sec = 0;
    tm.tm_isdst = -1; // the zone decides whether summer time applies then
    return int64_t(std::mktime(&tm));
}

} // namespace

std::string TrafficFilePath(const char* file) { return kv::DataFilePath(Prefix(), file); }

bool AppendTrafficRecord(const TrafficRecord& record, std::string* why)
{
    if (record.bytesReceived == 0)
        return true; // nothing is recorded for a session that received nothing
    const std::string prefix = Prefix();
    // A data folder that is refused (another user's, say) gets nothing: not
    // even a file that happens to lie in it already.
    if ((prefix.empty() || prefix[0] != '/') && !kv::EnsureUserDataDir(why))
        return false;
    bool all = true;
    for (const char* file : {kTrafficFileAll, kTrafficFileMirror, kTrafficFileLast}) {
        TrafficRecord r = record;
        r.time = int64_t(std::time(nullptr));
        r.reserved = 0;
        std::string fileWhy;
        if (!AppendTrafficRecordToFile(kv::DataFilePath(prefix, file), r, &fileWhy)) {
            if (all && why)
                *why = fileWhy;
            all = false;
        }
    }
    return all;
}

double SumTrafficTotal(int kind)
{
    const TrafficSums s = SumAll({});
    return kind == kTotalReceived ? double(s.received) : kind == kTotalSent ? double(s.sent) : 0.0;
}

double LastSessionBytes(int kind)
{
    TrafficRecord r;
    if (!ReadLastTrafficRecord(TrafficFilePath(kTrafficFileLast), r))
        return 0;
    return kind == kTotalReceived ? double(r.bytesReceived) : kind == kTotalSent ? double(r.bytesSent) : 0.0;
}

uint32_t LastSessionDuration()
{
    TrafficRecord r;
    return ReadLastTrafficRecord(TrafficFilePath(kTrafficFileLast), r) ? r.duration : 0;
}

int64_t LastSessionTime()
{
    TrafficRecord r;
    return ReadLastTrafficRecord(TrafficFilePath(kTrafficFileLast), r) ? r.time : 0;
}

double SumTrafficSince(int64_t start, int kind)
{
    TrafficQuery q;
    q.since = start;
    const TrafficSums s = SumAll(q);
    return kind == kMonthReceived ? double(s.sinceReceived) : kind == kMonthSent ? double(s.sinceSent) : 0.0;
}

double SumTrafficBetween(int64_t start, int64_t end, int kind)
{
    TrafficQuery q;
    q.from = start;
    q.to = end;
    const TrafficSums s = SumAll(q);
    return kind == kMonthReceived ? double(s.betweenReceived) : kind == kMonthSent ? double(s.betweenSent) : 0.0;
}

MonthWindow CurrentMonthWindow(int64_t now) { return {MonthStart(now), now}; }

MonthWindow PreviousMonthWindow(int64_t now)
{
    const int64_t end = MonthStart(now) - 1;
    return {MonthStart(end), end};
}

MonthTraffic CurrentMonthTraffic(int64_t now)
{
    MonthTraffic m;
    m.window = CurrentMonthWindow(now);
    m.download = SumTrafficSince(m.window.start, kMonthReceived);
    m.upload = SumTrafficSince(m.window.start, kMonthSent);
    return m;
}

MonthTraffic PreviousMonthTraffic(int64_t now)
{
    MonthTraffic m;
    m.window = PreviousMonthWindow(now);
    m.download = SumTrafficBetween(m.window.start, m.window.end, kMonthReceived);
    m.upload = SumTrafficBetween(m.window.start, m.window.end, kMonthSent);
    return m;
}

TrafficOverview ReadTrafficOverview(int64_t now)
{
    TrafficOverview o;
    o.current.window = CurrentMonthWindow(now);
    o.previous.window = PreviousMonthWindow(now);
    TrafficQuery q;
    q.since = o.current.window.start;
    q.from = o.previous.window.start;
    q.to = o.previous.window.end;
    const TrafficSums s = SumAll(q);
    o.totalReceived = double(s.received);
    o.totalSent = double(s.sent);
    o.current.download = double(s.sinceReceived);
    o.current.upload = double(s.sinceSent);
    o.previous.download = double(s.betweenReceived);
    o.previous.upload = double(s.betweenSent);
    o.hasLast = ReadLastTrafficRecord(TrafficFilePath(kTrafficFileLast), o.last);
    return o;
}

} // namespace kvtraffic
