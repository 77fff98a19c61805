// Table-level operations of the application's database.
#include "DbFixture.h"

#include "data/AppDatabase.h"
#include "data/DataConstants.h"
#include "data/DaoTransaction.h"
#include "settings/Profile.h"

#include <clocale>

using namespace kv;
using kvtest::DbTest;

TEST_F(DbTest, NextFreeIndexFindsTheFirstGapOfItsStorageType)
{
    CAppDatabase app;
    CDaoPbookDb& pb = app.Pbook();
    EXPECT_EQ(pb.NextFreeIndex(1), 1);
    AddPbook(2, 1, "card", "1");
    AddPbook(1, 2, "b", "2");
    AddPbook(1, 3, "c", "3");
    EXPECT_EQ(pb.NextFreeIndex(1), 1) << "rows 2, 3";
    AddPbook(1, 1, "a", "1");
    EXPECT_EQ(pb.NextFreeIndex(1), 4) << "rows 1, 2, 3";
    AddPbook(1, 5, "e", "5");
    EXPECT_EQ(pb.NextFreeIndex(1), 4) << "rows 1, 2, 3, 5";
    EXPECT_EQ(pb.NextFreeIndex(2), 2);
    EXPECT_EQ(pb.NextFreeIndex(888), 4);
    // An open cursor is closed first, and the cursor is left closed.
    pb.Open(CDaoPbookDb::QueryStorage(2));
    EXPECT_EQ(pb.NextFreeIndex(1), 4);
    EXPECT_FALSE(pb.IsOpen());
}

TEST_F(DbTest, LookupNameByNumberMatchesWholeNumbersOfAnyStorage)
{
    AddPbook(1, 1, "Ann", "5551000");
    AddPbook(2, 1, "Pause", "555p12");
    CAppDatabase app;
    EXPECT_EQ(app.LookupNameByNumber("911"), "Emergency") << "protected rows take part";
    EXPECT_EQ(app.LookupNameByNumber("5551000"), "Ann");
    EXPECT_EQ(app.LookupNameByNumber("555P12"), "Pause");
    EXPECT_EQ(app.LookupNameByNumber("555100"), "") << "no partial matches";
    EXPECT_EQ(app.LookupNameByNumber(""), "");
    EXPECT_FALSE(app.Pbook().IsOpen());
}

TEST_F(DbTest, WipeRemovesTheModemsRowsAndKeepsTheProtectedOnes)
{
    for (int i = 1; i <= 30; ++i) {
        AddPbook(1, i, "m" + std::to_string(i), std::to_string(i));
        AddPbook(2, i, "r" + std::to_string(i), std::to_string(100 + i));
    }
    CAppDatabase app;
    app.Pbook().Open(CDaoPbookDb::QueryStorage(1)); // busy cursor is closed first
    EXPECT_TRUE(app.WipePhonebook());
    EXPECT_FALSE(app.Pbook().IsOpen());
    EXPECT_EQ(CountRows("tealfin_pbook", "storage_type IN (1,2)"), 0);
    EXPECT_EQ(CountRows("tealfin_pbook", "storage_type IN (888,999)"), 4);
    EXPECT_EQ(app.LookupNameByNumber("911"), "Emergency");
}

TEST_F(DbTest, ClearingOneStorageTypeBeforeItsReadLeavesTheOthers)
{
    for (int i = 1; i <= 5; ++i) {
        AddPbook(1, i, "m", std::to_string(i));
        AddPbook(2, i, "r", std::to_string(i));
    }
    CAppDatabase app;
    EXPECT_TRUE(app.ClearPhonebookStorage(2));
    EXPECT_EQ(CountRows("tealfin_pbook", "storage_type=2"), 0);
    EXPECT_EQ(CountRows("tealfin_pbook", "storage_type=1"), 5);
    EXPECT_FALSE(app.ClearPhonebookStorage(888));
    EXPECT_FALSE(app.ClearPhonebookStorage(999));
    EXPECT_EQ(CountRows("tealfin_pbook", "storage_type IN (888,999)"), 4);
    // A reread of the same entries fits again without duplicates.
    for (int i = 1; i <= 5; ++i)
        AddPbook(2, i, "r", std::to_string(i));
    EXPECT_EQ(CountRows("tealfin_pbook", "storage_type=2"), 5);
}

