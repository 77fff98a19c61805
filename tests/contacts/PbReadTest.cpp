// The phonebook read, write and delete against a scripted modem whose read
// cursor moves on with every read request it receives, answered or not.
#include "SimFixture.h"

#include "contacts/PbookEngine.h"
#include "contacts/PbTexts.h"
#include "data/DataConstants.h"
#include "host/HeadlessHost.h"

using namespace kv;

namespace {

class ScriptedBook {
public:
    explicit ScriptedBook(int entries)
    {
        for (int i = 1; i <= entries; ++i) {
            PbRecord r;
            r.index = uint32_t(i);
            r.number = "555" + std::to_string(1000 + i);
            r.numberLength = uint8_t(r.number.size());
            const std::string name = "N" + std::to_string(i);
            std::copy(name.begin(), name.end(), r.name.begin());
            m_entries.push_back(r);
        }
    }

    std::vector<uint8_t> Answer(const DiagRequest& req)
    {
        const uint16_t sub = req.SubCommand();
        if (sub == KVA_SUB_PB_INIT) {
            if (m_failInfo)
                return {};
            if (m_rewind)
                m_cursor = 0;
            PbInfoReply r;
            r.maxRecord = m_capacity;
            r.recordInUse = m_inUse >= 0 ? uint16_t(m_inUse) : uint16_t(m_entries.size());
            r.pbLen = 65;
            return EncodePbInfoReply(r);
        }
        if (sub == KVA_SUB_PB_READ) {
            const size_t count = req.bytes[pb_layout::kReadCount];
            m_counts.push_back(int(count));
            PbReadReply r;
            for (size_t i = 0; i < count; ++i) {
                PbRecord rec;
                if (m_cursor < m_entries.size())
                    rec = m_entries[m_cursor];
                else
                    rec.storage = 1;
                if (m_skipStatusAt == m_cursor)
                    rec.storage = 1;
                ++m_cursor;
                r.records.push_back(rec);
            }
            // Without a rewind the modem starts over after its last entry
            // (unless it never does).
            if (!m_rewind && m_wrap && m_cursor >= m_entries.size())
                m_cursor = 0;
            // The request was taken (the cursor moved), but the answer is lost.
            if (m_dropReads > 0 || m_dropAll) {
                --m_dropReads;
                return {};
            }
            return EncodePbReadReply(r);
        }
        return EncodeVendorResultReply(KVA_CMD_PBOOK, sub, m_result);
    }

    std::vector<PbRecord> m_entries;
    size_t m_cursor = 0;
    std::vector<int> m_counts;
    int m_dropReads = 0;
    bool m_dropAll = false;
    bool m_failInfo = false;
    size_t m_skipStatusAt = size_t(-1);
    uint16_t m_result = 0;
    bool m_rewind = true; // the information request starts the read over
    bool m_wrap = true;   // (no rewind) reads start over after the last entry
    int m_inUse = -1;     // reported instead of the number of entries
    uint16_t m_capacity = 250;
};

} // namespace

class PbRead : public kvtest::SimFixture {
protected:
    void Make(int entries)
    {
        m_book = std::make_unique<ScriptedBook>(entries);
        m_link = std::make_unique<kvtest::ScriptLink>([this](const DiagRequest& r) { return m_book->Answer(r); });
        m_engine = std::make_unique<CDmEngine>(m_host, *m_link);
        m_db = std::make_unique<CAppDatabase>(DbPath());
        m_pb = std::make_unique<CPbookEngine>(*m_engine, *m_db);
        InstallPhonebookEngine(*m_engine, *m_pb);
        m_host.State().m_wPbRuimUsed = uint16_t(entries);
        m_host.State().m_wPbMemoryUsed = uint16_t(entries);
    }
    CHeadlessHost m_host;
    std::unique_ptr<ScriptedBook> m_book;
    std::unique_ptr<kvtest::ScriptLink> m_link;
    std::unique_ptr<CDmEngine> m_engine;
    std::unique_ptr<CAppDatabase> m_db;
    std::unique_ptr<CPbookEngine> m_pb;
};

