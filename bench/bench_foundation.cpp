// The costs every subsystem pays: one settings key read and write in a
// realistic 200-key file, and a log call while logging is off.
#include "log/DebugLog.h"
#include "settings/Profile.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

namespace {

// A settings folder holding a teal_dialer.ini of 200 keys (100 sections of
// two keys each), kept for the whole run.
struct TwoHundredKeys {
    TwoHundredKeys()
    {
        char tmpl[] = "/tmp/kvbenchXXXXXX";
        dir = mkdtemp(tmpl);
        setenv("KORVIANET_CONFIG_DIR", dir.c_str(), 1);
        std::ofstream out(dir + "/teal_dialer.ini", std::ios::binary);
        for (int s = 0; s < 100; ++s)
            out << "[section" << s << "]\r\nnum=" << s << "\r\ntext=value number " << s << "\r\n";
    }
    ~TwoHundredKeys()
    {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    std::string dir;
};

TwoHundredKeys& Fixture()
{
    static TwoHundredKeys f;
    return f;
}

void BM_ProfileReadKeyOf200(benchmark::State& state)
{
    Fixture();
    for (auto _ : state)
        benchmark::DoNotOptimize(kv::GetProfileInt("section99", "num", -1, "teal_dialer.ini"));
}
BENCHMARK(BM_ProfileReadKeyOf200);

void BM_ProfileWriteKeyOf200(benchmark::State& state)
{
    Fixture();
    int i = 0;
    for (auto _ : state)
        kv::WriteProfileString("section50", "num", std::to_string(i++ & 1), "teal_dialer.ini");
}
BENCHMARK(BM_ProfileWriteKeyOf200)->Unit(benchmark::kMicrosecond);

void BM_LogCallWhileOff(benchmark::State& state)
{
    kv::DisableDiagnosticSink();
    int x = 0;
    for (auto _ : state) {
        DEBUG_LOG(LEVEL_ST, "Select ComPort=COM%d", x);
        benchmark::DoNotOptimize(++x);
    }
}
BENCHMARK(BM_LogCallWhileOff);

void BM_LogCallRecorded(benchmark::State& state)
{
    kv::CDebugLog& log = kv::CDebugLog::Instance();
    size_t total = 0;
    log.SetSink([&total](const std::string& line) { total += line.size(); });
    log.SetLevelMask(kv::kLogMaskAll);
    log.Enable();
    log.SetVisible(true);
    int x = 0;
    for (auto _ : state)
        DEBUG_LOG(LEVEL_DM, "DM_GET_INFO %d", ++x);
    benchmark::DoNotOptimize(total);
    kv::DisableDiagnosticSink();
}
BENCHMARK(BM_LogCallRecorded);

} // namespace
