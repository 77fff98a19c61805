// "traffic" run as a program over traffic files laid out byte by byte.
#include "RunCli.h"

#include "support/TempSettings.h"
#include "traffic/TrafficRecords.h"

#include <gtest/gtest.h>

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

class CliTraffic : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("TZ", "UTC0", 1);
        tzset();
    }
    void TearDown() override
    {
        unsetenv("TZ");
        tzset();
    }
    kvtest::CliResult Run(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--config-dir", settings.Dir()});
        return RunCli(args);
    }
    kvtest::TempSettings settings;
};

} // namespace

TEST_F(CliTraffic, PrintsTotalsLastSessionAndBothMonthsOneItemPerLine)
{
    const int64_t now = int64_t(std::time(nullptr));
    const kvtraffic::MonthWindow cur = kvtraffic::CurrentMonthWindow(now);
    const kvtraffic::MonthWindow prev = kvtraffic::PreviousMonthWindow(now);
    std::filesystem::create_directories(settings.DataDir());
    const std::string all = Record(prev.start - 1, 1000, 1, 2)         // before both months
                            + Record(prev.start, 2000, 10, 20)          // previous month
                            + Record(prev.end, 3000, 30, 40)            // previous month
                            + Record(cur.start, 90061000, 500, 4294967295u); // current month
    kvtest::WriteFileBytes(settings.DataDir() + "/PktFF.dat", all + "torn");
    kvtest::WriteFileBytes(settings.DataDir() + "/PktLF.dat", all);

    const auto r = Run({"traffic"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    char startCur[32], endCur[32], startPrev[32], endPrev[32];
    const auto date = [](int64_t t, char* out) {
        const std::time_t tt = std::time_t(t);
        std::tm tm {};
        gmtime_r(&tt, &tm);
        std::strftime(out, 32, "%d %m %Y", &tm);
    };
    date(cur.start, startCur);
    date(now, endCur);
    date(prev.start, startPrev);
    date(prev.end, endPrev);
    const std::string want = "file: " + settings.DataDir() + "/PktFF.dat\n"
                             "total sent:              541B\n"
                             "total received:       4294967357B\n"
                             "last session sent:              500B\n"
                             "last session received:       4294967295B\n"
                             "last session duration: 01)01:01:01\n"
                             "last session time: " + [&] {
                                 char b[32];
                                 const std::time_t tt = std::time_t(cur.start);
                                 std::tm tm {};
                                 gmtime_r(&tt, &tm);
                                 std::strftime(b, sizeof b, "%d-%m-%Y %H:%M:%S", &tm);
                                 return std::string(b);
                             }() + "\n"
                             "current month: " + startCur + " - " + endCur + "\n"
                             "current month download: 4294967295\n"
                             "current month upload: 500\n"
                             "current month total: 4294967795\n"
                             "previous month: " + startPrev + " - " + endPrev + "\n"
                             "previous month download: 60\n"
                             "previous month upload: 40\n"
                             "previous month total: 100\n";
    EXPECT_EQ(r.out, want);
}

TEST_F(CliTraffic, WithoutFilesEveryFigureIsZeroAndExtraWordsAreRefused)
{
    const auto r = Run({"traffic"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("total received:                0B\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("last session time: 00-00-00 00:00:00\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("last session duration: 00)00:00:00\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("current month total: 0\n"), std::string::npos) << r.out;
    EXPECT_FALSE(std::filesystem::exists(settings.DataDir())) << "reading creates nothing";
    EXPECT_EQ(Run({"traffic", "now"}).exitCode, 2);
}