TEST_F(PbRead, TwentyFiveEntriesComeInBatchesOfTenTenAndFive)
{
    Make(25);
    EXPECT_EQ(m_pb->SubRead(kPbWordRuim), DM_PBOOK_READ);
    EXPECT_EQ(m_book->m_counts, (std::vector<int>{10, 10, 5}));
    EXPECT_EQ(Count("tealfin_pbook", "storage_type=2"), 25);
    EXPECT_EQ(Count("tealfin_pbook", "storage_type=2 AND \"index\"=7 AND name='N7' AND phone_number='5551007'"), 1);
}

TEST_F(PbRead, AnEntryWithAReadStatusIsSkippedAndTheOthersStored)
{
    Make(7);
    m_book->m_skipStatusAt = 3;
    EXPECT_EQ(m_pb->SubRead(kPbWordMemory), DM_PBOOK_READ);
    EXPECT_EQ(m_book->m_counts, (std::vector<int>{7}));
    EXPECT_EQ(Count("tealfin_pbook", "storage_type=1"), 6);
    EXPECT_EQ(Count("tealfin_pbook", "storage_type=1 AND \"index\"=4"), 0);
}

TEST_F(PbRead, ALostBatchIsReadAgainWithoutGapsOrDuplicates)
{
    Make(25);
    // The second batch is taken by the modem but its answer never arrives.
    m_book->m_dropReads = 0;
    int reads = 0;
    m_link = std::make_unique<kvtest::ScriptLink>([this, &reads](const DiagRequest& r) {
        if (r.SubCommand() == KVA_SUB_PB_READ && ++reads == 2)
            m_book->m_dropReads = 1;
        return m_book->Answer(r);
    });
    m_engine = std::make_unique<CDmEngine>(m_host, *m_link);
    m_pb = std::make_unique<CPbookEngine>(*m_engine, *m_db);
    EXPECT_EQ(m_pb->SubRead(kPbWordRuim), DM_PBOOK_READ);
    EXPECT_EQ(Count("tealfin_pbook", "storage_type=2"), 25);
    EXPECT_EQ(Count("(SELECT DISTINCT \"index\" FROM tealfin_pbook WHERE storage_type=2)"), 25);
}

TEST_F(PbRead, AReadThatKeepsFailingEndsWithTheFailureAndKeepsTheOldRows)
{
    Sql("INSERT INTO tealfin_pbook VALUES (2, 1, 'Old', '111')");
    Make(25);
    m_book->m_dropAll = true;
    EXPECT_EQ(m_pb->SubRead(kPbWordRuim), DM_RESULT_EXCHANGE_FAILED);
    EXPECT_LE(m_book->m_counts.size(), size_t(kPbReadMaxFailures));
    EXPECT_EQ(Count("tealfin_pbook", "storage_type=2"), 1);
    EXPECT_EQ(Count("tealfin_pbook", "name='Old'"), 1);
}

TEST_F(PbRead, OldRowsOfTheStorageAreReplacedOthersKept)
{
    Sql("INSERT INTO tealfin_pbook VALUES (2, 1, 'Stale', '111')");
    Sql("INSERT INTO tealfin_pbook VALUES (2, 40, 'Gone', '222')");
    Sql("INSERT INTO tealfin_pbook VALUES (1, 1, 'Mem', '333')");
    const int protectedRows = Count("tealfin_pbook", "storage_type IN (888, 999)");
    Make(3);
    EXPECT_EQ(m_pb->SubRead(kPbWordRuim), DM_PBOOK_READ);
    m_book->m_cursor = 0; // as the information request before every read does
    EXPECT_EQ(m_pb->SubRead(kPbWordRuim), DM_PBOOK_READ); // again: no duplicates
    EXPECT_EQ(Count("tealfin_pbook", "storage_type=2"), 3);
    EXPECT_EQ(Count("tealfin_pbook", "name IN ('Stale', 'Gone')"), 0);
    EXPECT_EQ(Count("tealfin_pbook", "storage_type=1"), 1);
    EXPECT_EQ(Count("tealfin_pbook", "storage_type IN (888, 999)"), protectedRows);
}

