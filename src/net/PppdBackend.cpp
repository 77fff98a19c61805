// pppd as the dial-up service.
#include "net/PppdBackend.h"

#include "engine/DrvComm.h"
#include "log/DebugLog.h"
#include "platform/UniqueFd.h"
#include "log/NumberParse.h"
#include "net/PppdKeeper.h"
#include "net/PppdOutput.h"
#include "net/PppdPidFile.h"
#include "net/PppdPeers.h"
#include "net/RasCodes.h"
#include "net/RasErrors.h"
#include "platform/RuntimeDir.h"
#include "settings/FileUtil.h"
#include "settings/Reg.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>


namespace kvnet {

using kv::UniqueFd;

namespace {

std::vector<std::string> ListDir(const std::string& dir)
{
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d))
            if (e->d_name[0] != '.')
                names.emplace_back(e->d_name);
        ::closedir(d);
    }
    return names;
}

// A small file that root's dialler wrote (a pid file, a tty lock): read at
// most a few bytes, never through a symlink, never from anything but a
// regular file, so a planted link to a device or a huge file cannot stall or
// fool the scan.
bool ReadSmallFile(const std::string& path, std::string& text)
{
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd)
        return false;
    struct stat st {};
    char buf[64];
    ssize_t n = -1;
    if (::fstat(fd.Get(), &st) == 0 && S_ISREG(st.st_mode))
        n = ::read(fd.Get(), buf, sizeof buf);
    if (n <= 0)
        return false;
    text.assign(buf, size_t(n));
    return true;
}

// The pid at the start of a pid file or a tty lock (blanks before it are
// the lock's padding); 0 when there is none in range.
pid_t LeadingPid(const std::string& text, size_t* end = nullptr)
{
    size_t i = text.find_first_not_of(' ');
    if (i == std::string::npos || !std::isdigit(static_cast<unsigned char>(text[i])))
        return 0;
    uint64_t v = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        v = v * 10 + uint64_t(text[i] - '0');
        if (v > uint64_t(INT_MAX))
            return 0;
    }
    if (i < text.size() && text[i] != '\n' && text[i] != ' ')
        return 0;
    if (end)
        *end = i;
    return v > 1 ? pid_t(v) : 0;
}

bool ReadNumber(const std::string& path, uint64_t& value)
{
    std::string text;
    if (!kv::ReadWholeFile(path, text))
        return false;
    // A counter file holds the digits and a line break.
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return kv::ParseDecimal(text, value);
}

// The data interfaces the driver lists (a modem's interfaces other than
// the diagnostic one) with a dosdevices link to a tty that is there: the
// simulator registers its data port so, and the live view lists a real
// modem's interfaces the same way (those are already found in sysfs).
void ListedDataTtys(std::vector<std::string>& nodes)
{
    const std::string dosDir = kv::DosDevicesDir();
    for (const char* key : {kv::kDrvEnumKeyNew, kv::kDrvEnumKeyOld}) {
        kv::CReg list;
        list.SetKey(kv::HKEY_LOCAL_MACHINE, key);
        const kv::DWORD count = std::min<kv::DWORD>(list.ReadDword(kv::kDrvCountValue, 0), 64);
        for (kv::DWORD i = 0; i < count; ++i) {
            const std::string instance = list.ReadStringDefault(std::to_string(i), "");
            std::string upper = instance;
            for (char& c : upper)
                c = char(std::toupper(static_cast<unsigned char>(c)));
            if (instance.empty() || kv::IsDiagInterface(upper))
                continue;
            kv::CReg dev;
            dev.SetKey(kv::HKEY_LOCAL_MACHINE, std::string(kv::kDeviceEnumPrefix) + instance + kv::kDeviceParamsSuffix);
            const std::string port = dev.ReadStringDefault(kv::kPortNameValue, "");
            const auto com = kv::DecimalInRange<int>(port.size() > 3 ? std::string_view(port).substr(3) : "", 1, 255);
            if (port.compare(0, 3, "COM") != 0 || !com)
                continue;
            char target[PATH_MAX];
            const std::string link = dosDir + "/com" + std::to_string(*com);
            const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
            if (n <= 0 || target[0] != '/')
                continue;
            const std::string node(target, size_t(n));
            struct stat st {};
            if (::stat(node.c_str(), &st) != 0 || !S_ISCHR(st.st_mode) || node.find("..") != std::string::npos
                || node.find_first_of("()") != std::string::npos)
                continue;
            if (std::find(nodes.begin(), nodes.end(), node) == nodes.end())
                nodes.push_back(node);
        }
    }
}

