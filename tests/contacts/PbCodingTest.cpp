// Name codings, number clean-up, dial-string rules and batch sizes.
#include "contacts/PbCoding.h"
#include "data/DataConstants.h"

#include <gtest/gtest.h>

using namespace kv;

namespace {
std::array<uint8_t, pb_layout::kNameMax> Field(std::initializer_list<int> bytes)
{
    std::array<uint8_t, pb_layout::kNameMax> f{};
    size_t i = 0;
    for (int b : bytes)
        f[i++] = uint8_t(b);
    return f;
}
} // namespace

TEST(PbName, PlainMarkedAndUcs2CodingsAreRead)
{
    auto plain = Field({'B', 'o', 'b'});
    EXPECT_EQ(DecodePbName(plain.data()), "Bob");
    auto marked = Field({0x80, 0xC4, 'r', 'n', 'e'});
    EXPECT_EQ(DecodePbName(marked.data()), "\xC4rne");
    // 0x81: 3 characters, base 0x08 * 128 = 0x400 (Cyrillic): 0x90 → U+0410, 'A', 0xB1 → U+0431.
    auto ucs81 = Field({0x81, 3, 0x08, 0x90, 'A', 0xB1});
    EXPECT_EQ(DecodePbName(ucs81.data()), "\xD0\x90" "A" "\xD0\xB1");
    // 0x82: 2 characters, base 0x0620 (Arabic): 0x88 → U+0628, '1'.
    auto ucs82 = Field({0x82, 2, 0x06, 0x20, 0x88, '1'});
    EXPECT_EQ(DecodePbName(ucs82.data()), "\xD8\xA8" "1");
    // A name starting with a Latin character is kept too.
    auto latin = Field({0x81, 2, 0x00, 'J', 'o'});
    EXPECT_EQ(DecodePbName(latin.data()), "Jo");
    // Other codings with the top bit: no name.
    auto other = Field({0x90, 'x'});
    EXPECT_EQ(DecodePbName(other.data()), "");
    // A count beyond the field stops at the field's end.
    auto cut = Field({0x81, 250, 0x01});
    EXPECT_LE(ExpandUcs2Name(cut.data(), cut.size()).size(), size_t(62));
    EXPECT_TRUE(ExpandUcs2Name(cut.data(), 2).empty());
}

TEST(PbName, WrittenNamesGetTheirCodingAndLength)
{
    PbRecord r;
    ASSERT_TRUE(MakePbWriteRecord(kPbookMemory, 5, "Bob", "5551234", r));
    EXPECT_EQ(r.storage, kPbStorageMemory);
    EXPECT_EQ(r.nameLength, 3);
    ASSERT_TRUE(MakePbWriteRecord(kPbookRuim, 5, "\xC4\xD6\xDC\xDF", "5551234", r));
    EXPECT_EQ(r.storage, kPbStorageRuim);
    EXPECT_EQ(r.name[0], 0x80);
    EXPECT_EQ(r.name[4], 0xDF);
    EXPECT_EQ(r.nameLength, 5);
    ASSERT_TRUE(MakePbWriteRecord(kPbookRuim, 5, "\xC4\xD6\xDC", "5551234", r));
    EXPECT_EQ(r.nameLength, 5);
    ASSERT_TRUE(MakePbWriteRecord(kPbookMemory, 1, "x", "+82p10", r));
    EXPECT_EQ(r.number, "+82P10"); // dial strings go upper case
    EXPECT_FALSE(MakePbWriteRecord(kPbookMemory, 1, "x", std::string(33, '1'), r));
    EXPECT_FALSE(MakePbWriteRecord(888, 1, "x", "1", r));
}

