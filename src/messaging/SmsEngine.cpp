// The SMS sub-requests that act on one message or on the send record, and
// the engine's registration. The list, the read pass and remove-all are in
// SmsMirror.cpp; the poll's checks and the send status in SmsPoll.cpp.
#include "messaging/SmsEngine.h"

#include "data/DataConstants.h"
#include "host/HostIds.h"
#include "log/DebugLog.h"
#include "messaging/SmsTexts.h"

namespace kv {

CSmsEngine::CSmsEngine(CDmEngine& engine, CAppDatabase& db, CSmsShared& shared, ISmsPageUi* ui)
    : m_engine(engine), m_db(db), m_shared(shared), m_ui(ui ? ui : &m_noUi)
{
}

int32_t CSmsEngine::TargetIndex(uintptr_t type)
{
    if (IsSmsRowIndex(type))
        return int32_t(type);
    CDaoSmsDb& sms = m_db.Sms();
    if (!sms.IsOpen() || sms.IsEOF() || sms.IsBOF())
        return 0;
    return sms.m_index;
}

bool CSmsEngine::FindRow(int32_t rowIndex)
{
    CDaoSmsDb& sms = m_db.Sms();
    if (!m_db.EnsureSmsCursor())
        throw CDaoException(kDaoErrCannotOpen, "the SMS table cannot be opened");
    return sms.FindFirst(CDaoSmsDb::FilterIndex(rowIndex));
}

// ---------------------------------------------------------------------------
// DM_SMS_SEND

uint16_t CSmsEngine::SubSend()
{
    DEBUG_LOG(LEVEL_DM, "%s", smstext::kLogSend);
    ModemState& st = m_engine.State();
    IDmHost& host = m_engine.Host();
    // Only an idle modem sends: with no call (below idle) as well as during one.
    if (st.m_ucLastCallState.load() != kCallStateIdle) {
        DEBUG_LOG(LEVEL_ST, "No Idle...");
        host.PostUserMessage(MsgTarget::SmsPage, UM_SMS_SEND_STATUS, 0, kSmsOutcomeBusy);
        return DM_RESULT_MODEM_REFUSED;
    }
    const SmsOutgoing& rec = m_shared.m_sendRecord;
    if (SmsTextLength(rec.encoding, rec.text) > sms_send_layout::kTextMax) {
        host.MessageBox(smstext::kTextTooLong, MsgIcon::Error);
        host.PostUserMessage(MsgTarget::SmsPage, UM_SMS_SEND_STATUS, 0, kSmsOutcomeRefused);
        return DM_RESULT_EXCHANGE_FAILED;
    }
    DiagRequest req;
    if (!BuildSmsSendReq(rec, req)) {
        host.PostUserMessage(MsgTarget::SmsPage, UM_SMS_SEND_STATUS, 0, kSmsOutcomeRefused);
        return DM_RESULT_BAD_ARGUMENT;
    }
    uint16_t res = 0;
    if (m_engine.Exchange(req) != 0
        || !ParseSmsResult(m_engine.Reply(), m_engine.ReplyLength(), KVA_SUB_SMS_SEND, res)) {
        DEBUG_LOG(LEVEL_ST, "send message error(line=%d)", __LINE__);
        return DM_RESULT_EXCHANGE_FAILED;
    }
    if (res != 0) {
        DEBUG_LOG(LEVEL_ST, "dm result error = 0x%04x", unsigned(res));
        return DM_RESULT_MODEM_REFUSED;
    }
    st.m_ucSmsCheckStage = st.m_ucServiceMsgFlag.load() ? 0 : 1;
    return DM_SMS_SEND;
}

// ---------------------------------------------------------------------------
// DM_SMS_SETTAG

uint16_t CSmsEngine::SubSetTag(uintptr_t type)
{
    DEBUG_LOG(LEVEL_DM, "%s", smstext::kLogSetTag);
    const int32_t index = TargetIndex(type);
    if (index == 0)
        return DM_RESULT_BAD_ARGUMENT;
    uint16_t res = 0;
    if (m_engine.Exchange(BuildSmsSetTagReq(uint32_t(SmsSlotOf(index)), uint32_t(SmsStorageOf(index)),
                                            kSmsTagRead))
            != 0
        || !ParseSmsResult(m_engine.Reply(), m_engine.ReplyLength(), KVA_SUB_SMS_SETTAG, res)) {
        DEBUG_LOG(LEVEL_ST, "sms set tagtype error(line=%d", __LINE__);
        return DM_RESULT_EXCHANGE_FAILED;
    }
    if (res != 0)
        return DM_RESULT_MODEM_REFUSED;
    // Leave the cursor on the message, so the caller's update changes it.
    try {
        if (!FindRow(index))
            return DM_RESULT_DB_ERROR;
    } catch (const CDaoException& e) {
        DEBUG_LOG(LEVEL_ST, "%s", e.Description().c_str());
        return DM_RESULT_DB_ERROR;
    }
    return DM_SMS_SETTAG;
}

uint16_t CSmsEngine::MarkMessageRead(int32_t rowIndex)
{
    const uint16_t r = m_engine.DmSubRequest(DM_SMS_SETTAG, uintptr_t(rowIndex), false);
    if (r != DM_SMS_SETTAG)
        return r;
    ModemState& st = m_engine.State();
    try {
        CDaoSmsDb& sms = m_db.Sms();
        if (!FindRow(rowIndex))
            return DM_RESULT_DB_ERROR;
        const bool wasUnread = sms.m_tag_type == kSmsTagUnread;
        sms.Edit();
        sms.m_tag_type = kSmsTagRead;
        sms.Update();
        if (wasUnread && st.m_wLastSmsCount.load() > 0)
            st.m_wLastSmsCount = uint16_t(st.m_wLastSmsCount.load() - 1);
    } catch (const CDaoException& e) {
        DEBUG_LOG(LEVEL_ST, "%s", e.Description().c_str());
        return DM_RESULT_DB_ERROR;
    }
    return r;
}

// ---------------------------------------------------------------------------
// DM_SMS_WRITE

uint16_t CSmsEngine::SubWrite(uintptr_t type)
{
    DEBUG_LOG(LEVEL_DM, "%s", smstext::kLogWrite);
    const uint32_t storage = uint32_t(type >> 16);
    DiagRequest req;
    if (!BuildSmsWriteReq(m_shared.m_sendRecord, storage, req))
        return DM_RESULT_BAD_ARGUMENT;
    uint16_t res = 0;
    if (m_engine.Exchange(req) != 0
        || !ParseSmsResult(m_engine.Reply(), m_engine.ReplyLength(), KVA_SUB_SMS_WRITE, res)) {
        DEBUG_LOG(LEVEL_ST, "sms write error ");
        return DM_RESULT_EXCHANGE_FAILED;
    }
    if (res == 0xD0)
        m_engine.Host().MessageBox(smstext::kMemoryOutboxFull, MsgIcon::Error);
    else if (res == 0xD2)
        m_engine.Host().MessageBox(smstext::kRuimOutboxFull, MsgIcon::Error);
    if (res != 0)
        return DM_RESULT_MODEM_REFUSED;
    return DM_SMS_WRITE;
}

// ---------------------------------------------------------------------------
// DM_SMS_REMOVEAT

uint16_t CSmsEngine::SubRemoveAt(uintptr_t type)
{
    IDmHost& host = m_engine.Host();
    const bool fromEngine = FromEngine();
    int32_t index = 0;
    if (fromEngine) {
        // The engine removes the obsolete voice-mail notification.
        const int32_t slot = m_shared.m_nVoiceSlot.load();
        if (slot < 0)
            return DM_RESULT_BAD_ARGUMENT;
        index = SmsRowIndex(kSmsStoreMemory, slot);
    } else {
        index = TargetIndex(type);
    }
    DEBUG_LOG(LEVEL_DM, "%s index=0x%x", smstext::kLogRemoveAt, unsigned(index));
    if (index == 0)
        return DM_RESULT_BAD_ARGUMENT;
    uint16_t res = 0;
    if (m_engine.Exchange(BuildSmsRemoveReq(uint32_t(SmsSlotOf(index)), uint32_t(SmsStorageOf(index))))
            != 0
        || !ParseSmsResult(m_engine.Reply(), m_engine.ReplyLength(), KVA_SUB_SMS_REMOVEAT, res)) {
        DEBUG_LOG(LEVEL_ST, "sms remove error");
        return DM_RESULT_EXCHANGE_FAILED;
    }
    if (res != 0)
        return DM_RESULT_MODEM_REFUSED;
    if (fromEngine) {
        // The table belongs to the UI thread: timer 110 removes the row.
        host.StartTimer(TIMER_VOICE_MAIL_UPDATE, 100);
        return DM_SMS_REMOVEAT;
    }
    try {
        if (FindRow(index))
            m_db.Sms().Delete();
    } catch (const CDaoException& e) {
        DEBUG_LOG(LEVEL_ST, "%s", e.Description().c_str());
        return DM_RESULT_DB_ERROR;
    }
    return DM_SMS_REMOVEAT;
}

void CSmsEngine::RemoveVoiceMailRow()
{
    const int32_t slot = m_shared.m_nVoiceSlot.load();
    if (slot >= 0) {
        try {
            if (FindRow(SmsRowIndex(kSmsStoreMemory, slot)))
                m_db.Sms().Delete();
        } catch (const CDaoException& e) {
            DEBUG_LOG(LEVEL_ST, "%s", e.Description().c_str());
        }
    }
    m_shared.m_nVoiceSlot = -1;
}

// ---------------------------------------------------------------------------
// DM_SMS_GETVOICE

uint16_t CSmsEngine::SubGetVoice(uintptr_t type)
{
    const int32_t slot = m_shared.m_nVoiceSlot.load();
    DEBUG_LOG(LEVEL_DM, "%s slot=%d", smstext::kLogGetVoice, int(slot));
    int32_t index = TargetIndex(type);
    if (index == 0 && slot >= 0)
        index = SmsRowIndex(kSmsStoreMemory, slot);
    if (slot < 0 || index == 0)
        return DM_RESULT_BAD_ARGUMENT;
    SmsReadReply reply;
    if (m_engine.Exchange(BuildSmsReadReq(uint32_t(slot), kSmsStorageMemory)) != 0
        || !ParseSmsReadReply(m_engine.Reply(), m_engine.ReplyLength(), reply))
        return DM_RESULT_EXCHANGE_FAILED;
    if (reply.result != 0) {
        DEBUG_LOG(LEVEL_ST, "result = %d", int(reply.result));
        return DM_RESULT_MODEM_REFUSED;
    }
    try {
        if (!FindRow(index))
            return DM_RESULT_DB_ERROR;
        CDaoSmsDb& sms = m_db.Sms();
        sms.Edit();
        StoreReadReply(reply, false);
        sms.m_new_flag = 1;
        sms.Update();
    } catch (const CDaoException& e) {
        DEBUG_LOG(LEVEL_ST, "%s", e.Description().c_str());
        return DM_RESULT_DB_ERROR;
    }
    return DM_SMS_GETVOICE;
}

// Only what can be dialled back is stored as the callback number: other
// bytes are dropped, with a log line.
static std::string DialableCallback(const std::string& number)
{
    std::string out;
    for (char c : number)
        if ((c >= '0' && c <= '9') || c == '*' || c == '#' || (c == '+' && out.empty()))
            out += c;
    if (out.size() != number.size())
        DEBUG_LOG(LEVEL_ST, "callback number with %d undiallable bytes", int(number.size() - out.size()));
    return out;
}

// The fields of a read reply into the SMS cursor's row being edited.
void CSmsEngine::StoreReadReply(const SmsReadReply& reply, bool convert)
{
    CDaoSmsDb& sms = m_db.Sms();
    sms.m_time = double(reply.timeStamp);
    sms.m_cb_number = DialableCallback(reply.callback);
    sms.m_encoding = StoredSmsEncoding(reply.encoding);
    DEBUG_LOG(LEVEL_SMS, "encoding type=%d", int(reply.encoding));
    DEBUG_LOG(LEVEL_SMS, "data len=%d", int(reply.data.size()));
    DEBUG_LOG(LEVEL_SMS, "data=%s", reply.data.c_str());
    sms.SetMessageText(convert ? ConvertSmsData(reply.encoding, reply.data)
                               : reply.data.substr(0, kSmsConvertBuffer));
}

void InstallSmsEngine(CDmEngine& engine, CSmsEngine& sms)
{
    CSmsEngine* p = &sms;
    engine.RegisterSubRequest(DM_SMS_SEND, [p](CDmEngine&, uint16_t, uintptr_t) { return p->SubSend(); });
    engine.RegisterSubRequest(DM_SMS_READ, [p](CDmEngine&, uint16_t, uintptr_t) { return p->SubRead(); });
    engine.RegisterSubRequest(DM_SMS_LIST, [p](CDmEngine&, uint16_t, uintptr_t t) {
        return p->SubList(uint32_t(t));
    });
    engine.RegisterSubRequest(DM_SMS_SETTAG, [p](CDmEngine&, uint16_t, uintptr_t t) { return p->SubSetTag(t); });
    engine.RegisterSubRequest(DM_SMS_WRITE, [p](CDmEngine&, uint16_t, uintptr_t t) { return p->SubWrite(t); });
    engine.RegisterSubRequest(DM_SMS_REMOVEAT, [p](CDmEngine&, uint16_t, uintptr_t t) { return p->SubRemoveAt(t); });
    engine.RegisterSubRequest(DM_SMS_REMOVEALL, [p](CDmEngine&, uint16_t, uintptr_t t) { return p->SubRemoveAll(t); });
    engine.RegisterSubRequest(DM_SMS_VOICENUM, [p](CDmEngine&, uint16_t, uintptr_t) { return p->SubVoiceNum(); });
    engine.RegisterSubRequest(DM_SMS_GETVOICE, [p](CDmEngine&, uint16_t, uintptr_t t) { return p->SubGetVoice(t); });
    engine.RegisterCommand(DM_SMS_INSPECTED, [p](CDmEngine&) { p->CmdInspected(); });
    engine.SetPollHooks(p);
}

} // namespace kv
