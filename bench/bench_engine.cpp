// The DM engine's idle cost: the status poll period against the modem
// simulator on a pty, and the CPU the process spends per second of polling
// (engine, serial reader, host loop and the in-process simulator together,
// so an upper bound of the engine's own share).
#include "engine/CommPortLink.h"
#include "engine/DmEngine.h"
#include "host/HeadlessHost.h"
#include "platform/Event.h"
#include "sim/ModemSimulator.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdlib>
#include <string>

namespace {

double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
        + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

size_t PollsSeen(const kv::CHeadlessHost& host)
{
    size_t n = 0;
    for (const auto& c : host.IndicatorCalls())
        if (c.first == kv::IND_ROAMING)
            ++n;
    return n;
}

void BM_IdlePollPeriodOnSimulator(benchmark::State& state)
{
    char tmpl[] = "/tmp/kvbench-XXXXXX";
    const char* dir = mkdtemp(tmpl);
    if (!dir) {
        state.SkipWithError("no temp folder");
        return;
    }
    setenv("KORVIANET_CONFIG_DIR", dir, 1);
    kv::sim::ModemSimulator::Options o;
    o.registerDevice = false;
    o.unsolicitedPeriodMs = 4000;
    kv::sim::ModemSimulator sim(o);
    if (!sim.Start()) {
        state.SkipWithError("simulator did not start");
        return;
    }
    kv::CHeadlessHost host;
    kv::CCommPort port;
    port.SetDevicePath(sim.SlavePath());
    kv::CCommPortLink link(port);
    kv::CDmEngine engine(host, link);
    engine.SetDiscovery([] { return kv::PortChoice{1, kv::DEVICE_KIND_NV}; });
    if (!engine.UserDmRestart() || !host.RunUntil([&] { return PollsSeen(host) >= 2; }, 30000)) {
        state.SkipWithError("engine did not reach polling");
        return;
    }
    const double cpu0 = CpuSeconds();
    const int64_t t0 = kv::TickMs();
    size_t polls = 0;
    for (auto _ : state) {
        const size_t before = PollsSeen(host);
        host.RunUntil([&] { return PollsSeen(host) > before; }, 10000);
        ++polls;
    }
    const double wall = double(kv::TickMs() - t0) / 1000.0;
    const double cpu = CpuSeconds() - cpu0;
    state.counters["poll_ms"] = wall * 1000.0 / double(polls ? polls : 1);
    state.counters["cpu_pct_of_core"] = wall > 0 ? 100.0 * cpu / wall : 0;
    engine.StopDmEngine();
    sim.Stop();
}
BENCHMARK(BM_IdlePollPeriodOnSimulator)->Iterations(40)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DecodeMin(benchmark::State& state)
{
    uint32_t min1 = 123 * 16384 + 4 * 1024 + 567;
    for (auto _ : state) {
        benchmark::DoNotOptimize(kv::DecodeMin(min1, 858));
        ++min1;
        min1 &= 0xFFFFF3FF;
        min1 |= 0x1000;
    }
}
BENCHMARK(BM_DecodeMin);

} // namespace
