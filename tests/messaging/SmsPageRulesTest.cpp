// The SMS page's rules: the inbox and outbox order, the home counters, the
// storage warnings at 80 %, the palette's grid, text cuts that never split a
// character, and a phonebook that cannot be read never offering index 1.
#include "contacts/PbTable.h"
#include "data/DaoPbookDb.h"
#include "data/DataConstants.h"
#include "messaging/SmsPageRules.h"
#include "support/TempSettings.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace kv;
using namespace kv::smspage;

namespace {

std::vector<int32_t> Indexes(const std::vector<SmsListItem>& items)
{
    std::vector<int32_t> out;
    for (const SmsListItem& i : items)
        out.push_back(i.index);
    return out;
}

const int32_t M1 = SmsRowIndex(kSmsStoreMemory, 1), M2 = SmsRowIndex(kSmsStoreMemory, 2),
              M3 = SmsRowIndex(kSmsStoreMemory, 3), R1 = SmsRowIndex(kSmsStoreRuim, 1),
              R2 = SmsRowIndex(kSmsStoreRuim, 2), M4 = SmsRowIndex(kSmsStoreMemory, 4);

} // namespace

TEST(SmsPageRules, InboxPutsUnreadFirstThenReadEachNewestFirstAndOutboxNewestFirst)
{
    // Rows in time order, oldest first: unread, read, read, unread, unread,
    // with an outbox row between them.
    const std::vector<SmsRowView> rows = {
        {M1, 2, "oldest unread"}, {R1, 1, "old\r\nread"}, {M4, 3, "stored"},
        {M2, 1, "newer read"},    {R2, 2, "card unread"}, {M3, 2, "newest unread"},
    };
    const auto inbox = BuildInboxItems(rows, -1, 0);
    EXPECT_EQ(Indexes(inbox), (std::vector<int32_t>{M3, R2, M1, M2, R1}));
    EXPECT_EQ(inbox[4].text, "oldread") << "CR and LF are removed";
    EXPECT_EQ(inbox[1].icon, ICON_RUIM_UNREAD);
    EXPECT_EQ(inbox[3].icon, ICON_MEMORY_READ);

    // The voice-mail notification (memory slot 1 here) by its texts.
    const auto voice = BuildInboxItems(rows, 1, 3);
    EXPECT_EQ(voice[2].text, "Voice Mail(3)");
    EXPECT_EQ(voice[2].icon, ICON_VOICE_MAIL);
    const auto voiceRead = BuildInboxItems({{M1, 1, "x"}}, 1, 3);
    EXPECT_EQ(voiceRead[0].text, "Voice Mail");

    const auto outbox = BuildOutboxItems({{M4, 3, "a"}, {M1, 2, "in"}, {R1, 4, "b"}});
    EXPECT_EQ(Indexes(outbox), (std::vector<int32_t>{R1, M4}));
    EXPECT_EQ(outbox[0].icon, ICON_RUIM_SENT);
}

TEST(SmsPageRules, HomeCountsAndStorageWarningsAtEightyPercent)
{
    // The voice-mail notification is one of the new messages.
    EXPECT_EQ(ComputeHomeCounts(3, 2, 4, 5).notRead, 2);
    EXPECT_EQ(ComputeHomeCounts(0, 2, 4, 5).notRead, 0);
    EXPECT_EQ(ComputeHomeCounts(3, -1, -2, 5).voice, 0);
    EXPECT_EQ(ComputeHomeCounts(3, -1, -2, 5).total, 5);

    EXPECT_EQ(StorageWarnings(SMS_INBOX_LIST, 0, 0, 80),
              "InBox Memory space has been Used 80%. (MAX:99,Use:80)\n");
    EXPECT_EQ(StorageWarnings(SMS_INBOX_LIST, 0, 0, 79), "") << "79 of 99 is below 80 %";
    EXPECT_EQ(StorageWarnings(SMS_OUTBOX_LIST, 50, 40, 99),
              "RUIM Memory space has been Used 80%. (MAX:50,Use:40)\n"
              "OutBox Memory space has been Used 100%. (MAX:99,Use:99)\n");
    EXPECT_EQ(StorageWarnings(SMS_HOME, 50, 39, 0), "");
    EXPECT_EQ(StorageWarnings(SMS_COMPOSE, 50, 50, 99), "") << "no warnings while writing";
}

