// What the traffic pages show: limits and their bounds, the bars, and every
// text format.
#include "TrafficFixture.h"

#include "settings/Profile.h"
#include "traffic/TrafficDisplay.h"

using namespace kvtraffic;

namespace {
class TrafficLimits : public kvtest::TrafficTest {};
} // namespace

TEST_F(TrafficLimits, LimitsOutsideTenToOneMebiMegabyteBecomeFiftyAndAreStoredAsWholeNumbers)
{
    for (const char* bad : {"5", "2000000", "9.99", "1048576.5", "-20", "", "abc", "nan", "inf", "1e400"})
        EXPECT_EQ(ParseTrafficLimit(bad), 50) << '"' << bad << '"';
    EXPECT_EQ(ParseTrafficLimit("10"), 10);
    EXPECT_EQ(ParseTrafficLimit("1048576"), 1048576);
    EXPECT_EQ(ParseTrafficLimit("75.5MB"), 75.5) << "the number in front counts";

    AppliedLimit a = ApplyTrafficLimit("DownloadMax", "5", 0);
    EXPECT_EQ(a.limit, 50);
    EXPECT_EQ(kv::GetProfileString("UserSetMaxLimit", "DownloadMax", "", 64, "teal_dialer.ini"), "50");
    EXPECT_EQ(a.top, "50.0");
    EXPECT_EQ(a.middle, "25.0");
    a = ApplyTrafficLimit("UploadMaxPrev", "2000000", 0);
    EXPECT_EQ(kv::GetProfileString("UserSetMaxLimit", "UploadMaxPrev", "", 64, "teal_dialer.ini"), "50");
    a = ApplyTrafficLimit("UploadMax", "75.5", 0);
    EXPECT_EQ(kv::GetProfileString("UserSetMaxLimit", "UploadMax", "", 64, "teal_dialer.ini"), "75");
    EXPECT_EQ(a.top, "75.5");
    EXPECT_EQ(a.middle, "37.8");
}

TEST_F(TrafficLimits, OnlyPlainDecimalNumbersAreLimits)
{
    // What the C library would read as numbers is not a limit: hexadecimal,
    // exponents, signs.
    for (const char* bad : {"0x20", "0X400", "1e3", "20e3", "1E2", "+20", "1.2.3", ".", "MB", "20 M B", "2 0"}) {
        EXPECT_FALSE(ReadTrafficLimit(bad).has_value()) << '"' << bad << '"';
        EXPECT_EQ(ParseTrafficLimit(bad), 50) << '"' << bad << '"';
        EXPECT_FALSE(TrafficLimitAccepted(bad)) << '"' << bad << '"';
    }
    EXPECT_EQ(ParseTrafficLimit(" 20 "), 20);
    EXPECT_EQ(ParseTrafficLimit("20 mb"), 20);
    EXPECT_EQ(ParseTrafficLimit("12.25"), 12.25);
    EXPECT_EQ(ParseTrafficLimit("000100"), 100);
    EXPECT_TRUE(TrafficLimitAccepted("1048576"));
    // A number out of range is read, but not accepted.
    EXPECT_EQ(ReadTrafficLimit("5"), 5.0);
    EXPECT_FALSE(TrafficLimitAccepted("5"));
    EXPECT_FALSE(TrafficLimitAccepted(std::string(400, '9')));

    EXPECT_TRUE(ApplyTrafficLimit("DownloadMax", "0x20", 0).replaced);
    EXPECT_EQ(kv::GetProfileString("UserSetMaxLimit", "DownloadMax", "", 64, "teal_dialer.ini"), "50");
    EXPECT_FALSE(ApplyTrafficLimit("DownloadMax", "32", 0).replaced);
    EXPECT_EQ(kv::GetProfileString("UserSetMaxLimit", "DownloadMax", "", 64, "teal_dialer.ini"), "32");
}

