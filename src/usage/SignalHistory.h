// The signal history: what the status poll read of the 1x and EV-DO levels,
// the system mode and roaming, gathered per minute (minimum, maximum and
// mean of the levels; the minute's last system mode; roaming when any poll
// of the minute saw it). A minute's row is written, as one insert in one
// transaction, by the first poll of the next minute, so the poll itself adds
// no modem traffic and at most one small write a minute. Minutes older than
// 30 days are dropped once an hour.
//
// One thread (the engine thread) calls Add; Flush and the destructor write
// the minute under way.
#pragma once

#include "usage/UsageStore.h"

#include <cstdint>
#include <functional>
#include <string>

namespace kvusage {

// Levels in dBm as the display takes them; anything outside -150..0 (the
// "no signal" and blank values among them) is no level.
struct SignalSample {
    int oneXDbm = 99;
    int evdoDbm = 99;
    int sysMode = 0;
    int roaming = 0;
};

// One minute's samples gathered; Row() is what the table gets.
class CSignalMinute {
public:
    void Start(int64_t minute);
    void Add(const SignalSample& s);
    bool Empty() const { return m_row.samples == 0; }
    int64_t Minute() const { return m_row.minute; }
    SignalRow Row() const;

private:
    SignalRow m_row;
    double m_sum1x = 0, m_sumEvdo = 0;
    int m_n1x = 0, m_nEvdo = 0;
};

class CSignalHistory {
public:
    using Clock = std::function<int64_t()>;
    explicit CSignalHistory(std::string dbPath, Clock clock = {});
    ~CSignalHistory();
    CSignalHistory(const CSignalHistory&) = delete;
    CSignalHistory& operator=(const CSignalHistory&) = delete;

    void Add(const SignalSample& s);
    bool Flush();
    // Rows written so far (for the log and the tests).
    int Written() const { return m_written; }

private:
    int64_t Now() const;
    bool Write();

    std::string m_dbPath;
    Clock m_clock;
    CUsageStore m_store;
    bool m_storeTried = false;
    CSignalMinute m_minute;
    int64_t m_lastPrune = 0;
    int m_written = 0;
};

} // namespace kvusage
