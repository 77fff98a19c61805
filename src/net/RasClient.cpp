// The dial-up client's algorithms over the backend.
#include "net/RasClient.h"

#include "log/DebugLog.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <mutex>

namespace kvnet {

namespace {

// The notifier's first error, kept until the next dial clears it; later
// errors of the same dial are ignored so the user sees the cause, not the
// aftermath.
std::mutex g_errLock;
int g_dialError = 0;
int g_dialExtError = 0;

void DialNotifier(int error, int extendedError)
{
    if (error == 0)
        return;
    std::lock_guard<std::mutex> g(g_errLock);
    if (g_dialError == 0) {
        g_dialError = error;
        g_dialExtError = extendedError;
    }
}

std::string Upper(std::string s)
{
    for (char& c : s)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool EqualNoCase(const std::string& a, const std::string& b) { return Upper(a) == Upper(b); }

// Grow-and-retry enumeration: room for one record first, then what the
// service asks for, at most kEnumAttempts times.
template <typename Rec, typename Fn>
int Enumerate(Fn enumerate, std::vector<Rec>& out)
{
    size_t capacity = 1;
    int rc = RAS_ERR_BUFFER_TOO_SMALL;
    for (int attempt = 0; attempt < kEnumAttempts && rc == RAS_ERR_BUFFER_TOO_SMALL; ++attempt) {
        size_t needed = 0;
        out.clear();
        rc = enumerate(capacity, out, needed);
        if (rc == RAS_ERR_BUFFER_TOO_SMALL)
            capacity = std::max(needed, capacity + 1);
    }
    if (rc != RAS_OK)
        out.clear();
    return rc;
}

} // namespace

CRasClient::CRasClient(std::shared_ptr<IRasBackend> backend) : m_pGiven(std::move(backend)) {}

CRasClient::~CRasClient() { Unload(); }

bool CRasClient::Init()
{
    m_pBackend = m_pGiven ? m_pGiven : DefaultRasBackend();
    return m_pBackend != nullptr;
}

void CRasClient::Unload() { m_pBackend.reset(); }

int CRasClient::FindModemDevice(std::string& deviceName)
{
    deviceName.clear();
    if (!m_pBackend)
        return 0;
    std::vector<RasDeviceInfo> devices;
    if (Enumerate<RasDeviceInfo>([this](size_t c, auto& o, size_t& n) { return m_pBackend->EnumDevices(c, o, n); },
                                 devices)
        != RAS_OK)
        return 0;
    int count = 0;
    for (const RasDeviceInfo& d : devices) {
        if (!EqualNoCase(d.type, "MODEM") || d.name.size() <= 7)
            continue;
        if (Upper(d.name).find("KORVIA") == std::string::npos)
            continue;
        if (count++ == 0)
            deviceName = d.name;
    }
    return count;
}

int CRasClient::CreateEntry(const std::string& entry, const std::string& deviceType,
                            const std::string& deviceName, uint32_t protocols, uint32_t framing,
                            const std::string& phoneNumber, const std::string& phonebook)
{
    if (!m_pBackend)
        return RAS_ERR_NOT_LOADED;
    const int v = m_pBackend->ValidateEntryName(phonebook, entry);
    if (v == RAS_ERR_ALREADY_EXISTS)
        return RAS_ERR_ALREADY_EXISTS;
    RasEntry props;
    props.phoneNumber = phoneNumber;
    props.protocols = protocols;
    props.framing = framing;
    props.deviceType = deviceType;
    props.deviceName = deviceName;
    props.options = kEntryOptions;
    return m_pBackend->SetEntryProperties(phonebook, entry, props);
}

bool CRasClient::SetEntryDevice(const std::string& entry, const std::pair<std::string, std::string>& devicePhone,
                                const std::string& phonebook)
{
    RasEntry props;
    const int rc = GetEntryProperties(phonebook, props, entry);
    if (rc != RAS_OK) {
        DEBUG_LOG(LEVEL_RAS, raslog::kSetUserModem, long(rc), __LINE__);
        return false;
    }
    if (props.deviceName != devicePhone.first)
        props.deviceName = devicePhone.first;
    if (props.phoneNumber != devicePhone.second)
        props.phoneNumber = devicePhone.second;
    return m_pBackend->SetEntryProperties(phonebook, entry, props) == RAS_OK;
}

int CRasClient::SetEntryOptions(const std::string& entry, uint32_t options, bool set, const std::string& deviceType,
                                const std::string& deviceName, const std::string& phonebook)
{
    RasEntry props;
    const int rc = GetEntryProperties(phonebook, props, entry);
    if (rc != RAS_OK)
        return rc;
    props.deviceType = deviceType;
    props.deviceName = deviceName;
    props.options = set ? (props.options | options) : (props.options & ~options);
    return m_pBackend->SetEntryProperties(phonebook, entry, props);
}

int CRasClient::GetEntryProperties(const std::string& phonebook, RasEntry& props, const std::string& entry)
{
    if (!m_pBackend)
        return RAS_ERR_NOT_LOADED;
    if (m_pBackend->ValidateEntryName(phonebook, entry) != RAS_ERR_ALREADY_EXISTS)
        return RAS_ERR_ENTRY_NOT_FOUND;
    const int rc = m_pBackend->GetEntryProperties(phonebook, entry, props);
    if (rc != RAS_OK)
        LogEntryError(rc);
    return rc;
}

void CRasClient::LogEntryError(int code)
{
    std::string text;
    const int rc = m_pBackend->GetErrorString(code, text);
    if (rc == RAS_OK)
        DEBUG_LOG(LEVEL_RAS, raslog::kErrorText, code, text.c_str());
    else
        DEBUG_LOG(LEVEL_RAS, raslog::kErrorTextFailed, rc);
}

bool CRasClient::SetDialParams(const std::string& entry, const std::string& userName, const std::string& password,
                               const std::string& phonebook)
{
    if (!m_pBackend)
        return false;
    RasDialParams params;
    params.entry = entry;
    if (m_pBackend->GetEntryDialParams(phonebook, params) != RAS_OK)
        params = RasDialParams{entry, {}, {}, {}, {}};
    if (params.userName != userName)
        params.userName = userName;
    if (params.password != password)
        params.password = password;
    return m_pBackend->SetEntryDialParams(phonebook, params) == RAS_OK;
}

int CRasClient::Dial(const std::string& entry, const std::string& phoneNumber, const std::string& userName,
                     const std::string& password, const std::string& domain, const std::string& phonebook)
{
    if (!m_pBackend)
        return RAS_ERR_NOT_LOADED;
    RasDialParams params{entry, phoneNumber, userName, password, domain};
    m_hConn = 0;
    return m_pBackend->Dial(phonebook, params, DialNotifier, m_hConn);
}

int CRasClient::GetDialState(std::string& text, bool& connected)
{
    connected = false;
    text.clear();
    if (!m_pBackend)
        return 0;
    m_status = RasConnStatus{};
    if (m_pBackend->GetConnectStatus(m_hConn, m_status) != RAS_OK)
        return 0;
    const char* t = "";
    const int ended = DialStateText(m_status.state, t, connected);
    text = t;
    return ended;
}

int CRasClient::GetErrorText(int error, int extendedError, std::string& text)
{
    text = rastext::kGetErrorFailed;
    if (error == 0)
        return RAS_ERR_NO_ERROR_TEXT;
    if (!m_pBackend)
        return RAS_ERR_NOT_LOADED;
    std::string sys;
    const int rc = m_pBackend->GetErrorString(error, sys);
    if (rc == RAS_OK) {
        text = sys.substr(0, 255);
        if (extendedError != 0) {
            char buf[64];
            std::snprintf(buf, sizeof buf, rastext::kExtendedError, extendedError);
            text += buf;
        }
    }
    return rc;
}

bool CRasClient::FindConnection(const std::string& entry, RasHandle& handle)
{
    handle = 0;
    if (!m_pBackend)
        return false;
    std::vector<RasConnInfo> conns;
    if (Enumerate<RasConnInfo>(
            [this](size_t c, auto& o, size_t& n) { return m_pBackend->EnumConnections(c, o, n); }, conns)
        != RAS_OK)
        return false;
    bool found = false;
    for (const RasConnInfo& c : conns) {
        // Another dialler's connection over the maker's modem counts as ours.
        if (EqualNoCase(c.entry, entry) || Upper(c.deviceName).find("KORVIA") != std::string::npos) {
            handle = c.handle;
            found = true;
        }
    }
    return found;
}

bool CRasClient::HangUp(const std::string& entry)
{
    if (!m_pBackend)
        return false;
    if (m_hConn == 0) {
        RasHandle h = 0;
        return FindConnection(entry, h) && m_pBackend->HangUp(h) == RAS_OK;
    }
    if (m_pBackend->HasStatistics()) {
        if (m_pBackend->ClearConnectionStatistics(m_hConn) == RAS_OK)
            DEBUG_LOG(LEVEL_RAS, "%s", raslog::kClearOk);
        else
            DEBUG_LOG(LEVEL_RAS, "%s", raslog::kClearFail);
    }
    if (m_pBackend->HangUp(m_hConn) != RAS_OK)
        return false;
    m_hConn = 0;
    return true;
}

bool CRasClient::GetStatistics(RasStats* stats)
{
    if (!m_pBackend || m_hConn == 0 || !stats || !m_pBackend->HasStatistics())
        return false;
    return m_pBackend->GetConnectionStatistics(m_hConn, *stats) == RAS_OK;
}

bool CRasClient::ClearStatistics()
{
    if (!m_pBackend || !m_pBackend->HasStatistics())
        return false;
    m_pBackend->ClearConnectionStatistics(m_hConn);
    return true;
}

int CRasClient::DialError()
{
    std::lock_guard<std::mutex> g(g_errLock);
    return g_dialError;
}

int CRasClient::DialExtendedError()
{
    std::lock_guard<std::mutex> g(g_errLock);
    return g_dialExtError;
}

void CRasClient::ClearDialError()
{
    std::lock_guard<std::mutex> g(g_errLock);
    g_dialError = 0;
    g_dialExtError = 0;
}

} // namespace kvnet
