// Text and CSV of the usage and signal history: see UsageExport.h.
#include "usage/UsageExport.h"

#include <cinttypes>
#include <cstdio>

namespace kvusage {

namespace {

std::string Num(uint64_t v) { return std::to_string(v); }

std::string OptText(const std::optional<int>& v) { return v ? std::to_string(*v) : std::string(); }
std::string OptText(const std::optional<double>& v)
{
    if (!v)
        return {};
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", *v);
    return buf;
}

std::string Line(const std::vector<std::string>& fields)
{
    std::string s;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i)
            s += ',';
        s += CsvField(fields[i]);
    }
    return s + "\r\n";
}

} // namespace

const char* GranularityName(Granularity g)
{
    switch (g) {
    case Granularity::Hourly: return "hourly";
    case Granularity::Monthly: return "monthly";
    case Granularity::Cycles: return "cycles";
    case Granularity::Daily: break;
    }
    return "daily";
}

bool GatherUsage(CUsageStore& store, Granularity g, const Span& range, int cycleDay, UsageReport& out)
{
    out = UsageReport{};
    out.granularity = g;
    out.cycleDay = SaneCycleDay(cycleDay);
    out.range = range;
    bool ok = false;
    switch (g) {
    case Granularity::Hourly: ok = store.Hourly(range.start, range.end, out.rows); break;
    case Granularity::Daily: ok = store.Daily(range.start, range.end, out.rows); break;
    case Granularity::Monthly: ok = store.Monthly(range.start, range.end, out.rows); break;
    case Granularity::Cycles: ok = store.Cycles(range.start, range.end, out.cycleDay, out.rows); break;
    }
    if (!ok)
        return false;
    out.total = UsageRow{range.start, range.end, 0, 0, 0};
    for (const UsageRow& r : out.rows) {
        out.total.rx += r.rx;
        out.total.tx += r.tx;
        out.total.seconds += r.seconds;
    }
    return true;
}

std::string SpanLabel(Granularity g, int64_t start)
{
    switch (g) {
    case Granularity::Hourly: return LocalDateTimeText(start);
    case Granularity::Monthly: return LocalMonthText(start);
    default: return LocalDateText(start);
    }
}

std::string UsageText(const UsageReport& r)
{
    std::string s;
    char buf[160];
    std::snprintf(buf, sizeof buf, "%-16s %16s %16s %16s %10s\n", "start", "received", "sent", "total", "seconds");
    s += buf;
    for (const UsageRow& row : r.rows) {
        std::snprintf(buf, sizeof buf, "%-16s %16" PRIu64 " %16" PRIu64 " %16" PRIu64 " %10" PRIu64 "\n",
                      SpanLabel(r.granularity, row.start).c_str(), row.rx, row.tx, row.rx + row.tx, row.seconds);
        s += buf;
    }
    std::snprintf(buf, sizeof buf, "%-16s %16" PRIu64 " %16" PRIu64 " %16" PRIu64 " %10" PRIu64 "\n", "total",
                  r.total.rx, r.total.tx, r.total.rx + r.total.tx, r.total.seconds);
    s += buf;
    return s;
}

std::string UsageCsv(const UsageReport& r)
{
    std::string s = Line({"start", "end", "start_unix", "received_bytes", "sent_bytes", "total_bytes",
                          "connected_seconds"});
    for (const UsageRow& row : r.rows)
        s += Line({SpanLabel(r.granularity, row.start), SpanLabel(r.granularity, row.end), std::to_string(row.start),
                   Num(row.rx), Num(row.tx), Num(row.rx + row.tx), Num(row.seconds)});
    return s;
}

std::string SignalText(const std::vector<SignalRow>& rows)
{
    std::string s;
    char buf[200];
    std::snprintf(buf, sizeof buf, "%-16s %7s %7s %7s %7s %7s %7s %4s %4s\n", "minute", "1x_min", "1x_max", "1x_mean",
                  "do_min", "do_max", "do_mean", "mode", "roam");
    s += buf;
    for (const SignalRow& r : rows) {
        std::snprintf(buf, sizeof buf, "%-16s %7s %7s %7s %7s %7s %7s %4d %4d\n", LocalDateTimeText(r.minute).c_str(),
                      OptText(r.oneXMin).c_str(), OptText(r.oneXMax).c_str(), OptText(r.oneXMean).c_str(),
                      OptText(r.evdoMin).c_str(), OptText(r.evdoMax).c_str(), OptText(r.evdoMean).c_str(), r.sysMode,
                      r.roaming);
        s += buf;
    }
    return s;
}

std::string SignalCsv(const std::vector<SignalRow>& rows)
{
    std::string s = Line({"minute", "minute_unix", "samples", "onex_min_dbm", "onex_max_dbm", "onex_mean_dbm",
                          "evdo_min_dbm", "evdo_max_dbm", "evdo_mean_dbm", "sys_mode", "roaming"});
    for (const SignalRow& r : rows)
        s += Line({LocalDateTimeText(r.minute), std::to_string(r.minute), std::to_string(r.samples),
                   OptText(r.oneXMin), OptText(r.oneXMax), OptText(r.oneXMean), OptText(r.evdoMin),
                   OptText(r.evdoMax), OptText(r.evdoMean), std::to_string(r.sysMode), std::to_string(r.roaming)});
    return s;
}

std::string CsvField(std::string_view text)
{
    if (text.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(text);
    std::string s = "\"";
    for (char c : text) {
        if (c == '"')
            s += '"';
        s += c;
    }
    return s + "\"";
}

} // namespace kvusage