TEST(PbNumber, ReadNumbersAreCleanedAndCutForTheCard)
{
    PbRecord r;
    r.number = "5e67?8";
    r.numberLength = 6;
    EXPECT_EQ(PbNumberFromRecord(r, false), "5678");
    r.number = "123456789012345678901234";
    r.numberLength = 24;
    EXPECT_EQ(PbNumberFromRecord(r, true), "12345678901234567890");
    EXPECT_EQ(PbNumberFromRecord(r, false).size(), 24u);
    r.number = "+1P2E3";
    r.numberLength = 6;
    EXPECT_EQ(PbNumberFromRecord(r, false), "+1p23");
    r.numberLength = 40; // a length beyond the bytes present
    EXPECT_EQ(PbNumberFromRecord(r, false), "+1p23");
}

TEST(PbDialString, PlusAndPauseRules)
{
    EXPECT_EQ(CheckDialString("+8210555"), DialCheck::Ok);
    EXPECT_EQ(CheckDialString("1p"), DialCheck::Ok);
    EXPECT_EQ(CheckDialString("1P2"), DialCheck::Ok);
    EXPECT_EQ(CheckDialString("123p4p5"), DialCheck::Ok);
    EXPECT_EQ(CheckDialString("12+3"), DialCheck::PlusMisplaced);
    EXPECT_EQ(CheckDialString("p123"), DialCheck::PauseMisplaced);
    EXPECT_EQ(CheckDialString("+p12"), DialCheck::PauseMisplaced);
    EXPECT_EQ(CheckDialString("12p"), DialCheck::PauseMisplaced);
    EXPECT_EQ(CheckDialString("12pp3"), DialCheck::PauseMisplaced);
    EXPECT_EQ(CheckDialString("12PP3"), DialCheck::PauseMisplaced);
    EXPECT_STREQ(DialCheckText(DialCheck::PlusMisplaced), "Input Dial Number Fail.(+)");
    EXPECT_STREQ(DialCheckText(DialCheck::PauseMisplaced), "Input Dial Number Fail.(P)");
}

TEST(PbDialString, LettersAndControlCharactersAreRefusedBeforeTheModem)
{
    EXPECT_EQ(CheckDialString("555CALL"), DialCheck::BadCharacter);
    EXPECT_EQ(CheckDialString("555call"), DialCheck::BadCharacter);
    EXPECT_EQ(CheckDialString("abc"), DialCheck::BadCharacter);
    // The letter wins over a misplaced "+" or "p": the user learns what is wrong.
    EXPECT_EQ(CheckDialString("12+x"), DialCheck::BadCharacter);
    EXPECT_EQ(CheckDialString("p1a"), DialCheck::BadCharacter);
    EXPECT_EQ(CheckDialString("12\n3"), DialCheck::BadCharacter);
    EXPECT_EQ(CheckDialString("12\x7f"), DialCheck::BadCharacter);
    EXPECT_EQ(CheckDialString("12\xc3\xa9"), DialCheck::BadCharacter);   // "é"
    // What dial strings hold stays allowed: digits, "*", "#", the pause,
    // a leading "+", and the "-" of stored numbers.
    EXPECT_EQ(CheckDialString("*67#"), DialCheck::Ok);
    EXPECT_EQ(CheckDialString("+1P2"), DialCheck::Ok);
    EXPECT_EQ(CheckDialString("619-555-0199"), DialCheck::Ok);
    EXPECT_STREQ(DialCheckText(DialCheck::BadCharacter), "Input Dial Number Fail.(0-9 * # + P)");
}

TEST(PbBatches, TwentyFiveTwentyAndSeven)
{
    auto batches = [](int total) {
        std::vector<int> v;
        for (int pos = 0; pos < total;) {
            const int n = PbBatchCount(total, pos);
            v.push_back(n);
            pos += n;
        }
        return v;
    };
    EXPECT_EQ(batches(25), (std::vector<int>{10, 10, 5}));
    EXPECT_EQ(batches(20), (std::vector<int>{10, 10}));
    EXPECT_EQ(batches(7), (std::vector<int>{7}));
    EXPECT_EQ(batches(250).size(), 25u);
    EXPECT_EQ(PbRuimNameLimit(65), 64);
    EXPECT_EQ(PbRuimWideNameLimit(65), 30);
    EXPECT_EQ(PbRuimWideNameLimit(33), 14);
}
