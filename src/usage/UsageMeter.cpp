// The live usage meter and the quota: see UsageMeter.h.
#include "usage/UsageMeter.h"

#include "log/DebugLog.h"

#include <cstdio>
#include <ctime>

namespace kvusage {

namespace {

int64_t HourOf(int64_t t) { return t - (((t % 3600) + 3600) % 3600); }

const char* KindWords(QuotaKind kind)
{
    switch (kind) {
    case QuotaKind::Download: return "download";
    case QuotaKind::Upload: return "upload";
    default: return "data";
    }
}

} // namespace

std::string QuotaWarningText(int percent, double usedMb, double quotaMb, QuotaKind kind, bool hangingUp)
{
    char buf[256];
    std::snprintf(buf, sizeof buf, "The %s of this billing cycle has reached %d %% of the quota (%.1f of %.0f MB).%s",
                  KindWords(kind), percent, usedMb, quotaMb, hangingUp ? " The connection is hung up." : "");
    return buf;
}

std::string QuotaDialQuestion(double quotaMb)
{
    char buf[200];
    std::snprintf(buf, sizeof buf,
                  "The quota of this billing cycle (%.0f MB) is reached. Connect anyway? "
                  "The connection will not be hung up again in this cycle.",
                  quotaMb);
    return buf;
}

CUsageMeter::CUsageMeter(std::string dbPath, SettingsFn settings, Clock clock, Notify notify)
    : m_dbPath(std::move(dbPath)), m_settings(std::move(settings)), m_clock(std::move(clock)),
      m_notify(std::move(notify))
{
    if (!m_settings)
        m_settings = ReadUsageSettings;
}

CUsageMeter::~CUsageMeter() { Flush(); }

int64_t CUsageMeter::Now() const { return m_clock ? m_clock() : int64_t(std::time(nullptr)); }

bool CUsageMeter::OpenStore()
{
    if (m_store.IsOpen())
        return true;
    if (m_storeTried || m_dbPath.empty())
        return false;
    m_storeTried = true;
    if (!m_store.Open(m_dbPath)) {
        DEBUG_LOG(LEVEL_ST, "usage history not opened: %s", m_store.Error().c_str());
        return false;
    }
    return true;
}

std::string CUsageMeter::MetaCycleValue(const char* key) { return OpenStore() ? m_store.Meta(key) : std::string(); }

void CUsageMeter::LoadCycle(const Span& cycle)
{
    m_cycle = cycle;
    m_cycleStored = UsageRow{cycle.start, cycle.end, 0, 0, 0};
    m_warnedPercent = 0;
    m_overridden = false;
    if (!OpenStore())
        return;
    m_store.Sum(cycle, m_cycleStored);
    const std::string warned = m_store.Meta(kMetaQuotaWarned);
    long long start = 0;
    int pct = 0;
    if (std::sscanf(warned.c_str(), "%lld %d", &start, &pct) == 2 && start == cycle.start)
        m_warnedPercent = pct;
    m_overridden = m_store.Meta(kMetaQuotaOverride) == std::to_string(cycle.start);
}

uint64_t CUsageMeter::UsedOf(const UsageSettings& s) const
{
    uint64_t rx = m_cycleStored.rx, tx = m_cycleStored.tx;
    for (const auto& [hour, r] : m_pending)
        if (m_cycle.Holds(hour)) {
            rx += r.rx;
            tx += r.tx;
        }
    switch (s.kind) {
    case QuotaKind::Download: return rx;
    case QuotaKind::Upload: return tx;
    default: return rx + tx;
    }
}

void CUsageMeter::SetQuotaSink(QuotaSink sink)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_quotaSink = std::move(sink);
}

void CUsageMeter::CountersCleared()
{
    std::lock_guard<std::mutex> g(m_lock);
    m_lastRx = m_lastTx = m_lastDurMs = 0;
}

