// The SMS side of the status poll: the send-status request, the store-full
// notice, the new-message reaction with the voice-mail notification, and the
// voice-mail count request. Runs on the engine thread and never touches the
// table.
#include "messaging/SmsEngine.h"

#include "data/DataConstants.h"
#include "engine/DmTexts.h"
#include "log/DebugLog.h"
#include "messaging/SmsTexts.h"
#include "platform/Event.h"
#include "settings/Profile.h"

namespace kv {

namespace {
constexpr int64_t kCloseFlagPauseMs = 1000;
constexpr int kStorageFullCountdownSec = 3;
} // namespace

void CSmsEngine::OnIncomingIndication(CDmEngine& e, const StatusRecord& rec)
{
    if (m_callHooks)
        m_callHooks->OnIncomingIndication(e, rec);
}

void CSmsEngine::OnCallState(CDmEngine& e, const StatusRecord& rec)
{
    if (m_callHooks) {
        m_callHooks->OnCallState(e, rec);
        return;
    }
    // Without the call family the last call state still has to follow the
    // modem, or no message could ever be sent.
    e.State().m_ucLastCallState = rec.state;
}

void CSmsEngine::RefreshPageIfHome()
{
    if (m_engine.State().m_nActiveView.load() == VIEW_SMS && m_ui->PageState() == kSmsPageHome)
        m_ui->RepaintPage();
}

void CSmsEngine::WriteSmsCount(int count)
{
    // The same value most of the time: the file is rewritten on change only.
    if (m_nWrittenCount == count)
        return;
    if (WriteProfileString(dmtext::kSecSmsC, dmtext::kKeySmsCnt, std::to_string(count), kMainIni))
        m_nWrittenCount = count;
}

bool CSmsEngine::OnSmsChecks(CDmEngine& e, const StatusRecord& rec)
{
    ModemState& st = e.State();
    IDmHost& host = e.Host();
    if (st.m_ucSmsCheckStage.load() == 1) {
        st.m_ucSmsCheckStage = 2;
        st.m_DmRequests.Push(DM_SMS_INSPECTED, false);
    }
    // Once when the store becomes full: a modal notice on every poll would
    // hold the engine for its countdown each time.
    const bool full = rec.smsFull != 0;
    if (full && !m_bStoreWasFull)
        host.RunTimedPopup(smstext::kStorageFull, MsgIcon::Error, POPUP_NOTICE_NO_CANCEL,
                           kStorageFullCountdownSec, true);
    m_bStoreWasFull = full;

    const int count = int16_t(rec.newSmsCnt);
    if (count != 0) {
        bool voiceRemoved = false;
        if (e.DmSubRequest(DM_SMS_LIST, kSmsStorageMemory, true) == DM_SMS_LIST
            && m_shared.m_nVoiceSlot.load() != -1) {
            e.DmSubRequest(DM_SMS_VOICENUM, 0, true);
            if (m_shared.m_nVoiceCount.load() == 0) {
                // The notification is obsolete: no voice message waits.
                if (e.DmSubRequest(DM_SMS_REMOVEAT, 0, true) == DM_SMS_REMOVEAT)
                    m_shared.m_nMemoryCount = m_shared.m_nMemoryCount.load() - 1;
                voiceRemoved = true;
            }
        }
        if (count != int(int16_t(st.m_wLastSmsCount.load()))) {
            st.m_ucUiFlags |= UIF_SMS_WAITING;
            e.DmSubRequest(DM_SMS_LIST, kSmsStorageRuim, true);
            st.m_wLastSmsCount = uint16_t(count);
            RefreshPageIfHome();
            DEBUG_LOG(LEVEL_ST, "new_sms_cnt = %d", count);
        }
        const int ind = SmsIndicatorValue(count, m_shared.m_nVoiceCount.load(), voiceRemoved);
        if (ind >= 0)
            host.SetIndicator(IND_SMS, ind);
    } else {
        if (st.m_wLastSmsCount.load() != 0) {
            st.m_wLastSmsCount = 0;
            RefreshPageIfHome();
        }
        host.SetIndicator(IND_SMS, kSmsIndNone);
    }
    WriteSmsCount(count);
    return true;
}

// ---------------------------------------------------------------------------
// DM_SMS_VOICENUM (engine)

uint16_t CSmsEngine::SubVoiceNum()
{
    DEBUG_LOG(LEVEL_DM, "%s", smstext::kLogVoiceNum);
    ModemState& st = m_engine.State();
    const int32_t slot = m_shared.m_nVoiceSlot.load();
    if (slot < 0)
        return DM_RESULT_BAD_ARGUMENT;
    SmsReadReply reply;
    if (m_engine.Exchange(BuildSmsReadReq(uint32_t(slot), kSmsStorageMemory)) != 0
        || !ParseSmsReadReply(m_engine.Reply(), m_engine.ReplyLength(), reply)) {
        DEBUG_LOG(LEVEL_ST, "voice sms counter read diag error ");
        return DM_RESULT_EXCHANGE_FAILED;
    }
    if (reply.result != 0)
        return DM_RESULT_MODEM_REFUSED; // a refused read carries no count
    const int32_t count = reply.voiceMailCount;
    if (count != m_shared.m_nVoiceCount.load()) {
        m_shared.m_nVoiceCount = count;
        if (st.m_ucUiFlags.load() & UIF_SMS_LOADED)
            st.m_ucUiFlags |= UIF_SMS_WAITING;
        if (count != 0 && st.m_nActiveView.load() == VIEW_SMS) {
            const uint16_t page = m_ui->PageState();
            if (page == kSmsPageHome)
                m_ui->RepaintPage();
            else if (page == kSmsPageInboxList)
                m_ui->ShowHome();
        }
    }
    return DM_SMS_VOICENUM;
}

// ---------------------------------------------------------------------------
// DM_SMS_INSPECTED (engine command)

void CSmsEngine::CmdInspected()
{
    ModemState& st = m_engine.State();
    SmsInspectReply reply;
    if (m_engine.Exchange(BuildSmsInspectReq()) != 0
        || !ParseSmsInspectReply(m_engine.Reply(), m_engine.ReplyLength(), reply)) {
        DEBUG_LOG(LEVEL_ST, "dm sms mo inspected error");
        ++m_engine.ErrorCount();
        return;
    }
    m_engine.ErrorCount() = 0;
    if (reply.closeFlag != 0) {
        SleepMs(kCloseFlagPauseMs);
        DEBUG_LOG(LEVEL_ST, "sending close flag=%d, report=%d, tl=%d", int(reply.closeFlag),
                  int(reply.report), int(reply.tl));
        st.m_ucSmsCheckStage = 2;
        m_engine.Host().PostUserMessage(MsgTarget::SmsPage, UM_SMS_SEND_STATUS, 0, intptr_t(reply.report));
    } else {
        st.m_ucSmsCheckStage = 1;
        DEBUG_LOG(LEVEL_ST, "Sending Mail.. flag=%d, report=%d, tl=%d", int(reply.closeFlag),
                  int(reply.report), int(reply.tl));
    }
}

} // namespace kv
