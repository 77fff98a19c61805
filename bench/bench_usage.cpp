// The usage history at its full size: two years of hourly rows (every hour
// with traffic) and 30 days of minute signal rows in one database. Measured:
// loading what the usage window shows, each export query, the sum the meter
// reads at a cycle change, and the minute's signal insert (one transaction)
// that the status poll adds. The database size per year of hourly rows is
// reported as a counter.
#include "usage/SignalHistory.h"
#include "usage/UsageExport.h"
#include "usage/UsageView.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

namespace {

using namespace kvusage;

int64_t FileSize(const std::string& p)
{
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 ? int64_t(st.st_size) : 0;
}

struct FullHistory {
    FullHistory()
    {
        char tmpl[] = "/tmp/kvbenchusageXXXXXX";
        dir = mkdtemp(tmpl);
        db = dir + "/WVL.MDB";
        std::fclose(std::fopen(db.c_str(), "w")); // an empty file is an empty database
        now = int64_t(std::time(nullptr));
        CUsageStore store;
        if (!store.Open(db))
            std::abort();
        const int64_t empty = FileSize(db);
        std::vector<UsageRow> rows;
        const int64_t hours = 2 * 365 * 24;
        for (int64_t h = hours; h > 0; --h) {
            const int64_t t = now - h * 3600;
            rows.push_back(UsageRow{t, t, uint64_t(1'000'000 + h * 7919 % 50'000'000), uint64_t(100'000 + h % 977),
                                    uint64_t(h % 3600)});
        }
        store.AddTrafficRows(rows);
        bytesPerYear = double(FileSize(db) - empty) / 2.0;
        const int64_t beforeSignal = FileSize(db);
        for (int64_t m = 30 * 1440; m > 0; --m) {
            SignalRow r;
            r.minute = (now - m * 60) / 60 * 60;
            r.samples = 30;
            r.oneXMin = -90;
            r.oneXMax = -70;
            r.oneXMean = -80.5;
            r.evdoMin = -85;
            r.evdoMax = -60;
            r.evdoMean = -72.25;
            r.sysMode = 4;
            signalRows.push_back(r);
        }
        // Filled in one transaction (the rows are the same as a month of
        // minute inserts would leave).
        sqlite3* raw = nullptr;
        sqlite3_open_v2(db.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_exec(raw, "BEGIN", nullptr, nullptr, nullptr);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(raw,
                           "INSERT INTO signal_minute (minute_start, samples, onex_min, onex_max, onex_mean, evdo_min,"
                           " evdo_max, evdo_mean, sys_mode, roaming) VALUES (?1, 30, -90, -70, -80.5, -85, -60, -72.25,"
                           " 4, 0)",
                           -1, &st, nullptr);
        for (const SignalRow& r : signalRows) {
            sqlite3_reset(st);
            sqlite3_bind_int64(st, 1, r.minute);
            sqlite3_step(st);
        }
        sqlite3_finalize(st);
        sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(raw);
        signalBytes = double(FileSize(db) - beforeSignal);
    }
    ~FullHistory() { std::filesystem::remove_all(dir); }
    std::string dir, db;
    int64_t now = 0;
    double bytesPerYear = 0, signalBytes = 0;
    std::vector<SignalRow> signalRows;
};

FullHistory& History()
{
    static FullHistory h;
    return h;
}

UsageSettings Plan()
{
    UsageSettings s;
    s.cycleDay = 15;
    s.kind = QuotaKind::Both;
    s.quotaMb = 5000;
    return s;
}

void BM_OpenUsageWindowData(benchmark::State& state)
{
    FullHistory& h = History();
    for (auto _ : state) {
        CUsageStore store;
        store.Open(h.db);
        UsageViewData v;
        if (!LoadUsageView(store, h.now, Plan(), v))
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(v.months.size());
    }
    state.counters["db_bytes_per_year_hourly"] = h.bytesPerYear;
    state.counters["db_bytes_30d_signal"] = h.signalBytes;
}
BENCHMARK(BM_OpenUsageWindowData)->Unit(benchmark::kMillisecond);

void BM_Query(benchmark::State& state)
{
    FullHistory& h = History();
    CUsageStore store;
    store.Open(h.db);
    const Granularity g = Granularity(state.range(0));
    const Span all{h.now - 3 * 365 * 86400LL, h.now + 1};
    for (auto _ : state) {
        UsageReport r;
        GatherUsage(store, g, all, 15, r);
        benchmark::DoNotOptimize(r.rows.size());
    }
    state.SetLabel(std::string(GranularityName(g)) + ", two years");
}
BENCHMARK(BM_Query)->Arg(int(Granularity::Hourly))->Arg(int(Granularity::Daily))->Arg(int(Granularity::Monthly))
    ->Arg(int(Granularity::Cycles))->Unit(benchmark::kMillisecond);

void BM_QuerySignal30Days(benchmark::State& state)
{
    FullHistory& h = History();
    CUsageStore store;
    store.Open(h.db);
    for (auto _ : state) {
        std::vector<SignalRow> rows;
        store.Signal(h.now - 30 * 86400, h.now + 60, rows);
        benchmark::DoNotOptimize(rows.size());
    }
}
BENCHMARK(BM_QuerySignal30Days)->Unit(benchmark::kMillisecond);

void BM_CycleSum(benchmark::State& state)
{
    FullHistory& h = History();
    CUsageStore store;
    store.Open(h.db);
    const Span c = CycleContaining(h.now, 15);
    for (auto _ : state) {
        UsageRow r;
        store.Sum(c, r);
        benchmark::DoNotOptimize(r.rx);
    }
}
BENCHMARK(BM_CycleSum)->Unit(benchmark::kMicrosecond);

// The status poll's added cost once a minute: one row, one transaction,
// on the database file as it stands (synced as SQLite syncs by default).
void BM_SignalMinuteInsert(benchmark::State& state)
{
    FullHistory& h = History();
    CUsageStore store;
    store.Open(h.db);
    int64_t minute = (h.now / 60 + 1) * 60;
    SignalRow r = h.signalRows.back();
    for (auto _ : state) {
        r.minute = minute;
        minute += 60;
        if (!store.AddSignalMinute(r))
            state.SkipWithError("insert failed");
    }
}
BENCHMARK(BM_SignalMinuteInsert)->Unit(benchmark::kMicrosecond);

} // namespace