bool CUsageMeter::Counters(uint32_t received, uint32_t sent, uint32_t durationMs)
{
    const int64_t now = Now();
    const UsageSettings s = m_settings();
    std::vector<QuotaNotice> notices;
    QuotaSink sink;
    bool hangUp = false;
    {
        std::lock_guard<std::mutex> g(m_lock);
        sink = m_quotaSink;
        // A counter below its last value was cleared outside (another
        // program reset the statistics): it counts from 0 again.
        const uint64_t dRx = received >= m_lastRx ? received - m_lastRx : received;
        const uint64_t dTx = sent >= m_lastTx ? sent - m_lastTx : sent;
        const uint64_t dSec = durationMs >= m_lastDurMs ? durationMs / 1000 - m_lastDurMs / 1000 : durationMs / 1000;
        m_lastRx = received;
        m_lastTx = sent;
        m_lastDurMs = durationMs;
        // The first read of a session tells when it came up (a later reset
        // of the counters restarts the duration, not the session).
        if (m_sessionSince == 0)
            m_sessionSince = now - int64_t(durationMs / 1000);
        if (dRx || dTx || dSec) {
            UsageRow& r = m_pending[HourOf(now)];
            r.start = HourOf(now);
            r.end = r.start + 3600;
            r.rx += dRx;
            r.tx += dTx;
            r.seconds += dSec;
        }
        if (m_lastFlush == 0)
            m_lastFlush = now;
        if (!m_pending.empty()
            && (now - m_lastFlush >= kMeterFlushSeconds || m_pending.begin()->first != HourOf(now)))
            FlushLocked(now);

        const Span cycle = CycleContaining(now, s.cycleDay);
        if (cycle.start != m_cycle.start || cycle.end != m_cycle.end)
            LoadCycle(cycle);
        if (s.QuotaOn()) {
            const double quotaBytes = s.quotaMb * kBytesPerMb;
            const uint64_t used = UsedOf(s);
            int reached = 0;
            for (int p : s.warnPercents)
                if (double(used) >= quotaBytes * p / 100.0)
                    reached = p;
            const bool atQuota = double(used) >= quotaBytes;
            hangUp = s.hangUp && atQuota && !m_overridden && !m_hangUpAsked;
            if (hangUp)
                m_hangUpAsked = true;
            if (reached > m_warnedPercent) {
                // Only the highest percentage crossed is announced: a session
                // that starts beyond 100 % gets one notice, not two.
                m_warnedPercent = reached;
                notices.push_back(QuotaNotice{reached, used, uint64_t(quotaBytes),
                                              QuotaWarningText(reached, double(used) / kBytesPerMb, s.quotaMb,
                                                               s.kind, hangUp),
                                              hangUp});
                if (OpenStore())
                    m_store.SetMeta(kMetaQuotaWarned, std::to_string(m_cycle.start) + " " + std::to_string(reached));
            } else if (hangUp) {
                const int pct = int(double(used) * 100.0 / quotaBytes);
                notices.push_back(QuotaNotice{pct, used, uint64_t(quotaBytes),
                                              QuotaWarningText(pct, double(used) / kBytesPerMb, s.quotaMb, s.kind,
                                                               true),
                                              true});
            }
        }
    }
    for (const QuotaNotice& n : notices) {
        DEBUG_LOG(LEVEL_ST, "%s", n.text.c_str());
        if (m_notify)
            m_notify(n.text);
        if (sink)
            sink(n);
    }
    return hangUp;
}

bool CUsageMeter::FlushLocked(int64_t now)
{
    m_lastFlush = now;
    if (m_pending.empty())
        return true;
    if (!OpenStore())
        return false;
    std::vector<UsageRow> rows;
    for (const auto& [hour, r] : m_pending)
        rows.push_back(r);
    if (!m_store.AddTrafficRows(rows)) {
        DEBUG_LOG(LEVEL_ST, "usage hours not written: %s", m_store.Error().c_str());
        return false;
    }
    for (const UsageRow& r : rows)
        if (m_cycle.Holds(r.start)) {
            m_cycleStored.rx += r.rx;
            m_cycleStored.tx += r.tx;
            m_cycleStored.seconds += r.seconds;
        }
    m_pending.clear();
    return true;
}

bool CUsageMeter::Flush()
{
    std::lock_guard<std::mutex> g(m_lock);
    return FlushLocked(Now());
}

void CUsageMeter::SessionEnded()
{
    std::lock_guard<std::mutex> g(m_lock);
    FlushLocked(Now());
    m_lastRx = m_lastTx = m_lastDurMs = 0;
    m_hangUpAsked = false;
    m_sessionSince = 0;
}

std::vector<UsageRow> CUsageMeter::Unbooked()
{
    std::lock_guard<std::mutex> g(m_lock);
    std::vector<UsageRow> rows;
    for (const auto& [hour, r] : m_pending)
        rows.push_back(r);
    return rows;
}

int64_t CUsageMeter::SessionSince()
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_sessionSince;
}

bool CUsageMeter::DialNeedsConfirmation()
{
    const UsageSettings s = m_settings();
    if (!s.QuotaOn() || !s.hangUp)
        return false;
    std::lock_guard<std::mutex> g(m_lock);
    const int64_t now = Now();
    // Read afresh: another process (the command-line tool) may have counted
    // or confirmed since.
    LoadCycle(CycleContaining(now, s.cycleDay));
    return !m_overridden && double(UsedOf(s)) >= s.quotaMb * kBytesPerMb;
}

void CUsageMeter::DialConfirmed()
{
    const UsageSettings s = m_settings();
    std::lock_guard<std::mutex> g(m_lock);
    const Span cycle = CycleContaining(Now(), s.cycleDay);
    if (cycle.start != m_cycle.start)
        LoadCycle(cycle);
    m_overridden = true;
    if (OpenStore())
        m_store.SetMeta(kMetaQuotaOverride, std::to_string(cycle.start));
}

UsageRow CUsageMeter::CycleUsage()
{
    const UsageSettings s = m_settings();
    std::lock_guard<std::mutex> g(m_lock);
    const Span cycle = CycleContaining(Now(), s.cycleDay);
    if (cycle.start != m_cycle.start)
        LoadCycle(cycle);
    UsageRow r = m_cycleStored;
    for (const auto& [hour, p] : m_pending)
        if (m_cycle.Holds(hour)) {
            r.rx += p.rx;
            r.tx += p.tx;
            r.seconds += p.seconds;
        }
    return r;
}

} // namespace kvusage
