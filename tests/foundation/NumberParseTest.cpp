// The number readers every file, row and argument goes through: hostile
// text never throws, never wraps, and is never half-read as a number.
#include "log/NumberParse.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstdint>
#include <random>
#include <string>

using namespace kv;

TEST(NumberParse, WholeTextOrNothing)
{
    for (const char* bad : {"", "-", "+", "+12", " 12", "12 ", "12abc", "0x20", "1e3", "1.0", "١٢", "--1", "-+1",
                            "12\n", "\t7", "1,000"}) {
        int v = 77;
        EXPECT_FALSE(ParseDecimal(bad, v)) << '"' << bad << '"';
        EXPECT_EQ(v, 77) << "a refused text leaves the value alone";
        EXPECT_FALSE(DecimalValue<uint32_t>(bad)) << '"' << bad << '"';
    }
    EXPECT_EQ(DecimalValue<int>("0"), 0);
    EXPECT_EQ(DecimalValue<int>("-0"), 0);
    EXPECT_EQ(DecimalValue<int>("007"), 7);
    EXPECT_EQ(DecimalValue<int>("-80"), -80);
    EXPECT_FALSE(DecimalValue<unsigned>("-1")) << "no sign for an unsigned value, never 4294967295";
    EXPECT_FALSE(DecimalValue<uint8_t>("-0"));
}

TEST(NumberParse, ValuesBeyondTheTypeAreRefusedNotWrapped)
{
    EXPECT_EQ(DecimalValue<int32_t>("2147483647"), 2147483647);
    EXPECT_FALSE(DecimalValue<int32_t>("2147483648"));
    EXPECT_EQ(DecimalValue<int32_t>("-2147483648"), INT32_MIN);
    EXPECT_FALSE(DecimalValue<int32_t>("-2147483649"));
    EXPECT_FALSE(DecimalValue<uint8_t>("256"));
    EXPECT_EQ(DecimalValue<uint8_t>("255"), 255);
    EXPECT_FALSE(DecimalValue<int64_t>("9223372036854775808"));
    EXPECT_FALSE(DecimalValue<uint64_t>("18446744073709551616"));
    EXPECT_FALSE(DecimalValue<int>(std::string(5000, '9')));
    EXPECT_FALSE(DecimalInRange<int>("0", 1, 10));
    EXPECT_FALSE(DecimalInRange<int>("11", 1, 10));
    EXPECT_EQ(DecimalInRange<int>("10", 1, 10), 10);
}

TEST(NumberParse, HexDigitsOnly)
{
    uint8_t b = 0;
    EXPECT_TRUE(ParseHex("7e", b));
    EXPECT_EQ(b, 0x7E);
    EXPECT_TRUE(ParseHex("0A", b));
    EXPECT_EQ(b, 0x0A);
    for (const char* bad : {"", "0x20", "-1", "1ff", "g", " 2", "2 "})
        EXPECT_FALSE(ParseHex(bad, b)) << '"' << bad << '"';
}

TEST(NumberParse, DecimalsAreReadTheSameInEveryLocale)
{
    double d = 0;
    EXPECT_TRUE(ParseDecimalDouble("1.5", d));
    EXPECT_EQ(d, 1.5);
    EXPECT_TRUE(ParseDecimalDouble("-0.25", d));
    EXPECT_EQ(d, -0.25);
    EXPECT_TRUE(ParseDecimalDouble(".5", d));
    EXPECT_EQ(d, 0.5);
    for (const char* bad : {"", "-", ".", "1e3", "inf", "nan", "0x20", "1.2.3", " 1", "1,5", "+1"})
        EXPECT_FALSE(ParseDecimalDouble(bad, d)) << '"' << bad << '"';
    EXPECT_TRUE(DecimalDoublePrefix("  75.5MB", d));
    EXPECT_EQ(d, 75.5);
    EXPECT_TRUE(DecimalDoublePrefix("1e3", d));
    EXPECT_EQ(d, 1) << "the exponent is not part of the number";
    EXPECT_FALSE(DecimalDoublePrefix("MB", d));
    EXPECT_FALSE(DecimalDoublePrefix("-x", d));
}

TEST(NumberParse, SettingsPrefixStopsAtTheFirstNonDigitAndSaturates)
{
    EXPECT_EQ(DecimalPrefix(" 12abc"), 12);
    EXPECT_EQ(DecimalPrefix("+5"), 5);
    EXPECT_EQ(DecimalPrefix("-7x"), -7);
    EXPECT_EQ(DecimalPrefix("0x20"), 0);
    EXPECT_EQ(DecimalPrefix("abc"), 0);
    EXPECT_EQ(DecimalPrefix(std::string(400, '9')), INT_MAX);
    EXPECT_EQ(DecimalPrefix("-" + std::string(400, '9')), -INT_MAX);
}

// Random bytes from the characters numbers are made of: whatever the
// reader accepts is exactly the digits it stands for.
TEST(NumberParse, RandomTextIsAcceptedOnlyWhenItIsTheNumber)
{
    std::mt19937 rng(7);
    const std::string alphabet = "0123456789-+ .xeE\n";
    for (int round = 0; round < 20000; ++round) {
        std::string s(rng() % 12, ' ');
        for (char& c : s)
            c = alphabet[rng() % alphabet.size()];
        int32_t v = 0;
        if (!ParseDecimal(s, v))
            continue;
        const size_t digits = s[0] == '-' ? 1 : 0;
        ASSERT_LT(digits, s.size()) << "accepted '" << s << "'";
        ASSERT_EQ(s.find_first_not_of("0123456789", digits), std::string::npos) << "accepted '" << s << "'";
        EXPECT_EQ(std::strtoll(s.c_str(), nullptr, 10), v) << s;
    }
}
