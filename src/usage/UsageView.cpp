// The usage window's data: see UsageView.h.
#include "usage/UsageView.h"

namespace kvusage {

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
    return store.Daily(out.thisCycle.start, out.thisCycle.end, out.thisCycleDays)
           && store.Daily(out.lastCycle.start, out.lastCycle.end, out.lastCycleDays)
           && store.Monthly(first, NextLocalMonthStart(monthStart), out.months)
           && store.Signal(now - 86400, now + 60, out.signal) && store.Sum(out.thisCycle, out.thisCycleSum)
           && store.Sum(out.lastCycle, out.lastCycleSum);
}

} // namespace kvusage
