// The phonebook sub-requests and the main window's phonebook handlers.
#include "contacts/PbookEngine.h"
#include "data/DaoTransaction.h"

#include "contacts/PbTable.h"
#include "contacts/PbTexts.h"
#include "data/DataConstants.h"
#include "host/HostIds.h"
#include "link/TransactPause.h"
#include "log/DebugLog.h"
#include "platform/Event.h"
#include "settings/Profile.h"
#include "settings/SettingsKeys.h"

#include <cctype>
#include <set>

namespace kv {

namespace {

constexpr uint32_t kPbIndexMax = 0xFFFF;

// Bounded, and read again only when syskor.ini changed.
int SleepSetting()
{
    return SharedTransactPause().Milliseconds();
}

void CloseQuietly(CDaoRecordset& rs)
{
    if (rs.IsOpen())
        rs.Close();
}

// An entry's index lies within its phonebook: from 1 to the capacity the
// modem reported (when it reported none, to the largest the table's pages
// can address).
bool PbIndexInRange(uint32_t index, int capacity)
{
    return index >= 1 && index <= uint32_t(capacity > 0 ? capacity : kPbIndexMax);
}

// Only what can be dialled reaches the table: other bytes of a read number
// are dropped, with a log line.
std::string DialableNumber(const std::string& number)
{
    std::string out;
    for (char c : number)
        if ((c >= '0' && c <= '9') || c == '*' || c == '#' || c == 'p' || (c == '+' && out.empty()))
            out += c;
    if (out.size() != number.size())
        DEBUG_LOG(LEVEL_ST, "PBook number with %d undiallable bytes", int(number.size() - out.size()));
    return out;
}

} // namespace

CPbookEngine::CPbookEngine(CDmEngine& engine, CAppDatabase& db)
    : m_engine(engine), m_db(db), m_pending(db.Path()), m_nMaxReadFailures(kPbReadMaxFailures)
{
}

// ---------------------------------------------------------------------------
// DM_PBOOK_READ

uint16_t CPbookEngine::SubRead(uint16_t storageWord)
{
    DEBUG_LOG(LEVEL_DM, "%s", pbtext::kLogSubRead);
    ModemState& st = m_engine.State();
    const bool ruim = storageWord == kPbWordRuim;
    const int storageType = PbStorageTypeForWord(storageWord);
    const uint8_t storageCode = ruim ? kPbStorageRuim : kPbStorageMemory;
    int total = PbCountInUse(ruim ? st.m_wPbRuimUsed.load() : st.m_wPbMemoryUsed.load(),
                             ruim ? st.m_wPbRuimMax.load() : st.m_wPbMemoryMax.load());
    const int capacity = ruim ? st.m_wPbRuimMax.load() : st.m_wPbMemoryMax.load();

    CDaoPbookDb& pb = m_db.Pbook();
    CloseQuietly(pb);
    CDaoTransaction tx(pb);
    uint16_t result = DM_PBOOK_READ;
    try {
        // The whole read is one transaction: the old rows of this phonebook
        // go and the new ones arrive together, so an interrupted read (or a
        // killed process) leaves the table as it was.
        tx.Begin();
        pb.Open(CDaoPbookDb::QueryStorage(storageType));
        if (!pb.IsEOF()) {
            pb.MoveFirst();
            while (!pb.IsEOF()) {
                pb.Delete();
                pb.MoveNext();
            }
        }
        pb.Close();
        pb.Open();

        // The read request carries no position: the modem hands out its
        // entries one after the other. After a lost answer nobody states
        // where it goes on: some modems start again at the first entry after
        // the information request, others go on where they were and start
        // again only after their last entry. Entries carry their index, so
        // both are read right: an entry already stored is dropped, and the
        // read goes on (up to two more rounds) until every entry in use has
        // come; after a lost answer, one that never comes is a gap and fails
        // the read.
        std::set<int32_t> stored; // indexes stored by this read
        int failures = 0;
        bool resync = false;
        bool lost = false;    // an answer was lost: the modem's position is unknown
        int position = 0;     // entries asked for since the start or the last resync
        int idle = 0;         // batches in a row that brought nothing new
        bool cameRound = false; // the modem's entries started over
        int32_t lastIndex = -1;
        while (int(stored.size()) < total) {
            if (m_engine.StopRequested()) {
                DEBUG_LOG(LEVEL_ST, "phonebook read stopped");
                result = DM_RESULT_EXCHANGE_FAILED;
                break;
            }
            if (resync) {
                PbInfoReply info;
                if (m_engine.Exchange(BuildPbInfoReq(storageCode)) != 0
                    || !ParsePbInfoReply(m_engine.Reply(), m_engine.ReplyLength(), info)
                    || info.result != 0) {
                    DEBUG_LOG(LEVEL_ST, "phonebook read error ");
                    if (++failures >= m_nMaxReadFailures) {
                        result = DM_RESULT_EXCHANGE_FAILED;
                        break;
                    }
                    continue;
                }
                total = PbCountInUse(info.recordInUse, info.maxRecord);
                (ruim ? st.m_wPbRuimUsed : st.m_wPbMemoryUsed) = uint16_t(total);
                position = 0;
                idle = 0;
                resync = false;
                continue;
            }
            // One round of the count is the read. When the modem lost an
            // answer, or showed that it came round (an index not above the one
            // before: it started elsewhere, left there by an earlier read, or
            // starts over after its last entry), up to two more rounds bring
            // the missing entries. A batch that brings nothing new means the
            // modem has no more entries than these (its count was too high),
            // or, after coming round, that it went over what is stored again.
            const bool more = lost || cameRound;
            const bool roundsDone = more ? position >= 3 * total + int(pb_layout::kMaxReadCount)
                                         : position >= total;
            const int idleLimit = more ? int(stored.size()) / int(pb_layout::kMaxReadCount) + 2 : 1;
            if (roundsDone || idle >= idleLimit) {
                if (lost) {
                    DEBUG_LOG(LEVEL_ST, "phonebook read: %d of %d entries, the others were lost",
                              int(stored.size()), total);
                    result = DM_RESULT_EXCHANGE_FAILED;
                } else if (idle > 0 || more) {
                    DEBUG_LOG(LEVEL_ST, "phonebook read: %d entries, not %d", int(stored.size()), total);
                }
                break;
            }
            const int count = PbBatchCount(total, position % total);
            DEBUG_LOG(LEVEL_ST, "PBook Count Reord Read");
            DiagRequest req;
            if (count <= 0 || !BuildPbReadReq(storageWord, uint8_t(count), req)) {
                result = DM_RESULT_BAD_ARGUMENT;
                break;
            }
            PbReadReply reply;
            if (m_engine.Exchange(req) != 0
                || !ParsePbReadReply(m_engine.Reply(), m_engine.ReplyLength(), size_t(count), reply)) {
                DEBUG_LOG(LEVEL_ST, "phonebook read error ");
                if (++failures >= m_nMaxReadFailures) {
                    result = DM_RESULT_EXCHANGE_FAILED;
                    break;
                }
                lost = true;
                resync = true;
                continue;
            }
            const int slps = SleepSetting();
            if (slps > 0)
                SleepMs(slps);
            bool fresh = false;
            for (const PbRecord& rec : reply.records) {
                if (rec.storage != 0) {
                    DEBUG_LOG(LEVEL_ST, "read_status = %d", int(rec.storage));
                    continue;
                }
                const int32_t index = int32_t(rec.index);
                if (!PbIndexInRange(rec.index, capacity)) {
                    DEBUG_LOG(LEVEL_ST, "PBook Index out of range=%u", unsigned(rec.index));
                    continue;
                }
                if (lastIndex >= 0 && index <= lastIndex)
                    cameRound = true;
                lastIndex = index;
                if (!stored.insert(index).second)
                    continue; // read again after a rewind or a new round
                fresh = true;
                pb.AddNew();
                pb.m_index = index;
                DEBUG_LOG(LEVEL_ST, "PBook Index Read=%d", int(index));
                pb.m_storage_type = storageType;
                pb.m_phone_number = DialableNumber(PbNumberFromRecord(rec, ruim));
                pb.m_name = DecodePbName(rec.name.data(), rec.name.size());
                pb.Update();
            }
            idle = fresh ? 0 : idle + 1;
            position += count;
            if (m_batchObserver)
                m_batchObserver(position, total);
        }
        CloseQuietly(pb);
        if (result == DM_PBOOK_READ)
            tx.Commit();
        else
            tx.RollbackQuietly();
    } catch (const CDaoException& e) {
        DEBUG_LOG(LEVEL_ST, "%s ", e.Description().c_str());
        CloseQuietly(pb);
        tx.RollbackQuietly();
    }
    return result;
}

// ---------------------------------------------------------------------------
// Write, delete, delete all

uint16_t CPbookEngine::SubWrite(const PbRecord* rec)
{
    DEBUG_LOG(LEVEL_DM, "%s", pbtext::kLogSubWrite);
    DiagRequest req;
    if (!rec || !BuildPbWriteReq(*rec, req))
        return DM_RESULT_BAD_ARGUMENT;
    uint16_t res = 0;
    if (m_engine.Exchange(req) != 0
        || !ParsePbResult(m_engine.Reply(), m_engine.ReplyLength(), KVA_SUB_PB_WRITE, res)) {
        DEBUG_LOG(LEVEL_ST, "phonebook write error ");
        return DM_RESULT_EXCHANGE_FAILED;
    }
    // A refused write must not be mirrored as a change.
    if (res != 0) {
        DEBUG_LOG(LEVEL_ST, "phonebook write result = %d", int(res));
        return DM_RESULT_MODEM_REFUSED;
    }
    return DM_PBOOK_WRITE;
}

uint16_t CPbookEngine::SubDel(const uint8_t* rec5)
{
    DEBUG_LOG(LEVEL_DM, "%s", pbtext::kLogSubDel);
    if (!rec5)
        return DM_RESULT_BAD_ARGUMENT;
    const uint32_t index = uint32_t(rec5[1]) | uint32_t(rec5[2]) << 8 | uint32_t(rec5[3]) << 16
                           | uint32_t(rec5[4]) << 24;
    uint16_t res = 0;
    if (m_engine.Exchange(BuildPbDelReq(rec5[0], index)) != 0
        || !ParsePbResult(m_engine.Reply(), m_engine.ReplyLength(), KVA_SUB_PB_DEL, res)) {
        DEBUG_LOG(LEVEL_ST, "phonebook delete error ");
        return DM_RESULT_EXCHANGE_FAILED;
    }
    if (res != 0) {
        DEBUG_LOG(LEVEL_ST, "phonebook delete result = %d", int(res));
        return DM_RESULT_MODEM_REFUSED;
    }
    return DM_PBOOK_DEL;
}

uint16_t CPbookEngine::SubDelAll(uint8_t storageCode)
{
    DEBUG_LOG(LEVEL_DM, "%s", pbtext::kLogSubDelAll);
    uint16_t res = 0;
    if (m_engine.Exchange(BuildPbDelAllReq(storageCode)) != 0
        || !ParsePbResult(m_engine.Reply(), m_engine.ReplyLength(), KVA_SUB_PB_DEL_ALL, res)) {
        DEBUG_LOG(LEVEL_ST, "phonebook delete error ");
        return DM_RESULT_EXCHANGE_FAILED;
    }
    DEBUG_LOG(LEVEL_ST, "pbook delete all rsult = %d", int(res));
    return res != 0 ? uint16_t(DM_RESULT_MODEM_REFUSED) : uint16_t(DM_PBOOK_DELALL);
}

// ---------------------------------------------------------------------------
// The main window's handlers

void CPbookEngine::OnLoadPhonebook(uint16_t storageWord)
{
    ModemState& st = m_engine.State();
    const bool ruim = storageWord == kPbWordRuim;
    const uint8_t readBit = ruim ? kPbReadRuim : kPbReadMemory;
    const uint8_t loadedBit = ruim ? UIF_PB_RUIM_LOADED : UIF_PB_MEMORY_LOADED;
    const std::vector<PbPendingChange> pending = PendingChanges(PbStorageTypeForWord(storageWord));
    if (!pending.empty()) {
        // Only a fresh read tells what the modem holds at those indexes. A
        // failed one leaves the flags clear: the start-up step comes again.
        DEBUG_LOG(LEVEL_ST, "phonebook: %d unfinished changes, reading it again", int(pending.size()));
        if (m_engine.DmSubRequest(DM_PBOOK_READ, storageWord, true) != DM_PBOOK_READ)
            return;
        st.m_ucPbReadDone |= readBit;
        SettlePending(pending);
    } else if (!(st.m_ucPbReadDone.load() & readBit)) {
        // The engine waits in its message send, so the link is ours.
        if (m_engine.DmSubRequest(DM_PBOOK_READ, storageWord, true) != DM_PBOOK_READ)
            return;
        st.m_ucPbReadDone |= readBit;
    }
    st.m_ucUiFlags |= loadedBit;
}

void CPbookEngine::OnWipePhonebook()
{
    m_db.WipePhonebook();
    // The mirror is empty now: both phonebooks must be read again.
    m_engine.State().m_ucPbReadDone = 0;
}

std::optional<std::string> CPbookEngine::LookupName(const std::string& number)
{
    std::string name = m_db.LookupNameByNumber(number);
    if (name.empty())
        return std::nullopt;
    return name;
}

bool CPbookEngine::HandleMainWindowMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam,
                                           intptr_t& result)
{
    if (msg == UM_UI_REQUEST && wParam == UI_REQ_WIPE_PHONEBOOK) {
        OnWipePhonebook();
    } else if (msg == UM_UI_REQUEST && wParam == UI_REQ_LOAD_PHONEBOOK) {
        OnLoadPhonebook(uint16_t(lParam));
    } else {
        return false;
    }
    result = 0;
    return true;
}

