// "usage" and "signal-history": the usage history by hour, day, month or
// billing cycle, and the signal history by minute, as text, CSV or JSON.
// Gathered once into a report, then written in the form asked for.
#include "cli/CliCommand.h"
#include "cli/CliJournal.h"
#include "cli/CliOutput.h"
#include "traffic/TrafficStats.h"
#include "usage/UsageExport.h"
#include "usage/UsageSettings.h"

#include <cstdio>
#include <ctime>

namespace {

using namespace kvusage;

enum class Form { Text, Csv, Json };

struct Request {
    Granularity granularity = Granularity::Daily;
    Form form = Form::Text;
    Span range{0, 0};
};

// Parses [--hourly|--daily|--monthly|--cycles] [--from DATE] [--to DATE]
// [--json|--csv]. --to names the last day included. Without --from the
// report starts at the oldest row kept; without --to it runs to now.
int ParseRequest(const std::vector<std::string>& args, bool granular, Request& r)
{
    bool haveFrom = false, haveTo = false;
    int grans = 0, forms = 0;
    r.form = kvcli::JsonMode() ? Form::Json : Form::Text;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (granular && (a == "--hourly" || a == "--daily" || a == "--monthly" || a == "--cycles")) {
            r.granularity = a == "--hourly"    ? Granularity::Hourly
                            : a == "--daily"   ? Granularity::Daily
                            : a == "--monthly" ? Granularity::Monthly
                                               : Granularity::Cycles;
            ++grans;
        } else if (a == "--json" || a == "--csv") {
            r.form = a == "--json" ? Form::Json : Form::Csv;
            ++forms;
        } else if (a == "--from" || a == "--to") {
            if (i + 1 >= args.size())
                return kvcli::UsageError(a + " needs a date (YYYY-MM-DD)");
            int64_t day = 0;
            if (!ParseLocalDate(args[++i], day))
                return kvcli::UsageError(a + ": '" + kvcli::Shown(args[i]) + "' is not a date (YYYY-MM-DD)");
            if (a == "--from") {
                r.range.start = day;
                haveFrom = true;
            } else {
                r.range.end = NextLocalDayStart(day);
                haveTo = true;
            }
        } else {
            return kvcli::UsageError("unknown argument '" + kvcli::Shown(a) + "'");
        }
    }
    if (grans > 1)
        return kvcli::UsageError("give one of --hourly, --daily, --monthly, --cycles");
    if (forms > 1 || (forms == 1 && kvcli::JsonMode() && r.form == Form::Csv))
        return kvcli::UsageError("give one of --json, --csv");
    if (!haveFrom)
        r.range.start = INT64_MIN / 2;
    if (!haveTo)
        r.range.end = int64_t(std::time(nullptr)) + 1;
    if (r.range.end <= r.range.start)
        return kvcli::UsageError("--to lies before --from");
    if (r.form == Form::Json)
        kvcli::SetJsonMode(true);
    return kvcli::kExitOk;
}

bool OpenHistory(CUsageStore& store)
{
    std::string db;
    if (!kvcli::PrepareDatabase(db))
        return false;
    if (!store.Open(db)) {
        kvcli::Fail(kvcli::kExitFailure, "usage history: " + kvcli::Shown(store.Error()));
        return false;
    }
    // The sessions of a process that died are booked first, and the traffic
    // file's history once, as the window does at its start.
    kvcli::FoldSessionJournals();
    if (!store.ImportTrafficFileOnce(kvtraffic::TrafficFilePath(kvtraffic::kTrafficFileAll))) {
        kvcli::Fail(kvcli::kExitFailure, "usage history: " + kvcli::Shown(store.Error()));
        return false;
    }
    return true;
}

kvcli::Json RowJson(Granularity g, const UsageRow& r)
{
    return {{"start", SpanLabel(g, r.start)}, {"end", SpanLabel(g, r.end)}, {"start_unix", r.start},
            {"end_unix", r.end},          {"received_bytes", r.rx},     {"sent_bytes", r.tx},
            {"total_bytes", r.rx + r.tx}, {"connected_seconds", r.seconds}};
}

