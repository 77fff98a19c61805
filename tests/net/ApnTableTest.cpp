// The built-in APN table: its shape, its order quirks (the first row wins)
// and lookup by the IMSI's network prefix only.
#include "net/ApnTable.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

using namespace kv;

namespace {
std::string ApnOf(const char* imsi)
{
    const ApnRow* row = FindApnRow(imsi);
    return row ? row->apn : "<none>";
}
size_t IndexOf(const ApnRow* row) { return size_t(row - kApnTable); }
} // namespace

TEST(ApnTable, ShapeAndKeyOrder)
{
    ASSERT_EQ(sizeof(ApnRow), 60u);
    ASSERT_EQ(std::size(kApnTable), 437u);
    EXPECT_STREQ(kApnTable[0].key, "70601");
    EXPECT_STREQ(kApnTable[20].key, "46689-0");
    EXPECT_STREQ(kApnTable[436].key, "31018");
    size_t five = 0, six = 0, suffixed = 0;
    std::map<std::string, int> seen;
    int duplicates = 0;
    for (const ApnRow& r : kApnTable) {
        const size_t n = std::strlen(r.key);
        ASSERT_LT(n, sizeof r.key);
        ASSERT_GT(std::strlen(r.apn), 0u);
        ASSERT_LT(std::strlen(r.apn), sizeof r.apn);
        if (std::strchr(r.key, '-'))
            ++suffixed;
        else if (n == 5)
            ++five;
        else if (n == 6)
            ++six;
        if (++seen[r.key] == 2)
            ++duplicates;
    }
    EXPECT_EQ(five, 383u);
    EXPECT_EQ(six, 51u);
    EXPECT_EQ(suffixed, 3u);
    EXPECT_EQ(duplicates, 7);
}

TEST(ApnTable, FixedApns)
{
    EXPECT_EQ(ApnOf("505020000000000"), "internet");
    EXPECT_EQ(ApnOf("505030000000000"), "internet");
    EXPECT_EQ(ApnOf("460000000000000"), "CMNET");
    EXPECT_EQ(ApnOf("460020000000000"), "CMNET");
    EXPECT_EQ(ApnOf("460010000000000"), "3GNET");
    EXPECT_EQ(ApnOf("460030912345678"), "3GNET");
    EXPECT_EQ(ApnOf("311500000000000"), "INT");
    // 31038 sits behind the earlier six-digit 310380, which answers for "310380..."
    EXPECT_EQ(ApnOf("310381234567890"), "proxy");
    EXPECT_STREQ(FindApnRow("310380000000000")->key, "310380");
}

TEST(ApnTable, TheFirstMatchingRowWins)
{
    // a duplicated key: its first row answers
    const ApnRow* r = FindApnRow("505030123456789");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(IndexOf(r), 3u);
    EXPECT_EQ(IndexOf(FindApnRow("706010000000000")), 0u);
    // a six-digit key after the five-digit key that starts it never answers
    const ApnRow* shadowed = FindApnRow("302720123456789");
    ASSERT_NE(shadowed, nullptr);
    EXPECT_STREQ(shadowed->key, "30272");
    EXPECT_STREQ(FindApnRow("310160123456789")->key, "31016");
    // a six-digit key with no earlier prefix answers for itself
    EXPECT_STREQ(FindApnRow("310410123456789")->key, "310410");
    // suffixed keys name a second APN, never reached by an IMSI
    EXPECT_STREQ(FindApnRow("466890123456789")->key, "46689");
    EXPECT_STREQ(FindApnRow("363010123456789")->key, "36301");
}

TEST(ApnTable, OnlyTheNetworkPrefixSelectsARow)
{
    // subscriber digits that spell another network's key select nothing
    EXPECT_EQ(FindApnRow("999994600312345"), nullptr);
    EXPECT_EQ(ApnOf("001014600346000"), "<none>");
    // a known network with subscriber digits of another
    EXPECT_EQ(ApnOf("460014600046000"), "3GNET");
    EXPECT_EQ(FindApnRow(""), nullptr);
    EXPECT_EQ(FindApnRow("4600"), nullptr);
}