TEST(TrafficLimitField, EveryLimitReadsBackAsItself)
{
    // A field showing "1.04858e+06" would turn the largest limit into 50 the
    // next time the page applies it.
    for (double v : {10.0, 50.0, 75.5, 999999.0, 1000000.0, 1048576.0, 12.25}) {
        const std::string text = FormatLimitField(v);
        EXPECT_EQ(text.find_first_of("eE"), std::string::npos) << text;
        EXPECT_EQ(ParseTrafficLimit(text), v) << text;
    }
    EXPECT_EQ(FormatLimitField(1048576), "1048576");
    EXPECT_EQ(FormatLimitField(75.5), "75.5");
}

TEST(TrafficBars, BytesUpToOneGigabyteLimitAndWholeMegabytesAbove)
{
    // Limit 1024 MB with 2 GB used: full.
    BarScale b = ScaleTrafficBar(1024, 2.0 * 1024 * 1024 * 1024);
    EXPECT_EQ(b.range, 1073741824);
    EXPECT_EQ(b.pos, b.range);
    // Limit 2048 MB with 1 KB used: at least 1 (MB).
    b = ScaleTrafficBar(2048, 1024);
    EXPECT_EQ(b.range, 2048);
    EXPECT_EQ(b.pos, 1);
    b = ScaleTrafficBar(2048, 300.9 * 1024 * 1024);
    EXPECT_EQ(b.pos, 300);
    // Far over a large limit: full, never past the end (nor wrapped).
    b = ScaleTrafficBar(2048, 1e13);
    EXPECT_EQ(b.pos, 2048);
    // The starting limit with no traffic stands at 0.
    b = ScaleTrafficBar(50, 0);
    EXPECT_EQ(b.range, 52428800);
    EXPECT_EQ(b.pos, 0);
    b = ScaleTrafficBar(50, 1234);
    EXPECT_EQ(b.pos, 1234);
    b = ScaleTrafficBar(10.5, 1e9);
    EXPECT_EQ(b.range, 11010048);
    EXPECT_EQ(b.pos, 11010048);
}

TEST(TrafficTexts, EveryFigureInItsFormat)
{
    kvtest::ScopedTimeZone tz("UTC0");
    EXPECT_EQ(FormatTrafficBytes(0), std::string(15, ' ') + "0B");
    EXPECT_EQ(FormatTrafficBytes(8589934590.0), "      8589934590B");
    EXPECT_EQ(FormatSessionDuration(0), "00)00:00:00");
    EXPECT_EQ(FormatSessionDuration(90061999), "01)01:01:01");
    EXPECT_EQ(FormatSessionDuration(4294967295u), "49)17:02:47");
    EXPECT_EQ(FormatLiveDuration(3723999), "01:02:03");
    EXPECT_EQ(FormatLiveDuration(86399999), "23:59:59");
    EXPECT_EQ(FormatLiveDuration(86400000), "01)00:00:00");
    EXPECT_EQ(FormatLiveBytes(0), "0B");
    EXPECT_EQ(FormatLiveBytes(4000000000u), "4000000000B") << "counts past 2 GB stay positive";

    EXPECT_EQ(FormatSessionTime(0), "00-00-00 00:00:00");
    EXPECT_EQ(FormatSessionTime(kvtest::Local(2005, 12, 31, 23, 59, 59)), "00-00-00 00:00:00");
    EXPECT_EQ(FormatSessionTime(kvtest::Local(2006, 1, 1, 0, 0, 0)), "01-01-2006 00:00:00");
    EXPECT_EQ(FormatSessionTime(kvtest::Local(2024, 3, 5, 9, 7, 8)), "05-03-2024 09:07:08");
    EXPECT_EQ(FormatResetTime(kvtest::Local(2024, 11, 25, 17, 4, 3)), "25-11-2024 17:04:03");
    EXPECT_EQ(FormatMonthDate(kvtest::Local(2024, 3, 1)), "01 03 2024");
    EXPECT_EQ(FormatMonthBytes(0), "0");
    EXPECT_EQ(FormatMonthBytes(12345678901.0), "12345678901");
    EXPECT_EQ(FormatLimit(1048576), "1048576.0");
    EXPECT_EQ(FormatLimit(12.25), "12.2");

    // Local time, not UTC.
    kvtest::ScopedTimeZone east("XXX-9");
    EXPECT_EQ(FormatSessionTime(1709596028), "05-03-2024 08:47:08"); // 2024-03-04 23:47:08 UTC
}
