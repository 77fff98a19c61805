// Searches: Jet pattern rules, and user text that must match literally and
// can never change the statement.
#include "DbFixture.h"

#include "data/DaoPbookDb.h"
#include "data/DaoVcallDb.h"
#include "data/JetSql.h"

#include <set>

using namespace kv;
using kvtest::DbTest;

TEST(JetPattern, WildcardsSetsAndCaseFollowJetRules)
{
    EXPECT_TRUE(JetLikeMatch("*ann*", "Joanne"));
    EXPECT_TRUE(JetLikeMatch("A?n", "ann"));
    EXPECT_FALSE(JetLikeMatch("A?n", "an"));
    EXPECT_TRUE(JetLikeMatch("*#*", "room 5"));
    EXPECT_FALSE(JetLikeMatch("*#*", "room"));
    EXPECT_TRUE(JetLikeMatch("[a-c]*", "Bert"));
    EXPECT_FALSE(JetLikeMatch("[!a-c]*", "bert"));
    EXPECT_TRUE(JetLikeMatch("*[[]*", "a[b"));
    EXPECT_TRUE(JetLikeMatch("*[]]*", "a]b"));
    EXPECT_TRUE(JetLikeMatch("*[*]*", "a*b"));
    EXPECT_FALSE(JetLikeMatch("*[*]*", "ab"));
    EXPECT_TRUE(JetLikeMatch("*[!]*", "hey!"));
    EXPECT_TRUE(JetLikeMatch("?", "\xC3\xA9")) << "one UTF-8 character is one character";
    EXPECT_FALSE(JetLikeMatch("*[ab", "a")) << "an unclosed set is an invalid pattern";
    EXPECT_FALSE(JetPatternValid("[x"));

    EXPECT_EQ(JetEscapeSearchText("a[b]*?#!c"), "a[[]b[]][*][?][#][!]c");
    std::string like;
    ASSERT_TRUE(JetLikeToSqlLike("*" + JetEscapeSearchText("50%_[x]\\") + "*", like));
    EXPECT_EQ(like, "%50\\%\\_[x]\\\\%");
    EXPECT_FALSE(JetLikeToSqlLike("*#*", like)) << "digit classes need the full matcher";
}

class SearchTest : public DbTest {
protected:
    void SetUp() override
    {
        DbTest::SetUp();
        int i = 1;
        for (const char* n : {"O'Brien", "[VIP] Ann", "100% Pure", "100 Pure", "a_b", "axb", "Star*", "Stark",
                              "Bob \"The\" Builder", "x' or '1'='1", "Hash#1", "Bang!"})
        {
            AddPbook(1, i, n, std::to_string(5550 + i));
            ++i;
        }
        AddPbook(2, 1, "Ann on card", "777");
        AddPbook(1, 50, "Num", "1-800-FLOWERS_%");
    }

    std::set<std::string> Names(const CDaoQuery& q)
    {
        std::set<std::string> out;
        CDaoPbookDb pb;
        pb.Open(q);
        while (!pb.IsEOF()) {
            out.insert(pb.m_name);
            pb.MoveNext();
        }
        return out;
    }
    using S = std::set<std::string>;
};

TEST_F(SearchTest, SpecialCharactersInTheSearchTextMatchLiterally)
{
    EXPECT_EQ(Names(CDaoPbookDb::SearchName("'", 1)), (S{"O'Brien", "x' or '1'='1"}));
    EXPECT_EQ(Names(CDaoPbookDb::SearchName("[vip]", 1)), (S{"[VIP] Ann"}));
    EXPECT_EQ(Names(CDaoPbookDb::SearchName("[", 1)), (S{"[VIP] Ann"}));
    EXPECT_EQ(Names(CDaoPbookDb::SearchName("]", 1)), (S{"[VIP] Ann"}));
    EXPECT_EQ(Names(CDaoPbookDb::SearchName("%", 1)), (S{"100% Pure"}));
    EXPECT_EQ(Names(CDaoPbookDb::SearchName("_", 1)), (S{"a_b"}));
    EXPECT_EQ(Names(CDaoPbookDb::SearchName("*", 1)), (S{"Star*"}));
    EXPECT_EQ(Names(CDaoPbookDb::SearchName("?", 1)), S{});
    EXPECT_EQ(Names(CDaoPbookDb::SearchName("#", 1)), (S{"Hash#1"}));
    EXPECT_EQ(Names(CDaoPbookDb::SearchName("!", 1)), (S{"Bang!"}));
    EXPECT_EQ(Names(CDaoPbookDb::SearchName("\"the\"", 1)), (S{"Bob \"The\" Builder"}));
    EXPECT_EQ(Names(CDaoPbookDb::SearchName("ann", 1)), (S{"[VIP] Ann"})) << "case-insensitive, own storage only";
    EXPECT_EQ(Names(CDaoPbookDb::SearchNumber("_%", 1)), (S{"Num"}));
    EXPECT_EQ(Names(CDaoPbookDb::SearchNumber("5551", 1)).size(), 1u);
}