// ---------------------------------------------------------------------------
// Entry changes

bool CPbookEngine::StoreTableRow(int storageType, int index, const std::string& name,
                                 const std::string& number, std::string& error)
{
    CDaoPbookDb& pb = m_db.Pbook();
    CloseQuietly(pb);
    try {
        pb.Open(CDaoPbookDb::QueryEntry(index, storageType));
        if (pb.IsEOF()) {
            pb.AddNew();
            pb.m_storage_type = storageType;
            pb.m_index = index;
        } else {
            pb.MoveFirst();
            pb.Edit();
        }
        pb.m_name = name;
        pb.m_phone_number = number;
        pb.Update();
        pb.Close();
        return true;
    } catch (const CDaoException& e) {
        DEBUG_LOG(LEVEL_ST, "%s ", e.Description().c_str());
        error = e.Description();
        CloseQuietly(pb);
        return false;
    }
}

int CPbookEngine::FreeIndex(int storageType, std::string& error)
{
    const int index = PbFreeIndex(m_db.Pbook(), storageType, &error);
    if (index < 0) {
        DEBUG_LOG(LEVEL_ST, "%s ", error.c_str());
        return 0;
    }
    return index;
}

bool CPbookEngine::DeleteTableRow(int storageType, int index, std::string& error)
{
    CDaoPbookDb& pb = m_db.Pbook();
    CloseQuietly(pb);
    try {
        pb.Open(CDaoPbookDb::QueryEntry(index, storageType));
        if (!pb.IsEOF()) {
            pb.MoveFirst();
            pb.Delete();
        }
        pb.Close();
        return true;
    } catch (const CDaoException& e) {
        DEBUG_LOG(LEVEL_ST, "%s ", e.Description().c_str());
        error = e.Description();
        CloseQuietly(pb);
        return false;
    }
}