std::vector<RasDeviceInfo> UsbDataTtys(const std::string& sysRoot)
{
    std::vector<RasDeviceInfo> out;
    if (const char* dev = std::getenv("KORVIANET_PPP_DEVICE"); dev && *dev)
        out.push_back({kDeviceTypeModem, std::string("KORVIA Modem (") + dev + ")"});
    std::vector<std::string> found;
    for (const kv::UsbSerialDevice& d : kv::ScanUsbSerialDevices(sysRoot)) {
        std::string upper = d.instancePath;
        for (char& c : upper)
            c = char(std::toupper(static_cast<unsigned char>(c)));
        if (!kv::IsDiagInterface(upper)) {
            out.push_back({kDeviceTypeModem, "KORVIA USB Modem (" + d.ttyName + ")"});
            found.push_back(d.devNode);
        }
    }
    const size_t real = found.size();
    ListedDataTtys(found);
    for (size_t i = real; i < found.size(); ++i)
        out.push_back({kDeviceTypeModem, "KORVIA USB Modem (" + found[i] + ")"});
    return out;
}

} // namespace

CPppdBackend::CPppdBackend(Config config)
    : m_cfg(std::move(config)), m_book(m_cfg.phonebookRoot),
      m_runtimeDir(m_cfg.runtimeDir.empty() ? kv::EnsureRuntimeDir() : m_cfg.runtimeDir)
{
    // A pppd of ours that outlived the run that started it (and its keeper)
    // would hold the modem's data port and keep a link nobody watches.
    if (!m_runtimeDir.empty())
        HangUpOrphanedPppd(m_runtimeDir, m_cfg.procRoot);
}

CPppdBackend::~CPppdBackend()
{
    std::vector<RasHandle> ours;
    {
        std::lock_guard<std::mutex> g(m_lock);
        for (auto& [h, c] : m_conns)
            if (!c->outside)
                ours.push_back(h);
    }
    for (RasHandle h : ours)
        HangUp(h);
}

std::string CPppdBackend::SysRoot() const { return m_cfg.sysfsRoot.empty() ? kv::SysfsRoot() : m_cfg.sysfsRoot; }

std::string CPppdBackend::PppdProgram() const
{
    if (!m_cfg.pppdPath.empty())
        return m_cfg.pppdPath;
    if (const char* env = std::getenv("KORVIANET_PPPD"); env && *env)
        return env;
    if (const char* path = std::getenv("PATH")) {
        std::string p = path;
        size_t start = 0;
        while (start <= p.size()) {
            size_t end = p.find(':', start);
            if (end == std::string::npos)
                end = p.size();
            const std::string cand = p.substr(start, end - start) + "/pppd";
            if (end > start && ::access(cand.c_str(), X_OK) == 0)
                return cand;
            start = end + 1;
        }
    }
    return "/usr/sbin/pppd";
}

int CPppdBackend::EnumDevices(size_t capacity, std::vector<RasDeviceInfo>& out, size_t& needed)
{
    std::vector<RasDeviceInfo> all = m_cfg.devices ? m_cfg.devices() : UsbDataTtys(SysRoot());
    needed = all.size();
    if (capacity < needed)
        return RAS_ERR_BUFFER_TOO_SMALL;
    out = std::move(all);
    return RAS_OK;
}

int CPppdBackend::ValidateEntryName(const std::string& phonebook, const std::string& entry)
{
    if (!ValidEntryName(entry))
        return RAS_ERR_BAD_ARGUMENT;
    return m_book.Exists(phonebook, entry) ? RAS_ERR_ALREADY_EXISTS : RAS_OK;
}

int CPppdBackend::GetEntryProperties(const std::string& phonebook, const std::string& entry, RasEntry& out)
{
    return m_book.Read(phonebook, entry, out);
}

int CPppdBackend::SetEntryProperties(const std::string& phonebook, const std::string& entry, const RasEntry& props)
{
    return m_book.Write(phonebook, entry, props);
}

int CPppdBackend::GetEntryDialParams(const std::string& phonebook, RasDialParams& inOut)
{
    return m_book.ReadSecrets(phonebook, inOut);
}

int CPppdBackend::SetEntryDialParams(const std::string& phonebook, const RasDialParams& params)
{
    return m_book.WriteSecrets(phonebook, params);
}

void CPppdBackend::Fail(Conn& c, int error, const std::string& subject, const std::string& line)
{
    if (c.error == 0) {
        c.error = error;
        m_failure = Failure{error, subject, line};
    }
    c.state = RASCS_Disconnected;
    if (c.notifier)
        c.notifier(error, 0);
}

