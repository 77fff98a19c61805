// The database file: what the build supplies, and what happens when the file
// is missing, read-only, unreadable, corrupt, or its writer is killed.
#include "DbFixture.h"

#include "data/AppDatabase.h"
#include "data/DbPath.h"

#include <sqlite3.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kv;
using kvtest::DbTest;

namespace {

std::vector<std::pair<std::string, std::string>> ColumnsOf(sqlite3* db, const std::string& table)
{
    std::vector<std::pair<std::string, std::string>> cols;
    sqlite3_stmt* st = nullptr;
    std::string sql = "PRAGMA table_info(" + table + ")";
    sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
    while (sqlite3_step(st) == SQLITE_ROW)
        cols.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)),
                          reinterpret_cast<const char*>(sqlite3_column_text(st, 2)));
    sqlite3_finalize(st);
    return cols;
}

std::tm SomeStart()
{
    std::tm t{};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 5;
    t.tm_hour = 9;
    t.tm_min = 7;
    return t;
}

} // namespace

TEST_F(DbTest, SuppliedFileHasTheThreeTablesInBindingOrderAndTheProtectedRows)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(DbPath().c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    using C = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(ColumnsOf(db, "tealfin_pbook"),
              (C{{"storage_type", "INTEGER"}, {"index", "INTEGER"}, {"name", "TEXT"}, {"phone_number", "TEXT"}}));
    EXPECT_EQ(ColumnsOf(db, "tealfin_sms"),
              (C{{"index", "INTEGER"}, {"tag_type", "REAL"}, {"time", "REAL"}, {"cb_number", "TEXT"},
                 {"new_flag", "INTEGER"}, {"encoding", "INTEGER"}, {"message", "BLOB"}}));
    EXPECT_EQ(ColumnsOf(db, "tealfin_vcall"),
              (C{{"storage_type", "INTEGER"}, {"index", "INTEGER"}, {"name", "TEXT"}, {"phone_number", "TEXT"},
                 {"time", "TEXT"}, {"call_time", "TEXT"}}));
    sqlite3_close(db);
    EXPECT_GT(CountRows("tealfin_pbook", "storage_type=888"), 0);
    EXPECT_GT(CountRows("tealfin_pbook", "storage_type=999"), 0);
    EXPECT_EQ(CountRows("tealfin_pbook", "storage_type IN (1,2)"), 0);
    EXPECT_EQ(CountRows("tealfin_sms"), 0);
    EXPECT_EQ(CountRows("tealfin_vcall"), 0);
}

TEST_F(DbTest, PathComesFromTheOverrideOrTheUserDataFolder)
{
    EXPECT_EQ(DatabasePath(), DbPath());
    unsetenv("KORVIANET_DB");
    EXPECT_EQ(DatabasePath(), m_cfg.DataDir() + "/WVL.MDB");
}

TEST_F(DbTest, MissingFileMakesEveryOpenFailAndIsNeverCreated)
{
    const std::string missing = m_dir + "/nowhere/WVL.MDB";
    CAppDatabase app(missing);
    EXPECT_THROW(app.Pbook().Open(), CDaoException);
    EXPECT_THROW(app.Vcall().Open(CDaoVcallDb::QueryNewestFirst()), CDaoException);
    EXPECT_FALSE(app.OpenSmsCursor());
    EXPECT_FALSE(app.Sms().IsOpen());
    EXPECT_EQ(app.LookupNameByNumber("911"), "");
    EXPECT_EQ(app.Pbook().NextFreeIndex(1), 1);
    EXPECT_FALSE(app.WipePhonebook());
    EXPECT_FALSE(app.AppendCallRecord(1, "123", "", SomeStart(), 5));
    EXPECT_FALSE(app.Pbook().IsOpen());
    EXPECT_FALSE(app.Vcall().IsOpen());

    std::remove(DbPath().c_str());
    CAppDatabase same(DbPath());
    EXPECT_FALSE(same.OpenSmsCursor());
    struct stat st {};
    EXPECT_NE(stat(DbPath().c_str(), &st), 0) << "opening must not create an empty database";
}

