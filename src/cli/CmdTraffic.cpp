// "traffic": the traffic history of the data sessions: totals of all
// sessions, the last session, and the current and previous month's sums, in
// the texts the traffic pages show, one item per line.
#include "cli/CliCommand.h"
#include "cli/CliJournal.h"
#include "cli/CliOutput.h"
#include "traffic/TrafficDisplay.h"
#include "traffic/TrafficStats.h"

#include <cstdio>
#include <ctime>

namespace {

void Line(const char* item, const std::string& value) { std::printf("%s: %s\n", item, value.c_str()); }

void Month(const char* name, const kvtraffic::MonthTraffic& m)
{
    using namespace kvtraffic;
    std::printf("%s: %s - %s\n", name, FormatMonthDate(m.window.start).c_str(), FormatMonthDate(m.window.end).c_str());
    const std::string n = name;
    Line((n + " download").c_str(), FormatMonthBytes(m.download));
    Line((n + " upload").c_str(), FormatMonthBytes(m.upload));
    Line((n + " total").c_str(), FormatMonthBytes(m.Total()));
}

kvcli::Json MonthJson(const kvtraffic::MonthTraffic& m)
{
    using namespace kvtraffic;
    return {{"from", FormatMonthDate(m.window.start)}, {"to", FormatMonthDate(m.window.end)},
            {"download", FormatMonthBytes(m.download)}, {"upload", FormatMonthBytes(m.upload)},
            {"total", FormatMonthBytes(m.Total())},     {"download_bytes", m.download},
            {"upload_bytes", m.upload}};
}

int RunTraffic(const kvcli::GlobalOptions&, const std::vector<std::string>& args)
{
    using namespace kvtraffic;
    if (!args.empty())
        return kvcli::UsageError("usage: traffic");
    kvcli::FoldSessionJournals();
    const TrafficOverview o = ReadTrafficOverview(int64_t(std::time(nullptr)));
    if (kvcli::JsonMode()) {
        kvcli::PrintJson(
            {{"file", kvcli::Utf8Text(TrafficFilePath(kTrafficFileAll))},
             {"total_sent", FormatTrafficBytes(o.totalSent)},
             {"total_received", FormatTrafficBytes(o.totalReceived)},
             {"total_sent_bytes", o.totalSent},
             {"total_received_bytes", o.totalReceived},
             {"last_session",
              o.hasLast ? kvcli::Json{{"sent", FormatTrafficBytes(o.last.bytesSent)},
                                      {"received", FormatTrafficBytes(o.last.bytesReceived)},
                                      {"duration", FormatSessionDuration(o.last.duration)},
                                      {"time", FormatSessionTime(o.last.time)}}
                        : kvcli::Json(nullptr)},
             {"current_month", MonthJson(o.current)},
             {"previous_month", MonthJson(o.previous)}});
        return kvcli::kExitOk;
    }
    Line("file", kvcli::Shown(TrafficFilePath(kTrafficFileAll)));
    Line("total sent", FormatTrafficBytes(o.totalSent));
    Line("total received", FormatTrafficBytes(o.totalReceived));
    Line("last session sent", FormatTrafficBytes(o.hasLast ? o.last.bytesSent : 0));
    Line("last session received", FormatTrafficBytes(o.hasLast ? o.last.bytesReceived : 0));
    Line("last session duration", FormatSessionDuration(o.hasLast ? o.last.duration : 0));
    Line("last session time", FormatSessionTime(o.hasLast ? o.last.time : 0));
    Month("current month", o.current);
    Month("previous month", o.previous);
    return kvcli::kExitOk;
}

} // namespace

KV_CLI_COMMAND("traffic", "traffic",
               "show the traffic of the data sessions: totals, the last session, and the current and\n"
               "      previous month's download, upload and total (files in the user data folder, or under\n"
               "      the \"Curdir\" prefix of the settings)",
               RunTraffic,
               "  {\"file\": TEXT, \"total_sent\": TEXT, \"total_received\": TEXT, \"total_sent_bytes\": N,\n"
               "   \"total_received_bytes\": N,\n"
               "   \"last_session\": {\"sent\": TEXT, \"received\": TEXT, \"duration\": TEXT, \"time\": TEXT} | null,\n"
               "   \"current_month\": {\"from\": TEXT, \"to\": TEXT, \"download\": TEXT, \"upload\": TEXT,\n"
               "                     \"total\": TEXT, \"download_bytes\": N, \"upload_bytes\": N},\n"
               "   \"previous_month\": {...}}   (TEXT: as the traffic pages show it)");
