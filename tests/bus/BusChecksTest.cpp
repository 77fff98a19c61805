// What the service builds its answers from: the status report flattened,
// texts made fit for the bus, and the argument checks it shares with the
// command-line tool.
#include "bus/BusText.h"
#include "bus/StatusFlatten.h"
#include "host/ArgChecks.h"
#include "support/TempSettings.h"

#include <gtest/gtest.h>

#include <map>

using namespace kv::bus;

namespace {

std::map<std::string, FlatValue> Flat(const std::string& json)
{
    std::vector<FlatValue> v;
    EXPECT_TRUE(FlattenStatus(json, v)) << json;
    std::map<std::string, FlatValue> out;
    for (const FlatValue& f : v)
        out[f.key] = f;
    return out;
}

TEST(StatusFlatten, PathsTypesAndNulls)
{
    auto f = Flat(R"({"a":{"b":{"c":-5}},"n":null,"o":{"x":null},"list":[1,"two",{"k":true}],)"
                  R"("big":18446744073709551615,"frac":0.5,"empty":{},"none":[],"s":"t"})");
    ASSERT_EQ(f.size(), 7u);
    EXPECT_EQ(f["a.b.c"].type, 'x');
    EXPECT_EQ(f["a.b.c"].i, -5);
    EXPECT_EQ(f["list.0"].type, 'x');
    EXPECT_EQ(f["list.1"].s, "two");
    EXPECT_EQ(f["list.2.k"].type, 'b');
    EXPECT_TRUE(f["list.2.k"].b);
    EXPECT_EQ(f["big"].type, 't');
    EXPECT_EQ(f["big"].u, 18446744073709551615u);
    EXPECT_EQ(f["frac"].type, 'd');
    EXPECT_EQ(f["s"].type, 's');
    EXPECT_FALSE(f.count("n"));
    EXPECT_FALSE(f.count("o.x"));
}

TEST(StatusFlatten, RefusesWhatIsNoReport)
{
    std::vector<FlatValue> v{FlatValue{}};
    EXPECT_FALSE(FlattenStatus("", v));
    EXPECT_TRUE(v.empty());
    EXPECT_FALSE(FlattenStatus("[1,2]", v));
    EXPECT_FALSE(FlattenStatus("{\"a\":", v));
    std::string deep;
    for (int i = 0; i < 40; ++i)
        deep += "{\"k\":";
    deep += "1" + std::string(40, '}');
    EXPECT_FALSE(FlattenStatus(deep, v));
    EXPECT_TRUE(v.empty());
}

TEST(BusText, KeepsUtf8AndReadsAnythingElseAsLatin1)
{
    EXPECT_EQ(BusText("Zo\xc3\xab \xe2\x82\xac"), "Zo\xc3\xab \xe2\x82\xac");
    EXPECT_EQ(BusText("Jos\xe9"), "Jos\xc3\xa9");
    EXPECT_EQ(BusText(std::string("a\0b", 3)), "ab");
    // Overlong forms, surrogates and cut sequences are no UTF-8.
    EXPECT_EQ(BusText("\xc0\xaf"), "\xc3\x80\xc2\xaf");
    EXPECT_EQ(BusText("\xed\xa0\x80"), "\xc3\xad\xc2\xa0\xc2\x80");
    EXPECT_EQ(BusText("ab\xe2\x82"), "ab\xc3\xa2\xc2\x82");
}

TEST(ArgChecks, SmsSendRefusalsInTheToolsOrderAndWords)
{
    kvtest::TempSettings settings; // the modem's text limits as never reported
    using kv::SmsSendProblem;
    EXPECT_EQ(SmsSendProblem({"5551234"}, "hello", ""), "");
    EXPECT_EQ(SmsSendProblem({"5551234"}, "hello", "12x"), "--callback: 'x' cannot be dialled (digits, *, #, a leading +)");
    // A bad number is told before the count.
    EXPECT_EQ(SmsSendProblem({"1", "2", "3", "4", "5", "6a"}, "hi", ""),
              "NUMBER '6a': 'a' cannot be dialled (digits, *, #, a leading +)");
    EXPECT_EQ(SmsSendProblem({"1", "2", "3", "4", "5", "6"}, "hi", ""), "NUMBER: 6 recipients, at most 5");
    EXPECT_EQ(SmsSendProblem({std::string(33, '1')}, "hi", ""),
              "NUMBER '" + std::string(33, '1') + "': the number has 33 characters, at most 32 fit");
    EXPECT_EQ(SmsSendProblem({"1"}, std::string(160, 'a'), ""), "");
    EXPECT_EQ(SmsSendProblem({"1"}, std::string(161, 'a'), ""), "TEXT: it has 161 characters, at most 160 fit");
    std::string wide;
    for (int i = 0; i < 41; ++i)
        wide += "\xc3\xa9";
    EXPECT_EQ(SmsSendProblem({"1"}, wide, ""), "TEXT: it has 41 characters, at most 40 fit");
    EXPECT_EQ(SmsSendProblem({"1"}, "two\nlines", ""), "");
    EXPECT_EQ(SmsSendProblem({"1"}, "tab\there", ""), "TEXT: it holds a control character");
}

TEST(ArgChecks, WordsAndPhonebookEntries)
{
    EXPECT_EQ(kv::SmsStoreProblem("", true), "");
    EXPECT_NE(kv::SmsStoreProblem("", false), "");
    EXPECT_EQ(kv::SmsBoxProblem("inbox"), "");
    EXPECT_EQ(kv::PbStorageProblem("ruim"), "");
    EXPECT_EQ(kv::PbStorageProblem("Memory"), "STORAGE: 'Memory' is not memory or ruim");
    EXPECT_EQ(kv::DtmfProblem(std::string(31, '1')), "DIGITS '" + std::string(31, '1') + "' must be digits, * or # (at most 30)");
    EXPECT_EQ(kv::DialStringProblem("p123"),
              "NUMBER 'p123' is not a dial string (digits, *, #, a leading +, p for a pause; at most 30 characters)");
    EXPECT_EQ(kv::PbEntryProblem(kv::PbStorageType("memory"), std::string(65, 'n'), "555"),
              "NAME: it has 65 characters, at most 64 fit");
    EXPECT_EQ(kv::PbEntryProblem(kv::PbStorageType("ruim"), "Al", std::string(21, '5')),
              "NUMBER: the number has 21 characters, at most 20 fit");
    EXPECT_EQ(kv::PbEntryProblem(kv::PbStorageType("memory"), "Al", "55pp5"),
              "NUMBER: the pause p cannot stand first, last or twice in a row");
}

} // namespace