TEST_F(DbTest, CorruptFileFailsEveryOpenAndIsLeftAsItWas)
{
    std::string garbage;
    for (int i = 0; i < 8192; ++i)
        garbage += static_cast<char>((i * 7919) & 0xFF);
    kvtest::WriteFileBytes(DbPath(), garbage);

    CAppDatabase app;
    try {
        app.Pbook().Open();
        FAIL() << "a corrupt file opened";
    } catch (const CDaoException& e) {
        EXPECT_FALSE(e.Description().empty());
    }
    EXPECT_FALSE(app.OpenSmsCursor());
    EXPECT_EQ(app.LookupNameByNumber("911"), "");
    EXPECT_FALSE(app.AppendCallRecord(2, "555", "x", SomeStart(), 1));
    EXPECT_FALSE(app.WipePhonebook());
    EXPECT_EQ(kvtest::ReadFileBytes(DbPath()), garbage);

    // A truncated real database (half its pages) fails as well.
    std::string real = kvtest::ReadFileBytes(KORVIA_BUILT_DB);
    kvtest::WriteFileBytes(DbPath(), real.substr(0, 100));
    CAppDatabase cut;
    EXPECT_THROW(cut.Pbook().Open(), CDaoException);
}

TEST_F(DbTest, ReadOnlyFileStillListsButEveryWriteFailsWithoutDamage)
{
    AddPbook(1, 1, "Ann", "100");
    chmod(DbPath().c_str(), 0444);
    chmod(m_dir.c_str(), 0755);
    const std::string before = kvtest::ReadFileBytes(DbPath());
    const std::string path = DbPath();
    EXPECT_TRUE(kvtest::RunUnprivileged([&] {
        CAppDatabase app(path);
        if (app.LookupNameByNumber("100") != "Ann" || !app.OpenSmsCursor())
            return false;
        CDaoPbookDb& pb = app.Pbook();
        try {
            pb.Open(CDaoPbookDb::QueryStorage(1));
            pb.AddNew();
            pb.m_storage_type = 1;
            pb.m_index = 2;
            pb.Update();
            return false; // a write succeeded on a read-only file
        } catch (const CDaoException&) {
        }
        pb.Close();
        return !app.WipePhonebook() && !app.AppendCallRecord(1, "1", "", std::tm{}, 0);
    }));
    EXPECT_EQ(kvtest::ReadFileBytes(DbPath()), before);
}

TEST_F(DbTest, UnreadableFileFailsEveryOpen)
{
    chmod(DbPath().c_str(), 0000);
    chmod(m_dir.c_str(), 0755);
    const std::string path = DbPath();
    EXPECT_TRUE(kvtest::RunUnprivileged([&] {
        CAppDatabase app(path);
        try {
            app.Vcall().Open();
            return false;
        } catch (const CDaoException&) {
        }
        return !app.OpenSmsCursor() && app.LookupNameByNumber("911").empty();
    }));
}

// A writer killed in the middle of its work leaves a sound file holding
// every transaction it committed, and nothing of the one it was in.
TEST_F(DbTest, KilledWriterLeavesEveryCommittedRowAndAConsistentFile)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const std::string path = DbPath();
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        try {
        CDaoPbookDb pb(path);
        int index = 1;
        for (int batch = 0;; ++batch) {
            pb.BeginTrans();
            pb.Open(CDaoPbookDb::QueryEntry(-1, 1));
            for (int k = 0; k < 10; ++k) {
                pb.AddNew();
                pb.m_storage_type = 1;
                pb.m_index = index++;
                pb.m_name = "Entry " + std::to_string(index);
                pb.m_phone_number = std::to_string(5550000 + index);
                pb.Update();
            }
            pb.CommitTrans();
            int done = batch + 1;
            if (write(fds[1], &done, sizeof done) != sizeof done)
                _exit(1);
        }
        } catch (...) {
        }
        _exit(2);
    }
    close(fds[1]);
    int committed = 0, got = 0;
    // Let it commit a good number of batches, then kill it mid-flight.
    while (committed < 40 && read(fds[0], &got, sizeof got) == sizeof got)
        committed = got;
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    while (read(fds[0], &got, sizeof got) == sizeof got)
        committed = got;
    close(fds[0]);
    ASSERT_TRUE(WIFSIGNALED(status));

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(DbPath().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "ok");
    sqlite3_finalize(st);
    sqlite3_close(db);

    const int rows = CountRows("tealfin_pbook", "storage_type=1");
    EXPECT_GE(rows, committed * 10);
    EXPECT_EQ(rows % 10, 0) << "a half-written batch survived";
    EXPECT_EQ(CountRows("tealfin_pbook", "storage_type=888") + CountRows("tealfin_pbook", "storage_type=999"), 4);
    // And the program reads it as usual.
    CAppDatabase app;
    EXPECT_EQ(app.Pbook().NextFreeIndex(1), rows + 1);
}
