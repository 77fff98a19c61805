// Summing the traffic history: a file of 1,000,000 session records (24 MB)
// read and summed as the traffic pages do, against the same sums over the
// records already in memory and a plain read of 24 MB of memory.
#include "traffic/TrafficRecords.h"
#include "traffic/TrafficStats.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr size_t kRecords = 1000000;

// A data folder with PktFF.dat and PktLF.dat of a million records, one
// session every 90 s ending now; kept for the whole run (and in the page
// cache after the first pass, as on a machine that shows the page often).
struct MillionRecords {
    MillionRecords()
    {
        char tmpl[] = "/tmp/kvbenchXXXXXX";
        dir = mkdtemp(tmpl);
        setenv("KORVIANET_CONFIG_DIR", dir.c_str(), 1);
        setenv("KORVIANET_DATA_DIR", dir.c_str(), 1);
        bytes.resize(kRecords * kvtraffic::kTrafficRecordSize);
        const int64_t now = int64_t(std::time(nullptr));
        for (size_t i = 0; i < kRecords; ++i) {
            kvtraffic::TrafficRecord r;
            r.time = now - int64_t(kRecords - i) * 90;
            r.duration = uint32_t(i * 1000);
            r.bytesSent = uint32_t(i * 2654435761u);
            r.bytesReceived = uint32_t(i * 40503u);
            kvtraffic::EncodeTrafficRecord(r, bytes.data() + i * kvtraffic::kTrafficRecordSize);
        }
        for (const char* f : {"PktFF.dat", "PktLF.dat"})
            std::ofstream(dir + "/" + f, std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    ~MillionRecords()
    {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    std::string dir;
    std::vector<uint8_t> bytes;
};

MillionRecords& Fixture()
{
    static MillionRecords f;
    return f;
}

void SetBytes(benchmark::State& state) { state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kRecords * 24)); }

// One total, as the Traffic page asks for each (the file read anew).
void BM_SumTrafficTotalFile(benchmark::State& state)
{
    Fixture();
    for (auto _ : state)
        benchmark::DoNotOptimize(kvtraffic::SumTrafficTotal(kvtraffic::kTotalReceived));
    SetBytes(state);
}
BENCHMARK(BM_SumTrafficTotalFile)->Unit(benchmark::kMillisecond);

// One month sum (a window test per record).
void BM_SumTrafficBetweenFile(benchmark::State& state)
{
    Fixture();
    const int64_t now = int64_t(std::time(nullptr));
    const kvtraffic::MonthWindow w = kvtraffic::PreviousMonthWindow(now);
    for (auto _ : state)
        benchmark::DoNotOptimize(kvtraffic::SumTrafficBetween(w.start, w.end, kvtraffic::kMonthReceived));
    SetBytes(state);
}
BENCHMARK(BM_SumTrafficBetweenFile)->Unit(benchmark::kMillisecond);

// Everything a refresh shows, in one pass over the file.
void BM_TrafficOverviewFile(benchmark::State& state)
{
    Fixture();
    const int64_t now = int64_t(std::time(nullptr));
    for (auto _ : state)
        benchmark::DoNotOptimize(kvtraffic::ReadTrafficOverview(now));
    SetBytes(state);
}
BENCHMARK(BM_TrafficOverviewFile)->Unit(benchmark::kMillisecond);

// The same sums over the records in memory: the cost of the decoding alone.
void BM_SumTrafficBufferMemory(benchmark::State& state)
{
    const auto& b = Fixture().bytes;
    kvtraffic::TrafficQuery q;
    q.since = int64_t(std::time(nullptr)) - 86400 * 30;
    q.from = q.since - 86400 * 30;
    q.to = q.since - 1;
    for (auto _ : state)
        benchmark::DoNotOptimize(kvtraffic::SumTrafficBuffer(b.data(), b.size(), q));
    SetBytes(state);
}
BENCHMARK(BM_SumTrafficBufferMemory)->Unit(benchmark::kMillisecond);

// For comparison: reading 24 MB of memory, eight bytes at a time.
void BM_PlainMemoryRead24MB(benchmark::State& state)
{
    const auto& b = Fixture().bytes;
    for (auto _ : state) {
        uint64_t acc = 0;
        for (size_t i = 0; i + 8 <= b.size(); i += 8) {
            uint64_t v;
            std::memcpy(&v, b.data() + i, 8);
            acc += v;
        }
        benchmark::DoNotOptimize(acc);
    }
    SetBytes(state);
}
BENCHMARK(BM_PlainMemoryRead24MB)->Unit(benchmark::kMillisecond);

// And copying 24 MB, which is what read() of a cached file does at best.
void BM_PlainMemoryCopy24MB(benchmark::State& state)
{
    const auto& b = Fixture().bytes;
    std::vector<uint8_t> to(1 << 20);
    for (auto _ : state) {
        for (size_t i = 0; i < b.size(); i += to.size())
            std::memcpy(to.data(), b.data() + i, std::min(to.size(), b.size() - i));
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    SetBytes(state);
}
BENCHMARK(BM_PlainMemoryCopy24MB)->Unit(benchmark::kMillisecond);

} // namespace
