// The AT poll's cost to the DM engine: the engine polls the simulator's
// status over the real port while the AT poll runs on the host's UI thread
// every PERIOD ms (0: AT poll off). Counters:
//   poll_period_ms   mean time between two status polls of the engine
//   at_tick_ms       mean duration of one AT poll tick (the UI thread's block)
//   at_busy_skips    AT queries skipped because a transaction held the port
// Each run takes a few seconds of wall time: the figures are rates of a
// running system, not of a loop.
#include "engine/CommPortLink.h"
#include "engine/DmEngine.h"
#include "engine/HeadlessHost.h"
#include "net/AtPoll.h"
#include "platform/Event.h"
#include "settings/Profile.h"
#include "sim/ModemSimulator.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>

using namespace kv;

namespace {

void PrivateSettings()
{
    static const bool done = [] {
        char tmpl[] = "/tmp/kvbenchnetXXXXXX";
        const char* dir = mkdtemp(tmpl);
        if (dir == nullptr)
            return false;
        setenv("KORVIANET_CONFIG_DIR", dir, 1);
        setenv("KORVIANET_SYSFS_ROOT", (std::string(dir) + "/no-sysfs").c_str(), 1);
        return true;
    }();
    (void)done;
}

size_t BatteryPolls(const CHeadlessHost& host)
{
    size_t n = 0;
    for (const auto& [id, value] : host.IndicatorCalls())
        n += id == IND_BATTERY;
    return n;
}

void BM_DmPollPeriodWithAtPoll(benchmark::State& state)
{
    PrivateSettings();
    const int atPeriodMs = int(state.range(0));
    const int64_t windowMs = state.range(1);
    sim::ModemSimulator::Options o;
    o.registerDevice = false;
    sim::ModemSimulator modem(o);
    if (!modem.Start()) {
        state.SkipWithError("simulator did not start");
        return;
    }
    CHeadlessHost host;
    CCommPort port;
    port.SetDevicePath(modem.SlavePath());
    CCommPortLink link(port);
    CDmEngine engine(host, link);
    engine.SetDiscovery([] { return PortChoice{1, DEVICE_KIND_NV}; });
    CCommPortAt atPort(port);
    CAtPoll poll(host, atPort);
    int64_t tickMs = 0;
    host.SetTimerHandler([&](uint32_t id) {
        if (id != TIMER_AT_POLL)
            return false;
        if (atPeriodMs > 0) {
            const int64_t t0 = TickMs();
            poll.Tick();
            tickMs += TickMs() - t0;
        }
        return true;
    });
    if (!engine.UserDmRestart()
        || !host.RunUntil([&] { return host.Indicator(IND_ROAMING) >= 0; }, 20000)) {
        state.SkipWithError("engine did not start");
        return;
    }
    if (atPeriodMs > 0)
        host.StartTimer(TIMER_AT_POLL, uint32_t(atPeriodMs));
    else
        host.KillTimer(TIMER_AT_POLL);

    double period = 0, tick = 0, skips = 0;
    for (auto _ : state) {
        const size_t polls0 = BatteryPolls(host);
        const uint64_t ticks0 = poll.Snapshot().ticks;
        const uint64_t skips0 = poll.Snapshot().busySkips;
        tickMs = 0;
        const int64_t t0 = TickMs();
        host.RunUntil([] { return false; }, windowMs);
        const int64_t elapsed = TickMs() - t0;
        const size_t polls = BatteryPolls(host) - polls0;
        const uint64_t ticks = poll.Snapshot().ticks - ticks0;
        period = polls ? double(elapsed) / double(polls) : double(elapsed);
        tick = ticks ? double(tickMs) / double(ticks) : 0.0;
        skips = double(poll.Snapshot().busySkips - skips0);
        state.SetIterationTime(double(elapsed) / 1000.0);
    }
    state.counters["poll_period_ms"] = period;
    state.counters["at_tick_ms"] = tick;
    state.counters["at_busy_skips"] = skips;
    engine.StopDmEngine();
}

} // namespace

// {AT poll period ms (0 off), measuring window ms}
BENCHMARK(BM_DmPollPeriodWithAtPoll)
    ->Args({0, 16000})
    ->Args({8000, 16000})
    ->Args({1000, 8000})
    ->Args({100, 8000})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
