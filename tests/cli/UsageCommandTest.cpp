// "usage", "signal-history" and "config usage" run as a program: the past
// sessions of the traffic file are imported once, the JSON parses, the CSV
// reads back through Python's csv module, and a plan the user cannot have
// is refused with a reason.
#include "RunCli.h"

#include "support/TempSettings.h"
#include "traffic/TrafficRecords.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

using kvtest::RunCli;

namespace {

std::string Record(int64_t time, uint32_t duration, uint32_t sent, uint32_t received)
{
    kvtraffic::TrafficRecord r;
    r.time = time;
    r.duration = duration;
    r.bytesSent = sent;
    r.bytesReceived = received;
    uint8_t b[kvtraffic::kTrafficRecordSize];
    kvtraffic::EncodeTrafficRecord(r, b);
    return std::string(reinterpret_cast<const char*>(b), sizeof b);
}

std::string Shell(const std::string& cmd)
{
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[512];
        while (size_t n = fread(buf, 1, sizeof buf, p))
            out.append(buf, n);
        pclose(p);
    }
    return out;
}

class CliUsage : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("TZ", "UTC0", 1);
        tzset();
        std::filesystem::create_directories(m_settings.DataDir());
        std::filesystem::permissions(m_settings.DataDir(), std::filesystem::perms::owner_all);
        // 2025-01-31 23:00 and 2025-02-01 00:00 and 2025-02-20 10:00 UTC.
        kvtest::WriteFileBytes(m_settings.DataDir() + "/PktFF.dat",
                               Record(1738364400, 60000, 100, 1000) + Record(1738368000, 120000, 200, 2000)
                                   + Record(1740045600, 30000, 300, 3000));
    }
    void TearDown() override
    {
        unsetenv("TZ");
        tzset();
    }
    kvtest::TempSettings m_settings;
};

} // namespace

TEST_F(CliUsage, JsonParsesAndTheImportHappensOnce)
{
    auto r = RunCli({"usage", "--monthly", "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto doc = nlohmann::json::parse(r.out);
    ASSERT_EQ(doc["granularity"], "monthly");
    ASSERT_EQ(doc["rows"].size(), 2u);
    EXPECT_EQ(doc["rows"][0]["start"], "2025-01");
    EXPECT_EQ(doc["rows"][0]["received_bytes"], 1000);
    EXPECT_EQ(doc["rows"][1]["received_bytes"], 5000);
    EXPECT_EQ(doc["rows"][1]["connected_seconds"], 150);
    EXPECT_EQ(doc["total"]["total_bytes"], 6600);
    // Run again: the same figures, not twice the file.
    r = RunCli({"--json", "usage", "--daily", "--from", "2025-02-01", "--to", "2025-02-01"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    doc = nlohmann::json::parse(r.out);
    ASSERT_EQ(doc["rows"].size(), 1u);
    EXPECT_EQ(doc["rows"][0]["received_bytes"], 2000);
}

TEST_F(CliUsage, CsvReadsBackThroughACsvReader)
{
    const auto r = RunCli({"usage", "--hourly", "--csv"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string file = m_settings.Path("out.csv");
    kvtest::WriteFileBytes(file, r.out);
    EXPECT_EQ(Shell("python3 -c \"import csv,sys\n"
                    "rows=list(csv.DictReader(open(sys.argv[1],newline='')))\n"
                    "print(len(rows), rows[0]['start'], sum(int(x['received_bytes']) for x in rows))\" "
                    + file),
              "3 2025-01-31 23:00 6000\n");
    const auto s = RunCli({"signal-history", "--csv"});
    ASSERT_EQ(s.exitCode, 0) << s.err;
    EXPECT_EQ(s.out.substr(0, 14), "minute,minute_");
}

TEST_F(CliUsage, CyclesFollowTheCycleDayAndBadPlansAreRefused)
{
    auto r = RunCli({"config", "usage", "cycle-day", "30"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("not every month"), std::string::npos) << r.err;
    r = RunCli({"config", "usage", "quota-warn", "80,x"});
    EXPECT_EQ(r.exitCode, 2);
    ASSERT_EQ(RunCli({"config", "usage", "cycle-day", "15"}).exitCode, 0);
    r = RunCli({"--json", "config", "usage"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(nlohmann::json::parse(r.out)["cycle-day"], "15");
    r = RunCli({"usage", "--cycles", "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto doc = nlohmann::json::parse(r.out);
    ASSERT_EQ(doc["rows"].size(), 2u);
    EXPECT_EQ(doc["rows"][0]["start"], "2025-01-15");
    EXPECT_EQ(doc["rows"][0]["received_bytes"], 3000);
    EXPECT_EQ(doc["rows"][1]["start"], "2025-02-15");
    for (const auto& bad : std::vector<std::vector<std::string>>{{"usage", "--from", "2025-02-30"},
                                                                 {"usage", "--daily", "--monthly"},
                                                                 {"usage", "--csv", "--json"},
                                                                 {"usage", "--from", "2025-03-01", "--to", "2025-02-01"},
                                                                 {"signal-history", "--hourly"}})
        EXPECT_EQ(RunCli(bad).exitCode, 2) << bad.back();
}