int CPppdBackend::Dial(const std::string& phonebook, const RasDialParams& params, RasNotifier notifier,
                       RasHandle& handle)
{
    handle = 0;
    RasEntry entry;
    int rc = m_book.Read(phonebook, params.entry, entry);
    if (rc != RAS_OK)
        return rc;
    const std::string node = DeviceNodeOf(entry.deviceName);
    if (node.empty())
        return RAS_ERR_PORT_NOT_AVAILABLE;
    const std::string number = params.phoneNumber.empty() ? entry.phoneNumber : params.phoneNumber;
    const std::string peer = PeerForDialString(number);
    if (peer.empty()) {
        DEBUG_LOG(LEVEL_RAS, "dial: no profile dials %s\n", number.c_str());
        return RAS_ERR_BAD_ARGUMENT;
    }
    if ((rc = m_book.WriteSecrets(phonebook, params)) != RAS_OK)
        return rc;
    // No check of /dev/ppp, the tty or the profile here: pppd itself says
    // what keeps it from dialling, in words the error text passes on.

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return RAS_ERR_HARDWARE;
    UniqueFd output(fds[0]);
    UniqueFd pppdEnd(fds[1]);
    const std::string program = PppdProgram();
    const std::string entryPath = m_book.EntryPath(phonebook, params.entry);
    const std::string secretPath = m_book.SecretPath(phonebook, params.entry);
    // The file names travel as words of their own, never inside an option
    // file, so no character of the settings path can change what pppd reads.
    const std::vector<std::string> args = {program, "call", peer, "file", entryPath, "file", secretPath, "nodetach"};
    KeptPppd kept;
    const int err = StartKeptPppd(program, args, pppdEnd.Get(), kept);
    pppdEnd.Reset();
    if (err != 0) {
        DEBUG_LOG(LEVEL_RAS, "dial: cannot start %s: %s\n", program.c_str(), std::strerror(err));
        // pppd is installed for root and the group dip only (4754).
        const int code = err == EACCES || err == EPERM ? RAS_ERR_ACCESS_DENIED : RAS_ERR_HARDWARE;
        std::lock_guard<std::mutex> g(m_lock);
        m_failure = Failure{code, program, "cannot start " + program + ": " + std::strerror(err)};
        return code;
    }
    const pid_t pid = kept.group;
    if (!WritePppdRecord(m_runtimeDir, m_cfg.procRoot, pid))
        DEBUG_LOG(LEVEL_RAS, "dial: no record of pppd %d in the runtime folder\n", int(pid));
    DEBUG_LOG(LEVEL_RAS, "dial: %s started (pid %d) on %s\n", program.c_str(), int(pid), node.c_str());

    auto c = std::make_shared<Conn>();
    c->entry = params.entry;
    c->deviceName = entry.deviceName;
    c->state = RASCS_ConnectDevice;
    c->pid = pid;
    c->keeper = kept.keeper;
    c->lifeline = kept.lifeline;
    c->outFd = output.Get();
    c->notifier = std::move(notifier);
    std::lock_guard<std::mutex> g(m_lock);
    handle = ++m_next;
    m_conns[handle] = c;
    c->reader = std::thread(&CPppdBackend::ReadOutput, this, handle, output.Get(), kept.keeper);
    output.Release(); // the reader closes it
    return RAS_OK;
}

void CPppdBackend::ReadOutput(RasHandle h, int fd, pid_t keeper)
{
    std::shared_ptr<Conn> c;
    {
        std::lock_guard<std::mutex> g(m_lock);
        auto it = m_conns.find(h);
        if (it != m_conns.end())
            c = it->second;
    }
    std::string buffer;
    char chunk[512];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        buffer.append(chunk, size_t(n));
        TakePppdLines(buffer, [&](std::string_view line) {
            DEBUG_LOG(LEVEL_RAS, "pppd: %.*s\n", int(line.size()), line.data());
            const PppdEvent e = ParsePppdLine(line);
            if (!c || e.kind == PppdEvent::None)
                return;
            std::lock_guard<std::mutex> g(m_lock);
            switch (e.kind) {
            case PppdEvent::State:
                if (c->state == RASCS_Disconnected)
                    break;
                c->state = e.state;
                if (e.state == RASCS_Connected && !c->up) {
                    c->up = true;
                    c->connectedAt = Clock::now();
                    uint64_t rx = 0, tx = 0;
                    if (!c->iface.empty() && ReadCounters(c->iface, rx, tx))
                        c->rxBase = rx, c->txBase = tx;
                }
                break;
            case PppdEvent::Interface:
                // pppd names the unit it brought up once; a later line (a
                // plugin's, a second unit's) must not move the counters and
                // the connection check to an interface that is not ours.
                if (c->iface.empty())
                    c->iface = e.interface;
                break;
            case PppdEvent::Error:
                if (!c->up)
                    Fail(*c, e.error, e.subject, e.line);
                break;
            case PppdEvent::LinkDown:
                if (c->up)
                    c->state = RASCS_Disconnected;
                break;
            default: break;
            }
        });
    }
    ::close(fd);
    int status = 0;
    pid_t r;
    do
        r = ::waitpid(keeper, &status, 0);
    while (r < 0 && errno == EINTR);
    if (!c)
        return;
    std::lock_guard<std::mutex> g(m_lock);
    c->ended = true;
    RemovePppdRecord(m_runtimeDir, c->pid);
    if (c->lifeline >= 0)
        ::close(c->lifeline), c->lifeline = -1;
    if (!c->up && c->error == 0) {
        int code = WIFEXITED(status) ? PppdExitError(WEXITSTATUS(status)) : RAS_ERR_REMOTE_DISCONNECT;
        Fail(*c, code ? code : RAS_ERR_REMOTE_DISCONNECT);
    }
    c->state = RASCS_Disconnected;
    DEBUG_LOG(LEVEL_RAS, "pppd %d ended (status %d)\n", int(c->pid), status);
    m_cv.notify_all();
}