namespace {
// Why a write or a change of an entry is refused before the modem is asked;
// empty when it may go ahead.
std::string EntryRefusal(int storageType, const std::string& number)
{
    if (storageType != kPbookMemory && storageType != kPbookRuim)
        return "unknown phonebook";
    const DialCheck dc = CheckDialString(number);
    if (dc != DialCheck::Ok)
        return DialCheckText(dc);
    if (number.empty())
        return "empty number";
    return {};
}
} // namespace

CPbookEngine::Change CPbookEngine::WriteEntry(int storageType, int index, const std::string& name,
                                              const std::string& number)
{
    Change c;
    c.refusal = EntryRefusal(storageType, number);
    if (!c.refusal.empty())
        return c;
    if (index <= 0) {
        // A table that cannot be read must not pass for an empty one: index
        // 1 would overwrite the modem's first entry.
        index = FreeIndex(storageType, c.dbError);
        if (index <= 0) {
            c.result = DM_RESULT_DB_ERROR;
            c.beforeModem = true;
            return c;
        }
    }
    PbRecord rec;
    if (!MakePbWriteRecord(storageType, uint32_t(index), name, number, rec)) {
        c.refusal = "number too long";
        return c;
    }
    c.result = m_engine.DmSubRequest(DM_PBOOK_WRITE, reinterpret_cast<uintptr_t>(&rec), false);
    if (c.result == DM_PBOOK_WRITE) {
        std::string stored = number;
        for (char& ch : stored)
            ch = char(std::tolower(static_cast<unsigned char>(ch)));
        if (!StoreTableRow(storageType, index, DecodePbName(rec.name.data(), rec.name.size()), stored,
                           c.dbError)) {
            c.result = DM_RESULT_DB_ERROR;
            MarkForReread(storageType);
        }
    }
    return c;
}

