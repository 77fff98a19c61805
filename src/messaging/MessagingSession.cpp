// The headless engine session of the message and phonebook commands.
#include "messaging/MessagingSession.h"

#include "contacts/PbTexts.h"
#include "log/DebugLog.h"
#include "messaging/SmsTexts.h"
#include "platform/Event.h"
#include "settings/Profile.h"

namespace kv {

CMessagingSession::CMessagingSession(const Options& options)
    : m_opt(options),
      m_link(m_port),
      m_engine(m_host, m_link),
      m_db(options.dbPath),
      m_history(m_host, m_db),
      m_services(m_engine, m_db, &m_list, &m_call)
{
    m_host.BindToCurrentThread();
    m_call.Install(m_engine);
    UseModemPort(m_engine, m_port, m_opt.device);
    m_host.SetMessageHandler([this](MsgTarget t, uint32_t msg, uintptr_t w, intptr_t l, intptr_t& r) {
        return OnMessage(t, msg, w, l, r);
    });
    m_host.SetLookupNameHandler([this](const std::string& number) { return m_services.LookupName(number); });
    m_host.SetPinProvider([this](int mode, const std::function<bool()>&) {
        // No one to ask for an unblock code: the card stays blocked and the
        // engine goes on without it, so that the caller can say so.
        if (mode == PIN_MODE_UNBLOCK)
            return PinResult::Later;
        if (mode != PIN_MODE_ENTER || m_opt.pin.empty() || m_bPinGiven)
            return PinResult::Cancel;
        m_bPinGiven = true; // once: a wrong code is not tried again
        WriteProfileString("chv1", "num", m_opt.pin, kMainIni);
        return PinResult::Ok;
    });
}

CMessagingSession::~CMessagingSession() { Stop(); }

bool CMessagingSession::OnMessage(MsgTarget target, uint32_t msg, uintptr_t w, intptr_t l,
                                  intptr_t& result)
{
    if (m_filter && m_filter(target, msg, w, l, result))
        return true;
    if (target == MsgTarget::SmsPage && msg == UM_SMS_SEND_STATUS) {
        if (w == 0) {
            std::lock_guard<std::mutex> g(m_outLock);
            m_outcomes.push_back(l);
        }
        result = 0;
        return true;
    }
    if (target == MsgTarget::MainWindow && msg == UM_UI_REQUEST && w == UI_REQ_CALL_DISPLAY) {
        result = m_history.OnCallDisplay(l);
        return true;
    }
    if (target == MsgTarget::MainWindow)
        return m_services.HandleMainWindowMessage(msg, w, l, result);
    return false;
}

bool CMessagingSession::Start()
{
    EnsureSettingsDir();
    m_db.OpenSmsCursor();
    ModemState& st = m_host.State();
    st.m_ucPbReadDone = m_opt.readPhonebooks ? 0 : (kPbReadRuim | kPbReadMemory);
    if (!m_engine.UserDmRestart())
        return false;
    // The start-up chain ends by enabling the main window's controls.
    m_host.RunUntil(
        [&] {
            return !m_engine.ThreadRunning() || m_host.ControlEnabled(IDC_SMS_TOGGLE)
                   || m_host.CloseRequested() || (st.m_ucCardFlags.load() & CARDF_BLOCKED) != 0;
        },
        m_opt.startTimeoutMs);
    return m_engine.ThreadRunning() && m_host.ControlEnabled(IDC_SMS_TOGGLE);
}

void CMessagingSession::Stop()
{
    if (m_engine.ThreadRunning())
        m_engine.StopDmEngine();
    m_db.CloseSmsCursor();
}

bool CMessagingSession::WaitSendOutcome(intptr_t& outcome, int64_t timeoutMs)
{
    auto take = [&] {
        std::lock_guard<std::mutex> g(m_outLock);
        if (m_outcomes.empty())
            return false;
        outcome = m_outcomes.front();
        m_outcomes.pop_front();
        return true;
    };
    if (take())
        return true;
    m_host.RunUntil(
        [&] {
            std::lock_guard<std::mutex> g(m_outLock);
            return !m_outcomes.empty() || !m_engine.ThreadRunning();
        },
        timeoutMs);
    return take();
}

intptr_t CMessagingSession::SendOne(const std::string& number, const std::string& callback,
                                    const std::string& text, int64_t reportTimeoutMs)
{
    {
        std::lock_guard<std::mutex> g(m_outLock);
        m_outcomes.clear();
    }
    Shared().SetSendRecord(number, callback, text);
    const uint16_t r = m_engine.DmSubRequest(DM_SMS_SEND, 0, false);
    intptr_t outcome = kNoReport;
    if (r == DM_RESULT_ENGINE_STOPPED)
        return kSmsOutcomeRefused;
    if (r == DM_RESULT_BUSY)
        return kSmsOutcomeBusy; // not now: nothing was sent
    // A refused send posts its outcome at once; a sent one gets its report
    // from the engine's send-status command.
    const int64_t wait = r == DM_SMS_SEND ? reportTimeoutMs : 1500;
    if (!WaitSendOutcome(outcome, wait))
        outcome = r == DM_SMS_SEND && !m_engine.ThreadRunning() ? kSentModemGone : kNoReport;
    return outcome;
}

} // namespace kv