int CPppdBackend::GetConnectStatus(RasHandle handle, RasConnStatus& out)
{
    std::lock_guard<std::mutex> g(m_lock);
    auto it = m_conns.find(handle);
    if (it == m_conns.end())
        return RAS_ERR_NO_CONNECTION;
    out.state = it->second->state;
    out.error = it->second->error;
    out.deviceName = it->second->deviceName;
    return RAS_OK;
}

bool CPppdBackend::ReadCounters(const std::string& iface, uint64_t& rx, uint64_t& tx) const
{
    const std::string base = SysRoot() + "/class/net/" + iface + "/statistics/";
    return ReadNumber(base + "rx_bytes", rx) && ReadNumber(base + "tx_bytes", tx);
}

std::string CPppdBackend::TtyOfPppd(pid_t pid, const std::vector<RasDeviceInfo>& devices) const
{
    // Our own user's pppd: its open descriptors say which tty it holds.
    const std::string fdDir = m_cfg.procRoot + "/" + std::to_string(pid) + "/fd";
    for (const std::string& fd : ListDir(fdDir)) {
        char target[PATH_MAX];
        const ssize_t n = ::readlink((fdDir + "/" + fd).c_str(), target, sizeof target - 1);
        if (n <= 0)
            continue;
        const std::string t(target, size_t(n));
        for (const RasDeviceInfo& d : devices)
            if (DeviceNodeOf(d.name) == t)
                return d.name;
    }
    // Root's pppd (pon, a system service) keeps its descriptors from us, but
    // the lock it holds on the tty is readable: LCK..<tty> names its pid.
    for (const RasDeviceInfo& d : devices) {
        std::string tty = DeviceNodeOf(d.name);
        if (tty.rfind("/dev/", 0) != 0)
            continue;
        tty.erase(0, 5);
        for (char& ch : tty)
            if (ch == '/')
                ch = '_';
        std::string lock;
        if (ReadSmallFile(m_cfg.lockDir + "/LCK.." + tty, lock) && LeadingPid(lock) == pid)
            return d.name;
    }
    return {};
}

void CPppdBackend::ScanOutsideLinks()
{
    std::vector<RasDeviceInfo> devices = m_cfg.devices ? m_cfg.devices() : UsbDataTtys(SysRoot());
    std::vector<std::string> ifaces;
    for (const std::string& n : ListDir(SysRoot() + "/class/net"))
        if (n.rfind("ppp", 0) == 0)
            ifaces.push_back(n);
    // Outside links that went away.
    for (auto it = m_conns.begin(); it != m_conns.end();) {
        const auto& c = it->second;
        if (c->outside && std::find(ifaces.begin(), ifaces.end(), c->iface) == ifaces.end())
            it = m_conns.erase(it);
        else
            ++it;
    }
    for (const std::string& iface : ifaces) {
        bool known = false;
        for (const auto& [h, c] : m_conns)
            known = known || (c->iface == iface && !c->ended);
        if (known)
            continue;
        // pppd's pid file: its pid, then the interface it brought up.
        std::string pidText;
        if (!ReadSmallFile(m_cfg.runDir + "/" + iface + ".pid", pidText))
            continue;
        size_t end = 0;
        const pid_t pidValue = LeadingPid(pidText, &end);
        if (pidValue == 0)
            continue;
        std::string named = pidText.substr(end);
        named.erase(0, named.find_first_not_of(" \n"));
        named = named.substr(0, named.find_first_of(" \n"));
        if (!named.empty() && named != iface)
            continue;
        const std::string matched = TtyOfPppd(pidValue, devices);
        if (matched.empty())
            continue;
        auto c = std::make_shared<Conn>();
        c->entry = iface;
        c->iface = iface;
        c->deviceName = matched;
        c->outside = true;
        c->up = true;
        c->state = RASCS_Connected;
        c->pid = pid_t(pidValue);
        c->connectedAt = Clock::now();
        ReadCounters(iface, c->rxBase, c->txBase);
        m_conns[++m_next] = c;
        DEBUG_LOG(LEVEL_RAS, "found %s of pppd %d over %s\n", iface.c_str(), int(pidValue), matched.c_str());
    }
}

