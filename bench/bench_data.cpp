// Phonebook page searches on a table of 10,000 entries: open the query and
// walk every row into the column members, as the page fills its list.
#include "data/AppDatabase.h"
#include "data/DaoPbookDb.h"
#include "data/DbPath.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

// A copy of the built database with 10,000 Memory entries.
const std::string& BenchDb()
{
    static std::string path = [] {
        char tmpl[] = "/tmp/kvbenchXXXXXX";
        std::string dir = mkdtemp(tmpl);
        std::string p = dir + "/WVL.MDB";
        std::ifstream in(kv::TemplateDatabaseCandidates().front(), std::ios::binary); // the template next to this executable
        std::ofstream out(p, std::ios::binary);
        out << in.rdbuf();
        out.close();
        kv::CDaoPbookDb pb(p);
        pb.BeginTrans();
        pb.Open(kv::CDaoPbookDb::QueryEntry(-1, 1));
        for (int i = 1; i <= 10000; ++i) {
            pb.AddNew();
            pb.m_storage_type = 1;
            pb.m_index = i;
            pb.m_name = "Contact " + std::to_string(i * 7919 % 10007);
            pb.m_phone_number = "1555" + std::to_string(1000000 + i * 31 % 9000000);
            pb.Update();
        }
        pb.CommitTrans();
        return p;
    }();
    return path;
}

long Walk(kv::CDaoPbookDb& pb, const kv::CDaoQuery& q)
{
    long n = 0;
    pb.Open(q);
    while (!pb.IsEOF()) {
        benchmark::DoNotOptimize(pb.m_name.data());
        ++n;
        pb.MoveNext();
    }
    pb.Close();
    return n;
}

void BM_SearchName(benchmark::State& state)
{
    kv::CDaoPbookDb pb(BenchDb());
    for (auto _ : state)
        state.counters["rows"] = static_cast<double>(Walk(pb, kv::CDaoPbookDb::SearchName("123", 1)));
}
BENCHMARK(BM_SearchName)->Unit(benchmark::kMillisecond);

void BM_SearchNumber(benchmark::State& state)
{
    kv::CDaoPbookDb pb(BenchDb());
    for (auto _ : state)
        state.counters["rows"] = static_cast<double>(Walk(pb, kv::CDaoPbookDb::SearchNumber("555100", 1)));
}
BENCHMARK(BM_SearchNumber)->Unit(benchmark::kMillisecond);

void BM_SearchAll(benchmark::State& state)
{
    kv::CDaoPbookDb pb(BenchDb());
    for (auto _ : state)
        state.counters["rows"] = static_cast<double>(Walk(pb, kv::CDaoPbookDb::SearchAll("99", 1)));
}
BENCHMARK(BM_SearchAll)->Unit(benchmark::kMillisecond);

void BM_SearchSpecialText(benchmark::State& state)
{
    kv::CDaoPbookDb pb(BenchDb());
    for (auto _ : state)
        state.counters["rows"] = static_cast<double>(Walk(pb, kv::CDaoPbookDb::SearchName("[x]%_*", 1)));
}
BENCHMARK(BM_SearchSpecialText)->Unit(benchmark::kMillisecond);

void BM_SearchIndex(benchmark::State& state)
{
    kv::CDaoPbookDb pb(BenchDb());
    for (auto _ : state)
        state.counters["rows"] = static_cast<double>(Walk(pb, kv::CDaoPbookDb::SearchIndex("5000", 1)));
}
BENCHMARK(BM_SearchIndex)->Unit(benchmark::kMillisecond);

void BM_ListWholePage(benchmark::State& state)
{
    kv::CDaoPbookDb pb(BenchDb());
    for (auto _ : state)
        state.counters["rows"] = static_cast<double>(Walk(pb, kv::CDaoPbookDb::QueryStorage(1)));
}
BENCHMARK(BM_ListWholePage)->Unit(benchmark::kMillisecond);

void BM_LookupNameByNumber(benchmark::State& state)
{
    kv::CAppDatabase app(BenchDb());
    for (auto _ : state)
        benchmark::DoNotOptimize(app.LookupNameByNumber("15551155001"));
}
BENCHMARK(BM_LookupNameByNumber)->Unit(benchmark::kMicrosecond);

void BM_NextFreeIndex(benchmark::State& state)
{
    kv::CDaoPbookDb pb(BenchDb());
    for (auto _ : state)
        benchmark::DoNotOptimize(pb.NextFreeIndex(1));
}
BENCHMARK(BM_NextFreeIndex)->Unit(benchmark::kMillisecond);

} // namespace
