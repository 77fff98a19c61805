// Port discovery: finds the COM port of the modem's diagnostic interface.
//
// The modem's USB-serial driver keeps a device list per driver service
// ("kvusbser" for the current driver, "kvusbser6501" for the older one) with
// a "Count" and the instance paths "0", "1", ...; each instance has a
// "PortName" ("COM7") under its "Device Parameters" key. Discovery reads
// those lists through CReg, picks the diagnostic interface by product and
// interface number and returns its COM number. A fresh PortDiscovery is made
// for every discovery; nothing is cached.
//
// On Linux the lists come from the registry file tree (what the modem
// simulator writes) with a live view of the USB serial interfaces laid over
// it: every tty under <sysfs>/class/tty whose USB device has product id 6502,
// 6202, 6501 or 6604 shows up as "USB\VID_vvvv&PID_pppp&MI_ii\<serial>" in a
// driver list (6501 in the older driver's list, the others in the current
// one's), with a stable COM number kept in the registry tree and a
// dosdevices link "comN" to its /dev node. The sysfs root is
// $KORVIANET_SYSFS_ROOT, else /sys.
#pragma once

#include <string>
#include <vector>

namespace kv {

// Registry paths of the driver lists (under HKEY_LOCAL_MACHINE).
constexpr const char* kDrvEnumKeyNew = "SYSTEM\\CurrentControlSet\\Services\\kvusbser\\Enum";
constexpr const char* kDrvEnumKeyOld = "SYSTEM\\CurrentControlSet\\Services\\kvusbser6501\\Enum";
constexpr const char* kDeviceEnumPrefix = "SYSTEM\\CurrentControlSet\\Enum\\";
constexpr const char* kDeviceParamsSuffix = "\\Device Parameters";
constexpr const char* kDrvCountValue = "Count";
constexpr const char* kPortNameValue = "PortName";
constexpr const char* kPortNameMissing = "Not Find";

// Device kind found by discovery: 2 when the port came from a device instance.
constexpr int kDeviceKindNone = 0;
constexpr int kDeviceKindInstance = 2;

class PortDiscovery {
public:
    PortDiscovery();

    // The COM port number (0 if none); sets m_bDriverNewType and the device kind.
    int FindComPort();
    // Registry path (under HKEY_LOCAL_MACHINE) of the device list to watch.
    std::string GetRegName() const;
    // Appends the instance paths of one driver's list; their count, or -1
    // when the list has no "Count".
    int EnumDriverDevices(std::vector<std::string>& list, int newType) const;
    // The port number of one device instance, 0 if it has none.
    int PortFromDevice(const std::string& instancePath) const;

    int DriverNewType() const { return m_bDriverNewType; }
    int Port() const { return m_nPort; }
    int DeviceKind() const { return m_nDeviceKind; }
    // The instance path the port was taken from ("" when none was taken).
    const std::string& TakenInstance() const { return m_strTaken; }

private:
    int m_bDriverNewType = 1;
    int m_nPort = 0;
    int m_nWatchFallback = 1;
    int m_nDeviceKind = kDeviceKindNone;
    std::string m_strTaken;
};

// True when the upper-cased instance path is the modem's diagnostic
// interface (6502/6202 and 6501 by "MI_02", 6604 by "MI_03").
bool IsDiagInterface(const std::string& upperInstancePath);

// ---- the live USB serial view ------------------------------------------------

// One USB serial interface of a supported product, as found in sysfs.
struct UsbSerialDevice {
    std::string ttyName;      // "ttyUSB2"
    std::string devNode;      // "/dev/ttyUSB2"
    std::string instancePath; // "USB\VID_1E0E&PID_6502&MI_02\0123456789"
    bool oldDriver = false;   // listed under "kvusbser6501"
};

// $KORVIANET_SYSFS_ROOT, else "/sys".
std::string SysfsRoot();
// Scans <sysfs>/class/tty for interfaces of the supported products, sorted
// by tty name.
std::vector<UsbSerialDevice> ScanUsbSerialDevices(const std::string& sysfsRoot);
// The COM number of a scanned device: the one recorded in the registry tree
// for its instance, else the lowest free number (not recorded, no dosdevices
// entry), recorded as its "PortName". Refreshes the dosdevices link to the
// device node. 0 when nothing could be recorded.
int AssignComNumber(const UsbSerialDevice& dev);
// Lays the live view over the driver lists and the device instances
// (idempotent; cheap to call before every discovery).
void InstallUsbSerialView();

// The dosdevices folder: $KORVIANET_DOSDEVICES, else <settings dir>/dosdevices.
std::string DosDevicesDir();

} // namespace kv
