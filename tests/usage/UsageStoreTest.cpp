// The usage tables in the user's database: an older database gains them with
// nothing lost, the traffic file is imported once, old hours fold into days,
// and the queries group hours into local days, months and cycles.
#include "usage/UsageStore.h"

#include "UsageFixture.h"

#include <sqlite3.h>

#include <gtest/gtest.h>

using namespace kvusage;
using kvtest::UsageDbTest;
using kvtest::Local;

namespace {

// Every row of the tables the program ships, as text, in a fixed order.
std::string DumpShippedTables(const std::string& path)
{
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    std::string out;
    for (const char* table : {"tealfin_pbook", "tealfin_sms", "tealfin_vcall"}) {
        const std::string sql = std::string("SELECT * FROM ") + table + " ORDER BY rowid";
        sqlite3_stmt* st = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), SQLITE_OK) << table;
        while (sqlite3_step(st) == SQLITE_ROW) {
            out += table;
            for (int c = 0; c < sqlite3_column_count(st); ++c) {
                const unsigned char* v = sqlite3_column_text(st, c);
                out += "|" + (v ? std::string(reinterpret_cast<const char*>(v)) : std::string("NULL"));
            }
            out += "\n";
        }
        sqlite3_finalize(st);
    }
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT sql FROM sqlite_master WHERE name LIKE 'tealfin%' ORDER BY name", -1, &st, nullptr);
    while (sqlite3_step(st) == SQLITE_ROW)
        out += reinterpret_cast<const char*>(sqlite3_column_text(st, 0)) + std::string("\n");
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
}

void Exec(const std::string& path, const char* sql)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    char* err = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "");
    sqlite3_free(err);
    sqlite3_close(db);
}

} // namespace

TEST_F(UsageDbTest, AnOlderDatabaseGainsTheTablesAndKeepsEveryRow)
{
    Exec(m_db, "INSERT INTO tealfin_pbook (name, phone_number, storage_type, \"index\") VALUES ('Ann', '555', 1, 3);"
               "INSERT INTO tealfin_vcall (storage_type, \"index\", name, phone_number) VALUES (2, 1, 'Ann', '555');");
    const std::string before = DumpShippedTables(m_db);
    ASSERT_NE(before.find("Ann"), std::string::npos);
    {
        CUsageStore store;
        ASSERT_TRUE(store.Open(m_db)) << store.Error();
        EXPECT_TRUE(store.AddTraffic(Local(2025, 3, 1, 10, 30), 100, 20, 60));
    }
    {
        CUsageStore again; // a second start finds the tables and the row
        ASSERT_TRUE(again.Open(m_db)) << again.Error();
        UsageRow sum;
        ASSERT_TRUE(again.Sum(Span{Local(2025, 3, 1), Local(2025, 3, 2)}, sum));
        EXPECT_EQ(sum.rx, 100u);
    }
    EXPECT_EQ(DumpShippedTables(m_db), before);
}

TEST_F(UsageDbTest, AMissingDatabaseIsAnErrorNeverANewFile)
{
    CUsageStore store;
    EXPECT_FALSE(store.Open(m_settings.Path("none.mdb")));
    EXPECT_FALSE(store.Error().empty());
    EXPECT_TRUE(kvtest::ReadFileBytes(m_settings.Path("none.mdb")).empty());
    EXPECT_FALSE(store.AddTraffic(0, 1, 1, 1));
}

TEST_F(UsageDbTest, TheTrafficFileIsImportedOnceAtEachRecordsEndTime)
{
    const std::string file = m_settings.Path("PktFF.dat");
    const int64_t t1 = Local(2025, 1, 31, 23, 59, 59), t2 = Local(2025, 2, 1, 0, 0, 0);
    // Two whole records and a torn tail.
    kvtest::WriteFileBytes(file, kvtest::RecordBytes(t1, 90000, 10, 1000) + kvtest::RecordBytes(t2, 5000, 7, 70)
                                     + std::string(11, '\x01'));
    CUsageStore store;
    ASSERT_TRUE(store.Open(m_db));
    int n = -1;
    ASSERT_TRUE(store.ImportTrafficFileOnce(file, &n)) << store.Error();
    EXPECT_EQ(n, 2);
    EXPECT_TRUE(store.ImportDone());
    kvtest::WriteFileBytes(file, kvtest::RecordBytes(t1, 1, 1, 1) + kvtest::RecordBytes(t2, 1, 1, 1)
                                     + kvtest::RecordBytes(t2, 1, 1, 1));
    ASSERT_TRUE(store.ImportTrafficFileOnce(file, &n));
    EXPECT_EQ(n, 0);
    std::vector<UsageRow> months;
    ASSERT_TRUE(store.Monthly(Local(2025, 1, 1), Local(2025, 3, 1), months));
    ASSERT_EQ(months.size(), 2u); // the record at 00:00:00 on the 1st counts for February
    EXPECT_EQ(months[0].rx, 1000u);
    EXPECT_EQ(months[0].tx, 10u);
    EXPECT_EQ(months[0].seconds, 90u);
    EXPECT_EQ(months[1].rx, 70u);
}

