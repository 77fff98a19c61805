// The simulated dial-up service.
#include "net/SimRasBackend.h"

#include "net/RasCodes.h"
#include "net/RasErrors.h"
#include "settings/SimLinkDrop.h"

#include <algorithm>
#include <cctype>

namespace kvnet {

namespace {

constexpr uint32_t kDialStates[] = {RASCS_OpenPort,       RASCS_PortOpened,    RASCS_ConnectDevice,
                                    RASCS_DeviceConnected, RASCS_AllDevicesConnected, RASCS_Authenticate,
                                    RASCS_Authenticated,   RASCS_AuthProject,   RASCS_Projected};
constexpr int kStateCount = int(std::size(kDialStates));

std::string Key(const std::string& phonebook, const std::string& entry)
{
    std::string k = phonebook + '\n' + entry;
    for (char& c : k)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return k;
}

} // namespace

CSimRasBackend::CSimRasBackend() : CSimRasBackend(Options{}) {}
CSimRasBackend::CSimRasBackend(Options options) : m_opt(std::move(options)) {}

RasHandle CSimRasBackend::AddOutsideConnection(const std::string& entry)
{
    std::lock_guard<std::mutex> g(m_lock);
    Conn c;
    c.entry = entry;
    c.outside = true;
    c.up = true;
    c.dialled = c.connected = Clock::now();
    c.drops = kv::SimLinkDrops();
    const RasHandle h = ++m_next;
    m_conns[h] = c;
    return h;
}

void CSimRasBackend::DropConnections()
{
    std::lock_guard<std::mutex> g(m_lock);
    for (auto& [h, c] : m_conns)
        c.dead = true;
}

void CSimRasBackend::FailNextDial(int error, int afterStates)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_failError = error;
    m_failAfter = std::clamp(afterStates, 0, kStateCount - 1);
}

void CSimRasBackend::HoldDials(bool hold)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_hold = hold;
}

int CSimRasBackend::Dials() const
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_dials;
}

int CSimRasBackend::HangUps() const
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_hangUps;
}

size_t CSimRasBackend::LiveConnections() const
{
    std::lock_guard<std::mutex> g(m_lock);
    return size_t(std::count_if(m_conns.begin(), m_conns.end(), [](const auto& p) { return !p.second.dead; }));
}

bool CSimRasBackend::LastDial(RasDialParams& out) const
{
    std::lock_guard<std::mutex> g(m_lock);
    out = m_lastDial;
    return m_dialled;
}

int CSimRasBackend::EnumDevices(size_t capacity, std::vector<RasDeviceInfo>& out, size_t& needed)
{
    needed = 1;
    if (capacity < needed)
        return RAS_ERR_BUFFER_TOO_SMALL;
    out = {RasDeviceInfo{kDeviceTypeModem, m_opt.deviceName}};
    return RAS_OK;
}

int CSimRasBackend::ValidateEntryName(const std::string& phonebook, const std::string& entry)
{
    if (entry.empty())
        return RAS_ERR_BAD_ARGUMENT;
    std::lock_guard<std::mutex> g(m_lock);
    return m_entries.count(Key(phonebook, entry)) ? RAS_ERR_ALREADY_EXISTS : RAS_OK;
}

int CSimRasBackend::GetEntryProperties(const std::string& phonebook, const std::string& entry, RasEntry& out)
{
    std::lock_guard<std::mutex> g(m_lock);
    auto it = m_entries.find(Key(phonebook, entry));
    if (it == m_entries.end())
        return RAS_ERR_ENTRY_NOT_FOUND;
    out = it->second;
    return RAS_OK;
}

int CSimRasBackend::SetEntryProperties(const std::string& phonebook, const std::string& entry,
                                       const RasEntry& props)
{
    if (entry.empty())
        return RAS_ERR_BAD_ARGUMENT;
    std::lock_guard<std::mutex> g(m_lock);
    m_entries[Key(phonebook, entry)] = props;
    return RAS_OK;
}

int CSimRasBackend::GetEntryDialParams(const std::string& phonebook, RasDialParams& inOut)
{
    std::lock_guard<std::mutex> g(m_lock);
    auto it = m_params.find(Key(phonebook, inOut.entry));
    if (it == m_params.end())
        return RAS_ERR_ENTRY_NOT_FOUND;
    inOut = it->second;
    return RAS_OK;
}

int CSimRasBackend::SetEntryDialParams(const std::string& phonebook, const RasDialParams& params)
{
    std::lock_guard<std::mutex> g(m_lock);
    if (!m_entries.count(Key(phonebook, params.entry)))
        return RAS_ERR_ENTRY_NOT_FOUND;
    m_params[Key(phonebook, params.entry)] = params;
    return RAS_OK;
}

