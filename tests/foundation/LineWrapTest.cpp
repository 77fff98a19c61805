// The message line's line breaking: words stay whole unless a word is longer
// than the line, and nothing but the break's spaces is lost.
#include "log/LineWrap.h"

#include <gtest/gtest.h>

#include <string>

using namespace kv;

TEST(LineWrap, BreaksAtTheLastSpaceThatFits)
{
    EXPECT_EQ(WrapAtWords("ComPort is not opened."), "ComPort is not\nopened.");
    EXPECT_EQ(WrapAtWords("Searching for the modem"), "Searching for\nthe modem");
    // The overflowing character is the space itself: the full line stays.
    EXPECT_EQ(WrapAtWords("1234567890123456 abc"), "1234567890123456\nabc");
    // A run of spaces at the break goes with it.
    EXPECT_EQ(WrapAtWords("abcdefghij     klmnop"), "abcdefghij\nklmnop");
    EXPECT_EQ(WrapAtWords("short"), "short");
    EXPECT_EQ(WrapAtWords("exactly sixteen!"), "exactly sixteen!");
    EXPECT_EQ(WrapAtWords(""), "");
    EXPECT_EQ(WrapAtWords(" "), " ");
}

TEST(LineWrap, CutsOnlyWordsLongerThanTheLine)
{
    EXPECT_EQ(WrapAtWords("0123456789ABCDEF0123456789ABCDEF01234567"),
              "0123456789ABCDEF\n0123456789ABCDEF\n01234567");
    EXPECT_EQ(WrapAtWords("Call 12345678901234567890"), "Call\n1234567890123456\n7890");
    // Leading spaces are no place to break: the word is cut instead of
    // leaving a line of spaces.
    EXPECT_EQ(WrapAtWords("   abcdefghijklmnopq"), "   abcdefghijklm\nnopq");
    // Trailing spaces past the line end leave no empty line behind.
    EXPECT_EQ(WrapAtWords("1234567890123456    "), "1234567890123456");
}

TEST(LineWrap, KeepsLineBreaksAndWideCharactersWhole)
{
    EXPECT_EQ(WrapAtWords("Bob\n6195550122"), "Bob\n6195550122");
    EXPECT_EQ(WrapAtWords("Missed call from\nan unknown caller today"),
              "Missed call from\nan unknown\ncaller today");
    EXPECT_EQ(WrapAtWords("\rRUIM Initializing now"), "\rRUIM\nInitializing now");
    // é takes two columns and is never split.
    const std::string e = "\xC3\xA9";
    EXPECT_EQ(WrapAtWords(std::string(15, 'a') + e + "b"), std::string(15, 'a') + "\n" + e + "b");
    EXPECT_EQ(WrapAtWords("caf" + e + " ouvert maintenant"), "caf" + e + " ouvert\nmaintenant");
    EXPECT_EQ(LineColumns("caf" + e), 5u);
    // A stray byte of a broken sequence is one character, not a crash.
    EXPECT_EQ(WrapAtWords(std::string(8, '\xA9'), 4), std::string(2, '\xA9') + "\n"
                  + std::string(2, '\xA9') + "\n" + std::string(2, '\xA9') + "\n" + std::string(2, '\xA9'));
    // A character wider than the line stands alone; width 0 keeps the text.
    EXPECT_EQ(WrapAtWords(e + e, 1), e + "\n" + e);
    EXPECT_EQ(WrapAtWords("a b c", 0), "a b c");
}
