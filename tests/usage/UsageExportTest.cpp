// The export: CSV that a spreadsheet's reader (Python's csv module) reads
// back to the same figures, and the settings the command line checks.
#include "usage/UsageExport.h"
#include "usage/UsageSettings.h"

#include "UsageFixture.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace kvusage;
using kvtest::UsageDbTest;
using kvtest::Local;

namespace {

std::string RunShell(const std::string& cmd)
{
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p)
        return out;
    char buf[512];
    while (size_t n = fread(buf, 1, sizeof buf, p))
        out.append(buf, n);
    pclose(p);
    return out;
}

} // namespace

TEST_F(UsageDbTest, CsvReadsBackThroughAStandardCsvReader)
{
    CUsageStore store;
    ASSERT_TRUE(store.Open(m_db));
    ASSERT_TRUE(store.AddTraffic(Local(2025, 5, 1, 9), 4'000'000'000ull, 12, 3600));
    ASSERT_TRUE(store.AddTraffic(Local(2025, 5, 1, 23), 5, 6, 7));
    ASSERT_TRUE(store.AddTraffic(Local(2025, 5, 3, 1), 1, 2, 3));
    UsageReport r;
    ASSERT_TRUE(GatherUsage(store, Granularity::Daily, Span{Local(2025, 5, 1), Local(2025, 6, 1)}, 1, r));
    ASSERT_EQ(r.rows.size(), 2u);
    const std::string file = m_settings.Path("daily.csv");
    kvtest::WriteFileBytes(file, UsageCsv(r));
    const std::string got = RunShell("python3 -c \"import csv,sys\n"
                                "rows=list(csv.DictReader(open(sys.argv[1],newline='')))\n"
                                "print(len(rows), rows[0]['start'], sum(int(x['total_bytes']) for x in rows),"
                                " rows[1]['connected_seconds'])\" "
                                + file);
    EXPECT_EQ(got, "2 2025-05-01 4000000026 3\n");
    EXPECT_NE(UsageText(r).find("4000000023"), std::string::npos); // the first day's total
}

TEST(CsvFields, QuotedOnlyWhenTheyNeedIt)
{
    EXPECT_EQ(CsvField("2025-05-01"), "2025-05-01");
    EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
    EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(CsvField("two\nlines"), "\"two\nlines\"");
}

TEST(PlanSettings, RefusedValuesNeverReachTheFileAndBrokenOnesReadAsDefaults)
{
    kvtest::TempSettings settings;
    std::string why;
    EXPECT_FALSE(SetUsageSetting("cycle-day", "31", &why));
    EXPECT_NE(why.find("not every month"), std::string::npos);
    EXPECT_FALSE(SetUsageSetting("quota-mb", "0", &why));
    EXPECT_FALSE(SetUsageSetting("quota-warn", "80,,100", &why));
    EXPECT_FALSE(SetUsageSetting("quota-kind", "monthly", &why));
    EXPECT_FALSE(SetUsageSetting("quota", "1", &why));
    UsageSettings s = ReadUsageSettings();
    EXPECT_EQ(s.cycleDay, 1);
    EXPECT_FALSE(s.QuotaOn());
    EXPECT_FALSE(s.hangUp);
    EXPECT_EQ(s.warnPercents, (std::vector<int>{80, 100}));

    ASSERT_TRUE(SetUsageSetting("cycle-day", "28"));
    ASSERT_TRUE(SetUsageSetting("quota-kind", "both"));
    ASSERT_TRUE(SetUsageSetting("quota-mb", "5000"));
    ASSERT_TRUE(SetUsageSetting("quota-warn", "100, 50,90,50"));
    ASSERT_TRUE(SetUsageSetting("quota-hangup", "on"));
    s = ReadUsageSettings();
    EXPECT_EQ(s.cycleDay, 28);
    EXPECT_EQ(s.kind, QuotaKind::Both);
    EXPECT_EQ(s.quotaMb, 5000);
    EXPECT_EQ(s.warnPercents, (std::vector<int>{50, 90, 100}));
    EXPECT_TRUE(s.hangUp);
    // A hand-edited file with a day the plan cannot have reads as day 1.
    settings.WriteFile("korvianet.ini", "[cycle_day]\nnum=30\n[quota_warn]\ntext=abc\n");
    s = ReadUsageSettings();
    EXPECT_EQ(s.cycleDay, 1);
    EXPECT_EQ(s.warnPercents, (std::vector<int>{80, 100}));
}