int CSimRasBackend::Dial(const std::string&, const RasDialParams& params, RasNotifier notifier, RasHandle& handle)
{
    std::lock_guard<std::mutex> g(m_lock);
    ++m_dials;
    m_lastDial = params;
    m_dialled = true;
    Conn c;
    c.entry = params.entry;
    c.dialled = Clock::now();
    c.notifier = std::move(notifier);
    c.failError = m_failError;
    c.failAfter = m_failAfter;
    c.drops = kv::SimLinkDrops();
    m_failError = 0;
    handle = ++m_next;
    m_conns[handle] = std::move(c);
    return RAS_OK;
}

uint32_t CSimRasBackend::StateOf(Conn& c, Clock::time_point now)
{
    if (c.dead)
        return RASCS_Disconnected;
    if (c.up)
        return RASCS_Connected;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now - c.dialled).count();
    int step = int(ms / std::max(1, m_opt.stepMs));
    if (m_hold)
        step = std::min(step, 2);
    if (c.failError != 0 && step >= c.failAfter) {
        c.dead = true;
        if (c.notifier)
            c.notifier(c.failError, 0);
        return RASCS_Disconnected;
    }
    if (step < kStateCount)
        return kDialStates[step];
    c.up = true;
    c.connected = c.dialled + std::chrono::milliseconds(int64_t(kStateCount) * m_opt.stepMs);
    return RASCS_Connected;
}

void CSimRasBackend::ApplyDrops()
{
    const uint64_t drops = kv::SimLinkDrops();
    for (auto& [h, c] : m_conns)
        if (c.drops < drops)
            c.dead = true;
}

int CSimRasBackend::GetConnectStatus(RasHandle handle, RasConnStatus& out)
{
    std::lock_guard<std::mutex> g(m_lock);
    ApplyDrops();
    auto it = m_conns.find(handle);
    if (it == m_conns.end())
        return RAS_ERR_NO_CONNECTION;
    out.state = StateOf(it->second, Clock::now());
    out.error = it->second.dead ? it->second.failError : 0;
    out.deviceName = m_opt.deviceName;
    return RAS_OK;
}

int CSimRasBackend::EnumConnections(size_t capacity, std::vector<RasConnInfo>& out, size_t& needed)
{
    std::lock_guard<std::mutex> g(m_lock);
    ApplyDrops();
    const auto now = Clock::now();
    std::vector<RasConnInfo> live;
    for (auto& [h, c] : m_conns) {
        const uint32_t s = StateOf(c, now);
        if (s != RASCS_Disconnected)
            live.push_back(RasConnInfo{h, c.entry, kDeviceTypeModem, m_opt.deviceName});
    }
    needed = live.size();
    if (capacity < needed)
        return RAS_ERR_BUFFER_TOO_SMALL;
    out = std::move(live);
    return RAS_OK;
}

int CSimRasBackend::HangUp(RasHandle handle)
{
    std::lock_guard<std::mutex> g(m_lock);
    auto it = m_conns.find(handle);
    if (it == m_conns.end())
        return RAS_ERR_NO_CONNECTION;
    m_conns.erase(it);
    ++m_hangUps;
    return RAS_OK;
}

int CSimRasBackend::GetErrorString(int error, std::string& text)
{
    return RasErrorString(error, text);
}

void CSimRasBackend::Counters(const Conn& c, Clock::time_point now, uint64_t& rx, uint64_t& tx) const
{
    const auto ms = uint64_t(std::max<int64_t>(
        0, std::chrono::duration_cast<std::chrono::milliseconds>(now - c.connected).count()));
    // A little unevenness so the figures look like traffic, not a clock.
    rx = ms * m_opt.rxBytesPerSec / 1000 + (ms / 700 % 5) * 311;
    tx = ms * m_opt.txBytesPerSec / 1000 + (ms / 900 % 3) * 97;
}

int CSimRasBackend::GetConnectionStatistics(RasHandle handle, RasStats& out)
{
    std::lock_guard<std::mutex> g(m_lock);
    auto it = m_conns.find(handle);
    if (it == m_conns.end() || !it->second.up || it->second.dead)
        return RAS_ERR_NO_CONNECTION;
    const auto now = Clock::now();
    uint64_t rx = 0, tx = 0;
    Counters(it->second, now, rx, tx);
    out.bytesRcved = uint32_t(rx - std::min(rx, it->second.rxBase));
    out.bytesXmited = uint32_t(tx - std::min(tx, it->second.txBase));
    out.connectDurationMs = uint32_t(
        std::chrono::duration_cast<std::chrono::milliseconds>(now - it->second.connected).count());
    return RAS_OK;
}

int CSimRasBackend::ClearConnectionStatistics(RasHandle handle)
{
    std::lock_guard<std::mutex> g(m_lock);
    auto it = m_conns.find(handle);
    if (it == m_conns.end())
        return RAS_ERR_NO_CONNECTION;
    Counters(it->second, Clock::now(), it->second.rxBase, it->second.txBase);
    return RAS_OK;
}

} // namespace kvnet