CPbookEngine::Change CPbookEngine::DeleteEntry(int storageType, int index)
{
    Change c;
    if (storageType != kPbookMemory && storageType != kPbookRuim) {
        c.refusal = "unknown phonebook";
        return c;
    }
    uint8_t rec5[5];
    rec5[0] = storageType == kPbookRuim ? kPbStorageRuim : kPbStorageMemory;
    for (int i = 0; i < 4; ++i)
        rec5[1 + i] = uint8_t(uint32_t(index) >> (8 * i));
    c.result = m_engine.DmSubRequest(DM_PBOOK_DEL, reinterpret_cast<uintptr_t>(rec5), false);
    if (c.result == DM_PBOOK_DEL && !DeleteTableRow(storageType, index, c.dbError)) {
        c.result = DM_RESULT_DB_ERROR;
        MarkForReread(storageType);
    }
    return c;
}

CPbookEngine::Change CPbookEngine::ModifyEntry(int storageType, int index, const std::string& name,
                                               const std::string& number)
{
    Change c;
    c.refusal = EntryRefusal(storageType, number);
    if (!c.refusal.empty())
        return c;
    // The entry as the table has it: what goes back to the modem when the
    // new write fails.
    std::string oldName, oldNumber;
    CDaoPbookDb& pb = m_db.Pbook();
    CloseQuietly(pb);
    try {
        pb.Open(CDaoPbookDb::QueryEntry(index, storageType));
        if (pb.IsEOF()) {
            pb.Close();
            c.refusal = "no such entry";
            return c;
        }
        pb.MoveFirst();
        oldName = pb.m_name;
        oldNumber = pb.m_phone_number;
        pb.Close();
    } catch (const CDaoException& e) {
        DEBUG_LOG(LEVEL_ST, "%s ", e.Description().c_str());
        CloseQuietly(pb);
        c.result = DM_RESULT_DB_ERROR;
        c.dbError = e.Description();
        c.beforeModem = true;
        return c;
    }
    PbRecord rec, old;
    if (!MakePbWriteRecord(storageType, uint32_t(index), name, number, rec)) {
        c.refusal = "number too long";
        return c;
    }
    if (!MakePbWriteRecord(storageType, uint32_t(index), oldName, oldNumber, old)) {
        c.refusal = "the stored entry cannot be written back";
        return c;
    }
    // Between the delete and the write the modem holds neither entry: the
    // record lets a later start put one back if this process dies there.
    if (!m_pending.Record({storageType, index, oldName, oldNumber, name, number}, c.dbError)) {
        DEBUG_LOG(LEVEL_ST, "%s ", c.dbError.c_str());
        c.result = DM_RESULT_DB_ERROR;
        c.beforeModem = true;
        return c;
    }
    uint8_t rec5[5];
    rec5[0] = rec.storage;
    for (int i = 0; i < 4; ++i)
        rec5[1 + i] = uint8_t(uint32_t(index) >> (8 * i));
    c.result = m_engine.DmSubRequest(DM_PBOOK_DEL, reinterpret_cast<uintptr_t>(rec5), false);
    if (c.result != DM_PBOOK_DEL) {
        // A lost answer leaves open whether the modem deleted the entry; any
        // other result means the modem still has it.
        if (c.result != DM_RESULT_EXCHANGE_FAILED)
            ForgetPending(storageType, index);
        return c;
    }
    c.result = m_engine.DmSubRequest(DM_PBOOK_WRITE, reinterpret_cast<uintptr_t>(&rec), false);
    if (c.result == DM_PBOOK_WRITE) {
        if (!StoreTableRow(storageType, index, name, number, c.dbError)) {
            c.result = DM_RESULT_DB_ERROR;
            MarkForReread(storageType);
        }
        ForgetPending(storageType, index);
        return c;
    }
    DEBUG_LOG(LEVEL_ST, "phonebook modify: write failed, writing back entry %d", index);
    c.restored = m_engine.DmSubRequest(DM_PBOOK_WRITE, reinterpret_cast<uintptr_t>(&old), false) == DM_PBOOK_WRITE;
    if (c.restored) {
        ForgetPending(storageType, index);
    } else {
        // The record stays: the next load writes the old entry back when the
        // modem has none there.
        c.lost = true;
        std::string err;
        if (!DeleteTableRow(storageType, index, err))
            MarkForReread(storageType);
    }
    return c;
}

