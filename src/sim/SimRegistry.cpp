// Registration of the simulated modem in the registry tree and the
// dosdevices folder.
#include "sim/SimRegistry.h"

#include "engine/DrvComm.h"
#include "log/NumberParse.h"
#include "settings/FileUtil.h"
#include "settings/Reg.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kv::sim {

namespace {

constexpr const char* kSimVendor = "2E4D";
constexpr const char* kSimProduct = "6502";
constexpr const char* kSimSerialMark = "&SIM"; // "6&SIM<pid>&0&<n>"
constexpr int kFirstCom = 3;

std::mutex& RegLock()
{
    static std::mutex m;
    return m;
}

std::vector<std::string> ReadList()
{
    std::vector<std::string> list;
    auto file = FileRegistryBackend();
    RegValue count;
    if (!file->QueryValue(HKEY_LOCAL_MACHINE, kDrvEnumKeyNew, kDrvCountValue, count) || count.type != REG_DWORD)
        return list;
    for (DWORD i = 0; i < count.dword && i < 4096; ++i) {
        RegValue v;
        list.push_back(file->QueryValue(HKEY_LOCAL_MACHINE, kDrvEnumKeyNew, std::to_string(i), v) ? v.text : "");
    }
    return list;
}

bool WriteList(const std::vector<std::string>& list, size_t oldCount)
{
    bool ok = true;
    for (size_t i = 0; i < list.size(); ++i)
        ok = RegSetString(HKEY_LOCAL_MACHINE, kDrvEnumKeyNew, std::to_string(i), list[i]) && ok;
    for (size_t i = list.size(); i < oldCount; ++i)
        RegDeleteValue(HKEY_LOCAL_MACHINE, kDrvEnumKeyNew, std::to_string(i));
    return RegSetDword(HKEY_LOCAL_MACHINE, kDrvEnumKeyNew, kDrvCountValue, DWORD(list.size())) && ok;
}

// The pid in a simulator's instance path, 0 when it is not one of ours.
long SimPid(const std::string& instance)
{
    size_t p = instance.find(kSimSerialMark);
    if (p == std::string::npos)
        return 0;
    // "<pid>&0&<n>": the digits up to the next '&'.
    const std::string_view rest = std::string_view(instance).substr(p + 4);
    return DecimalInRange<long>(rest.substr(0, rest.find('&')), 1, LONG_MAX).value_or(0);
}

std::string LinkTarget(const std::string& link)
{
    char buf[PATH_MAX];
    ssize_t n = ::readlink(link.c_str(), buf, sizeof buf - 1);
    return n < 0 ? std::string() : std::string(buf, size_t(n));
}

bool ComFree(const std::string& dir, int n)
{
    std::string link = dir + "/com" + std::to_string(n);
    struct stat st;
    if (::lstat(link.c_str(), &st) != 0)
        return true;
    // A link to a pty that no longer exists was left by a simulator that died.
    std::string target = LinkTarget(link);
    return target.rfind("/dev/pts/", 0) == 0 && ::access(target.c_str(), F_OK) != 0;
}

} // namespace

void PruneStaleSimulators()
{
    std::vector<std::string> list = ReadList();
    std::vector<std::string> kept;
    for (const std::string& e : list) {
        long pid = SimPid(e);
        if (pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH) {
            RegDeleteKey(HKEY_LOCAL_MACHINE, std::string(kDeviceEnumPrefix) + e);
            continue;
        }
        kept.push_back(e);
    }
    if (kept.size() != list.size())
        WriteList(kept, list.size());
}

bool SimRegistration::Register(const std::string& ttyPath, int comNumber)
{
    std::lock_guard<std::mutex> lock(RegLock());
    if (m_registered)
        return true;
    PruneStaleSimulators();

    static std::atomic<int> counter{0};
    if (m_instance.empty())
        m_instance = std::string("USB\\VID_") + kSimVendor + "&PID_" + kSimProduct + "&MI_" + m_interface
            + "\\6" + kSimSerialMark + std::to_string(::getpid()) + "&0&" + std::to_string(counter++);

    const std::string dir = DosDevicesDir();
    if (!MakeOwnerDirs(dir))
        return false;
    if (comNumber > 0)
        m_com = comNumber;
    if (m_com <= 0 || !ComFree(dir, m_com)) {
        m_com = 0;
        for (int n = kFirstCom; n < 256 && m_com == 0; ++n)
            if (ComFree(dir, n))
                m_com = n;
        if (m_com == 0)
            return false;
    }
    m_link = dir + "/com" + std::to_string(m_com);
    ::unlink(m_link.c_str());
    if (::symlink(ttyPath.c_str(), m_link.c_str()) != 0)
        return false;

    // The instance's port first, then the list entry: whoever sees the new
    // count finds a complete device.
    if (!RegSetString(HKEY_LOCAL_MACHINE, std::string(kDeviceEnumPrefix) + m_instance + kDeviceParamsSuffix,
                      kPortNameValue, "COM" + std::to_string(m_com))) {
        ::unlink(m_link.c_str());
        return false;
    }
    std::vector<std::string> list = ReadList();
    size_t old = list.size();
    list.push_back(m_instance);
    if (!WriteList(list, old)) {
        ::unlink(m_link.c_str());
        return false;
    }
    m_registered = true;
    return true;
}

void SimRegistration::Unregister()
{
    std::lock_guard<std::mutex> lock(RegLock());
    if (!m_registered)
        return;
    m_registered = false;
    std::vector<std::string> list = ReadList();
    size_t old = list.size();
    std::vector<std::string> kept;
    for (const std::string& e : list)
        if (e != m_instance)
            kept.push_back(e);
    WriteList(kept, old); // "Count" stays, 0 when we were the only device
    RegDeleteKey(HKEY_LOCAL_MACHINE, std::string(kDeviceEnumPrefix) + m_instance);
    ::unlink(m_link.c_str());
}

} // namespace kv::sim
