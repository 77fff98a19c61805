// Link figures: frame encode/decode throughput, the cost of one transaction
// over a pty beyond its fixed pauses (slps 0 + the 50 ms settle pause), and
// the CPU an open, idle port uses.
#include "link/CommPort.h"
#include "link/DiagFrame.h"
#include "settings/Profile.h"
#include "support/DiagDecodeReference.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

using namespace kv;

namespace {

std::vector<uint8_t> Payload(size_t n)
{
    std::mt19937 rng(1);
    std::vector<uint8_t> v(n);
    for (auto& b : v)
        b = uint8_t(rng());
    return v;
}

void BM_EncodeFrame(benchmark::State& state)
{
    const auto body = Payload(size_t(state.range(0)));
    std::vector<uint8_t> out;
    for (auto _ : state) {
        out.clear();
        AppendDiagFrame(body.data(), body.size(), out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_EncodeFrame)->Arg(16)->Arg(321)->Arg(4000);

// The port's own path: straight into a fixed buffer, as decode works.
void BM_EncodeFrameInto(benchmark::State& state)
{
    const auto body = Payload(size_t(state.range(0)));
    std::vector<uint8_t> out(DiagFrameWorstCase(body.size()));
    for (auto _ : state) {
        benchmark::DoNotOptimize(EncodeDiagFrameInto(body.data(), body.size(), out.data()));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_EncodeFrameInto)->Arg(16)->Arg(321)->Arg(4000);

void BM_DecodeFrame(benchmark::State& state)
{
    const auto body = Payload(size_t(state.range(0)));
    const auto frame = EncodeDiagFrame(body.data(), body.size());
    std::vector<uint8_t> out(kPayloadSize);
    for (auto _ : state) {
        size_t n = 0;
        benchmark::DoNotOptimize(DecodeDiagPiece(frame.data(), frame.size() - 1, out.data(), out.size(), n));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_DecodeFrame)->Arg(16)->Arg(321)->Arg(4000);

// The byte-at-a-time decode it replaced, on the same frames, so that the
// ratio comes from one run on one machine.
void BM_DecodeFrameReference(benchmark::State& state)
{
    const auto body = Payload(size_t(state.range(0)));
    const auto frame = EncodeDiagFrame(body.data(), body.size());
    std::vector<uint8_t> out(kPayloadSize);
    for (auto _ : state) {
        size_t n = 0;
        benchmark::DoNotOptimize(
            kvtest::ReferenceDecodeDiagPiece(frame.data(), frame.size() - 1, out.data(), out.size(), n));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_DecodeFrameReference)->Arg(16)->Arg(321)->Arg(4000);

// A pty pair with an in-process modem that answers each request frame with
// a 31-byte status record carrying the request's command byte.
struct PtyModem {
    int master = -1;
    std::string slave;
    std::atomic<bool> stop{false};
    std::thread thread;

    PtyModem()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        grantpt(master);
        unlockpt(master);
        slave = ptsname(master);
        thread = std::thread([this] { Run(); });
    }
    ~PtyModem()
    {
        stop = true;
        thread.join();
        close(master);
    }
    void Run()
    {
        std::vector<uint8_t> req;
        while (!stop) {
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0 || !(p.revents & POLLIN))
                continue;
            uint8_t buf[512];
            const ssize_t n = read(master, buf, sizeof buf);
            for (ssize_t i = 0; i < n; ++i) {
                req.push_back(buf[i]);
                if (buf[i] != kDiagFlag)
                    continue;
                std::vector<uint8_t> answer(31, 0);
                answer[0] = req[0];
                answer[1] = 1;
                const auto f = EncodeDiagFrame(answer.data(), answer.size());
                (void)!write(master, f.data(), f.size());
                req.clear();
            }
        }
    }
};

void SetPrivateSettingsWithoutPause()
{
    static const bool done = [] {
        char tmpl[] = "/tmp/kvbenchXXXXXX";
        setenv("KORVIANET_CONFIG_DIR", mkdtemp(tmpl), 1);
        return WriteProfileString("sysinf", "slps", "0", "syskor.ini");
    }();
    (void)done;
}

void BM_TransactStatusRoundTrip(benchmark::State& state)
{
    SetPrivateSettingsWithoutPause();
    PtyModem modem;
    CCommPort port;
    port.SetEventMask(EV_RXFLAG);
    port.ConfigureLine(0x7E, 115200, 8, 0, 0, 2);
    port.SetDevicePath(modem.slave);
    if (port.OpenPort() != 1) {
        state.SkipWithError("cannot open the pty");
        return;
    }
    port.SetNotifyMode(false);
    const uint8_t req[3] = {0xCF, 0x01, 0x00};
    uint8_t resp[64];
    int64_t failures = 0;
    double totalMs = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        if (port.Transact(req, resp, sizeof resp, 3, 3000) != kDiagAnswered)
            ++failures;
        totalMs += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    }
    port.ClosePort();
    state.counters["failures"] = double(failures);
    // mean time per transaction minus the 50 ms settle pause (slps is 0)
    state.counters["beyond_pauses_ms"] = totalMs / double(state.iterations()) - kRxSettleMs;
}
BENCHMARK(BM_TransactStatusRoundTrip)->Iterations(40)->UseRealTime()->Unit(benchmark::kMillisecond);

double CpuSeconds()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec)
        + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// CPU of an open port with nothing arriving, over 3 s: the reader blocks in
// poll; the figure is the whole process's CPU in that time.
void BM_IdlePortCpu(benchmark::State& state)
{
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    grantpt(master);
    unlockpt(master);
    CCommPort port;
    port.SetEventMask(EV_RXFLAG);
    port.ConfigureLine(0x7E, 115200, 8, 0, 0, 2);
    port.SetDevicePath(ptsname(master));
    if (port.OpenPort() != 1) {
        state.SkipWithError("cannot open the pty");
        return;
    }
    double cpu = 0;
    for (auto _ : state) {
        const double before = CpuSeconds();
        SleepMs(3000);
        cpu = CpuSeconds() - before;
    }
    state.counters["cpu_ms_per_3s"] = cpu * 1000.0;
    // and with the device unplugged: the reader backs off instead of spinning
    close(master);
    SleepMs(200);
    const double before = CpuSeconds();
    SleepMs(3000);
    state.counters["cpu_ms_per_3s_unplugged"] = (CpuSeconds() - before) * 1000.0;
    port.ClosePort();
}
BENCHMARK(BM_IdlePortCpu)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace
