// Port discovery over prepared registry trees and a fake sysfs tree.
#include "engine/DrvComm.h"
#include "log/DebugLog.h"
#include "settings/Reg.h"
#include "support/TempSettings.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace kv;

namespace {

class DiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Discovery must see our trees only, never the machine's devices.
        m_sysfs = kvtest::MakeTempDir("kvsysfs");
        setenv("KORVIANET_SYSFS_ROOT", m_sysfs.c_str(), 1);
        unsetenv("KORVIANET_DOSDEVICES");
    }
    void TearDown() override
    {
        unsetenv("KORVIANET_SYSFS_ROOT");
        kvtest::RemoveTree(m_sysfs);
    }

    static void List(const char* key, const std::vector<std::string>& entries)
    {
        ASSERT_TRUE(RegSetDword(HKEY_LOCAL_MACHINE, key, "Count", DWORD(entries.size())));
        for (size_t i = 0; i < entries.size(); ++i)
            ASSERT_TRUE(RegSetString(HKEY_LOCAL_MACHINE, key, std::to_string(i), entries[i]));
    }
    static void Port(const std::string& instance, const std::string& portName)
    {
        ASSERT_TRUE(RegSetString(HKEY_LOCAL_MACHINE,
                                 std::string(kDeviceEnumPrefix) + instance + kDeviceParamsSuffix, "PortName",
                                 portName));
    }

    void Write(const std::string& rel, const std::string& text)
    {
        fs::create_directories(fs::path(m_sysfs + "/" + rel).parent_path());
        std::ofstream(m_sysfs + "/" + rel) << text << "\n";
    }
    // A USB device with one serial interface: class/tty/<tty>/device points
    // at <usb>/<usb>:1.<iface>/<tty> as the usb-serial driver lays it out.
    void UsbSerial(const std::string& usb, const std::string& product, int iface, const std::string& tty,
                   const std::string& serial = "")
    {
        std::string dev = "devices/pci0000:00/usb1/" + usb;
        Write(dev + "/idVendor", "2e4d");
        Write(dev + "/idProduct", product);
        if (!serial.empty())
            Write(dev + "/serial", serial);
        std::string ifdir = dev + "/" + usb + ":1." + std::to_string(iface);
        Write(ifdir + "/bInterfaceNumber", "0" + std::to_string(iface));
        fs::create_directories(m_sysfs + "/" + ifdir + "/" + tty);
        fs::create_directories(m_sysfs + "/class/tty/" + tty);
        fs::create_directory_symlink("../../../" + ifdir + "/" + tty, m_sysfs + "/class/tty/" + tty + "/device");
    }

    kvtest::TempSettings m_settings;
    std::string m_sysfs;
};

const std::string kMi00 = "USB\\VID_2E4D&PID_6502&MI_00\\6&1A&0&0000";
const std::string kMi02 = "USB\\VID_2E4D&PID_6502&MI_02\\6&1A&0&0002";

} // namespace

TEST_F(DiscoveryTest, PicksTheDiagnosticInterfaceOfTheCurrentDriver)
{
    List(kDrvEnumKeyNew, {kMi00, kMi02});
    Port(kMi00, "COM4");
    Port(kMi02, "COM12");
    PortDiscovery d;
    EXPECT_EQ(d.FindComPort(), 12);
    EXPECT_EQ(d.DriverNewType(), 1);
    EXPECT_EQ(d.DeviceKind(), 2);
    EXPECT_EQ(d.GetRegName(), kDrvEnumKeyNew);
}

TEST_F(DiscoveryTest, MatchesLowerCaseAndProductSpecificInterfaces)
{
    // 6604 is taken only by MI_03, 6501 only by MI_02; entries are upper-cased first.
    List(kDrvEnumKeyNew, {"usb\\vid_2e4d&pid_6604&mi_02\\x", "usb\\vid_2e4d&pid_6501&mi_03\\y",
                          "usb\\vid_2e4d&pid_6604&mi_03\\z"});
    Port("USB\\VID_2E4D&PID_6604&MI_03\\Z", "COM7");
    Port("usb\\vid_2e4d&pid_6604&mi_02\\x", "COM5");
    PortDiscovery d;
    EXPECT_EQ(d.FindComPort(), 7);

    EXPECT_TRUE(IsDiagInterface("USB\\VID_1&PID_6202&MI_02\\A"));
    EXPECT_TRUE(IsDiagInterface("USB\\VID_1&PID_6501&MI_02\\A"));
    EXPECT_FALSE(IsDiagInterface("USB\\VID_1&PID_6501&MI_03\\A"));
    EXPECT_FALSE(IsDiagInterface("USB\\VID_1&PID_1234&MI_02\\A"));
    EXPECT_FALSE(IsDiagInterface("6502MI_02")); // a mark at the very start does not count
}

TEST_F(DiscoveryTest, FallsBackToTheOlderDriverWhenTheCurrentListIsEmpty)
{
    List(kDrvEnumKeyNew, {});
    const std::string old = "USB\\VID_2E4D&PID_6501&MI_02\\5&9";
    List(kDrvEnumKeyOld, {old});
    Port(old, "COM9");
    PortDiscovery d;
    EXPECT_EQ(d.FindComPort(), 9);
    EXPECT_EQ(d.DriverNewType(), 0);
    EXPECT_EQ(d.GetRegName(), kDrvEnumKeyOld);
}

TEST_F(DiscoveryTest, NoListsMeanNoPortAndTheCurrentKeyIsWatched)
{
    PortDiscovery d;
    std::vector<std::string> list;
    EXPECT_EQ(d.EnumDriverDevices(list, 1), -1);
    EXPECT_EQ(d.FindComPort(), 0);
    EXPECT_EQ(d.DriverNewType(), -1);
    EXPECT_EQ(d.DeviceKind(), 0);
    EXPECT_EQ(d.GetRegName(), kDrvEnumKeyNew);
}

// Discovery runs every two seconds while the modem is away: the driver type
// line is logged when the type changes, not on every look.
TEST_F(DiscoveryTest, TheDriverTypeIsLoggedOncePerChangeNotOnEveryLook)
{
    std::vector<std::string> lines;
    auto& log = CDebugLog::Instance();
    log.SetSink([&](const std::string& line) { lines.push_back(line); });
    log.SetLevelMask(0xFFFFFFFFu);
    log.Enable();
    log.SetVisible(true);
    auto typeLines = [&](int type) {
        const std::string text = "Drv Mode Type = " + std::to_string(type);
        return std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
            return l.size() >= text.size() && l.compare(l.size() - text.size(), text.size(), text) == 0;
        });
    };

    PortDiscovery d;
    for (int look = 0; look < 5; ++look)
        EXPECT_EQ(d.FindComPort(), 0);
    const auto absentLines = typeLines(-1);
    EXPECT_LE(absentLines, 1); // once, or not at all when an earlier look logged it
    List(kDrvEnumKeyNew, {kMi02});
    Port(kMi02, "COM7");
    for (int look = 0; look < 3; ++look)
        EXPECT_EQ(PortDiscovery().FindComPort(), 7);
    EXPECT_EQ(typeLines(1), 1);
    List(kDrvEnumKeyNew, {});
    for (int look = 0; look < 3; ++look)
        EXPECT_EQ(d.FindComPort(), 0);
    EXPECT_EQ(typeLines(-1), absentLines + 1);
    EXPECT_EQ(typeLines(1), 1);

    log.SetVisible(false);
    log.Disable();
    log.SetSink(nullptr);
}

TEST_F(DiscoveryTest, TakenEntryWithoutPortNameStopsTheWalk)
{
    const std::string second = "USB\\VID_2E4D&PID_6202&MI_02\\B";
    List(kDrvEnumKeyNew, {kMi02, second});
    Port(second, "COM8");
    PortDiscovery d;
    EXPECT_EQ(d.FindComPort(), 0);
    EXPECT_EQ(d.DeviceKind(), 2);
}

TEST_F(DiscoveryTest, UnreadableEntryStaysEmptyAndNeverMatches)
{
    ASSERT_TRUE(RegSetDword(HKEY_LOCAL_MACHINE, kDrvEnumKeyNew, "Count", 2));
    ASSERT_TRUE(RegSetString(HKEY_LOCAL_MACHINE, kDrvEnumKeyNew, "1", kMi02));
    Port(kMi02, "COM6");
    PortDiscovery d;
    std::vector<std::string> list;
    ASSERT_EQ(d.EnumDriverDevices(list, 1), 2);
    EXPECT_EQ(list[0], "");
    EXPECT_EQ(d.FindComPort(), 6);
}

TEST_F(DiscoveryTest, SysfsDevicesAppearWithStableComNumbersAndLinks)
{
    UsbSerial("1-2", "6502", 0, "ttyUSB0", "ABC123");
    UsbSerial("1-2", "6502", 2, "ttyUSB2", "ABC123");
    UsbSerial("1-3", "1234", 2, "ttyUSB5"); // not one of ours

    auto devs = ScanUsbSerialDevices(m_sysfs);
    ASSERT_EQ(devs.size(), 2u);
    EXPECT_EQ(devs[1].instancePath, "USB\\VID_2E4D&PID_6502&MI_02\\ABC123");
    EXPECT_EQ(devs[1].devNode, "/dev/ttyUSB2");

    PortDiscovery d;
    const int port = d.FindComPort();
    ASSERT_GT(port, 0);
    EXPECT_EQ(d.DriverNewType(), 1);
    EXPECT_EQ(d.TakenInstance(), devs[1].instancePath);
    EXPECT_EQ(fs::read_symlink(DosDevicesDir() + "/com" + std::to_string(port)).string(), "/dev/ttyUSB2");

    // Another discovery, and one after a re-plug with a new tty name, keep the number.
    PortDiscovery again;
    EXPECT_EQ(again.FindComPort(), port);
    fs::remove_all(m_sysfs + "/class/tty");
    kvtest::RemoveTree(m_sysfs + "/devices");
    UsbSerial("1-2", "6502", 0, "ttyUSB3", "ABC123");
    UsbSerial("1-2", "6502", 2, "ttyUSB4", "ABC123");
    PortDiscovery replugged;
    EXPECT_EQ(replugged.FindComPort(), port);
    EXPECT_EQ(fs::read_symlink(DosDevicesDir() + "/com" + std::to_string(port)).string(), "/dev/ttyUSB4");
}

TEST_F(DiscoveryTest, SysfsDevicesJoinTheListsTheFileTreeHolds)
{
    const std::string simulated = "USB\\VID_2E4D&PID_6500&MI_01\\S"; // not a diagnostic interface
    List(kDrvEnumKeyNew, {simulated});
    UsbSerial("2-1", "6501", 2, "ttyACM0"); // older driver's product
    UsbSerial("2-2", "6604", 3, "ttyUSB9", "Q");

    PortDiscovery d;
    std::vector<std::string> current, older;
    ASSERT_EQ(d.EnumDriverDevices(current, 1), 2);
    EXPECT_EQ(current[0], simulated);
    EXPECT_EQ(current[1], "USB\\VID_2E4D&PID_6604&MI_03\\Q");
    ASSERT_EQ(d.EnumDriverDevices(older, 0), 1);
    EXPECT_EQ(older[0], "USB\\VID_2E4D&PID_6501&MI_02\\2-1");
    EXPECT_GT(d.FindComPort(), 0);

    // The two devices got different numbers.
    PortDiscovery o;
    EXPECT_NE(o.PortFromDevice(older[0]), o.PortFromDevice(current[1]));
}
