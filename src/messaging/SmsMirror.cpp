// The mirror of the modem's message stores in the SMS table: the list
// request (which reconciles the table with what the store holds), the read
// pass that fetches new bodies, remove-all over the page's list, and the
// first load when the SMS page is opened after an engine start.
#include "messaging/SmsEngine.h"
#include "data/DaoTransaction.h"

#include "data/DataConstants.h"
#include "log/DebugLog.h"
#include "messaging/SmsTexts.h"
#include "platform/Event.h"
#include "settings/Profile.h"
#include "settings/SettingsKeys.h"

#include <algorithm>
#include <map>

namespace kv {

namespace {

constexpr int kSlpsDefault = 5;

void SleepSlps()
{
    const int ms = GetProfileInt(kSecSysInf, kKeySlps, kSlpsDefault, kIniSys);
    if (ms > 0)
        SleepMs(ms);
}

// Table changes of one request in transactions: one write to the disk per
// batch instead of one per row. A batch not committed (a database error, a
// killed process) leaves its rows as they were, which the next list and
// read pass put right.
class CTableBatch {
public:
    explicit CTableBatch(CDaoRecordset& rs) : m_tx(rs) { m_tx.Begin(); }
    CTableBatch(const CTableBatch&) = delete;
    CTableBatch& operator=(const CTableBatch&) = delete;

