// The cursor services: walking, the no-current-record error, finding, and
// rows added, edited and deleted through an open cursor.
#include "DbFixture.h"

#include "data/DaoPbookDb.h"
#include "data/DaoSmsDb.h"
#include "data/DaoVcallDb.h"
#include "data/DataConstants.h"

#include <sqlite3.h>

using namespace kv;
using kvtest::DbTest;

namespace {

void AddSms(CDaoSmsDb& sms, int storage, int slot, double time, const std::string& text)
{
    sms.AddNew();
    sms.m_index = SmsRowIndex(storage, slot);
    sms.m_tag_type = kSmsTagUnread;
    sms.m_time = time;
    sms.m_cb_number = "5551234";
    sms.m_new_flag = 1;
    sms.m_encoding = 2;
    sms.SetMessageText(text);
    sms.Update();
}

int ErrorOf(const std::function<void()>& fn)
{
    try {
        fn();
    } catch (const CDaoException& e) {
        return e.ErrorCode();
    }
    return 0;
}

} // namespace

TEST_F(DbTest, EmptyResultHasNoCurrentRecordAndMovingIntoItRaisesTheError)
{
    CDaoPbookDb pb;
    pb.Open(CDaoPbookDb::QueryStorage(kPbookMemory));
    EXPECT_TRUE(pb.IsOpen());
    EXPECT_TRUE(pb.IsBOF());
    EXPECT_TRUE(pb.IsEOF());
    EXPECT_EQ(ErrorOf([&] { pb.MoveFirst(); }), kDaoErrNoCurrentRecord);
    EXPECT_EQ(ErrorOf([&] { pb.MoveLast(); }), kDaoErrNoCurrentRecord);
    EXPECT_EQ(ErrorOf([&] { pb.MoveNext(); }), kDaoErrNoCurrentRecord);
    EXPECT_EQ(ErrorOf([&] { pb.Edit(); }), kDaoErrNoCurrentRecord);
    EXPECT_EQ(ErrorOf([&] { pb.Delete(); }), kDaoErrNoCurrentRecord);
    EXPECT_EQ(ErrorOf([&] { pb.Update(); }), kDaoErrUpdateWithoutEdit);
    pb.Close();
    EXPECT_FALSE(pb.IsOpen());
    EXPECT_EQ(ErrorOf([&] { pb.MoveFirst(); }), kDaoErrNotOpen);
}

TEST_F(DbTest, WalkingForwardAndBackSetsBofAndEof)
{
    AddPbook(1, 2, "Bob", "2");
    AddPbook(1, 1, "Ann", "1");
    AddPbook(1, 3, "Cid", "3");
    CDaoPbookDb pb;
    pb.Open(CDaoPbookDb::QueryStorage(1));
    EXPECT_EQ(pb.m_index, 1) << "an open positions on the first row, in index order";
    EXPECT_FALSE(pb.IsBOF());
    pb.MoveNext();
    pb.MoveNext();
    EXPECT_EQ(pb.m_name, "Cid");
    pb.MoveNext();
    EXPECT_TRUE(pb.IsEOF());
    EXPECT_EQ(ErrorOf([&] { pb.MoveNext(); }), kDaoErrNoCurrentRecord);
    pb.MovePrev();
    EXPECT_EQ(pb.m_index, 3);
    pb.MoveFirst();
    pb.MovePrev();
    EXPECT_TRUE(pb.IsBOF());
    EXPECT_EQ(ErrorOf([&] { pb.MovePrev(); }), kDaoErrNoCurrentRecord);
    pb.MoveLast();
    EXPECT_EQ(pb.m_name, "Cid");
    EXPECT_EQ(pb.GetRecordCount(), 3);
}

