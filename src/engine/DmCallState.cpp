// The voice call's shared fields and the call timers' rules.
#include "engine/DmCallState.h"

#include "engine/DmHost.h"
#include "engine/ModemState.h"
#include "log/DebugLog.h"
#include "log/LineWrap.h"
#include "log/NumberParse.h"

#include <cstdio>
#include <cstdlib>

namespace kv {

namespace {
std::string Cut(const std::string& s, size_t n) { return s.size() > n ? s.substr(0, n) : s; }
} // namespace

CallTexts CCallState::Texts() const
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_texts;
}

void CCallState::SetTexts(const CallTexts& t)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_texts = {Cut(t.callerNumber, kCallTextMax), Cut(t.callerName, kCallTextMax),
               Cut(t.waitingNumber, kCallTextMax), Cut(t.waitingName, kCallTextMax)};
}

void CCallState::ClearTexts()
{
    std::lock_guard<std::mutex> g(m_lock);
    m_texts = {};
}

std::string CCallState::DisplayText() const
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_display;
}

void CCallState::SetDisplayText(const std::string& s)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_display = Cut(s, kCallTextMax);
}

std::string CCallState::DialNumber() const
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_dial;
}

void CCallState::SetDialNumber(const std::string& s)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_dial = Cut(s, kDialNumberMax);
}

void CCallState::PushKey(int code)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_keys.push_back(std::to_string(code));
}

bool CCallState::PopKey(int& code)
{
    std::lock_guard<std::mutex> g(m_lock);
    if (m_keys.empty())
        return false;
    code = DecimalValue<int>(m_keys.front()).value_or(0);
    m_keys.pop_front();
    return true;
}

void CCallState::DropLastKey()
{
    std::lock_guard<std::mutex> g(m_lock);
    if (!m_keys.empty())
        m_keys.pop_back();
}

std::string CCallState::FirstKeyText() const
{
    std::lock_guard<std::mutex> g(m_lock);
    if (m_keys.empty())
        return {};
    // The queue holds codes; the display shows the key's character.
    const int code = DecimalValue<int>(m_keys.front()).value_or(0);
    if (code > 0x20 && code < 0x7F)
        return std::string(1, char(code));
    return m_keys.front();
}

bool CCallState::KeysEmpty() const
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_keys.empty();
}

void CCallState::ClearKeys()
{
    std::lock_guard<std::mutex> g(m_lock);
    m_keys.clear();
}

void CCallState::SetPauses(const std::deque<std::string>& parts)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_pauses = parts;
}

bool CCallState::PopPause(std::string& digits)
{
    std::lock_guard<std::mutex> g(m_lock);
    if (m_pauses.empty())
        return false;
    digits = m_pauses.front();
    m_pauses.pop_front();
    return true;
}

std::string CCallState::FirstPause() const
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_pauses.empty() ? std::string() : m_pauses.front();
}

bool CCallState::PausesEmpty() const
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_pauses.empty();
}

void CCallState::ClearPauses()
{
    std::lock_guard<std::mutex> g(m_lock);
    m_pauses.clear();
}

std::tm CCallState::CallStart() const
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_start;
}

void CCallState::SetCallStart(const std::tm& t)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_start = t;
}

void RecordCallStart(ModemState& st)
{
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    st.m_call.SetCallStart(t);
}

void TickCallDuration(ModemState& st)
{
    uint8_t s = uint8_t(st.m_ucCallSeconds.load() + 1);
    if (s >= 60) {
        s = 0;
        uint8_t m = uint8_t(st.m_ucCallMinutes.load() + 1);
        if (m >= 60) {
            m = 0;
            uint8_t h = uint8_t(st.m_ucCallHours.load() + 1);
            if (h >= 24) {
                h = 0;
                ++st.m_call.m_dwDays;
            }
            st.m_ucCallHours = h;
        }
        st.m_ucCallMinutes = m;
    }
    st.m_ucCallSeconds = s;
}

void ClearCallDuration(ModemState& st)
{
    st.m_ucCallHours = 0;
    st.m_ucCallMinutes = 0;
    st.m_ucCallSeconds = 0;
    st.m_dwCallTicks = 0;
    st.m_call.m_dwDays = 0;
}

int64_t CallDurationSeconds(const ModemState& st)
{
    return int64_t(st.m_call.m_dwDays.load()) * 86400 + int64_t(st.m_ucCallHours.load()) * 3600
        + int64_t(st.m_ucCallMinutes.load()) * 60 + st.m_ucCallSeconds.load();
}

bool CallWaitingActive(const ModemState& st)
{
    return (st.m_ucCallFlags.load() & CALLF_WAITING) && st.m_ucCallListIndex.load() == 2;
}

std::string WrapCallText(const std::string& text, size_t width)
{
    return WrapAtWords(text, width);
}

static bool BackToFirstCall(IDmHost& host)
{
    ModemState& st = host.State();
    if (!CallWaitingActive(st))
        return false;
    std::string name, number;
    {
        std::lock_guard<std::mutex> g(st.m_textLock);
        name = st.m_strCallName[0];
        number = st.m_strCallNumber[0];
    }
    host.AppendMessageLine(WrapCallText(name + "\n" + number), true);
    st.m_ucCallListIndex = 1;
    st.m_ucCallFlags &= uint8_t(~CALLF_WAITING);
    host.SetIndicator(IND_CALL, 128);
    return true;
}

bool WaitingCallFallback(IDmHost& host)
{
    const bool done = BackToFirstCall(host);
    if (done)
        DEBUG_LOG(LEVEL_ST, "waiting call not answered");
    return done;
}

bool ClearWaitingCall(IDmHost& host)
{
    if (!CallWaitingActive(host.State()))
        return false;
    host.KillTimer(TIMER_WAITING_CALL);
    BackToFirstCall(host);
    host.State().m_ucCallListActive = 1;
    return true;
}

} // namespace kv