TEST_F(SearchTest, TextThatLooksLikeSqlNeverChangesTheStatement)
{
    const int before = CountRows("tealfin_pbook");
    EXPECT_EQ(Names(CDaoPbookDb::SearchName("x' or '1'='1", 1)), (S{"x' or '1'='1"}));
    EXPECT_EQ(Names(CDaoPbookDb::SearchAll("' or 1=1 --", 1)), S{});
    EXPECT_EQ(Names(CDaoPbookDb::SearchName("'); DELETE FROM tealfin_pbook; --", 1)), S{});
    EXPECT_EQ(Names(CDaoPbookDb::QueryNumber("' or ''='")), S{});
    EXPECT_EQ(CountRows("tealfin_pbook"), before);

    // The index slot takes a whole number only; anything else fails the
    // open like a syntax error, so the page reports a failed search.
    CDaoPbookDb pb;
    EXPECT_THROW(pb.Open(CDaoPbookDb::SearchIndex("1 or 1=1", 1)), CDaoException);
    EXPECT_THROW(pb.Open(CDaoPbookDb::QueryEntryText("", 1)), CDaoException);
    CDaoVcallDb vc;
    EXPECT_THROW(vc.Open(CDaoVcallDb::QueryEntryText("1; DELETE FROM tealfin_vcall")), CDaoException);
    EXPECT_EQ(Names(CDaoPbookDb::SearchIndex(" 2 ", 1)), (S{"[VIP] Ann"}));
    EXPECT_EQ(Names(CDaoPbookDb::QueryEntryText("1", 2)), (S{"Ann on card"}));
}

TEST_F(SearchTest, SearchAllWithEmptyTextListsTheWholePageOnly)
{
    EXPECT_EQ(Names(CDaoPbookDb::SearchAll("", 1)).size(), 13u);
    EXPECT_EQ(Names(CDaoPbookDb::SearchAll("", 2)), (S{"Ann on card"}));
    EXPECT_EQ(Names(CDaoPbookDb::SearchAll("777", 2)), (S{"Ann on card"}));
    EXPECT_EQ(Names(CDaoPbookDb::QueryIndexWithProtected(1, 1)),
              (S{"O'Brien", "Korvia Customer Care", "Emergency"}));
}

TEST_F(DbTest, HistorySearchesMatchNameOrNumberLiterally)
{
    CDaoVcallDb vc;
    vc.Open();
    int i = 1;
    for (const char* n : {"Ann", "50%", "Unknown"}) {
        vc.AddNew();
        vc.m_storage_type = 1;
        vc.m_index = i++;
        vc.m_name = n;
        vc.m_phone_number = std::string("55") + std::to_string(i) + (i == 3 ? "_" : "");
        vc.Update();
    }
    vc.Close();
    auto names = [&](const CDaoQuery& q) {
        std::vector<std::string> out;
        vc.Open(q);
        while (!vc.IsEOF()) {
            out.push_back(vc.m_name);
            vc.MoveNext();
        }
        vc.Close();
        return out;
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(names(CDaoVcallDb::SearchName("%")), (V{"50%"}));
    EXPECT_EQ(names(CDaoVcallDb::SearchNumber("_")), (V{"50%"}));
    EXPECT_EQ(names(CDaoVcallDb::SearchAll("a")), (V{"Ann"}));
    EXPECT_EQ(names(CDaoVcallDb::QueryNewestFirst()), (V{"Unknown", "50%", "Ann"}));
    EXPECT_EQ(names(CDaoVcallDb::QueryOldestFirst()), (V{"Ann", "50%", "Unknown"}));
    EXPECT_EQ(names(CDaoVcallDb::QueryEntryText("2")), (V{"50%"}));
}
