// Port discovery over CReg, and the live view of USB serial interfaces that
// stands in for the driver's own registry lists on Linux.
#include "engine/DrvComm.h"

#include "log/DebugLog.h"
#include "log/NumberParse.h"
#include "settings/FileUtil.h"
#include "settings/Profile.h"
#include "settings/Reg.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <mutex>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kv {

namespace {

constexpr DWORD kNoCount = 0xFFFFFFFFu;
constexpr const char* kProducts[] = {"6502", "6202", "6501", "6604"};
constexpr const char* kOldDriverProduct = "6501";
constexpr int kDriverTypeNotLogged = -2; // none of 1, 0, -1
constexpr int kFirstFreeCom = 3; // COM1 and COM2 are the board's own ports by custom

std::string Upper(std::string s)
{
    for (char& c : s)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// The text occurs at a position after the first character.
bool ContainsAfterFirst(const std::string& s, const char* mark)
{
    return s.size() > 1 && s.find(mark, 1) != std::string::npos;
}

} // namespace

bool IsDiagInterface(const std::string& e)
{
    if (ContainsAfterFirst(e, "6502") || ContainsAfterFirst(e, "6202"))
        return ContainsAfterFirst(e, "MI_02");
    if (ContainsAfterFirst(e, "6501"))
        return ContainsAfterFirst(e, "MI_02");
    if (ContainsAfterFirst(e, "6604"))
        return ContainsAfterFirst(e, "MI_03");
    return false;
}

// The live USB view is laid over the driver lists before anything reads them,
// so listing devices sees plugged-in modems without a FindComPort first.
PortDiscovery::PortDiscovery()
{
    InstallUsbSerialView();
}

int PortDiscovery::EnumDriverDevices(std::vector<std::string>& list, int newType) const
{
    CReg reg;
    reg.SetKey(HKEY_LOCAL_MACHINE, newType ? kDrvEnumKeyNew : kDrvEnumKeyOld);
    DWORD count = reg.ReadDword(kDrvCountValue, kNoCount);
    if (count == kNoCount)
        return -1;
    // A corrupt count must not make us read billions of values.
    const DWORD limit = std::min<DWORD>(count, 4096);
    for (DWORD i = 0; i < limit; ++i) {
        std::string entry = reg.ReadStringDefault(std::to_string(i), "");
        DEBUG_LOG(LEVEL_ST, "Finding EnumDrv = %s \n", entry.c_str());
        list.push_back(entry);
    }
    return int(std::min<DWORD>(count, INT_MAX));
}

int PortDiscovery::FindComPort()
{
    m_nPort = 0;
    m_nDeviceKind = kDeviceKindNone;
    m_strTaken.clear();
    InstallUsbSerialView();

    std::vector<std::string> list;
    m_bDriverNewType = 1;
    int n = EnumDriverDevices(list, 1);
    if (n <= 0) {
        list.clear();
        m_bDriverNewType = 0;
        n = EnumDriverDevices(list, 0);
        if (n <= 0) {
            list.clear();
            m_bDriverNewType = -1;
        }
    }
    // Discovery repeats every few seconds while no modem is there: the
    // driver type is logged when it changes, not on every look.
    static std::atomic<int> s_loggedDriverType{kDriverTypeNotLogged};
    if (s_loggedDriverType.exchange(m_bDriverNewType) != m_bDriverNewType)
        DEBUG_LOG(LEVEL_ST, "Drv Mode Type = %d", m_bDriverNewType);

    for (const std::string& raw : list) {
        std::string entry = Upper(raw);
        if (!IsDiagInterface(entry))
            continue;
        DEBUG_LOG(LEVEL_ST, "DRIVER COM ENUM = %s", entry.c_str());
        m_strTaken = raw;
        m_nPort = PortFromDevice(entry);
        m_nDeviceKind = kDeviceKindInstance;
        break;
    }
    return m_nPort;
}

int PortDiscovery::PortFromDevice(const std::string& instancePath) const
{
    std::string key = std::string(kDeviceEnumPrefix) + instancePath + kDeviceParamsSuffix;
    CReg reg;
    reg.SetKey(HKEY_LOCAL_MACHINE, key);
    std::string name = reg.ReadStringDefault(kPortNameValue, kPortNameMissing);
    if (name == kPortNameMissing)
        return 0;
    int port = DecimalPrefix(name.size() > 3 ? name.substr(3) : std::string());
    DEBUG_LOG(LEVEL_ST, "%s = %d (COM PORT)", key.c_str(), port);
    return port;
}

std::string PortDiscovery::GetRegName() const
{
    DEBUG_LOG(LEVEL_ST, "GetRegName = %d(m_bDriverNewType)", m_bDriverNewType);
    if (m_bDriverNewType == 1)
        return kDrvEnumKeyNew;
    if (m_bDriverNewType == 0)
        return kDrvEnumKeyOld;
    return m_nWatchFallback ? kDrvEnumKeyNew : kDrvEnumKeyOld;
}

// ---- the live USB serial view ------------------------------------------------

std::string SysfsRoot()
{
    const char* env = std::getenv("KORVIANET_SYSFS_ROOT");
    return env && *env ? env : "/sys";
}

std::string DosDevicesDir()
{
    const char* env = std::getenv("KORVIANET_DOSDEVICES");
    if (env && *env)
        return env;
    return SettingsDir() + "/dosdevices";
}

namespace {

bool ReadAttr(const std::string& path, std::string& out)
{
    std::string text;
    if (!ReadWholeFile(path, text))
        return false;
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.pop_back();
    out = text;
    return !out.empty();
}

std::string Parent(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string BaseName(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Characters that would break an instance path or a registry folder name.
std::string CleanSerial(const std::string& s)
{
    std::string out;
    for (char c : s)
        out += (std::isalnum(static_cast<unsigned char>(c)) || c == '&' || c == '_' || c == '-' || c == '.')
                   ? c
                   : '_';
    return out.empty() ? std::string("0") : out;
}

bool ScanOne(const std::string& root, const std::string& tty, UsbSerialDevice& dev)
{
    char resolved[PATH_MAX];
    std::string link = root + "/class/tty/" + tty + "/device";
    if (!::realpath(link.c_str(), resolved))
        return false;
    // ttyUSB: device -> <interface>/ttyUSBn; ttyACM: device -> <interface>.
    std::string dir = resolved;
    std::string ifaceNumber;
    for (int up = 0; up < 3 && dir.size() > 1; ++up, dir = Parent(dir)) {
        if (ReadAttr(dir + "/bInterfaceNumber", ifaceNumber))
            break;
    }
    if (ifaceNumber.empty())
        return false;
    std::string usbDev = Parent(dir);
    std::string vendor, product, serial;
    if (!ReadAttr(usbDev + "/idVendor", vendor) || !ReadAttr(usbDev + "/idProduct", product))
        return false;
    product = Upper(product);
    vendor = Upper(vendor);
    if (std::none_of(std::begin(kProducts), std::end(kProducts),
                     [&](const char* p) { return product == p; }))
        return false;
    if (!ReadAttr(usbDev + "/serial", serial))
        serial = BaseName(usbDev);
    // bInterfaceNumber: hex digits; anything else is no interface of ours.
    uint8_t iface = 0;
    if (!ParseHex(ifaceNumber, iface))
        return false;
    char mi[8];
    std::snprintf(mi, sizeof mi, "%02X", iface & 0xFF);
    dev.ttyName = tty;
    dev.devNode = "/dev/" + tty;
    dev.instancePath = "USB\\VID_" + CleanSerial(vendor) + "&PID_" + product + "&MI_" + mi + "\\"
        + CleanSerial(serial);
    dev.oldDriver = product == kOldDriverProduct;
    return true;
}

} // namespace

std::vector<UsbSerialDevice> ScanUsbSerialDevices(const std::string& sysfsRoot)
{
    std::vector<UsbSerialDevice> out;
    std::string classDir = sysfsRoot + "/class/tty";
    DIR* d = ::opendir(classDir.c_str());
    if (!d)
        return out;
    while (struct dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        UsbSerialDevice dev;
        if (ScanOne(sysfsRoot, name, dev))
            out.push_back(dev);
    }
    ::closedir(d);
    std::sort(out.begin(), out.end(),
              [](const UsbSerialDevice& a, const UsbSerialDevice& b) { return a.ttyName < b.ttyName; });
    return out;
}

int AssignComNumber(const UsbSerialDevice& dev)
{
    static std::mutex assignLock; // two discoveries must not take the same number
    std::lock_guard<std::mutex> lock(assignLock);

    std::string key = std::string(kDeviceEnumPrefix) + dev.instancePath + kDeviceParamsSuffix;
    auto file = FileRegistryBackend();
    RegValue v;
    int port = 0;
    if (file->QueryValue(HKEY_LOCAL_MACHINE, key, kPortNameValue, v) && v.type == REG_SZ
        && v.text.size() > 3)
        port = DecimalPrefix(v.text.substr(3));
    const std::string dosDir = DosDevicesDir();
    if (port <= 0) {
        for (int n = kFirstFreeCom; n < 256 && port == 0; ++n) {
            struct stat st;
            if (::lstat((dosDir + "/com" + std::to_string(n)).c_str(), &st) != 0)
                port = n;
        }
        if (port == 0 || !RegSetString(HKEY_LOCAL_MACHINE, key, kPortNameValue, "COM" + std::to_string(port)))
            return 0;
    }
    // Point comN at the device node (replacing a stale link atomically).
    if (MakeOwnerDirs(dosDir)) {
        std::string linkPath = dosDir + "/com" + std::to_string(port);
        char target[PATH_MAX];
        ssize_t n = ::readlink(linkPath.c_str(), target, sizeof target - 1);
        if (n < 0 || std::string(target, size_t(n)) != dev.devNode) {
            std::string tmp = linkPath + ".new" + std::to_string(::getpid());
            ::unlink(tmp.c_str());
            if (::symlink(dev.devNode.c_str(), tmp.c_str()) == 0 && ::rename(tmp.c_str(), linkPath.c_str()) != 0)
                ::unlink(tmp.c_str());
        }
    }
    return port;
}

namespace {

bool SamePath(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

// Answers for the two driver lists (merged with what the file tree holds)
// and for the "Device Parameters" keys of the scanned instances.
class UsbSerialView : public IRegistryBackend {
public:
    bool KeyExists(HKEY root, const std::string& path) override
    {
        if (root != HKEY_LOCAL_MACHINE)
            return false;
        auto devs = ScanUsbSerialDevices(SysfsRoot());
        for (const auto& d : devs) {
            std::string inst = std::string(kDeviceEnumPrefix) + d.instancePath;
            if (SamePath(path, inst) || SamePath(path, inst + kDeviceParamsSuffix))
                return true;
            if (SamePath(path, d.oldDriver ? kDrvEnumKeyOld : kDrvEnumKeyNew))
                return true;
        }
        return false;
    }

    bool QueryValue(HKEY root, const std::string& path, const std::string& name, RegValue& out) override
    {
        if (root != HKEY_LOCAL_MACHINE)
            return false;
        int list = SamePath(path, kDrvEnumKeyNew) ? 1 : SamePath(path, kDrvEnumKeyOld) ? 0 : -1;
        auto devs = ScanUsbSerialDevices(SysfsRoot());
        if (list < 0) {
            if (!SamePath(name, kPortNameValue))
                return false;
            for (const auto& d : devs) {
                if (SamePath(path, std::string(kDeviceEnumPrefix) + d.instancePath + kDeviceParamsSuffix)) {
                    int port = AssignComNumber(d);
                    if (port <= 0)
                        return false;
                    out.type = REG_SZ;
                    out.text = "COM" + std::to_string(port);
                    return true;
                }
            }
            return false;
        }
        std::vector<std::string> live;
        for (const auto& d : devs)
            if (d.oldDriver == (list == 0))
                live.push_back(d.instancePath);
        if (live.empty())
            return false; // the file tree alone answers
        auto file = FileRegistryBackend();
        RegValue fc;
        DWORD fileCount = 0;
        if (file->QueryValue(root, path, kDrvCountValue, fc) && fc.type == REG_DWORD)
            fileCount = std::min<DWORD>(fc.dword, 4096);
        if (SamePath(name, kDrvCountValue)) {
            out.type = REG_DWORD;
            out.dword = fileCount + DWORD(live.size());
            return true;
        }
        DWORD idx = 0;
        if (!ParseDecimal(name, idx) || idx < fileCount || idx >= fileCount + live.size())
            return false;
        out.type = REG_SZ;
        out.text = live[idx - fileCount];
        return true;
    }

    bool ListSubKeys(HKEY, const std::string&, std::vector<std::string>&) override { return false; }

    bool ListValues(HKEY root, const std::string& path, std::vector<std::string>& out) override
    {
        RegValue count;
        if (!QueryValue(root, path, kDrvCountValue, count))
            return false;
        out.push_back(kDrvCountValue);
        for (DWORD i = 0; i < count.dword; ++i)
            out.push_back(std::to_string(i));
        return true;
    }
};

} // namespace

void InstallUsbSerialView()
{
    static std::shared_ptr<IRegistryBackend> view = std::make_shared<UsbSerialView>();
    InstallRegistryOverlay(HKEY_LOCAL_MACHINE, kDrvEnumKeyNew, view);
    InstallRegistryOverlay(HKEY_LOCAL_MACHINE, kDrvEnumKeyOld, view);
    InstallRegistryOverlay(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum\\USB", view);
}

} // namespace kv