int RunUsage(const kvcli::GlobalOptions&, const std::vector<std::string>& args)
{
    Request req;
    if (const int rc = ParseRequest(args, true, req); rc != kvcli::kExitOk)
        return rc;
    CUsageStore store;
    if (!OpenHistory(store))
        return kvcli::kExitFailure;
    const UsageSettings settings = ReadUsageSettings();
    UsageReport report;
    if (!GatherUsage(store, req.granularity, req.range, settings.cycleDay, report))
        return kvcli::Fail(kvcli::kExitFailure, "usage history: " + kvcli::Shown(store.Error()));
    switch (req.form) {
    case Form::Csv: std::fputs(UsageCsv(report).c_str(), stdout); break;
    case Form::Text: std::fputs(UsageText(report).c_str(), stdout); break;
    case Form::Json: {
        kvcli::Json rows = kvcli::Json::array();
        for (const UsageRow& r : report.rows)
            rows.push_back(RowJson(report.granularity, r));
        const int64_t now = int64_t(std::time(nullptr));
        UsageRow cur, prev;
        store.Sum(CycleContaining(now, settings.cycleDay), cur);
        store.Sum(PreviousCycle(now, settings.cycleDay), prev);
        kvcli::PrintJson({{"granularity", GranularityName(report.granularity)},
                          {"cycle_day", settings.cycleDay},
                          {"rows", rows},
                          {"total", {{"received_bytes", report.total.rx},
                                     {"sent_bytes", report.total.tx},
                                     {"total_bytes", report.total.rx + report.total.tx},
                                     {"connected_seconds", report.total.seconds}}},
                          {"this_cycle", RowJson(Granularity::Daily, cur)},
                          {"last_cycle", RowJson(Granularity::Daily, prev)}});
        break;
    }
    }
    return kvcli::kExitOk;
}

kvcli::Json Opt(const std::optional<int>& v) { return v ? kvcli::Json(*v) : kvcli::Json(nullptr); }
kvcli::Json Opt(const std::optional<double>& v) { return v ? kvcli::Json(*v) : kvcli::Json(nullptr); }

int RunSignalHistory(const kvcli::GlobalOptions&, const std::vector<std::string>& args)
{
    Request req;
    if (const int rc = ParseRequest(args, false, req); rc != kvcli::kExitOk)
        return rc;
    CUsageStore store;
    if (!OpenHistory(store))
        return kvcli::kExitFailure;
    std::vector<SignalRow> rows;
    if (!store.Signal(req.range.start, req.range.end, rows))
        return kvcli::Fail(kvcli::kExitFailure, "signal history: " + kvcli::Shown(store.Error()));
    switch (req.form) {
    case Form::Csv: std::fputs(SignalCsv(rows).c_str(), stdout); break;
    case Form::Text: std::fputs(SignalText(rows).c_str(), stdout); break;
    case Form::Json: {
        kvcli::Json out = kvcli::Json::array();
        for (const SignalRow& r : rows)
            out.push_back({{"minute", LocalDateTimeText(r.minute)}, {"minute_unix", r.minute},
                           {"samples", r.samples},                  {"onex_min_dbm", Opt(r.oneXMin)},
                           {"onex_max_dbm", Opt(r.oneXMax)},        {"onex_mean_dbm", Opt(r.oneXMean)},
                           {"evdo_min_dbm", Opt(r.evdoMin)},        {"evdo_max_dbm", Opt(r.evdoMax)},
                           {"evdo_mean_dbm", Opt(r.evdoMean)},      {"sys_mode", r.sysMode},
                           {"roaming", r.roaming}});
        kvcli::PrintJson({{"rows", out}});
        break;
    }
    }
    return kvcli::kExitOk;
}

} // namespace

KV_CLI_COMMAND("usage", "usage [--hourly|--daily|--monthly|--cycles] [--from DATE] [--to DATE] [--json|--csv]",
               "show the data usage history (received, sent, connected seconds) per hour, local day,\n"
               "      month or billing cycle; DATE is YYYY-MM-DD, --to includes that day (default: daily,\n"
               "      everything kept). --csv writes a header line and one line a row",
               RunUsage,
               "  {\"granularity\": TEXT, \"cycle_day\": N,\n"
               "   \"rows\": [{\"start\": TEXT, \"end\": TEXT, \"start_unix\": N, \"end_unix\": N,\n"
               "             \"received_bytes\": N, \"sent_bytes\": N, \"total_bytes\": N, \"connected_seconds\": N}],\n"
               "   \"total\": {\"received_bytes\": N, \"sent_bytes\": N, \"total_bytes\": N, \"connected_seconds\": N},\n"
               "   \"this_cycle\": {row}, \"last_cycle\": {row}}");

KV_CLI_COMMAND("signal-history", "signal-history [--from DATE] [--to DATE] [--json|--csv]",
               "show the signal history kept for 30 days: per minute the 1x and EV-DO levels in dBm\n"
               "      (minimum, maximum, mean), the system mode (2 1x, 4 EV-DO) and roaming",
               RunSignalHistory,
               "  {\"rows\": [{\"minute\": TEXT, \"minute_unix\": N, \"samples\": N, \"onex_min_dbm\": N|null,\n"
               "             \"onex_max_dbm\": N|null, \"onex_mean_dbm\": X|null, \"evdo_min_dbm\": N|null,\n"
               "             \"evdo_max_dbm\": N|null, \"evdo_mean_dbm\": X|null, \"sys_mode\": N, \"roaming\": 0|1}]}");
