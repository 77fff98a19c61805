// Voice call state machine of the simulated modem.
#include "sim/SimCall.h"

#include <algorithm>

namespace kv::sim {

void SimCall::Advance(int64_t nowMs)
{
    if (m_hasWaiting && m_waitingDeadline >= 0 && nowMs >= m_waitingDeadline) {
        // The waiting caller gave up: a missed call for the user.
        m_last = m_waiting;
        m_history.push_back("in " + m_waiting.number + " missed (waiting)");
        m_hasWaiting = false;
        m_waitingDeadline = -1;
    }
    if (m_deadline < 0 || nowMs < m_deadline)
        return;
    m_deadline = -1;
    switch (m_state) {
    case kCallOrig:
        m_state = kCallConv; // the far end answered
        m_history.push_back("out " + m_active.number + " answered");
        break;
    case kCallWfa:
        Release(kIndMissed, nowMs, "missed");
        break;
    case kCallRelease:
        m_state = kCallIdle;
        break;
    default:
        break;
    }
}

int64_t SimCall::NextDeadline() const
{
    if (m_deadline < 0)
        return m_hasWaiting ? m_waitingDeadline : -1;
    if (m_hasWaiting && m_waitingDeadline >= 0)
        return std::min(m_deadline, m_waitingDeadline);
    return m_deadline;
}

uint8_t SimCall::State(bool inService) const
{
    if (m_state == kCallIdle)
        return inService ? kCallIdle : kCallNoService;
    return m_state;
}

uint8_t SimCall::TakeIndication()
{
    uint8_t ind = m_indication;
    m_indication = kIndNone;
    return ind;
}

bool SimCall::Originate(const std::string& digits, bool inService, int64_t nowMs)
{
    if (m_state != kCallIdle || digits.empty())
        return false;
    m_outgoing = true;
    m_active = CallParty{digits, "", kPresentAllowed};
    m_last = m_active;
    m_hasWaiting = false;
    Latch(kIndOriginated);
    if (!inService) {
        // Nothing to carry the call: it is released at once.
        m_history.push_back("out " + digits + " failed (no service)");
        m_state = kCallRelease;
        m_deadline = nowMs + releaseMs;
        return true;
    }
    m_state = kCallOrig;
    m_deadline = answerDelayMs < 0 ? -1 : nowMs + answerDelayMs;
    return true;
}

bool SimCall::Key(uint8_t key, int64_t nowMs)
{
    switch (m_state) {
    case kCallWfa:
        if (key == kKeyEnd) {
            Release(kIndEnded, nowMs, "rejected");
            return true;
        }
        if (key == kKeySend) {
            m_state = kCallConv;
            m_deadline = -1;
            m_history.push_back("in " + m_active.number + " answered");
            return true;
        }
        return false;
    case kCallOrig:
    case kCallConv:
        if (key == kKeyEnd) {
            Release(kIndEnded, nowMs, "ended");
            return true;
        }
        if (key == kKeySend && m_state == kCallConv && m_hasWaiting) {
            std::swap(m_active, m_waiting); // flash: switch to the other party
            m_waitingDeadline = -1;
            return true;
        }
        if (m_state == kCallConv && ((key >= '0' && key <= '9') || key == '*' || key == '#')) {
            if (m_dtmf.empty() || m_dtmf.back().size() >= 64)
                m_dtmf.emplace_back();
            m_dtmf.back() += char(key);
            return true;
        }
        return false;
    default:
        return false;
    }
}

bool SimCall::Incoming(const CallParty& caller, int64_t nowMs)
{
    if (m_state == kCallConv && !m_hasWaiting) {
        m_waiting = caller;
        m_hasWaiting = true;
        m_waitingDeadline = waitingTimeoutMs < 0 ? -1 : nowMs + waitingTimeoutMs;
        m_last = caller;
        Latch(kIndIncoming);
        return true;
    }
    if (m_state != kCallIdle)
        return false; // busy
    m_outgoing = false;
    m_active = caller;
    m_last = caller;
    m_state = kCallWfa;
    m_deadline = ringTimeoutMs < 0 ? -1 : nowMs + ringTimeoutMs;
    Latch(kIndIncoming);
    return true;
}

bool SimCall::RemoteAnswer(int64_t)
{
    if (m_state != kCallOrig)
        return false;
    m_state = kCallConv;
    m_deadline = -1;
    m_history.push_back("out " + m_active.number + " answered");
    return true;
}

bool SimCall::RemoteHangup(int64_t nowMs)
{
    if (m_state == kCallWfa) {
        Release(kIndMissed, nowMs, "missed");
        return true;
    }
    if (m_state == kCallOrig || m_state == kCallConv) {
        Release(kIndEnded, nowMs, "hung up by the far end");
        return true;
    }
    return false;
}

void SimCall::StatusReported()
{
    if (m_state != kCallRelease || m_releaseRecordsLeft <= 0 || --m_releaseRecordsLeft > 0)
        return;
    m_state = kCallIdle;
    Latch(m_lateIndication);
    m_lateIndication = kIndNone;
}

void SimCall::Release(uint8_t indication, int64_t nowMs, const char* why)
{
    m_history.push_back(std::string(m_outgoing ? "out " : "in ") + m_active.number + " " + why);
    m_state = kCallRelease;
    if (releaseStatusRecords > 0) {
        m_releaseRecordsLeft = releaseStatusRecords;
        m_lateIndication = indication;
        m_deadline = -1;
    } else {
        Latch(indication);
        m_deadline = nowMs + releaseMs;
    }
    m_hasWaiting = false;
    m_waitingDeadline = -1;
}

std::string SimCall::Describe() const
{
    std::string s = "call_state=" + std::to_string(m_state) + " indication=" + std::to_string(m_indication);
    if (m_state != kCallIdle)
        s += " party=" + m_active.number;
    if (m_hasWaiting)
        s += " waiting=" + m_waiting.number;
    return s;
}

} // namespace kv::sim
