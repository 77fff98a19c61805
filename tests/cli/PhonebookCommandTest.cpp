// What the phonebook page does, from the command line: searching the mirror
// with the pattern characters taken literally, changing an entry through the
// modem (the old entry written back when the new one is refused), deleting
// calls one by one or all at once.
#include "CliFixture.h"


#include <sqlite3.h>

using kvtest::CliFixture;

namespace {
void Exec(const std::string& db, const std::string& sql)
{
    sqlite3* h = nullptr;
    ASSERT_EQ(sqlite3_open(db.c_str(), &h), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(h, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    sqlite3_close(h);
}
} // namespace

TEST_F(CliFixture, PhonebookSearchModifyAndHistoryDeletesAsThePageDoesThem)
{
    Exec(DbPath(), "INSERT INTO tealfin_pbook VALUES (1, 11, 'A[1]', '111'), (1, 12, 'B1', '222'), "
                   "(1, 13, 'Star*Man', '333'), (1, 14, 'Starman', '444')");
    auto r = Run({"pb", "search", "memory", "--column", "name", "["});
    EXPECT_EQ(r.out, "memory\t11\t111\tA[1]\n") << r.err;
    r = Run({"pb", "search", "memory", "*"});
    EXPECT_EQ(r.out, "memory\t13\t333\tStar*Man\n") << r.err;
    r = Run({"pb", "search", "memory", "--column", "index", ""});
    EXPECT_EQ(r.exitCode, 2);

    StartSim();
    // Alice is the card's first entry; the new entry is refused: she stays.
    ASSERT_EQ(sim->Command("pb-refuse-write ruim 1").substr(0, 2), "OK");
    r = Run({"pb", "modify", "ruim", "1", "Alicia", "6195550100"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("the old entry was written back"), std::string::npos) << r.err;
    EXPECT_NE(sim->Command("list-pb ruim").find("1:1 number=6195550199 name=Alice"), std::string::npos)
        << sim->Command("list-pb ruim");
    r = Run({"pb", "modify", "ruim", "1", "Alicia", "6195550100"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(sim->Command("list-pb ruim").find("1:1 number=6195550100 name=Alicia"), std::string::npos);
    r = Run({"pb", "modify", "ruim", "77", "Nobody", "1"});
    EXPECT_EQ(r.exitCode, 1);

    Exec(DbPath(), "INSERT INTO tealfin_vcall VALUES (1, 1, 'N', '555', '(t)', '00:00:01'), "
                   "(3, 2, 'M', '556', '(t)', '00:00:02')");
    EXPECT_EQ(Run({"history", "delete", "1"}).exitCode, 0);
    EXPECT_EQ(Run({"history", "delete", "1"}).exitCode, 1);
    r = Run({"history"});
    EXPECT_EQ(r.out.find("555\t"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("556\t"), std::string::npos) << r.out;
    EXPECT_EQ(Run({"history", "delete-all"}).exitCode, 0);
    EXPECT_EQ(Run({"history"}).out, "no calls\n");
    EXPECT_NE(settings.ReadFile("teal_dialer.ini").find("num=0"), std::string::npos);
}

namespace {
int CountRows(const std::string& db, const std::string& sql)
{
    sqlite3* h = nullptr;
    int n = -1;
    if (sqlite3_open(db.c_str(), &h) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(h, sql.c_str(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
            n = sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
    }
    sqlite3_close(h);
    return n;
}
} // namespace

// kill -9 between the modem's delete and its write: the next command that
// starts the phonebook engine puts the entry back.
TEST_F(CliFixture, AModifyKilledAfterTheDeleteIsRepairedByTheNextStart)
{
    StartSim();
    ASSERT_EQ(Run({"pb", "list", "ruim"}).exitCode, 0);
    const auto onCard = [&](const std::string& what) { return sim->Command("list-pb ruim").find(what) != std::string::npos; };
    ASSERT_TRUE(onCard("1:1 number=6195550199 name=Alice"));

    // The modem deletes the entry but its answer never comes: the command
    // waits for it, and dies there.
    ASSERT_EQ(sim->Command("pb-lose-delete ruim 1").substr(0, 2), "OK");
    const auto r = kvtest::RunCliKilledWhen(
        {"--config-dir", settings.Dir(), "pb", "modify", "ruim", "1", "Alicia", "6195550100"},
        [&] { return sim->WithModel([](kv::sim::ModemModel& m) { return m.pbRuim.entries.count(1) == 0; }); });
    ASSERT_TRUE(r.killed) << r.out << r.err;
    EXPECT_FALSE(onCard("1:1 ")) << "the crash came after the delete";
    EXPECT_EQ(CountRows(DbPath(), "SELECT count(*) FROM pb_pending"), 1);

    // Any start of the phonebook engine settles it: the old entry goes back.
    const auto list = RunJson({"pb", "list", "ruim"});
    EXPECT_TRUE(onCard("1:1 number=6195550199 name=Alice")) << sim->Command("list-pb ruim");
    bool listed = false;
    for (const auto& e : list["entries"])
        listed = listed || (e["index"] == 1 && e["name"] == "Alice");
    EXPECT_TRUE(listed) << list.dump();
    EXPECT_EQ(CountRows(DbPath(), "SELECT count(*) FROM pb_pending"), 0);

    // A change that runs through leaves nothing behind.
    EXPECT_EQ(Run({"pb", "modify", "ruim", "1", "Alicia", "6195550100"}).exitCode, 0);
    EXPECT_TRUE(onCard("1:1 number=6195550100 name=Alicia"));
    EXPECT_EQ(CountRows(DbPath(), "SELECT count(*) FROM pb_pending"), 0);
    EXPECT_EQ(CountRows(DbPath(), "SELECT count(*) FROM tealfin_pbook WHERE storage_type=2 AND \"index\"=1"
                                  " AND name='Alicia'"),
              1);
}