TEST_F(DbTest, AddEditAndDeleteThroughAnOpenCursor)
{
    AddPbook(1, 1, "Ann", "1");
    CDaoPbookDb pb;
    pb.Open(CDaoPbookDb::QueryStorage(1));
    // A row added while open joins the end of the set; the current row stays.
    pb.AddNew();
    pb.m_storage_type = 1;
    pb.m_index = 2;
    pb.m_name = "Bob";
    pb.m_phone_number = "2";
    pb.Update();
    EXPECT_EQ(pb.m_name, "Ann");
    pb.MoveLast();
    EXPECT_EQ(pb.m_name, "Bob");

    pb.Edit();
    pb.m_name = "Robert";
    pb.Update();
    EXPECT_EQ(pb.m_name, "Robert");

    // Moving away abandons an edit in progress.
    pb.Edit();
    pb.m_name = "lost";
    pb.MoveFirst();
    EXPECT_EQ(ErrorOf([&] { pb.Update(); }), kDaoErrUpdateWithoutEdit);

    pb.Delete();
    EXPECT_EQ(ErrorOf([&] { pb.Edit(); }), kDaoErrNoCurrentRecord);
    pb.MoveNext();
    EXPECT_EQ(pb.m_name, "Robert");
    pb.Close();
    EXPECT_EQ(CountRows("tealfin_pbook", "storage_type=1"), 1);
    EXPECT_EQ(CountRows("tealfin_pbook", "name='Robert'"), 1);

    // A row the store refuses (duplicate index, overlong text) raises the
    // error and leaves nothing behind.
    pb.Open();
    pb.AddNew();
    pb.m_storage_type = 1;
    pb.m_index = 2;
    EXPECT_EQ(ErrorOf([&] { pb.Update(); }), kDaoErrEngine);
    pb.AddNew();
    pb.m_storage_type = 1;
    pb.m_index = 9;
    pb.m_name = std::string(256, 'x');
    EXPECT_EQ(ErrorOf([&] { pb.Update(); }), kDaoErrEngine);
    EXPECT_EQ(CountRows("tealfin_pbook", "storage_type=1"), 1);
}

TEST_F(DbTest, SmsCursorKeepsTimeOrderFindsByIndexAndStoresFullMessages)
{
    {
        CDaoSmsDb sms;
        sms.Open();
        AddSms(sms, kSmsStoreMemory, 7, 3000, "late");
        AddSms(sms, kSmsStoreRuim, 1, 1000, "hi");
        AddSms(sms, kSmsStoreMemory, 2, 2000, std::string(300, 'z'));
    }
    EXPECT_EQ(CountRows("tealfin_sms", "length(message)=229"), 3);

    CDaoSmsDb sms;
    sms.Open(CDaoSmsDb::QueryStanding());
    EXPECT_EQ(sms.m_index, SmsRowIndex(5, 1));
    EXPECT_EQ(sms.MessageText(), "hi");
    EXPECT_EQ(sms.m_message.size(), 229u);
    sms.MoveNext();
    EXPECT_EQ(SmsSlotOf(sms.m_index), 2);
    EXPECT_EQ(sms.MessageText(), std::string(229, 'z'));

    EXPECT_TRUE(sms.FindFirst(CDaoSmsDb::FilterIndex(SmsRowIndex(6, 7))));
    EXPECT_EQ(sms.MessageText(), "late");
    sms.Edit();
    sms.m_tag_type = kSmsTagRead;
    sms.m_new_flag = 0;
    sms.Update();
    // Not found keeps the position; the Jet form of the filter works too.
    EXPECT_FALSE(sms.FindFirst(CDaoSmsDb::FilterIndex(SmsRowIndex(6, 99))));
    EXPECT_EQ(sms.MessageText(), "late");
    EXPECT_TRUE(sms.FindFirst("index = " + std::to_string(SmsRowIndex(5, 1))));
    EXPECT_EQ(sms.MessageText(), "hi");
    EXPECT_EQ(CountRows("tealfin_sms", "tag_type=1 AND new_flag=0"), 1);
    // A filter that is not a valid expression raises the error.
    EXPECT_EQ(ErrorOf([&] { sms.FindFirst("index = = 3"); }), kDaoErrSyntax);
    // A deleted row is not found again.
    sms.Delete();
    EXPECT_FALSE(sms.FindFirst(CDaoSmsDb::FilterIndex(SmsRowIndex(5, 1))));
}

