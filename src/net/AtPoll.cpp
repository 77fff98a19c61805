// The AT poll's tick (see AtPoll.h).
#include "net/AtPoll.h"

#include "log/DebugLog.h"
#include "net/ApnTable.h"
#include "net/AtReply.h"
#include "net/AtTexts.h"
#include "settings/Profile.h"
#include "settings/SettingsKeys.h"

#include <algorithm>

namespace kv {

namespace {
constexpr size_t kApnTypeSize = 32;

std::string Cut(std::string s, size_t bufferSize)
{
    if (s.size() > bufferSize - 1)
        s.resize(bufferSize - 1);
    return s;
}
} // namespace

CAtPoll::CAtPoll(IDmHost& host, IAtPort& port) : m_host(host), m_port(port) {}

std::string CAtPoll::CurrentImsiText() const
{
    std::lock_guard g(m_lock);
    return m_v.currentImsiText;
}

AtPollSnapshot CAtPoll::Snapshot() const
{
    std::lock_guard g(m_lock);
    AtPollSnapshot s = m_v;
    s.pinRequested = m_bPinRequested.load();
    return s;
}

void CAtPoll::ShowLine(int id, const std::string& text)
{
    m_host.ShowControl(id, true);
    m_host.SetLineText(id, text);
}

AtExchangeResult CAtPoll::Exchange(const char* command, const AtReadPlan& plan, bool read,
                                   std::string& answer)
{
    // Without the flag event in the mask the answer is not for us to keep,
    // but it is still taken off the line.
    const AtExchangeResult r = AtExchange(m_port, command, plan, answer, kExchangeLockWaitMs, NextShare());
    if (r == AtExchangeResult::Busy || r == AtExchangeResult::NoAnswer) {
        std::lock_guard g(m_lock);
        ++(r == AtExchangeResult::Busy ? m_v.busySkips : m_v.noAnswers);
    }
    if (!read)
        answer.clear();
    return r;
}

bool CAtPoll::TimeLeft(int queriesSkipped)
{
    if (m_port.NowMs() < m_tickEnd)
        return true;
    DEBUG_LOG(LEVEL_ST, "at poll: tick out of time, %d queries skipped", queriesSkipped);
    std::lock_guard g(m_lock);
    m_v.timeSkips += uint64_t(queriesSkipped);
    return false;
}

int64_t CAtPoll::NextShare()
{
    const int64_t now = m_port.NowMs();
    const int64_t share = std::max<int64_t>(0, m_tickEnd - now) / std::max(1, m_queriesLeft);
    if (m_queriesLeft > 1)
        --m_queriesLeft;
    return now + share;
}

void CAtPoll::Tick()
{
    {
        std::lock_guard g(m_lock);
        ++m_v.ticks;
    }
    if (!m_port.IsOpen())
        return;
    uint16_t mask = 0;
    if (!m_port.RearmEventMask(mask)) {
        DEBUG_LOG(LEVEL_ST, "at poll: event mask error");
        return;
    }
    const bool read = (mask & EV_RXFLAG) != 0;
    m_tickEnd = m_port.NowMs() + kAtTickBudgetMs;
    m_queriesLeft = 3;
    QuerySignal(read);
    if (!TimeLeft(2))
        return;
    QueryImsi(read);
    if (!HandleImsi())
        return;
    if (!TimeLeft(1))
        return;
    QueryCard(read);
}

bool CAtPoll::QuerySignal(bool read)
{
    std::string answer;
    Exchange(attext::kQuerySignal, kSignalReadPlan, read, answer);
    std::string text;
    bool show = false;
    {
        std::lock_guard g(m_lock);
        m_v.lastSignalAnswer = answer;
        if (answer.find(attext::kSignalMarker) != std::string::npos)
            m_v.lastGoodSignalAnswer = answer;
        show = SignalLineText(m_v.lastSignalAnswer, m_v.lastGoodSignalAnswer, text);
        if (show)
            m_v.signalValue = SignalValueOf(answer.find(attext::kSignalMarker) != std::string::npos
                                                ? answer
                                                : m_v.lastGoodSignalAnswer);
    }
    // Nothing read: the line keeps its text. Nothing good ever read: there is
    // no value to show, so the line is left as it is too.
    if (show)
        ShowLine(IDC_LINE_SIGNAL, text);
    return show;
}

void CAtPoll::QueryImsi(bool read)
{
    std::string answer;
    Exchange(attext::kQueryImsi, kQueryReadPlan, read, answer);
    std::lock_guard g(m_lock);
    m_v.imsiAnswer = answer;
}

bool CAtPoll::HandleImsi()
{
    std::string answer;
    {
        std::lock_guard g(m_lock);
        answer = m_v.imsiAnswer;
    }
    if (answer.empty())
        return true;
    m_host.ShowControl(IDC_LINE_APN, true);

    if (answer.find(attext::kImsiMarker) != std::string::npos) {
        std::string digits = ImsiDigitsOf(answer);
        bool changed = false;
        {
            std::lock_guard g(m_lock);
            m_v.previousImsiText = m_v.currentImsiText;
            m_v.currentImsiText = Cut(SixAfterColon(answer), kImsiTextSize);
            m_v.imsiDigits = digits;
            changed = m_v.currentImsiText != m_v.previousImsiText || m_bApnRetry;
        }
        if (changed) {
            m_bApnRetry = false;
            if (const ApnRow* row = FindApnRow(digits)) {
                SendApn(row->apn);
                m_host.SetLineText(IDC_LINE_APN, ApnText());
            }
        }
        return true;
    }
    if (answer.find(attext::kError) != std::string::npos) {
        m_host.SetLineText(IDC_LINE_APN, "");
        return true;
    }

    const std::string type =
        GetProfileString(kSecApnType, kKeyApnDynamic, "", kApnTypeSize, kIniDialer);
    if (type == attext::kApnAutomatic) {
        const std::string digits = ImsiDigitsOf(answer);
        bool changed = false;
        {
            std::lock_guard g(m_lock);
            m_v.previousImsiText = m_v.currentImsiText;
            m_v.currentImsiText = Cut(answer.substr(0, 7), kImsiTextSize);
            m_v.imsiDigits = digits;
            changed = m_v.currentImsiText != m_v.previousImsiText || m_bApnRetry;
        }
        if (changed) {
            m_bApnRetry = false;
            if (const ApnRow* row = FindApnRow(digits))
                SendApn(row->apn);
        }
        m_host.SetLineText(IDC_LINE_APN, ApnText());
        return true;
    }

    // Fixed APN.
    const std::string current =
        GetProfileString(kSecApnContent, kKeyApnCurrent, "", kStaticApnSize, kIniDialer);
    bool changed = false;
    {
        std::lock_guard g(m_lock);
        m_v.previousStaticApn = m_v.staticApn;
        m_v.staticApn = current;
        changed = m_v.staticApn != m_v.previousStaticApn || m_bApnRetry;
    }
    m_bApnRetry = false;
    if (changed && IsValidApn(current)) {
        SendApn(current);
        m_host.SetLineText(IDC_LINE_APN, ApnText());
        return false; // the card query waits for the next tick
    }
    if (changed) {
        // An APN that could end the command line is never sent.
        DEBUG_LOG(LEVEL_ST, "at poll: fixed apn refused error");
        std::lock_guard g(m_lock);
        ++m_v.apnRefused;
    }
    m_host.SetLineText(IDC_LINE_APN, ApnText());
    return true;
}

std::string CAtPoll::ApnText() const
{
    std::lock_guard g(m_lock);
    return m_v.apnText;
}

void CAtPoll::SendApn(const std::string& apn)
{
    const std::string command = BuildApnCommand(apn);
    if (command.empty()) {
        DEBUG_LOG(LEVEL_ST, "at poll: apn refused error");
        std::lock_guard g(m_lock);
        ++m_v.apnRefused;
        return;
    }
    {
        std::lock_guard g(m_lock);
        m_v.apn = apn;
        m_v.apnText = std::string("\r") + attext::kApnLabel + apn;
    }
    // The modem's answer is not needed, only taken off the line. One more
    // exchange in the tick: it takes a share of the time left too.
    std::string discard;
    const bool timeUp = !TimeLeft(1);
    AtExchangeResult r = AtExchangeResult::Busy;
    if (!timeUp) {
        ++m_queriesLeft;
        r = AtExchange(m_port, command, kDiscardReadPlan, discard, kExchangeLockWaitMs, NextShare());
    }
    if (r == AtExchangeResult::Busy || r == AtExchangeResult::NotWritten) {
        // Not sent: the next tick sends it even when nothing changed.
        DEBUG_LOG(LEVEL_ST, "at poll: apn command not sent error");
        m_bApnRetry = true;
        std::lock_guard g(m_lock);
        if (r == AtExchangeResult::Busy && !timeUp)
            ++m_v.busySkips;
        return;
    }
    DEBUG_LOG(LEVEL_ST, "at poll: apn %s", apn.c_str());
    std::lock_guard g(m_lock);
    ++m_v.apnCommands;
}

void CAtPoll::QueryCard(bool read)
{
    std::string answer;
    Exchange(attext::kQueryCard, kQueryReadPlan, read, answer);
    std::string line;
    {
        std::lock_guard g(m_lock);
        m_v.cardAnswer = answer;
        if (answer.find(attext::kCardMarker) != std::string::npos) {
            m_bPinRequested = answer.find(attext::kCardReady) == std::string::npos;
            line = std::string("\r") + attext::kCardLabel + CardStateOf(answer);
        } else if (answer.find(attext::kError) != std::string::npos) {
            // The modem answered that it cannot read the card (pulled out,
            // broken): the line must not go on showing the card it had.
            m_bPinRequested = false;
            line = std::string("\r") + attext::kCardLabel + attext::kCardError;
        } else {
            return; // no answer: the line keeps its text
        }
    }
    ShowLine(IDC_LINE_CARD, line);
}

} // namespace kv