TEST_F(PbRead, WriteDeleteAndDeleteAllReportARefusal)
{
    Make(0);
    PbRecord rec;
    ASSERT_TRUE(MakePbWriteRecord(kPbookRuim, 3, "Bob", "5551234", rec));
    EXPECT_EQ(m_pb->SubWrite(&rec), DM_PBOOK_WRITE);
    EXPECT_EQ(m_pb->SubWrite(nullptr), DM_RESULT_BAD_ARGUMENT);
    const uint8_t del[5] = {kPbStorageRuim, 3, 0, 0, 0};
    EXPECT_EQ(m_pb->SubDel(del), DM_PBOOK_DEL);
    EXPECT_EQ(m_pb->SubDel(nullptr), DM_RESULT_BAD_ARGUMENT);
    EXPECT_EQ(m_pb->SubDelAll(kPbStorageRuim), DM_PBOOK_DELALL);
    // The write request carries 42 + name length bytes and the record.
    ASSERT_GE(m_link->m_requests.size(), 1u);
    EXPECT_EQ(m_link->m_requests[0].size(), 42u + 3u);

    m_book->m_result = 0x12;
    EXPECT_EQ(m_pb->SubWrite(&rec), DM_RESULT_MODEM_REFUSED);
    EXPECT_EQ(m_pb->SubDel(del), DM_RESULT_MODEM_REFUSED);
    EXPECT_EQ(m_pb->SubDelAll(kPbStorageRuim), DM_RESULT_MODEM_REFUSED);
    m_link = std::make_unique<kvtest::ScriptLink>([](const DiagRequest&) { return std::vector<uint8_t>{}; });
    m_engine = std::make_unique<CDmEngine>(m_host, *m_link);
    m_pb = std::make_unique<CPbookEngine>(*m_engine, *m_db);
    EXPECT_EQ(m_pb->SubWrite(&rec), DM_RESULT_EXCHANGE_FAILED);
}

TEST_F(PbRead, ALostBatchIsRecoveredWhetherOrNotTheModemRewinds)
{
    for (const bool rewind : {true, false}) {
        SCOPED_TRACE(rewind ? "rewinds" : "goes on");
        Sql("DELETE FROM tealfin_pbook WHERE storage_type=2");
        Make(25);
        m_book->m_rewind = rewind;
        int reads = 0;
        m_link = std::make_unique<kvtest::ScriptLink>([this, &reads](const DiagRequest& r) {
            if (r.SubCommand() == KVA_SUB_PB_READ && ++reads == 2)
                m_book->m_dropReads = 1; // taken by the modem, the answer lost
            return m_book->Answer(r);
        });
        m_engine = std::make_unique<CDmEngine>(m_host, *m_link);
        m_pb = std::make_unique<CPbookEngine>(*m_engine, *m_db);
        EXPECT_EQ(m_pb->SubRead(kPbWordRuim), DM_PBOOK_READ);
        EXPECT_EQ(Count("tealfin_pbook", "storage_type=2"), 25);
        EXPECT_EQ(Count("(SELECT DISTINCT \"index\" FROM tealfin_pbook WHERE storage_type=2)"), 25);
        EXPECT_LE(m_book->m_counts.size(), 9u);
    }
}

TEST_F(PbRead, AModemThatDoesNotRewindIsReadFromWhereAnEarlierReadLeftIt)
{
    Make(25);
    m_book->m_rewind = false;
    m_book->m_cursor = 7; // a read stopped there
    EXPECT_EQ(m_pb->SubRead(kPbWordRuim), DM_PBOOK_READ);
    EXPECT_EQ(Count("tealfin_pbook", "storage_type=2"), 25);
    EXPECT_EQ(Count("(SELECT DISTINCT \"index\" FROM tealfin_pbook WHERE storage_type=2)"), 25);
    EXPECT_LE(m_book->m_counts.size(), 5u);
}

