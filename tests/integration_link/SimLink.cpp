#include "SimLink.h"

#include "engine/DrvComm.h"
#include "platform/Event.h"
#include "settings/Profile.h"

#include <cstdlib>
#include <sys/resource.h>

namespace kvtest {

double ProcessCpuSeconds()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec)
        + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

void SimLink::SetUp()
{
    // Only what the simulator registers counts: no real USB devices, and
    // the dosdevices folder inside the private settings folder.
    setenv("KORVIANET_SYSFS_ROOT", (settings.Dir() + "/no-sysfs").c_str(), 1);
    if (const char* dos = std::getenv("KORVIANET_DOSDEVICES")) {
        m_hadDos = true;
        m_oldDos = dos;
    }
    unsetenv("KORVIANET_DOSDEVICES");
    SetSlps("0");
}

void SimLink::TearDown()
{
    port.ClosePort();
    if (sim)
        sim->Stop();
    sim.reset();
    unsetenv("KORVIANET_SYSFS_ROOT");
    if (m_hadDos)
        setenv("KORVIANET_DOSDEVICES", m_oldDos.c_str(), 1);
}

void SimLink::StartSim(int unsolicitedPeriodMs)
{
    kv::sim::ModemSimulator::Options o;
    o.unsolicitedPeriodMs = unsolicitedPeriodMs;
    sim = std::make_unique<kv::sim::ModemSimulator>(o);
    ASSERT_TRUE(sim->Start());
}

int SimLink::DiscoverAndOpen()
{
    kv::PortDiscovery discovery;
    const int com = discovery.FindComPort();
    port.SetEventMask(kv::EV_RXFLAG);
    port.SetPortNumber(uint32_t(com));
    port.ConfigureLine(0x7E, 115200, 8, 0, 0, 2);
    if (com > 0 && port.OpenPort() == 1)
        port.SetNotifyMode(false);
    return com;
}

void SimLink::SetSlps(const std::string& value)
{
    ASSERT_TRUE(kv::WriteProfileString("sysinf", "slps", value, "syskor.ini"));
}

uint8_t SimLink::Send(const kv::DiagRequest& request, uint32_t timeoutMs)
{
    resp.fill(0xA5);
    return port.Transact(request.Data(), resp.data(), resp.size(), request.length, timeoutMs);
}

bool SimLink::WaitReceivedMoreThan(uint64_t count)
{
    const int64_t end = kv::TickMs() + kWaitMs;
    while (sim->Received() <= count) {
        if (kv::TickMs() >= end)
            return false;
        sim->WaitFor([](kv::sim::ModemModel&) { return false; }, 20);
    }
    return true;
}

void SimLink::Control(const std::string& line)
{
    const std::string reply = sim->Command(line);
    ASSERT_GE(reply.size(), 3u) << line;
    EXPECT_EQ(reply.substr(reply.size() - 3), "OK\n") << line << ": " << reply;
}

} // namespace kvtest
