// The skinned controls, the region from a picture, and the artwork itself.
#include "UiTestUtil.h"

#include "controls/EditEx.h"
#include "controls/HoverButton.h"
#include "controls/MacProgressCtrl.h"
#include "controls/RegionFromBitmap.h"
#include "controls/Skin.h"
#include "controls/SkinIds.h"
#include "controls/TextStatic.h"
#include "controls/UserMessage.h"

#include <QImage>
#include <QPainter>
#include <QSet>
#include <QTest>
#include <gtest/gtest.h>

using namespace kvui;

// ---- CHoverButton --------------------------------------------------------

TEST(HoverButton, SizesToOneFrameAndPicksFramesByState)
{
    QPixmap strip(150, 20);
    strip.fill(Qt::red);
    CHoverButton b(nullptr, 1000);
    b.move(30, 40);
    ASSERT_TRUE(b.SetBitmap(strip, 3));
    EXPECT_EQ(b.size(), QSize(50, 20));
    EXPECT_EQ(b.pos(), QPoint(30, 40));
    EXPECT_EQ(b.objectName(), "1000");

    EXPECT_EQ(CHoverButton::FrameFor(3, true, true, false, 0), 2);    // pressed
    EXPECT_EQ(CHoverButton::FrameFor(2, true, true, false, 0), 1);    // short strip
    EXPECT_EQ(CHoverButton::FrameFor(3, false, true, true, 0), 1);    // hover
    EXPECT_EQ(CHoverButton::FrameFor(3, false, true, false, 0), 0);   // normal
    EXPECT_EQ(CHoverButton::FrameFor(4, false, false, false, 0x10), 3);
    EXPECT_EQ(CHoverButton::FrameFor(3, false, false, false, 0x01), 2);
    EXPECT_EQ(CHoverButton::FrameFor(3, false, false, true, 0), 0);   // disabled ignores hover

    b.setDown(true);
    EXPECT_EQ(b.CurrentFrame(), 2);
}

// What a button looks like, as the user sees it on the screen.
static QImage Grab(CHoverButton& b)
{
    QImage img(b.size(), QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    b.render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
    return img;
}

TEST(HoverButton, ADisabledButtonNeverLooksEnabled)
{
    // A four-frame strip shows its grey disabled frame.
    CHoverButton page;
    ASSERT_TRUE(page.SetBitmap(IDB_BTN_SMS_PAGE));
    const QImage pageOn = Grab(page);
    page.setEnabled(false);
    EXPECT_EQ(page.CurrentFrame(), 3);
    EXPECT_NE(Grab(page), pageOn);

    // A three-frame strip has no disabled frame: its normal frame is faded.
    CHoverButton net;
    ASSERT_TRUE(net.SetBitmap(IDB_BTN_NET));
    const QImage netOn = Grab(net);
    net.setEnabled(false);
    const QImage netOff = Grab(net);
    ASSERT_EQ(netOff.size(), netOn.size());
    const QPoint mid(netOn.width() / 2 - 8, netOn.height() / 2);
    EXPECT_LT(qAlpha(netOff.pixel(mid)), qAlpha(netOn.pixel(mid)) * 2 / 3);

    // Net Connect and Net Disconnect are different pictures.
    EXPECT_NE(SkinPixmap(IDB_BTN_NET).toImage(), SkinPixmap(IDB_BTN_NET_OFF).toImage());
}

TEST(HoverButton, SkinStripsGiveFrameCountLookAndTooltip)
{
    CHoverButton b;
    ASSERT_TRUE(b.SetBitmap(IDB_BTN_BALANCE));   // four frames, last one disabled
    EXPECT_EQ(b.FrameCount(), 4);
    EXPECT_TRUE(b.LookFlags() & CHoverButton::LOOK_DISABLED_FRAME3);
    b.setEnabled(false);
    EXPECT_EQ(b.CurrentFrame(), 3);
    b.MarkLook(-1);
    EXPECT_EQ(b.LookFlags(), 0u);
    EXPECT_EQ(b.CurrentFrame(), 0);

    const QSize before = b.size();
    EXPECT_FALSE(b.SetBitmap(99999));   // unknown picture leaves it as it was
    EXPECT_EQ(b.size(), before);

    b.SetTooltipText("Get Balance");
    EXPECT_EQ(b.toolTip(), "Get Balance");
}

// ---- CTextStatic ---------------------------------------------------------

TEST(TextStatic, WrapsIntoSixteenCharacterLines)
{
    CTextStatic t;
    const QString forty = "0123456789ABCDEF0123456789ABCDEF01234567";
    t.SetText(forty, true);
    const QStringList lines = t.Text().split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0].size(), 16);
    EXPECT_EQ(lines[1].size(), 16);
    EXPECT_EQ(lines[2].size(), 8);

    // Breaks between words; only a word longer than the line is cut.
    t.SetText("ComPort is not opened.", true);
    EXPECT_EQ(t.Text(), "ComPort is not\nopened.");
    t.SetText(forty, false);                  // no wrap flag: unchanged
    EXPECT_EQ(t.Text(), forty);
    t.SetText("Modem \nReset", true);         // already has a break: unchanged
    EXPECT_EQ(t.Text(), "Modem \nReset");
    // A wide character counts two bytes and is never split.
    EXPECT_EQ(CTextStatic::WrapText(QString(15, 'a') + QChar(0x00E9) + "b"),
              QString(15, 'a') + "\n" + QChar(0x00E9) + "b");
    t.SetText(QString(2000, 'x'));
    EXPECT_EQ(t.Text().size(), CTextStatic::MAX_TEXT);
}

TEST(TextStatic, StatusModeScrollsLongTextAndClearsTransientText)
{
    CTextStatic t;
    t.SetText("Incoming call 0123456789", false, true);
    EXPECT_TRUE(t.IsScrolling());            // longer than 16 characters
    EXPECT_FALSE(t.IsClearPending());        // call texts stay
    const QString first = t.ShownText();
    EXPECT_EQ(first, "Incoming call 0123456789    ");
    ASSERT_TRUE(uitest::WaitFor([&] { return t.ShownText() != first; }));
    EXPECT_EQ(t.ShownText(), "ncoming call 0123456789    I");

    t.SetText("Short", false, true);
    EXPECT_FALSE(t.IsScrolling());
    EXPECT_TRUE(t.IsClearPending());
    ASSERT_TRUE(uitest::WaitFor([&] { return t.Text().isEmpty(); }, 10000));
    // The same text after the clear shows again and clears again.
    t.SetText("Short", false, true);
    EXPECT_EQ(t.Text(), "Short");
    EXPECT_TRUE(t.IsClearPending());
}

// ---- CEditEx -------------------------------------------------------------

namespace {
class MessageCounter : public QObject {
public:
    int textUpdates = 0;
    int commands = 0;
    uintptr_t lastCommand = 0;
    bool event(QEvent* e) override
    {
        if (e->type() == CUserMessageEvent::EventType()) {
            auto* m = static_cast<CUserMessageEvent*>(e);
            if (m->Message() == UM_SMS_TEXT_UPDATE)
                ++textUpdates;
            if (m->Message() == WM_COMMAND) {
                ++commands;
                lastCommand = m->WParam();
            }
            return true;
        }
        return QObject::event(e);
    }
};

QString Typed(CEditEx& e, const QString& keys)
{
    QTest::keyClicks(&e, keys);
    return e.Text();
}
} // namespace

TEST(EditEx, PhoneModeTakesPlusOnlyFirstAndRefusesLetters)
{
    CEditEx e;
    e.show();
    e.SetInputMode(CEditEx::MODE_PHONE);
    EXPECT_EQ(Typed(e, "+12+ab*#p3"), "+12*#p3");
    e.SetText("");
    EXPECT_EQ(Typed(e, "12+"), "12");       // after a digit: refused
    e.SetText("12");
    QTextCursor c = e.textCursor();
    c.setPosition(0);
    e.setTextCursor(c);
    EXPECT_EQ(Typed(e, "+"), "+12");        // at the start: accepted
}

TEST(EditEx, DigitModesAndCtrlKeys)
{
    CEditEx e;
    e.show();
    e.SetInputMode(CEditEx::MODE_DIGITS);
    EXPECT_EQ(Typed(e, "1a2p#3"), "123");
    QTest::keyClick(&e, Qt::Key_Backspace);
    EXPECT_EQ(e.Text(), "12");
    EXPECT_EQ(e.Filter(Qt::Key_C, 'c', true), CEditEx::KeyVerdict::Accept);
    EXPECT_EQ(e.Filter(Qt::Key_V, 'v', true), CEditEx::KeyVerdict::Refuse);

    e.SetInputMode(CEditEx::MODE_DIGITS_P);
    e.SetText("");
    EXPECT_EQ(Typed(e, "1p2x*"), "1p2");
    EXPECT_EQ(e.Filter(Qt::Key_V, 'v', true), CEditEx::KeyVerdict::Accept);
    EXPECT_EQ(e.Filter(Qt::Key_A, 'a', true), CEditEx::KeyVerdict::Refuse);
}

TEST(EditEx, SmsUnitLengthAndNameMode)
{
    EXPECT_EQ(CEditEx::SmsUnitLength(""), 0);
    EXPECT_EQ(CEditEx::SmsUnitLength("abc"), 3);
    // "ab" then a wide character: (2 x 2) + 2, then each character 2.
    EXPECT_EQ(CEditEx::SmsUnitLength(QString("ab") + QChar(0x00E9)), 6);
    EXPECT_EQ(CEditEx::SmsUnitLength(QString("ab") + QChar(0x00E9) + "c"), 8);

    CEditEx e;
    e.show();
    e.SetInputMode(CEditEx::MODE_NAME_LENGTH);
    e.SetText(QString(35, '1'));
    e.moveCursor(QTextCursor::End);
    EXPECT_EQ(Typed(e, "2").size(), 36);   // 35 units: one more digit fits
    EXPECT_EQ(Typed(e, "3").size(), 36);   // 36 units: refused
    EXPECT_EQ(Typed(e, "*").size(), 37);   // '*' is not counted against it
    // With Ctrl, '+' only while the text is shorter than 2 characters.
    e.SetText("1");
    EXPECT_EQ(e.Filter(Qt::Key_Plus, '+', true), CEditEx::KeyVerdict::Accept);
    e.SetText("12");
    EXPECT_EQ(e.Filter(Qt::Key_Plus, '+', true), CEditEx::KeyVerdict::Refuse);
}

TEST(EditEx, NotifyModeReportsEveryKeyAndSwitchesLimitOnDelete)
{
    MessageCounter owner;
    CEditEx e;
    e.show();
    e.SetOwner(&owner);
    e.SetInputMode(CEditEx::MODE_TEXT_NOTIFY);
    e.SetLengthLimits(5, 2);
    EXPECT_EQ(Typed(e, "abcdefg"), "abcde");   // the first limit holds
    EXPECT_EQ(owner.textUpdates, 7);

    e.SetText(QString("a") + QChar(0x00E9));
    e.moveCursor(QTextCursor::Start);
    QTest::keyClick(&e, Qt::Key_Delete);        // still holds a wide character
    EXPECT_EQ(e.LimitText(), 2);
    EXPECT_EQ(owner.textUpdates, 8);
    QTest::keyClick(&e, Qt::Key_Delete);        // plain text again
    EXPECT_EQ(e.LimitText(), 5);
}

TEST(EditEx, EnterCommandModeAndValidator)
{
    MessageCounter owner;
    CEditEx e;
    e.show();
    e.SetOwner(&owner);
    e.SetInputMode(CEditEx::MODE_ENTER_COMMAND);
    QTest::keyClicks(&e, "ab");
    QTest::keyClick(&e, Qt::Key_Return);
    EXPECT_EQ(e.Text(), "ab");                  // Enter not inserted
    EXPECT_EQ(owner.commands, 1);
    EXPECT_EQ(owner.lastCommand, uintptr_t(CEditEx::ENTER_COMMAND_ID));

    e.SetText("");
    e.SetValidator([](QChar c) { return c == 'x' || c == QChar(0x08); });
    EXPECT_EQ(Typed(e, "axbx"), "xx");
    EXPECT_EQ(e.Filter(0, 'q', false), CEditEx::KeyVerdict::Beep);
}

TEST(EditEx, FixedPositionHoldsAndNoContextMenu)
{
    QWidget parent;
    CEditEx e(&parent);
    parent.show();
    e.SetFixedPosition(QPoint(32, 54));
    e.move(100, 100);
    EXPECT_EQ(e.pos(), QPoint(32, 54));
    EXPECT_EQ(e.contextMenuPolicy(), Qt::NoContextMenu);
}

// ---- CMacProgressCtrl ----------------------------------------------------

TEST(MacProgressCtrl, ShadesStayInRangeAndFillIsProportional)
{
    const auto s = CMacProgressCtrl::Shades(QColor(100, 220, 30));
    EXPECT_EQ(s[0], QColor(151, 220, 81));    // 220 + 51 would pass 255: kept
    EXPECT_EQ(s[1], QColor(202, 220, 132));
    EXPECT_EQ(s[2], QColor(253, 220, 183));
    EXPECT_EQ(s[3], QColor(49, 169, 30));     // 30 is below 51: kept
    EXPECT_EQ(s[4], QColor(49, 118, 30));     // 49 is below 51: kept

    EXPECT_EQ(CMacProgressCtrl::FilledLength(50, 0, 100, 120), 60);
    EXPECT_EQ(CMacProgressCtrl::FilledLength(0, 0, 100, 120), 0);
    EXPECT_EQ(CMacProgressCtrl::FilledLength(5, 5, 5, 120), 0);   // empty range

    CMacProgressCtrl bar;
    bar.setRange(0, 10);
    bar.SetStep(1);
    bar.StepIt();
    EXPECT_EQ(bar.value(), 1);
    bar.SetIndeterminate(true);
    ASSERT_TRUE(uitest::WaitFor([&] { return bar.StripeOffset() != 0; }));
    bar.SetIndeterminate(false);
}

// ---- Region and artwork --------------------------------------------------

TEST(RegionFromBitmap, KeyColourPixelsAreOutside)
{
    QImage img(6, 3, QImage::Format_RGB32);
    img.fill(QColor(255, 0, 255));
    img.setPixelColor(1, 0, Qt::black);        // black is inside with a magenta key
    img.setPixelColor(2, 0, Qt::black);
    img.setPixelColor(4, 0, Qt::white);
    img.setPixelColor(0, 2, Qt::blue);
    const QRegion r = RegionFromBitmap(img, QColor(255, 0, 255));
    EXPECT_TRUE(r.contains(QPoint(1, 0)));
    EXPECT_TRUE(r.contains(QPoint(2, 0)));
    EXPECT_FALSE(r.contains(QPoint(3, 0)));
    EXPECT_TRUE(r.contains(QPoint(4, 0)));
    EXPECT_TRUE(r.contains(QPoint(0, 2)));
    EXPECT_FALSE(r.contains(QPoint(0, 1)));
    EXPECT_EQ(r.rectCount(), 3);
    EXPECT_TRUE(RegionFromBitmap(QImage(), Qt::black).isEmpty());
}

TEST(Skin, MainFaceRegionKeepsTheControlsAndCutsTheRest)
{
    const QPixmap face = SkinPixmap(IDB_MAIN_SKIN);
    ASSERT_EQ(face.size(), QSize(500, 640));
    const QRegion r = RegionFromBitmap(face, SkinKeyColour(IDB_MAIN_SKIN));
    // Every control of the face lies inside the shape.
    for (QPoint p : {QPoint(12, 189), QPoint(171, 305), QPoint(28, 38), QPoint(96, 345),
                     QPoint(349, 443), QPoint(461, 36), QPoint(8, 319), QPoint(40, 2)})
        EXPECT_TRUE(r.contains(p)) << p.x() << "," << p.y();
    EXPECT_FALSE(r.contains(QPoint(250, 600)));   // below the body
    EXPECT_FALSE(r.contains(QPoint(0, 0)));       // rounded corner
    EXPECT_LT(r.boundingRect().bottom(), 640);
}

namespace {
struct Expect {
    std::vector<int> ids;
    QSize frame;
    int frames;
};
}

TEST(Skin, EveryPictureHasItsSizeFramesAndVisibleContent)
{
    const std::vector<Expect> table = {
        {{135, 175, 176, 177, 178, 245}, {19, 13}, 1},
        {{136, 179, 180, 181, 182, 183, 214, 215, 216, 217, 218, 219, 220}, {17, 13}, 1},
        {{137, 171, 172}, {24, 13}, 1},
        {{139, 230, 231}, {14, 13}, 1},
        {{260}, {13, 13}, 1},
        {{226, 312}, {17, 13}, 1},
        {{246, 255, 257, 258}, {17, 14}, 1},
        {{134, 222, 223, 224, 225}, {25, 10}, 1},
        {{232, 233, 234, 235, 236, 237, 238, 239, 240, 241, 242, 243, 244}, {171, 10}, 1},
        {{355, 353, IDB_BTN_NET_OFF}, {50, 36}, 3},
        {{318, 340, 319}, {17, 16}, 4},
        {{358, 357}, {27, 22}, 3},
        {{191}, {46, 26}, 3},
        {{279}, {54, 26}, 3},
    };
    for (const Expect& e : table) {
        for (int id : e.ids) {
            const QPixmap pm = SkinPixmap(id);
            ASSERT_FALSE(pm.isNull()) << id;
            EXPECT_EQ(SkinFrameCount(id), e.frames) << id;
            EXPECT_EQ(pm.size(), QSize(e.frame.width() * e.frames, e.frame.height())) << id;
            // Not blank: enough painted pixels in every frame.
            const QImage img = pm.toImage().convertToFormat(QImage::Format_ARGB32);
            for (int f = 0; f < e.frames; ++f) {
                int painted = 0;
                for (int y = 0; y < img.height(); ++y)
                    for (int x = f * e.frame.width(); x < (f + 1) * e.frame.width(); ++x)
                        painted += qAlpha(img.pixel(x, y)) > 60;   // dim segments count
                EXPECT_GT(painted, e.frame.width() * e.frame.height() / 10) << id << " frame " << f;
            }
        }
    }
    EXPECT_TRUE(SkinPixmap(12345).isNull());
    EXPECT_FALSE(SkinIcon(IDI_MAIN).isNull());
    EXPECT_FALSE(SkinIcon(IDI_TRAY).isNull());
}

TEST(Skin, LevelsOfOneIndicatorAreDistinctPictures)
{
    const std::vector<std::vector<int>> families = {
        {135, 175, 176, 177, 178, 245},
        {136, 179, 183, 181, 182, 180},
        {214, 215, 216, 217, 218, 219},
        {137, 171, 172},
        {139, 231, 230},
        {226, 312},
        {246, 255, 258, 257},
        {134, 225, 223, 224, 222},
        {236, 235, 233, 234, 232, 237, 238, 239, 240, 241, 242, 243, 244},
    };
    for (const auto& family : families) {
        QSet<QByteArray> seen;
        for (int id : family) {
            const QImage img = SkinPixmap(id).toImage();
            seen.insert(QByteArray(reinterpret_cast<const char*>(img.constBits()), int(img.sizeInBytes())));
        }
        EXPECT_EQ(seen.size(), int(family.size())) << "family starting " << family.front();
    }
    // The data-rate bar grows with the rate: count lit (non-dim) columns.
    auto lit = [](int id) {
        const QImage img = SkinPixmap(id).toImage().convertToFormat(QImage::Format_ARGB32);
        int n = 0;
        for (int x = 0; x < img.width(); ++x)
            n += qAlpha(img.pixel(x, 5)) == 255;
        return n;
    };
    const int order[] = {236, 235, 233, 234, 232, 237, 238, 239, 240, 241, 242, 243, 244};
    for (size_t i = 1; i < std::size(order); ++i)
        EXPECT_GT(lit(order[i]), lit(order[i - 1])) << order[i];
}

TEST(Skin, ColorRefIsBlueGreenRed)
{
    EXPECT_EQ(FromColorRef(0xF2E0D6), QColor(214, 224, 242));
    EXPECT_EQ(FromColorRef(0xA85959), QColor(89, 89, 168));
}