TEST_F(UsageDbTest, NoTrafficFileStillMarksTheImportDone)
{
    CUsageStore store;
    ASSERT_TRUE(store.Open(m_db));
    int n = -1;
    ASSERT_TRUE(store.ImportTrafficFileOnce(m_settings.Path("absent.dat"), &n));
    EXPECT_EQ(n, 0);
    EXPECT_TRUE(store.ImportDone());
}

TEST_F(UsageDbTest, HoursGroupIntoLocalDaysAcrossAMidnightChange)
{
    kvtest::ScopedZone zone("America/Santiago");
    CUsageStore store;
    ASSERT_TRUE(store.Open(m_db));
    // 23:30 on the 7th (-04) and 01:30 on the 8th (-03): an hour of real time apart.
    const int64_t late = Local(2024, 9, 7, 23, 30), early = LocalDateStart(2024, 9, 8) + 1800;
    ASSERT_EQ(early - late, 3600);
    ASSERT_TRUE(store.AddTraffic(late, 5, 1, 10));
    ASSERT_TRUE(store.AddTraffic(early, 7, 2, 20));
    ASSERT_TRUE(store.AddTraffic(early + 60, 1, 0, 0)); // same hour grows the row
    std::vector<UsageRow> days;
    ASSERT_TRUE(store.Daily(LocalDateStart(2024, 9, 1), LocalDateStart(2024, 10, 1), days));
    ASSERT_EQ(days.size(), 2u);
    EXPECT_EQ(LocalDateText(days[0].start), "2024-09-07");
    EXPECT_EQ(days[0].rx, 5u);
    EXPECT_EQ(LocalDateText(days[1].start), "2024-09-08");
    EXPECT_EQ(days[1].rx, 8u);
    EXPECT_EQ(days[1].end - days[1].start, 23 * 3600);
    std::vector<UsageRow> cycles;
    ASSERT_TRUE(store.Cycles(LocalDateStart(2024, 8, 1), LocalDateStart(2024, 10, 1), 8, cycles));
    ASSERT_EQ(cycles.size(), 2u);
    EXPECT_EQ(cycles[0].rx, 5u);
    EXPECT_EQ(cycles[1].rx, 8u);
}

TEST_F(UsageDbTest, OldHoursFoldIntoDaysWithNothingLost)
{
    CUsageStore store;
    ASSERT_TRUE(store.Open(m_db));
    const int64_t now = Local(2026, 6, 15, 12);
    const int64_t old = Local(2023, 6, 1, 9);
    ASSERT_TRUE(store.AddTraffic(old, 100, 10, 3600));
    ASSERT_TRUE(store.AddTraffic(old + 3 * 3600, 50, 5, 1800));
    ASSERT_TRUE(store.AddTraffic(now - 3600, 1, 1, 1));
    ASSERT_TRUE(store.AddSignalMinute(SignalRow{now - 31 * 86400, 1}));
    ASSERT_TRUE(store.AddSignalMinute(SignalRow{now - 60, 1}));
    ASSERT_TRUE(store.Prune(now)) << store.Error();
    ASSERT_TRUE(store.Prune(now)); // a second fold adds nothing twice
    std::vector<UsageRow> hours, days;
    ASSERT_TRUE(store.Hourly(0, now, hours));
    EXPECT_EQ(hours.size(), 1u);
    ASSERT_TRUE(store.Daily(Local(2023, 6, 1), Local(2023, 6, 2), days));
    ASSERT_EQ(days.size(), 1u);
    EXPECT_EQ(days[0].rx, 150u);
    EXPECT_EQ(days[0].seconds, 5400u);
    UsageRow total;
    ASSERT_TRUE(store.Sum(Span{0, now}, total));
    EXPECT_EQ(total.rx, 151u);
    std::vector<SignalRow> sig;
    ASSERT_TRUE(store.Signal(0, now, sig));
    ASSERT_EQ(sig.size(), 1u);
    EXPECT_EQ(sig[0].minute, now - 60);
}
