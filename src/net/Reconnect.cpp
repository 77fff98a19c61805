// The reconnect plan's schedule, and where the connection manager's monitor
// thread consults it: a lost link arms it, each look pass may start the due
// attempt, the end of an attempt moves it on.
#include "net/Reconnect.h"

#include "log/DebugLog.h"
#include "net/ConnectionManager.h"
#include "platform/Event.h"
#include "settings/Profile.h"
#include "settings/SettingsKeys.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace kvnet {

bool ReconnectSettingOn() { return kv::GetProfileInt(kv::kSecReconnect, kv::kKeyNum, 0, kv::kIniOurs) == 1; }

std::vector<int64_t> ReconnectDelaysFromEnv()
{
    const char* env = std::getenv(kReconnectDelaysEnv);
    std::vector<int64_t> out;
    if (!env)
        return out;
    const std::string text = env;
    size_t pos = 0;
    while (pos <= text.size()) {
        const size_t comma = std::min(text.find(',', pos), text.size());
        const std::string item = text.substr(pos, comma - pos);
        if (item.empty() || item.size() > 7 || item.find_first_not_of("0123456789") != std::string::npos)
            return {};
        out.push_back(std::strtoll(item.c_str(), nullptr, 10));
        pos = comma + 1;
    }
    return out;
}

CReconnectPlan::CReconnectPlan(std::vector<int64_t> delaysMs) { SetDelays(std::move(delaysMs)); }

void CReconnectPlan::SetDelays(std::vector<int64_t> delaysMs)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_delays = delaysMs.empty() ? DefaultDelaysMs() : std::move(delaysMs);
    for (int64_t& d : m_delays)
        if (d < 0)
            d = 0;
}

int64_t CReconnectPlan::DelayBefore(int attempt) const
{
    std::lock_guard<std::mutex> g(m_lock);
    const size_t i = attempt < 1 ? 0 : size_t(attempt - 1);
    return m_delays[i < m_delays.size() ? i : m_delays.size() - 1];
}

void CReconnectPlan::LinkLost(int64_t now)
{
    std::lock_guard<std::mutex> g(m_lock);
    if (m_stopped)
        return;
    m_armed = true;
    m_underWay = false;
    m_gaveUp = false;
    m_attempts = 0;
    m_since = now;
}

void CReconnectPlan::AttemptFailed(int64_t now)
{
    std::lock_guard<std::mutex> g(m_lock);
    if (!m_armed || !m_underWay)
        return;
    m_underWay = false;
    m_since = now;
    if (m_attempts >= kMaxAttempts) {
        m_armed = false;
        m_gaveUp = true;
    }
}

void CReconnectPlan::Connected()
{
    std::lock_guard<std::mutex> g(m_lock);
    m_armed = false;
    m_underWay = false;
    m_gaveUp = false;
}

void CReconnectPlan::UserStopped()
{
    std::lock_guard<std::mutex> g(m_lock);
    m_stopped = true;
    m_armed = false;
    m_underWay = false;
}

void CReconnectPlan::UserConnected()
{
    std::lock_guard<std::mutex> g(m_lock);
    m_stopped = false;
    m_armed = false;
    m_underWay = false;
    m_gaveUp = false;
}

int CReconnectPlan::TakeDue(int64_t now)
{
    std::unique_lock<std::mutex> g(m_lock);
    if (!m_armed || m_underWay || m_stopped || m_attempts >= kMaxAttempts)
        return 0;
    const size_t i = size_t(m_attempts);
    const int64_t wait = m_delays[i < m_delays.size() ? i : m_delays.size() - 1];
    if (now - m_since < wait)
        return 0;
    m_underWay = true;
    return ++m_attempts;
}

bool CReconnectPlan::Armed() const
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_armed;
}

bool CReconnectPlan::UnderWay() const
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_underWay;
}

int CReconnectPlan::Attempts() const
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_attempts;
}

bool CReconnectPlan::GaveUp() const
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_gaveUp;
}

std::string CReconnectPlan::AttemptText(int attempt)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "Reconnecting (attempt %d of %d)...", attempt, kMaxAttempts);
    return buf;
}

std::string CReconnectPlan::GaveUpText()
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "Reconnect failed after %d attempts.", kMaxAttempts);
    return buf;
}

// ---------------------------------------------------------------------------
// The manager's side (monitor thread)

void CConnectionManager::NoteLinkLost() { m_bLinkLost = true; }

void CConnectionManager::NoteConnected(bool ok)
{
    if (ok)
        m_reconnect.Connected();
    // A failed attempt is moved on by the disconnect it queued.
}

void CConnectionManager::NoteDisconnected(uint8_t code)
{
    const bool lost = m_bLinkLost;
    m_bLinkLost = false;
    const int64_t now = kv::TickMs();
    if (m_reconnect.UnderWay()) {
        m_reconnect.AttemptFailed(now);
        if (m_reconnect.GaveUp()) {
            DEBUG_LOG(LEVEL_ST, "reconnect given up after %d attempts", CReconnectPlan::kMaxAttempts);
            if (code == RAS_REQ_DISCONNECT) {
                m_host.ShowControl(kv::IDC_MESSAGE_LINE, true);
                m_host.AppendMessageLine(CReconnectPlan::GaveUpText(), true);
            }
        }
        return;
    }
    if (!lost || code != RAS_REQ_DISCONNECT)
        return;
    const bool on = m_ui.reconnectEnabled ? m_ui.reconnectEnabled() : ReconnectSettingOn();
    if (!on)
        return;
    m_reconnect.LinkLost(now);
    if (m_reconnect.Armed())
        DEBUG_LOG(LEVEL_ST, "link lost: dialling again in %lld ms", (long long)m_reconnect.DelayBefore(1));
}

bool CConnectionManager::MaybeReconnect()
{
    if (!m_reconnect.Armed() || m_reconnect.UnderWay())
        return false;
    // Never while the modem is away, the card is not ready or a call is
    // being set up: the attempt waits, it is not spent.
    if (!CanDialByItself())
        return false;
    const int attempt = m_reconnect.TakeDue(kv::TickMs());
    if (attempt == 0)
        return false;
    DEBUG_LOG(LEVEL_ST, "reconnect attempt %d of %d", attempt, CReconnectPlan::kMaxAttempts);
    m_host.ShowControl(kv::IDC_MESSAGE_LINE, true);
    m_host.AppendMessageLine(CReconnectPlan::AttemptText(attempt), true);
    QueueDial();
    return true;
}

bool CConnectionManager::CanDialByItself() const
{
    kv::ModemState& st = m_host.State();
    const bool present = m_ui.modemPresent ? m_ui.modemPresent() : st.m_nPortState.load() != kv::DM_DEVICE_NULL;
    if (!present || st.m_ucCardFlags.load() != 0)
        return false;
    return !((st.m_ucServiceState.load() & 0x06) != 0 && st.m_ucLastCallState.load() > 0x82);
}

void CConnectionManager::QueueDial()
{
    // Net Connect's steps, with the dial string of the user's last connect.
    CreateDialUpEntry();
    m_ucConnFlags = 0;
    m_host.EnableControl(kv::IDC_NET_CONNECT, false);
    RasRequestRemove(RAS_REQ_LOOK);
    RasRequest(RAS_REQ_CONNECT, true);
    m_dwBaseline = 0;
}

} // namespace kvnet
