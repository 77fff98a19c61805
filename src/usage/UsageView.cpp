// The usage window's data: see UsageView.h.
#include "usage/UsageView.h"

#include "traffic/TrafficRecords.h"

#include <algorithm>

namespace kvusage {

Span SignalSpan(int64_t now) { return Span{now - 86400, now + 60}; }

bool LoadUsageView(CUsageStore& store, int64_t now, const UsageSettings& plan, UsageViewData& out)
{
    out = UsageViewData{};
    out.plan = plan;
    out.thisCycle = CycleContaining(now, plan.cycleDay);
    out.lastCycle = PreviousCycle(now, plan.cycleDay);
    const int64_t monthStart = LocalMonthStart(now);
    // Eleven months back from this one's first day (mid-month avoids edges).
    int64_t first = monthStart;
    for (int i = 0; i < 11; ++i)
        first = LocalMonthStart(first - 15 * 86400);
    const Span signal = SignalSpan(now);
    return store.Daily(out.thisCycle.start, out.thisCycle.end, out.thisCycleDays)
           && store.Daily(out.lastCycle.start, out.lastCycle.end, out.lastCycleDays)
           && store.Monthly(first, NextLocalMonthStart(monthStart), out.months)
           && store.Signal(signal.start, signal.end, out.signal) && store.Sum(out.thisCycle, out.thisCycleSum)
           && store.Sum(out.lastCycle, out.lastCycleSum);
}

std::vector<LinkMoment> LinkMoments(const std::vector<kvtraffic::TrafficRecord>& sessions, const Span& span,
                                    int64_t liveSince)
{
    std::vector<LinkMoment> out;
    auto add = [&](int64_t t, bool up) {
        if (span.Holds(t))
            out.push_back({t, up});
    };
    for (const kvtraffic::TrafficRecord& r : sessions) {
        if (r.time < 0 || r.time > kvtraffic::kLatestSessionTime)
            continue; // a damaged record
        add(r.time - int64_t(r.duration / 1000), true);
        add(r.time, false);
    }
    if (liveSince > 0)
        add(liveSince, true);
    std::stable_sort(out.begin(), out.end(), [](const LinkMoment& a, const LinkMoment& b) { return a.t < b.t; });
    return out;
}

bool LoadLinkMoments(const std::string& trafficFile, const Span& span, int64_t liveSince,
                     std::vector<LinkMoment>& out)
{
    std::vector<kvtraffic::TrafficRecord> sessions;
    const bool ok = kvtraffic::ReadTrafficSessions(trafficFile, span.start, span.end, sessions);
    out = LinkMoments(sessions, span, liveSince);
    return ok;
}

namespace {

void AddTo(UsageRow& r, const UsageRow& h)
{
    r.rx += h.rx;
    r.tx += h.tx;
    r.seconds += h.seconds;
}

// Adds an hour to the row of `rows` (in time order) that spans it, making
// that row from first and next when there is none.
template <class First, class Next>
void AddToSpan(std::vector<UsageRow>& rows, const UsageRow& hour, First first, Next next)
{
    for (UsageRow& r : rows)
        if (hour.start >= r.start && hour.start < r.end) {
            AddTo(r, hour);
            return;
        }
    UsageRow row;
    row.start = first(hour.start);
    row.end = next(row.start);
    AddTo(row, hour);
    rows.insert(std::upper_bound(rows.begin(), rows.end(), row,
                                 [](const UsageRow& a, const UsageRow& b) { return a.start < b.start; }),
                row);
}

} // namespace

void AddUnbooked(UsageViewData& v, const std::vector<UsageRow>& hours)
{
    for (const UsageRow& h : hours) {
        if (v.thisCycle.Holds(h.start)) {
            AddTo(v.thisCycleSum, h);
            AddToSpan(v.thisCycleDays, h, LocalDayStart, NextLocalDayStart);
        } else if (v.lastCycle.Holds(h.start)) {
            AddTo(v.lastCycleSum, h);
            AddToSpan(v.lastCycleDays, h, LocalDayStart, NextLocalDayStart);
        }
        // Unwritten hours are of the running session: always in the months shown.
        AddToSpan(v.months, h, LocalMonthStart, NextLocalMonthStart);
    }
}

} // namespace kvusage
