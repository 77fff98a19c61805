// The texts sent to the notification service: what the bus would refuse
// (invalid UTF-8) or a server would misread never goes out as it came.
#include "notify/NotificationText.h"

#include <gtest/gtest.h>

using namespace kvnotify;

TEST(NoticeText, BusTextKeepsUtf8AndRepairsTheRest)
{
    EXPECT_EQ(BusText("Grüße, 日本 😀"), "Grüße, 日本 😀");
    // A lone continuation byte, a cut sequence, an overlong '/', a surrogate.
    EXPECT_EQ(BusText("a\x80" "b"), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(BusText("x\xE6\x97"), "x\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(BusText("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(BusText("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    // Control characters go, line breaks and tabs stay; a NUL does not cut.
    EXPECT_EQ(BusText(std::string("a\0b\x1b[1m\tc\nd\x7f", 12)), "ab[1m\tc\nd");
    // Cut at the limit, never inside a character.
    EXPECT_EQ(BusText("ééé", 5), "éé");
}

TEST(NoticeText, SmsBodyIsItsFirstLineWithText)
{
    EXPECT_EQ(FirstLine("Hello\r\nsecond"), "Hello");
    EXPECT_EQ(FirstLine("\n \r\n  Hi there  \nnext"), "Hi there");
    EXPECT_EQ(FirstLine(""), "");
    EXPECT_EQ(FirstLine("\n\n"), "");
    EXPECT_EQ(MarkupEscaped("<b>&"), "&lt;b&gt;&amp;");
}

TEST(NoticeText, AnsweredAndEndedCallsHaveNoNotice)
{
    kv::OwnerEvent e;
    e.kind = kv::OwnerEventKind::CallAnswered;
    EXPECT_FALSE(NoticeFor(e, true));
    e.kind = kv::OwnerEventKind::CallEnded;
    EXPECT_FALSE(NoticeFor(e, true));
    // A message without a number cannot be answered.
    e.kind = kv::OwnerEventKind::SmsReceived;
    const auto n = NoticeFor(e, true);
    ASSERT_TRUE(n);
    EXPECT_EQ(n->summary, "Unknown number");
    ASSERT_EQ(n->actions.size(), 1u);
    EXPECT_EQ(n->actions[0].first, kActMarkRead);
}