TEST_F(DbTest, EveryConstantStatementOfTheProgramRunsInItsJetForm)
{
    AddPbook(1, 1, "Ann", "100");
    AddPbook(2, 1, "Bob", "200");
    const char* pbook[] = {
        "select * from tealfin_pbook where storage_type=1 order by index",
        "select * from tealfin_pbook where storage_type=2 order by index",
        "select * from tealfin_pbook where index=1 and storage_type=1",
        "select * from tealfin_pbook where index=1 and storage_type=2   order by index",
        "select * from tealfin_pbook where name like '*An*' and storage_type=1   order by index",
        "select * from tealfin_pbook where phone_number like '*10*' and storage_type=1   order by index",
        "select * from tealfin_pbook where (storage_type=1) and  ((phone_number like '*An*') or (name like '*An*')) order by index",
        "select * from tealfin_pbook where tealfin_pbook.phone_number='100'",
        "select * from tealfin_pbook where index=1 and (storage_type=1 or storage_type=999 or storage_type=888)",
        "SELECT * FROM tealfin_pbook where  storage_type=1 Order by index",
        "select * from tealfin_pbook order by index desc",
        "[tealfin_pbook]",
    };
    CDaoPbookDb pb;
    for (const char* q : pbook) {
        SCOPED_TRACE(q);
        ASSERT_NO_THROW(pb.Open(std::string(q)));
        EXPECT_GE(pb.GetRecordCount(), 1);
        pb.Close();
    }
    const char* vcall[] = {
        "select * from tealfin_vcall order by index desc",
        "select * from tealfin_vcall order by index asc",
        "select * from tealfin_vcall where index=1",
        "select * from tealfin_vcall where name like '*a*' order by index desc",
        "select * from tealfin_vcall where phone_number like '*1*' order by index desc",
        "select * from tealfin_vcall where ((phone_number like '*1*') or (name like '*a*')) order by index",
    };
    CDaoVcallDb vc;
    for (const char* q : vcall) {
        SCOPED_TRACE(q);
        EXPECT_NO_THROW(vc.Open(std::string(q)));
        vc.Close();
    }
    CDaoSmsDb sms;
    EXPECT_NO_THROW(sms.Open(std::string(kSqlSmsStanding)));
    // Statements of the wrong table, unknown columns or broken syntax raise
    // the error instead of running something else.
    EXPECT_EQ(ErrorOf([&] { pb.Open(std::string("select * from tealfin_vcall")); }), kDaoErrSyntax);
    EXPECT_EQ(ErrorOf([&] { pb.Open(std::string("select * from tealfin_pbook where nick='x'")); }), kDaoErrSyntax);
    EXPECT_EQ(ErrorOf([&] { pb.Open(std::string("select * from tealfin_pbook where name='x")); }), kDaoErrSyntax);
    EXPECT_EQ(ErrorOf([&] { pb.Open(std::string("select * from tealfin_pbook; drop table tealfin_sms")); }), kDaoErrSyntax);
    EXPECT_EQ(CountRows("tealfin_sms"), 0);
}

namespace {
void ExecSql(const std::string& path, const char* sql)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    char* err = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "");
    sqlite3_free(err);
    sqlite3_close(db);
}
} // namespace

// A row written by another program (or damaged) may hold values the
// columns' members cannot: they read as 0, never as another valid value.
TEST_F(DbTest, ColumnValuesThatDoNotFitTheirMemberReadAsZero)
{
    ExecSql(DbPath(), "INSERT INTO tealfin_pbook VALUES (1, 4294967297, 'Wrapped', '1'),"
                      " (1, '12abc', 'Text index', '2'), (-4294967295, 5, 'Type', '4')");
    CDaoPbookDb pb;
    pb.Open(CDaoQuery{kTablePbook, "name IN ('Wrapped', 'Text index', 'Type')", "name", {}, "", 0, {}});
    std::vector<std::pair<int32_t, int32_t>> got; // storage_type, index, by name
    for (; !pb.IsEOF(); pb.MoveNext())
        got.emplace_back(pb.m_storage_type, pb.m_index);
    pb.Close();
    // Ordered by name: Text index, Type, Wrapped.
    EXPECT_EQ(got, (std::vector<std::pair<int32_t, int32_t>>{{1, 0}, {0, 5}, {1, 0}}));

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(DbPath().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "PRAGMA ignore_check_constraints=1; INSERT INTO tealfin_sms VALUES "
                           "(1, 1, 0, '5', 257, 'x', zeroblob(229))",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    CDaoSmsDb sms;
    sms.Open(CDaoQuery{kTableSms, "\"index\" = 1", "", {}, "", 0, {}});
    ASSERT_FALSE(sms.IsEOF());
    EXPECT_EQ(sms.m_new_flag, 0) << "257 is no byte, and not 1 either";
    EXPECT_EQ(sms.m_encoding, 0);
    sms.Close();
}