TEST(SmsPageRules, PaletteGridCellsAndTheirSymbols)
{
    EXPECT_STREQ(PaletteSymbol(1), "\\");
    // The first cell of the second row is "(".
    EXPECT_STREQ(PaletteSymbol(PaletteCellAt(kPaletteLeft + 3, kPaletteTop + kCellHeight + 3)), "(");
    // The 31st cell (fifth row, third column) holds nothing.
    const int cell31 = PaletteCellAt(kPaletteLeft + 2 * kCellWidth + 5, kPaletteTop + 4 * kCellHeight + 5);
    EXPECT_EQ(cell31, 30);
    EXPECT_STREQ(PaletteSymbol(cell31), "");
    EXPECT_STREQ(PaletteSymbol(29), "~");
    EXPECT_EQ(PaletteCellAt(9, 10), -1);
    EXPECT_EQ(PaletteCellAt(150, 10), -1);
    EXPECT_EQ(PaletteCellAt(20, 91), -1);
    EXPECT_EQ(PaletteCellAt(149, 89), 34);
}

TEST(SmsPageRules, CutsNeverSplitACharacterAndTextsKeepTheirForms)
{
    const std::string s = "ab\xC3\xA9" "cd"; // "abécd"
    EXPECT_EQ(Utf8Prefix(s, 3), "ab");
    EXPECT_EQ(Utf8Prefix(s, 4), "ab\xC3\xA9");
    EXPECT_EQ(Utf8Prefix("\xE2\x82\xAC\xE2\x82\xAC", 5), "\xE2\x82\xAC") << "a three-byte euro sign";
    EXPECT_EQ(Utf8Prefix(std::string(300, 'x'), kSendTextMax).size(), 228u);

    EXPECT_EQ(NormalizeCrLf("a\nb\r\nc\rd"), "a\r\nb\r\nc\r\nd");
    EXPECT_EQ(CounterText(0, 70, 160), "0/160");
    EXPECT_EQ(CounterText(12, 160, 160), "12/160");
    // 1980-01-06 00:00:00 plus one day, one hour, two minutes, three seconds.
    const double t = 86400 + 3600 + 123;
    EXPECT_EQ(MessageTimeText(t, true), "Time:\n07-01-1980, 01:02:03");
    EXPECT_EQ(MessageTimeText(t, false), "Time:\n1980-01-07   01:02:03");

    EXPECT_EQ(RecipientRefusal({"123", "12+3"}), "Input Dial Number Fail.(+) 12+3");
    EXPECT_EQ(RecipientRefusal({"p123"}), "Input Dial Number Fail.(P) p123");
    EXPECT_EQ(RecipientRefusal({"+123", "555p1"}), "");

    EXPECT_EQ(EffectiveState(0x104, false), SMS_HOME);
    EXPECT_EQ(EffectiveState(SMS_INBOX_LIST, true), SMS_CALLBACK);
}

TEST(SmsPageRules, AnUnreadablePhonebookGivesNoFreeIndex)
{
    kvtest::TempSettings dir;
    const std::string path = dir.Path("WVL.MDB");
    std::filesystem::copy_file(KORVIA_BUILT_DB, path);
    {
        CDaoPbookDb pb(path);
        for (int index : {1, 2, 4}) {
            pb.Open();
            pb.AddNew();
            pb.m_storage_type = kPbookMemory;
            pb.m_index = index;
            pb.m_name = "n";
            pb.m_phone_number = "1";
            pb.Update();
            pb.Close();
        }
        EXPECT_EQ(PbFreeIndex(pb, kPbookMemory), 3);
        EXPECT_EQ(PbEntryCount(pb, kPbookMemory), 3);
        EXPECT_EQ(PbFreeIndex(pb, kPbookRuim), 1) << "an empty phonebook starts at 1";
        EXPECT_FALSE(pb.IsOpen());
    }
    // A file that is not a database: the plain lookup would answer 1.
    const std::string bad = dir.Path("broken.mdb");
    std::ofstream(bad) << "this is not a database file at all, not even close";
    CDaoPbookDb broken(bad);
    EXPECT_EQ(broken.NextFreeIndex(kPbookMemory), 1);
    EXPECT_EQ(PbFreeIndex(broken, kPbookMemory), -1);
    EXPECT_EQ(PbEntryCount(broken, kPbookMemory), -1);
}
