// What the usage window shows, gathered in one go from the store: the days
// of this and the last billing cycle, the last 12 months, the signal of the
// last day with the moments the link came up and went down, the cycle sums
// and the quota. The window only draws it.
#pragma once

#include "traffic/TrafficStats.h"
#include "usage/UsageSettings.h"
#include "usage/UsageStore.h"

#include <string>
#include <vector>

namespace kvusage {

// A moment the data link came up (true) or went down.
struct LinkMoment {
    int64_t t = 0;
    bool up = false;
};

struct UsageViewData {
    Span thisCycle, lastCycle;
    std::vector<UsageRow> thisCycleDays, lastCycleDays;
    std::vector<UsageRow> months; // the 12 months ending with the current one
    std::vector<SignalRow> signal; // the last 24 hours
    std::vector<LinkMoment> links; // in the same 24 hours, in time order
    UsageRow thisCycleSum, lastCycleSum;
    UsageSettings plan;
};

bool LoadUsageView(CUsageStore& store, int64_t now, const UsageSettings& plan, UsageViewData& out);

// The span the signal chart covers at `now`.
Span SignalSpan(int64_t now);

// The up and down moments inside `span` of the finished sessions (their
// records: end time and duration) and of a running session that came up at
// `liveSince` (0: none runs). Moments outside the span are left out.
std::vector<LinkMoment> LinkMoments(const std::vector<kvtraffic::TrafficRecord>& sessions, const Span& span,
                                    int64_t liveSince);
// The same from the sessions' file; false (out empty) when it cannot be read.
bool LoadLinkMoments(const std::string& trafficFile, const Span& span, int64_t liveSince,
                     std::vector<LinkMoment>& out);

// Adds the hours of the running session that the meter has counted but not
// yet written to the database, so that the cycle's figures are live before
// the session's first write.
void AddUnbooked(UsageViewData& v, const std::vector<UsageRow>& hours);

} // namespace kvusage