TEST_F(DbTest, CallRecordTakesTheNextHistoryNumberAndFormatsItsTimes)
{
    std::setlocale(LC_TIME, "C");
    ASSERT_TRUE(WriteProfileString("history_num", "num", "41", "teal_dialer.ini"));
    std::tm start{};
    start.tm_year = 2024 - 1900;
    start.tm_mon = 2;
    start.tm_mday = 5;
    start.tm_hour = 9;
    start.tm_min = 7;
    start.tm_isdst = -1;
    CAppDatabase app;
    ASSERT_TRUE(app.AppendCallRecord(kCallMissed, "", "Caller", start, 3723));
    EXPECT_EQ(GetProfileString("history_num", "num", "", 16, "teal_dialer.ini"), "42");
    EXPECT_FALSE(app.Vcall().IsOpen());

    CDaoVcallDb& vc = app.Vcall();
    vc.Open(CDaoVcallDb::QueryNewestFirst());
    EXPECT_EQ(vc.m_index, 42);
    EXPECT_EQ(vc.m_storage_type, kCallMissed);
    EXPECT_EQ(vc.m_phone_number, "Unknown");
    EXPECT_EQ(vc.m_name, "Caller");
    EXPECT_EQ(vc.m_time, "(2024/03/05/Tuesday-09:07)");
    EXPECT_EQ(vc.m_call_time, "01:02:03");
    vc.Close();

    // Without the key the numbering starts at 1.
    ASSERT_TRUE(DeleteProfileKey("history_num", "num", "teal_dialer.ini"));
    ASSERT_TRUE(app.AppendCallRecord(kCallOutgoing, "5551000", "", start, 0));
    EXPECT_EQ(GetProfileString("history_num", "num", "", 16, "teal_dialer.ini"), "1");
    EXPECT_EQ(CountRows("tealfin_vcall"), 2);
}

TEST_F(DbTest, SmsCursorStaysOpenOnItsStandingQueryAndReopensInTimeOrder)
{
    CAppDatabase app;
    ASSERT_TRUE(app.EnsureSmsCursor());
    CDaoSmsDb& sms = app.Sms();
    EXPECT_TRUE(sms.IsEOF());
    for (int slot : {3, 1, 2}) {
        sms.AddNew();
        sms.m_index = SmsRowIndex(kSmsStoreMemory, slot);
        sms.m_time = 100.0 * (4 - slot);
        sms.m_new_flag = 1;
        sms.Update();
    }
    // Rows added during a pass are reachable at once, in the order added...
    sms.MoveFirst();
    EXPECT_EQ(SmsSlotOf(sms.m_index), 3);
    // ... and after the reopen in time order.
    ASSERT_TRUE(app.OpenSmsCursor());
    std::vector<int> slots;
    for (sms.MoveFirst(); !sms.IsEOF(); sms.MoveNext())
        slots.push_back(SmsSlotOf(sms.m_index));
    EXPECT_EQ(slots, (std::vector<int>{3, 2, 1}));
    EXPECT_EQ(CountRows("tealfin_sms", "length(message)=229"), 3);
    EXPECT_TRUE(app.EnsureSmsCursor());
    app.CloseSmsCursor();
    EXPECT_FALSE(sms.IsOpen());
}

// A transaction left by any way but its commit takes its rows with it, and
// the connection can begin the next one (a commit that failed included).
TEST_F(DbTest, TransactionNotCommittedIsRolledBackAndTheNextOneBegins)
{
    CAppDatabase app;
    CDaoPbookDb& pb = app.Pbook();
    const auto rows = [&] {
        int n = 0;
        pb.Open(CDaoPbookDb::QueryStorage(1));
        for (; !pb.IsEOF(); pb.MoveNext())
            ++n;
        pb.Close();
        return n;
    };
    const auto add = [&](int index) {
        pb.Open(CDaoPbookDb::QueryStorage(1));
        pb.AddNew();
        pb.m_index = index;
        pb.m_storage_type = 1;
        pb.m_name = "n" + std::to_string(index);
        pb.m_phone_number = std::to_string(index);
        pb.Update();
        pb.Close();
    };
    const int before = rows();
    EXPECT_THROW(
        {
            CDaoTransaction tx(pb);
            tx.Begin();
            add(1);
            throw std::runtime_error("not the database's");
        },
        std::runtime_error);
    EXPECT_EQ(rows(), before);
    {
        CDaoTransaction tx(pb);
        tx.Begin();
        add(2);
        tx.RollbackQuietly();
        tx.RollbackQuietly(); // once only
    }
    EXPECT_EQ(rows(), before);
    {
        CDaoTransaction tx(pb);
        tx.Begin();
        add(3);
        tx.Commit();
    }
    EXPECT_EQ(rows(), before + 1);
}