std::vector<PbPendingChange> CPbookEngine::PendingChanges(int storageType)
{
    std::vector<PbPendingChange> out;
    std::string error;
    if (!m_pending.ForStorage(storageType, out, error))
        DEBUG_LOG(LEVEL_ST, "phonebook pending changes: %s error", error.c_str());
    return out;
}

void CPbookEngine::ForgetPending(int storageType, int index)
{
    // Failing here only means the next load looks at the entry once more.
    std::string error;
    if (!m_pending.Remove(storageType, index, error))
        DEBUG_LOG(LEVEL_ST, "phonebook pending changes: %s error", error.c_str());
}

void CPbookEngine::SettlePending(const std::vector<PbPendingChange>& pending)
{
    for (const PbPendingChange& p : pending) {
        bool present = false;
        CDaoPbookDb& pb = m_db.Pbook();
        CloseQuietly(pb);
        try {
            pb.Open(CDaoPbookDb::QueryEntry(p.index, p.storageType));
            present = !pb.IsEOF();
            pb.Close();
        } catch (const CDaoException& e) {
            DEBUG_LOG(LEVEL_ST, "%s ", e.Description().c_str());
            CloseQuietly(pb);
            continue; // looked at again at the next load
        }
        if (present) {
            // The read just brought the modem's entry into the table.
            DEBUG_LOG(LEVEL_ST, "phonebook entry %d: the change was settled on the modem", p.index);
            ForgetPending(p.storageType, p.index);
            continue;
        }
        PbRecord old;
        if (!MakePbWriteRecord(p.storageType, uint32_t(p.index), p.oldName, p.oldNumber, old)) {
            DEBUG_LOG(LEVEL_ST, "phonebook entry %d: the old entry cannot be written back", p.index);
            ForgetPending(p.storageType, p.index);
            continue;
        }
        // The engine waits in its message send: the link is ours.
        if (m_engine.DmSubRequest(DM_PBOOK_WRITE, reinterpret_cast<uintptr_t>(&old), true) != DM_PBOOK_WRITE) {
            DEBUG_LOG(LEVEL_ST, "phonebook entry %d: writing the old entry back failed", p.index);
            continue;
        }
        DEBUG_LOG(LEVEL_ST, "phonebook entry %d: the old entry was written back", p.index);
        std::string error;
        if (!StoreTableRow(p.storageType, p.index, DecodePbName(old.name.data(), old.name.size()), p.oldNumber,
                           error))
            MarkForReread(p.storageType);
        ForgetPending(p.storageType, p.index);
    }
}

void CPbookEngine::MarkForReread(int storageType)
{
    m_engine.State().m_ucPbReadDone &= uint8_t(~(storageType == kPbookRuim ? kPbReadRuim : kPbReadMemory));
}

void InstallPhonebookEngine(CDmEngine& engine, CPbookEngine& pbook)
{
    CPbookEngine* p = &pbook;
    engine.RegisterSubRequest(DM_PBOOK_READ, [p](CDmEngine&, uint16_t, uintptr_t type) {
        return p->SubRead(uint16_t(type));
    });
    engine.RegisterSubRequest(DM_PBOOK_WRITE, [p](CDmEngine&, uint16_t, uintptr_t type) {
        return p->SubWrite(reinterpret_cast<const PbRecord*>(type));
    });
    engine.RegisterSubRequest(DM_PBOOK_DEL, [p](CDmEngine&, uint16_t, uintptr_t type) {
        return p->SubDel(reinterpret_cast<const uint8_t*>(type));
    });
    engine.RegisterSubRequest(DM_PBOOK_DELALL, [p](CDmEngine&, uint16_t, uintptr_t type) {
        return p->SubDelAll(uint8_t(type));
    });
}

} // namespace kv
