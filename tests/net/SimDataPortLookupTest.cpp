// The pppd service finds the simulator's data port the way it finds a real
// modem's data interface: listed by the driver beside the diagnostic port,
// its dosdevices link naming the tty. What is gone, or not a tty, is not
// offered.
#include "engine/DrvComm.h"
#include "net/PppdBackend.h"
#include "net/RasClient.h"
#include "settings/Reg.h"
#include "sim/ModemSimulator.h"
#include "support/TempSettings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

using namespace kvnet;

namespace {

class SimDataPortLookup : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("KORVIANET_SYSFS_ROOT", (settings.Dir() + "/no-sysfs").c_str(), 1);
        unsetenv("KORVIANET_PPP_DEVICE");
        unsetenv("KORVIANET_DOSDEVICES");
    }
    void TearDown() override { unsetenv("KORVIANET_SYSFS_ROOT"); }

    std::vector<RasDeviceInfo> Devices()
    {
        CPppdBackend::Config cfg;
        cfg.phonebookRoot = settings.Dir();
        cfg.runtimeDir = settings.Path("run");
        CPppdBackend backend(cfg);
        std::vector<RasDeviceInfo> out;
        size_t needed = 0;
        backend.EnumDevices(0, out, needed);
        EXPECT_EQ(backend.EnumDevices(needed, out, needed), RAS_OK);
        return out;
    }

    kvtest::TempSettings settings;
};

} // namespace

TEST_F(SimDataPortLookup, TheDataPortIsTheModemDeviceWhileThePortIsThere)
{
    kv::sim::ModemSimulator::Options o;
    o.unsolicitedPeriodMs = 0;
    o.dataPort = true;
    kv::sim::ModemSimulator sim(o);
    ASSERT_TRUE(sim.Start());
    std::vector<RasDeviceInfo> devices = Devices();
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].name, "KORVIA USB Modem (" + sim.DataSlavePath() + ")");
    EXPECT_EQ(DeviceNodeOf(devices[0].name), sim.DataSlavePath());
    // The client's pick for the dial entry.
    CPppdBackend::Config cfg;
    cfg.phonebookRoot = settings.Dir();
    cfg.runtimeDir = settings.Path("run");
    CRasClient client(std::make_shared<CPppdBackend>(cfg));
    client.Init();
    std::string picked;
    EXPECT_EQ(client.FindModemDevice(picked), 1);
    EXPECT_EQ(picked, devices[0].name);

    ASSERT_TRUE(sim.Unplug());
    EXPECT_TRUE(Devices().empty());
    ASSERT_TRUE(sim.Replug());
    ASSERT_EQ(Devices().size(), 1u);
    EXPECT_EQ(Devices()[0].name, "KORVIA USB Modem (" + sim.DataSlavePath() + ")");
}

TEST_F(SimDataPortLookup, AListedPortWhoseLinkLeadsNowhereUsableIsNotOffered)
{
    // Left by a simulator that died (its pty is gone), a link to a plain
    // file, a relative link, and the diagnostic port: none is a data tty.
    const std::string dos = kv::DosDevicesDir();
    ASSERT_EQ(std::system(("mkdir -p '" + dos + "'").c_str()), 0);
    kvtest::WriteFileBytes(settings.Path("plain"), "x");
    struct Entry {
        const char* instance;
        int com;
        std::string target;
    } entries[] = {
        {"USB\\VID_2E4D&PID_6502&MI_00\\6&SIM999999&0&1", 5, "/dev/pts/999999"},
        {"USB\\VID_2E4D&PID_6502&MI_00\\6&SIM999999&0&2", 6, settings.Path("plain")},
        {"USB\\VID_2E4D&PID_6502&MI_00\\6&SIM999999&0&3", 7, "pts/0"},
        {"USB\\VID_2E4D&PID_6502&MI_02\\6&SIM999999&0&4", 8, "/dev/null"},
    };
    kv::DWORD i = 0;
    for (const Entry& e : entries) {
        ASSERT_TRUE(kv::RegSetString(kv::HKEY_LOCAL_MACHINE, kv::kDrvEnumKeyNew, std::to_string(i++), e.instance));
        ASSERT_TRUE(kv::RegSetString(kv::HKEY_LOCAL_MACHINE,
                                     std::string(kv::kDeviceEnumPrefix) + e.instance + kv::kDeviceParamsSuffix,
                                     kv::kPortNameValue, "COM" + std::to_string(e.com)));
        ASSERT_EQ(::symlink(e.target.c_str(), (dos + "/com" + std::to_string(e.com)).c_str()), 0);
    }
    ASSERT_TRUE(kv::RegSetDword(kv::HKEY_LOCAL_MACHINE, kv::kDrvEnumKeyNew, kv::kDrvCountValue, i));
    EXPECT_TRUE(Devices().empty());
}
