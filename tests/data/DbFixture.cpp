#include "DbFixture.h"

#include "data/DaoPbookDb.h"

#include <sqlite3.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kvtest {

void DbTest::SetUp()
{
    m_dir = MakeTempDir("kvdb");
    WriteFileBytes(DbPath(), ReadFileBytes(KORVIA_BUILT_DB));
    ASSERT_FALSE(ReadFileBytes(DbPath()).empty()) << "the build did not produce " << KORVIA_BUILT_DB;
    setenv("KORVIANET_DB", DbPath().c_str(), 1);
}

void DbTest::TearDown()
{
    unsetenv("KORVIANET_DB");
    chmod(m_dir.c_str(), 0700);
    RemoveTree(m_dir);
}

void DbTest::AddPbook(int type, int index, const std::string& name, const std::string& number)
{
    kv::CDaoPbookDb db(DbPath());
    db.Open();
    db.AddNew();
    db.m_storage_type = type;
    db.m_index = index;
    db.m_name = name;
    db.m_phone_number = number;
    db.Update();
    db.Close();
}

int DbTest::CountRows(const char* table, const char* where)
{
    sqlite3* db = nullptr;
    int n = -1;
    if (sqlite3_open_v2(DbPath().c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        std::string sql = std::string("SELECT count(*) FROM ") + table + " WHERE " + where;
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
            n = sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return n;
}

bool RunUnprivileged(const std::function<bool()>& fn)
{
    pid_t pid = fork();
    if (pid == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(3);
        _exit(fn() ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace kvtest