TEST_F(PbRead, EntriesALostAnswerTookThatNeverComeBackFailTheRead)
{
    Sql("INSERT INTO tealfin_pbook VALUES (2, 1, 'Old', '111')");
    Make(25);
    m_book->m_rewind = false;
    m_book->m_wrap = false; // the second batch is gone for good
    int reads = 0;
    m_link = std::make_unique<kvtest::ScriptLink>([this, &reads](const DiagRequest& r) {
        if (r.SubCommand() == KVA_SUB_PB_READ && ++reads == 2)
            m_book->m_dropReads = 1;
        return m_book->Answer(r);
    });
    m_engine = std::make_unique<CDmEngine>(m_host, *m_link);
    m_pb = std::make_unique<CPbookEngine>(*m_engine, *m_db);
    EXPECT_EQ(m_pb->SubRead(kPbWordRuim), DM_RESULT_EXCHANGE_FAILED);
    EXPECT_LE(m_book->m_counts.size(), 12u);
    EXPECT_EQ(Count("tealfin_pbook", "storage_type=2"), 1) << "a read with a gap keeps the old rows";
}

TEST_F(PbRead, ACountAboveWhatTheModemHoldsEndsAtTheFirstBatchWithNothingNew)
{
    for (const bool rewind : {true, false}) {
        SCOPED_TRACE(rewind ? "rewinds" : "goes on");
        Sql("DELETE FROM tealfin_pbook WHERE storage_type=2");
        Make(25);
        m_book->m_rewind = rewind;
        m_host.State().m_wPbRuimUsed = 65535;
        m_host.State().m_wPbRuimMax = 65535;
        EXPECT_EQ(m_pb->SubRead(kPbWordRuim), DM_PBOOK_READ);
        EXPECT_EQ(Count("tealfin_pbook", "storage_type=2"), 25);
        EXPECT_LE(m_book->m_counts.size(), 8u);
    }
    // The count is taken within the capacity the same reply reports, and
    // within what any phonebook of these modems holds.
    EXPECT_EQ(PbCountInUse(65535, 200), 200);
    EXPECT_EQ(PbCountInUse(65535, 0), kPbEntriesMax);
    EXPECT_EQ(PbCountInUse(65535, 65535), kPbEntriesMax);
    EXPECT_EQ(PbCountInUse(30, 200), 30);
}

TEST_F(PbRead, AStopBetweenBatchesEndsTheReadAndKeepsTheOldRows)
{
    Sql("INSERT INTO tealfin_pbook VALUES (1, 1, 'Old', '111')");
    Make(200);
    m_pb->SetBatchObserver([this](int position, int) {
        if (position == 20)
            m_engine->RequestStop();
    });
    EXPECT_EQ(m_pb->SubRead(kPbWordMemory), DM_RESULT_EXCHANGE_FAILED);
    EXPECT_EQ(m_book->m_counts.size(), 2u) << "no exchange after the stop";
    EXPECT_EQ(Count("tealfin_pbook", "storage_type=1"), 1);
    EXPECT_EQ(Count("tealfin_pbook", "name='Old'"), 1);

    // The owner's own stop condition (a deadline, a signal) is asked too,
    // and so is an end queued for the engine.
    auto fresh = [this] {
        m_book->m_counts.clear();
        m_book->m_cursor = 0;
        m_engine = std::make_unique<CDmEngine>(m_host, *m_link);
        m_pb = std::make_unique<CPbookEngine>(*m_engine, *m_db);
    };
    fresh();
    bool late = false;
    m_engine->SetStopCheck([&] { return late; });
    m_pb->SetBatchObserver([&](int position, int) { late = position >= 30; });
    EXPECT_EQ(m_pb->SubRead(kPbWordMemory), DM_RESULT_EXCHANGE_FAILED);
    EXPECT_EQ(m_book->m_counts.size(), 3u);

    fresh();
    m_pb->SetBatchObserver([this](int position, int) {
        if (position == 10)
            m_host.State().m_DmRequests.Push(DM_DEVICE_NULL, true);
    });
    EXPECT_EQ(m_pb->SubRead(kPbWordMemory), DM_RESULT_EXCHANGE_FAILED);
    EXPECT_EQ(m_book->m_counts.size(), 1u);
    m_host.State().m_DmRequests.Clear();
    EXPECT_EQ(Count("tealfin_pbook", "storage_type=1"), 1);
}
