// The phonebook page's rules that need no window: cutting a caller name
// without splitting a character, the history details string read back, the
// numbers a selection gives, and which refusal of Voice Call comes first.
#include "contacts/PhoneBookRules.h"
#include "contacts/PhoneBookTexts.h"

#include <gtest/gtest.h>

using namespace kv;

TEST(PbRules, CutsNamesOnCharacterBoundariesOnly)
{
    const std::string name = "Zo\xc3\xab M\xc3\xbcller \xe6\x9d\x8e"; // "Zoë Müller 李"
    EXPECT_EQ(CutText(name, 3), "Zo");                  // not half of "ë"
    EXPECT_EQ(CutText(name, 4), "Zo\xc3\xab");
    EXPECT_EQ(CutText(name, name.size() - 1), "Zo\xc3\xab M\xc3\xbcller ");
    EXPECT_EQ(CutText(name, 99), name);
}

TEST(PbRules, AnIndexIsReadOnlyFromDigitsAndNeverThrows)
{
    EXPECT_EQ(PbIndexFromText("12"), 12);
    EXPECT_EQ(PbIndexFromText(" 0 7 "), 7);
    EXPECT_EQ(PbIndexFromText("0"), 0);
    // What a paste or the program could have put there: no number, and no
    // exception out of the page.
    EXPECT_EQ(PbIndexFromText(""), std::nullopt);
    EXPECT_EQ(PbIndexFromText("abc"), std::nullopt);
    EXPECT_EQ(PbIndexFromText("12ab"), std::nullopt);
    EXPECT_EQ(PbIndexFromText("-3"), std::nullopt);
    EXPECT_EQ(PbIndexFromText("+3"), std::nullopt);
    EXPECT_EQ(PbIndexFromText("99999999999999999999"), std::nullopt);
    EXPECT_EQ(PbIndexFromText("\xd9\xa3"), std::nullopt);   // an Arabic-Indic digit
}

TEST(PbRules, HistoryDetailsGiveBackTheCallNumberAndTheShownText)
{
    const std::string d = HistoryDetails(7, "(2026/12/10/Thursday-05:00)", "00:01:02");
    EXPECT_EQ(d, "0007(2026/12/10/Thursday-05:00) Time:00:01:02");
    int64_t n = 0;
    ASSERT_TRUE(HistoryCallNumber(d, n));
    EXPECT_EQ(n, 7);
    EXPECT_EQ(HistoryDetailText(d), "(2026/12/10/Thursday-05:00) Time:00:01:02");
    ASSERT_TRUE(HistoryCallNumber(HistoryDetails(1000001, "(t)", "x"), n));
    EXPECT_EQ(n, 1000001);
    EXPECT_FALSE(HistoryCallNumber("(t) Time:x", n));
}

TEST(PbRules, SelectionsGiveDiallableNumbersAndRefusalsComeInOrder)
{
    EXPECT_EQ(MessageNumbers({"619-555-0199", "", "Unknown", "+1555"}),
              (std::vector<std::string>{"6195550199", "+1555"}));
    ModemState st;
    st.m_ucServiceState = SERVICE_EVDO;
    st.m_nRasState = RAS_STATE_CONNECTED;
    st.m_wUiPhase = UI_PHASE_OUTGOING;
    EXPECT_EQ(VoiceCallRefusal(st, 2).text, pbpage::kNoCallConnecting);
    st.m_nRasState = 0;
    EXPECT_EQ(VoiceCallRefusal(st, 2).text, pbpage::kNoCallEvdo);
    EXPECT_EQ(VoiceCallRefusal(st, 2).icon, MsgIcon::Error);
    st.m_ucServiceState = SERVICE_1X;
    EXPECT_EQ(VoiceCallRefusal(st, 2).text, pbpage::kNoCallInCall);
    st.m_wUiPhase = UI_PHASE_IDLE;
    EXPECT_EQ(VoiceCallRefusal(st, 2).text, "You can select 1 item(s)");
    EXPECT_EQ(VoiceCallRefusal(st, 0).text, pbpage::kNoSelection);
    EXPECT_FALSE(VoiceCallRefusal(st, 1));
    EXPECT_EQ(WriteMessageRefusal(st, 6).text, "You can select 5 item(s)");
    EXPECT_FALSE(WriteMessageRefusal(st, 5));
    // No search without text, except over all columns; none on a page that is no page.
    EXPECT_FALSE(PbSearchQuery(pbpage::PAGE_MEMORY, pbpage::COL_NAME, ""));
    EXPECT_TRUE(PbSearchQuery(pbpage::PAGE_HISTORY, pbpage::COL_ALL, ""));
    EXPECT_FALSE(PbSearchQuery(pbpage::PAGE_HISTORY, pbpage::COL_INDEX, "1"));
}