    // Counts one change; commits every kRows changes.
    void Changed()
    {
        if (++m_nChanges % kRows == 0) {
            Commit();
            Begin();
        }
    }
    void Commit()
    {
        if (m_tx.Active())
            m_tx.Commit();
    }

private:
    static constexpr int kRows = 20;
    void Begin() { m_tx.Begin(); }
    CDaoTransaction m_tx;
    int m_nChanges = 0;
};

} // namespace

// ---------------------------------------------------------------------------
// DM_SMS_LIST

uint16_t CSmsEngine::SubList(uint32_t storage)
{
    if (storage != kSmsStorageMemory && storage != kSmsStorageRuim)
        return DM_RESULT_BAD_ARGUMENT;
    SmsListReply reply;
    if (m_engine.Exchange(BuildSmsListReq(storage)) != 0
        || !ParseSmsListReply(m_engine.Reply(), m_engine.ReplyLength(), reply)) {
        DEBUG_LOG(LEVEL_ST, "sms get info list error");
        return DM_RESULT_EXCHANGE_FAILED;
    }
    if (reply.result != 0)
        return DM_RESULT_MODEM_REFUSED;
    m_shared.m_nVoiceSlot = reply.voiceIndex;
    if (reply.numEntries < 0 || reply.numEntries > int32_t(sms_list_layout::kMaxEntries))
        DEBUG_LOG(LEVEL_ST, "sms list count out of range = %d", int(reply.numEntries));
    // A list reply names at most kMaxEntries messages: a larger (or negative)
    // count is not taken.
    const int32_t entries = std::clamp<int32_t>(reply.numEntries, 0, int32_t(sms_list_layout::kMaxEntries));
    if (storage == kSmsStorageMemory) {
        m_shared.m_nMemoryCount = entries;
    } else {
        m_shared.m_nRuimCount = entries;
        DEBUG_LOG(LEVEL_ST, "total count = %d", int(entries));
    }
    // The engine's own lists only refresh the counts; its success lets the
    // poll go on with the voice-mail steps.
    if (FromEngine())
        return DM_SMS_LIST;

    std::map<int32_t, uint32_t> listed; // row index → tag
    for (const SmsListEntry& e : reply.entries)
        listed[SmsRowIndex(int(storage), e.slot)] = e.tag;
    // Rows are dropped only when the reply carried every entry it announced.
    const bool complete = reply.numEntries >= 0 && size_t(reply.numEntries) == reply.entries.size();

    try {
        if (!m_db.EnsureSmsCursor())
            return DM_RESULT_DB_ERROR;
        CDaoSmsDb& sms = m_db.Sms();
        CTableBatch batch(sms);
        if (sms.GetRecordCount() > 0) {
            sms.MoveFirst();
            while (!sms.IsEOF()) {
                if (SmsStorageOf(sms.m_index) == int(storage)) {
                    auto it = listed.find(sms.m_index);
                    if (it == listed.end()) {
                        // Gone from the store (deleted or moved elsewhere).
                        if (complete)
                            sms.Delete();
                    } else {
                        if (sms.m_tag_type != double(it->second)) {
                            // Replaced or changed elsewhere: read it again.
                            sms.Edit();
                            sms.m_tag_type = double(it->second);
                            sms.m_new_flag = 1;
                            sms.Update();
                        }
                        listed.erase(it);
                    }
                }
                sms.MoveNext();
            }
        }
        for (const auto& [index, tag] : listed) {
            sms.AddNew();
            sms.m_index = index;
            sms.m_tag_type = double(tag);
            sms.m_new_flag = 1;
            sms.m_time = 0;
            sms.m_cb_number.clear();
            sms.m_encoding = 0;
            sms.SetMessageText(std::string());
            sms.Update();
        }
        batch.Commit();
    } catch (const CDaoException& e) {
        DEBUG_LOG(LEVEL_ST, "%s", e.Description().c_str());
        return DM_RESULT_DB_ERROR;
    }
    if (reply.numEntries == 0)
        return DM_RESULT_NO_MESSAGES;
    return DM_SMS_LIST;
}

// ---------------------------------------------------------------------------
// DM_SMS_READ

uint16_t CSmsEngine::SubRead()
{
    DEBUG_LOG(LEVEL_DM, "%s", smstext::kLogRead);
    ModemState& st = m_engine.State();
    const int total = m_shared.m_nMemoryCount.load() + m_shared.m_nRuimCount.load();
    bool progress = false;
    try {
        if (!m_db.EnsureSmsCursor())
            throw CDaoException(kDaoErrCannotOpen, "the SMS table cannot be opened");
        CDaoSmsDb& sms = m_db.Sms();
        if (total >= 2) {
            m_ui->ShowProgress(total);
            progress = true;
        }
        CTableBatch batch(sms);
        if (sms.GetRecordCount() > 0) {
            sms.MoveFirst();
            while (!sms.IsEOF()) {
                if (sms.m_new_flag != 1) {
                    sms.MoveNext();
                    continue;
                }
                if (m_engine.StopRequested()) {
                    // What is stored so far stays; the rest waits for the next pass.
                    DEBUG_LOG(LEVEL_ST, "sms read stopped");
                    batch.Commit();
                    if (progress)
                        m_ui->HideProgress();
                    return DM_RESULT_ENGINE_STOPPED;
                }
                if (progress)
                    m_ui->StepProgress();
                const int32_t index = sms.m_index;
                const int storage = SmsStorageOf(index);
                const int slot = SmsSlotOf(index);
                SmsReadReply reply;
                const bool ok = m_engine.Exchange(BuildSmsReadReq(uint32_t(slot), uint32_t(storage))) == 0
                                && ParseSmsReadReply(m_engine.Reply(), m_engine.ReplyLength(), reply);
                SleepSlps();
                if (!ok) {
                    DEBUG_LOG(LEVEL_ST, "index=%d error", slot);
                } else if (reply.result != 0) {
                    // The modem no longer has the message.
                    auto& count = storage == kSmsStoreMemory ? m_shared.m_nMemoryCount : m_shared.m_nRuimCount;
                    count = count.load() - 1;
                    sms.Delete();
                    batch.Changed();
                } else {
                    const bool voice = storage == kSmsStoreMemory && slot == m_shared.m_nVoiceSlot.load();
                    sms.Edit();
                    StoreReadReply(reply, true);
                    sms.m_new_flag = voice ? 1 : 0;
                    sms.Update();
                    if (voice)
                        m_shared.m_nVoiceCount = reply.voiceMailCount;
                    batch.Changed();
                }
                sms.MoveNext();
            }
        }
        batch.Commit();
        if (progress)
            m_ui->HideProgress();
        const uint8_t flags = st.m_ucUiFlags.load();
        if ((flags & UIF_SMS_WAITING) || flags == 0)
            m_db.OpenSmsCursor(); // new rows take their place in time order
    } catch (const CDaoException& e) {
        DEBUG_LOG(LEVEL_ST, "%s (line=%d)", e.Description().c_str(), __LINE__);
        if (progress)
            m_ui->HideProgress();
        return DM_RESULT_DB_ERROR;
    }
    return DM_SMS_READ;
}

// ---------------------------------------------------------------------------
// DM_SMS_REMOVEALL

uint16_t CSmsEngine::SubRemoveAll(uintptr_t type)
{
    DEBUG_LOG(LEVEL_DM, "%s", smstext::kLogRemoveAll);
    const uint32_t kind = uint32_t(type & 0xFFFF);
    const int items = m_ui->ListItemCount();
    m_ui->ShowProgress(items);
    uint16_t result = DM_SMS_REMOVEALL;
    try {
        CDaoSmsDb& sms = m_db.Sms();
        for (int i = 0; i < items; ++i) {
            if (m_engine.StopRequested()) {
                DEBUG_LOG(LEVEL_ST, "sms delete all stopped");
                result = DM_RESULT_ENGINE_STOPPED;
                break;
            }
            m_ui->StepProgress();
            const int32_t index = m_ui->ListItemData(i);
            if (index == 0 || !FindRow(index))
                continue;
            const int storage = SmsStorageOf(index);
            const int slot = SmsSlotOf(index);
            SleepSlps();
            uint16_t res = 0;
            if (m_engine.Exchange(BuildSmsRemoveReq(uint32_t(slot), uint32_t(storage), true)) != 0
                || !ParseSmsResult(m_engine.Reply(), m_engine.ReplyLength(), KVA_SUB_SMS_REMOVEALL, res)) {
                DEBUG_LOG(LEVEL_ST, "error sms delete all ");
                continue;
            }
            if (res != 0) {
                DEBUG_LOG(LEVEL_ST, "result = %d (line=%d)", int(res), __LINE__);
                continue;
            }
            sms.Delete();
            if (storage == kSmsStoreMemory) {
                if (kind == kSmsListInbox && slot == m_shared.m_nVoiceSlot.load()) {
                    m_shared.m_nVoiceCount = -1;
                    m_shared.m_nVoiceSlot = -1; // no notification any more
                }
                m_shared.m_nMemoryCount = m_shared.m_nMemoryCount.load() - 1;
            } else if (storage == kSmsStoreRuim) {
                m_shared.m_nRuimCount = m_shared.m_nRuimCount.load() - 1;
            } else {
                DEBUG_LOG(LEVEL_ST, "not surpport storage type = %d (line=%d)", storage, __LINE__);
                continue;
            }
            m_ui->ClearListItemData(i);
        }
    } catch (const CDaoException& e) {
        DEBUG_LOG(LEVEL_ST, "%s", e.Description().c_str());
        result = DM_RESULT_DB_ERROR;
    }
    m_ui->DeleteAllListItems();
    m_ui->HideProgress();
    return result;
}

// ---------------------------------------------------------------------------
// First load of the mirror

bool CSmsEngine::LoadMirror()
{
    ModemState& st = m_engine.State();
    if (st.m_ucUiFlags.load() & UIF_SMS_LOADED)
        return true;
    // A second switch while the first load still waits (its events are
    // served meanwhile) does nothing: the first one finishes the load.
    if (m_bLoadingMirror)
        return false;
    struct Loading {
        bool& flag;
        explicit Loading(bool& f) : flag(f) { flag = true; }
        ~Loading() { flag = false; }
    } loading(m_bLoadingMirror);
    const uint16_t memory = m_engine.DmSubRequest(DM_SMS_LIST, kSmsStorageMemory, false);
    if (memory == DM_RESULT_BUSY)
        return false; // another sub-request is under way: not now
    const uint16_t ruim = m_engine.DmSubRequest(DM_SMS_LIST, kSmsStorageRuim, false);
    if (ruim == DM_RESULT_BUSY)
        return false;
    DEBUG_LOG(LEVEL_ST, "memory=%d, ruim=%d", int(m_shared.m_nMemoryCount.load()),
              int(m_shared.m_nRuimCount.load()));
    if (memory == DM_SMS_LIST || ruim == DM_SMS_LIST) {
        if (m_engine.DmSubRequest(DM_SMS_READ, 0, false) != DM_SMS_READ)
            return false;
        st.m_ucUiFlags |= UIF_SMS_LOADED;
    } else {
        DEBUG_LOG(LEVEL_ST, "sms no data");
    }
    return true;
}

} // namespace kv
