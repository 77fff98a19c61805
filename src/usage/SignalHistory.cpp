// The per-minute signal history: see SignalHistory.h.
#include "usage/SignalHistory.h"

#include "log/DebugLog.h"

#include <algorithm>
#include <ctime>

namespace kvusage {

namespace {

bool IsLevel(int dbm) { return dbm >= -150 && dbm <= 0; }

void AddLevel(int dbm, std::optional<int>& mn, std::optional<int>& mx, double& sum, int& n)
{
    mn = mn ? std::min(*mn, dbm) : dbm;
    mx = mx ? std::max(*mx, dbm) : dbm;
    sum += dbm;
    ++n;
}

} // namespace

void CSignalMinute::Start(int64_t minute)
{
    *this = CSignalMinute{};
    m_row.minute = minute;
}

void CSignalMinute::Add(const SignalSample& s)
{
    ++m_row.samples;
    m_row.sysMode = s.sysMode;
    if (s.roaming)
        m_row.roaming = 1;
    if (IsLevel(s.oneXDbm))
        AddLevel(s.oneXDbm, m_row.oneXMin, m_row.oneXMax, m_sum1x, m_n1x);
    if (IsLevel(s.evdoDbm))
        AddLevel(s.evdoDbm, m_row.evdoMin, m_row.evdoMax, m_sumEvdo, m_nEvdo);
}

SignalRow CSignalMinute::Row() const
{
    SignalRow r = m_row;
    if (m_n1x)
        r.oneXMean = m_sum1x / m_n1x;
    if (m_nEvdo)
        r.evdoMean = m_sumEvdo / m_nEvdo;
    return r;
}

CSignalHistory::CSignalHistory(std::string dbPath, Clock clock) : m_dbPath(std::move(dbPath)), m_clock(std::move(clock)) {}

CSignalHistory::~CSignalHistory() { Flush(); }

int64_t CSignalHistory::Now() const { return m_clock ? m_clock() : int64_t(std::time(nullptr)); }

void CSignalHistory::Add(const SignalSample& s)
{
    const int64_t now = Now();
    const int64_t minute = now - (((now % 60) + 60) % 60);
    if (!m_minute.Empty() && minute != m_minute.Minute())
        Write();
    if (m_minute.Empty())
        m_minute.Start(minute);
    m_minute.Add(s);
}

bool CSignalHistory::Write()
{
    if (m_minute.Empty())
        return true;
    const SignalRow row = m_minute.Row();
    m_minute = CSignalMinute{};
    if (!m_store.IsOpen()) {
        if (m_storeTried || m_dbPath.empty())
            return false;
        m_storeTried = true;
        if (!m_store.Open(m_dbPath)) {
            DEBUG_LOG(LEVEL_ST, "signal history not opened: %s", m_store.Error().c_str());
            return false;
        }
    }
    if (!m_store.AddSignalMinute(row)) {
        DEBUG_LOG(LEVEL_ST, "signal minute not written: %s", m_store.Error().c_str());
        return false;
    }
    ++m_written;
    if (row.minute - m_lastPrune >= 3600) {
        m_lastPrune = row.minute;
        m_store.PruneSignal(row.minute);
    }
    return true;
}

bool CSignalHistory::Flush() { return Write(); }

} // namespace kvusage
