// The link against the modem simulator, the way the program meets a modem:
// port discovery finds the simulator's COM number, the port opens the
// dosdevices link. Figures: the time a status request takes beyond its
// fixed pauses (slps + the 50 ms settle pause), and the CPU an open port
// uses while nothing happens.
#include "engine/DrvComm.h"
#include "link/CommPort.h"
#include "link/DiagCatalog.h"
#include "settings/Profile.h"
#include "sim/ModemSimulator.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/resource.h>

using namespace kv;

namespace {

// A private settings folder for the whole run, without real USB devices.
void PrivateSettings()
{
    static const bool done = [] {
        char tmpl[] = "/tmp/kvbenchsimXXXXXX";
        const char* dir = mkdtemp(tmpl);
        if (dir == nullptr)
            return false;
        setenv("KORVIANET_CONFIG_DIR", dir, 1);
        setenv("KORVIANET_SYSFS_ROOT", (std::string(dir) + "/no-sysfs").c_str(), 1);
        unsetenv("KORVIANET_DOSDEVICES");
        return true;
    }();
    (void)done;
}

struct SimAndPort {
    std::unique_ptr<sim::ModemSimulator> modem;
    CCommPort port;

    bool Open(int unsolicitedPeriodMs)
    {
        PrivateSettings();
        sim::ModemSimulator::Options o;
        o.unsolicitedPeriodMs = unsolicitedPeriodMs;
        modem = std::make_unique<sim::ModemSimulator>(o);
        if (!modem->Start())
            return false;
        PortDiscovery discovery;
        const int com = discovery.FindComPort();
        port.SetEventMask(EV_RXFLAG);
        port.SetPortNumber(uint32_t(com));
        port.ConfigureLine(0x7E, 115200, 8, 0, 0, 2);
        if (com <= 0 || port.OpenPort() != 1)
            return false;
        port.SetNotifyMode(false);
        return true;
    }
    ~SimAndPort()
    {
        port.ClosePort();
        if (modem)
            modem->Stop();
    }
};

double CpuSeconds()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec)
        + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// One status record request per iteration; range(0) is slps in ms.
void BM_SimStatusRequest(benchmark::State& state)
{
    const int slps = int(state.range(0));
    SimAndPort link;
    if (!link.Open(0)) {
        state.SkipWithError("simulator or port not available");
        return;
    }
    WriteProfileString("sysinf", "slps", std::to_string(slps), "syskor.ini");
    const DiagRequest req = BuildModemStatusReq();
    uint8_t resp[kDiagMaxReply];
    int64_t failures = 0;
    double totalMs = 0;
    double worstMs = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        if (link.port.Transact(req, resp, sizeof resp) != kDiagAnswered)
            ++failures;
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        totalMs += ms;
        worstMs = std::max(worstMs, ms);
    }
    const double pauses = slps + kRxSettleMs;
    state.counters["failures"] = double(failures);
    state.counters["beyond_pauses_ms"] = totalMs / double(state.iterations()) - pauses;
    state.counters["worst_beyond_pauses_ms"] = worstMs - pauses;
}
BENCHMARK(BM_SimStatusRequest)->Arg(0)->Arg(5)->Iterations(40)->UseRealTime()->Unit(benchmark::kMillisecond);

// CPU of the whole process (port reader and simulator) over 3 s with the
// port open and no exchange; range(0) is the simulator's period of
// unsolicited packets (0: none).
void BM_SimIdlePortCpu(benchmark::State& state)
{
    SimAndPort link;
    if (!link.Open(int(state.range(0)))) {
        state.SkipWithError("simulator or port not available");
        return;
    }
    double cpu = 0;
    for (auto _ : state) {
        const double before = CpuSeconds();
        SleepMs(3000);
        cpu = CpuSeconds() - before;
    }
    state.counters["cpu_ms_per_3s"] = cpu * 1000.0;
}
BENCHMARK(BM_SimIdlePortCpu)->Arg(0)->Arg(4000)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace
