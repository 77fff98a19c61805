// What reaches a filtered CEditEx by the ways other than typed keys: paste,
// drag and drop, input methods and keys that type several characters at
// once. Each must pass the same filter as a typed key, so that a field
// that takes digits holds digits whatever the user did.
#include "UiTestUtil.h"

#include "controls/EditEx.h"
#include "controls/PageDialogs.h"

#include <QClipboard>
#include <QDropEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QString Pasted(CEditEx& e, const QString& text)
{
    QApplication::clipboard()->setText(text);
    e.paste();
    return e.Text();
}

QString Dropped(CEditEx& e, const QString& text)
{
    QMimeData mime;
    mime.setText(text);
    const QPointF at(e.viewport()->rect().center());
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(e.viewport(), &enter);
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(e.viewport(), &drop);
    return e.Text();
}

QString Committed(CEditEx& e, const QString& text, const QString& preedit = QString())
{
    QInputMethodEvent ev(preedit, {});
    ev.setCommitString(text);
    QApplication::sendEvent(&e, &ev);
    return e.Text();
}

QString KeyWithText(CEditEx& e, const QString& text)
{
    QKeyEvent ev(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
    QApplication::sendEvent(&e, &ev);
    return e.Text();
}

struct Field {
    explicit Field(unsigned mode, int limit = 0)
    {
        e.SetInputMode(mode);
        e.SetLimitText(limit);
        e.show();
    }
    CEditEx e;
};

} // namespace

TEST(EditExInput, PasteKeepsOnlyWhatEachModeWouldTakeTyped)
{
    Field phone(CEditEx::MODE_PHONE);
    EXPECT_EQ(Pasted(phone.e, "abc+12-3p#+"), "+123p#");
    Field digits(CEditEx::MODE_DIGITS, 4);
    EXPECT_EQ(Pasted(digits.e, "index 12 of 345"), "1234");   // filtered, then cut to the limit
    Field digitsP(CEditEx::MODE_DIGITS_P);
    EXPECT_EQ(Pasted(digitsP.e, "1p2x*3"), "1p23");
    Field name(CEditEx::MODE_NAME_LENGTH);
    EXPECT_EQ(Pasted(name.e, "Bob 12*#"), "12*#");
    Field search(CEditEx::MODE_ENTER_COMMAND);
    EXPECT_EQ(Pasted(search.e, "ab\ncd\r\n"), "abcd");        // Enter is a command there, not text
    Field validated(0);
    validated.e.SetValidator([](QChar c) { return c == 'x'; });
    EXPECT_EQ(Pasted(validated.e, "axbxc"), "xx");
    // Free text keeps everything but still meets the limit.
    Field text(CEditEx::MODE_TEXT_NOTIFY, 5);
    EXPECT_EQ(Pasted(text.e, "hello, world"), "hello");
}

TEST(EditExInput, PastedPlusFollowsThePlaceItLandsAndTheTextAround)
{
    Field phone(CEditEx::MODE_PHONE);
    phone.e.SetText("12");
    phone.e.moveCursor(QTextCursor::End);
    EXPECT_EQ(Pasted(phone.e, "+3"), "123");   // after a digit: no "+"
    QTextCursor c = phone.e.textCursor();
    c.setPosition(0);
    phone.e.setTextCursor(c);
    EXPECT_EQ(Pasted(phone.e, "++0"), "+0123");   // only the first one, at the start
    // A selection is replaced: the digits of the pasted text take its place.
    phone.e.selectAll();
    EXPECT_EQ(Pasted(phone.e, "call 555"), "555");
}

TEST(EditExInput, DropsPassTheFilter)
{
    Field digits(CEditEx::MODE_DIGITS);
    EXPECT_EQ(Dropped(digits.e, "7 days"), "7");
    Field phone(CEditEx::MODE_PHONE);
    EXPECT_EQ(Dropped(phone.e, "555-CALL-NOW"), "555");
}

TEST(EditExInput, InputMethodsAndMultiCharacterKeysPassTheFilter)
{
    Field digits(CEditEx::MODE_DIGITS);
    EXPECT_EQ(Committed(digits.e, "4a2"), "42");
    // A composition in progress shows nothing in a filtered field.
    EXPECT_EQ(Committed(digits.e, "", QString::fromUtf8("\xe3\x81\x82")), "42");
    EXPECT_EQ(KeyWithText(digits.e, "x9y"), "429");
    // A character outside the basic plane arrives as one key with two
    // halves: a number field takes neither.
    Field phone(CEditEx::MODE_PHONE);
    EXPECT_EQ(KeyWithText(phone.e, QString::fromUtf8("\xf0\x9f\x98\x80")), "");
    EXPECT_EQ(Committed(phone.e, QString::fromUtf8("1\xf0\x9f\x98\x80" "2")), "12");
    // Free text takes the composition and the character whole.
    Field text(0);
    EXPECT_EQ(KeyWithText(text.e, QString::fromUtf8("\xf0\x9f\x98\x80")), QString::fromUtf8("\xf0\x9f\x98\x80"));
    EXPECT_EQ(Committed(text.e, "ab"), QString::fromUtf8("\xf0\x9f\x98\x80" "ab"));
}

TEST(EditExInput, ProgramTextIsTakenAsItIs)
{
    // The program shows stored numbers (a sender may be a name): SetText is
    // not filtered, only what the user puts in is.
    Field phone(CEditEx::MODE_PHONE);
    phone.e.SetText("OPERATOR");
    EXPECT_EQ(phone.e.Text(), "OPERATOR");
    EXPECT_TRUE(phone.e.Filters());
    Field free(0);
    EXPECT_FALSE(free.e.Filters());
}
