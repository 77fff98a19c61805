// The usage and signal history as a user takes it away: a report gathered
// once (which rows, of which granularity), then written as aligned text or
// CSV (RFC 4180: a header line, CRLF line ends, fields quoted when they need
// it). The command-line tool adds JSON from the same report; the usage
// window saves the same CSV.
#pragma once

#include "usage/UsageStore.h"

#include <string>
#include <string_view>
#include <vector>

namespace kvusage {

enum class Granularity { Hourly, Daily, Monthly, Cycles };
const char* GranularityName(Granularity g); // "hourly", "daily", "monthly", "cycles"

struct UsageReport {
    Granularity granularity = Granularity::Daily;
    int cycleDay = 1;
    Span range;
    std::vector<UsageRow> rows;
    UsageRow total;
};

// Reads the report's rows from the store: spans that start in [from, to).
bool GatherUsage(CUsageStore& store, Granularity g, const Span& range, int cycleDay, UsageReport& out);

// The text a span starts with, for its granularity: "2026-03-01 14:00",
// "2026-03-01", "2026-03", or for a cycle its first day.
std::string SpanLabel(Granularity g, int64_t start);

std::string UsageText(const UsageReport& r);
std::string UsageCsv(const UsageReport& r);
std::string SignalText(const std::vector<SignalRow>& rows);
std::string SignalCsv(const std::vector<SignalRow>& rows);

// One CSV field, quoted when it holds a comma, a quote or a line end.
std::string CsvField(std::string_view text);

} // namespace kvusage
