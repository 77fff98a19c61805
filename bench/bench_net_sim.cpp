// The AT poll's cost to the DM engine: the engine polls the simulator's
// status over the real port while the AT poll runs on the host's UI thread
// every PERIOD ms (0: AT poll off). Counters:
//   poll_period_ms   mean time between two status polls of the engine
//   at_tick_ms       mean duration of one AT poll tick (the UI thread's block)
//   at_busy_skips    AT queries skipped because a transaction held the port
// BM_AtTickWithSlowModem: the same system with a modem slow to answer (every
// answer held back DELAY ms, or torn in two parts SPLIT ms apart), the AT
// poll every second; the UI thread's worst and mean block per tick:
//   at_tick_worst_ms, at_tick_mean_ms, at_time_skips (queries left for the
//   next tick because the tick's time was up)
// Each run takes a few seconds of wall time: the figures are rates of a
// running system, not of a loop.
#include "engine/CommPortLink.h"
#include "engine/DmEngine.h"
#include "host/HeadlessHost.h"
#include "net/AtPoll.h"
#include "platform/Event.h"
#include "settings/Profile.h"
#include "sim/ModemSimulator.h"

#include <benchmark/benchmark.h>

#include <algorithm>
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

void BM_AtTickWithSlowModem(benchmark::State& state)
{
    PrivateSettings();
    const int64_t splitMs = state.range(0);
    const int64_t delayMs = state.range(1);
    const int64_t windowMs = 12000;
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
    int64_t worst = 0, total = 0, ticks = 0;
    host.SetTimerHandler([&](uint32_t id) {
        if (id != TIMER_AT_POLL)
            return false;
        const int64_t t0 = TickMs();
        poll.Tick();
        const int64_t took = TickMs() - t0;
        worst = std::max(worst, took);
        total += took;
        ++ticks;
        return true;
    });
    if (!engine.UserDmRestart()
        || !host.RunUntil([&] { return host.Indicator(IND_ROAMING) >= 0; }, 20000)) {
        state.SkipWithError("engine did not start");
        return;
    }
    if (splitMs > 0)
        modem.Command("split " + std::to_string(splitMs));
    if (delayMs > 0)
        modem.Command("delay " + std::to_string(delayMs));
    host.StartTimer(TIMER_AT_POLL, 1000);
    for (auto _ : state) {
        worst = total = ticks = 0;
        const int64_t t0 = TickMs();
        host.RunUntil([] { return false; }, windowMs);
        state.SetIterationTime(double(TickMs() - t0) / 1000.0);
    }
    state.counters["at_tick_worst_ms"] = double(worst);
    state.counters["at_tick_mean_ms"] = ticks ? double(total) / double(ticks) : 0.0;
    state.counters["at_ticks"] = double(ticks);
    state.counters["at_time_skips"] = double(poll.Snapshot().timeSkips);
    host.KillTimer(TIMER_AT_POLL);
    engine.StopDmEngine();
}

} // namespace

// {split ms, delay ms}
BENCHMARK(BM_AtTickWithSlowModem)
    ->Args({380, 0})
    ->Args({0, 90})
    ->Args({0, 600})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// {AT poll period ms (0 off), measuring window ms}
BENCHMARK(BM_DmPollPeriodWithAtPoll)
    ->Args({0, 16000})
    ->Args({8000, 16000})
    ->Args({1000, 8000})
    ->Args({100, 8000})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
