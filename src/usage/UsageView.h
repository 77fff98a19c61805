// What the usage window shows, gathered in one go from the store: the days
// of this and the last billing cycle, the last 12 months, the signal of the
// last day, the cycle sums and the quota. The window only draws it.
#pragma once

#include "usage/UsageSettings.h"
#include "usage/UsageStore.h"

#include <vector>

namespace kvusage {

struct UsageViewData {
    Span thisCycle, lastCycle;
    std::vector<UsageRow> thisCycleDays, lastCycleDays;
    std::vector<UsageRow> months; // the 12 months ending with the current one
    std::vector<SignalRow> signal; // the last 24 hours
    UsageRow thisCycleSum, lastCycleSum;
    UsageSettings plan;
};

bool LoadUsageView(CUsageStore& store, int64_t now, const UsageSettings& plan, UsageViewData& out);

} // namespace kvusage