int CPppdBackend::EnumConnections(size_t capacity, std::vector<RasConnInfo>& out, size_t& needed)
{
    std::lock_guard<std::mutex> g(m_lock);
    ScanOutsideLinks();
    std::vector<RasConnInfo> live;
    for (const auto& [h, c] : m_conns)
        if (!c->ended && c->state != RASCS_Disconnected)
            live.push_back(RasConnInfo{h, c->entry, kDeviceTypeModem, c->deviceName});
    needed = live.size();
    if (capacity < needed)
        return RAS_ERR_BUFFER_TOO_SMALL;
    out = std::move(live);
    return RAS_OK;
}

int CPppdBackend::HangUp(RasHandle handle)
{
    std::shared_ptr<Conn> c;
    {
        std::unique_lock<std::mutex> lk(m_lock);
        auto it = m_conns.find(handle);
        if (it == m_conns.end())
            return RAS_ERR_NO_CONNECTION;
        c = it->second;
        if (c->outside) {
            m_conns.erase(it);
            return ::kill(c->pid, SIGTERM) == 0 ? RAS_OK : RAS_ERR_NO_CONNECTION;
        }
        // The reader reaps pppd's keeper; until it has, the group is still
        // ours. The whole group: a child of pppd that holds its output pipe
        // (the connect script's) must end too, or the reader never sees the
        // end of it.
        if (!c->ended)
            ::kill(-c->pid, SIGTERM);
        if (!m_cv.wait_for(lk, std::chrono::milliseconds(m_cfg.hangUpWaitMs), [&] { return c->ended; })) {
            DEBUG_LOG(LEVEL_RAS, "pppd %d ignores SIGTERM: killing it\n", int(c->pid));
            ::kill(-c->pid, SIGKILL);
            m_cv.wait_for(lk, std::chrono::seconds(5), [&] { return c->ended; });
        }
        m_conns.erase(handle);
    }
    if (c->reader.joinable()) {
        if (c->ended)
            c->reader.join();
        else
            c->reader.detach(); // cannot happen short of a stuck kernel
    }
    return RAS_OK;
}

int CPppdBackend::GetErrorString(int error, std::string& text)
{
    Failure f;
    {
        std::lock_guard<std::mutex> g(m_lock);
        f = m_failure;
    }
    // The last dial's failure carries what pppd named; any other code gets
    // its plain text.
    if (f.code == error)
        return RasErrorString(error, f.subject, f.line, text);
    return RasErrorString(error, text);
}

int CPppdBackend::GetConnectionStatistics(RasHandle handle, RasStats& out)
{
    std::lock_guard<std::mutex> g(m_lock);
    auto it = m_conns.find(handle);
    if (it == m_conns.end() || !it->second->up || it->second->iface.empty())
        return RAS_ERR_NO_CONNECTION;
    const Conn& c = *it->second;
    uint64_t rx = 0, tx = 0;
    if (!ReadCounters(c.iface, rx, tx))
        return RAS_ERR_NO_CONNECTION;
    out.bytesRcved = uint32_t(rx - std::min(rx, c.rxBase));
    out.bytesXmited = uint32_t(tx - std::min(tx, c.txBase));
    out.connectDurationMs =
        uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - c.connectedAt).count());
    return RAS_OK;
}

int CPppdBackend::ClearConnectionStatistics(RasHandle handle)
{
    std::lock_guard<std::mutex> g(m_lock);
    auto it = m_conns.find(handle);
    if (it == m_conns.end() || it->second->iface.empty())
        return RAS_ERR_NO_CONNECTION;
    return ReadCounters(it->second->iface, it->second->rxBase, it->second->txBase) ? RAS_OK : RAS_ERR_NO_CONNECTION;
}

} // namespace kvnet
