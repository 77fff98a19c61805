// The PIN dialog's checks and settings, and the timed popup's countdown.
#include "UiTestUtil.h"

#include "controls/DialogIds.h"
#include "controls/HoverButton.h"
#include "controls/PinDlg.h"
#include "controls/UserMsgDlg.h"
#include "settings/Profile.h"
#include "support/TempSettings.h"

#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>
#include <thread>

using namespace kvui;

namespace {

std::string Setting(const char* section)
{
    return kv::GetProfileString(section, "num", "<none>", 64, "teal_dialer.ini");
}

class FakeOwner : public IModalOwner {
public:
    void SetModalWindow(QWidget* w) override { windows.push_back(w); }
    void SetModalView(int v) override { views.push_back(v); }
    QWidget* OwnerWindow() override { return nullptr; }
    std::vector<QWidget*> windows;
    std::vector<int> views;
};

// Runs the dialog's initialisation without blocking: exec() from a timer that
// fires inside it hands control back to the test through `body`.
template <typename Dlg>
void WhileOpen(Dlg& dlg, const std::function<void()>& body)
{
    QTimer::singleShot(0, &dlg, [&] {
        body();
        if (dlg.isVisible())
            dlg.done(QDialog::Rejected);
    });
    dlg.exec();
}

QLineEdit* Field(QDialog& dlg, int id)
{
    return dlg.findChild<QLineEdit*>(QString::number(id));
}

class PinDlgTest : public ::testing::Test {
protected:
    kvtest::TempSettings settings;
};

} // namespace

TEST_F(PinDlgTest, PinModeTitleLayoutAndOneCharacterPin)
{
    kv::WriteProfileString("chv1_cnt", "num", "3", "teal_dialer.ini");
    FakeOwner owner;
    CPinDlg dlg(&owner);
    dlg.SetMode(PIN_MODE_PIN);
    int result = -1;
    QTimer::singleShot(0, &dlg, [&] {
        EXPECT_EQ(dlg.windowTitle(), "PIN Number : (3)");
        EXPECT_EQ(dlg.size(), QSize(230, 110));
        EXPECT_FALSE(Field(dlg, IDC_PIN_UNBLOCK)->isVisible());
        EXPECT_FALSE(Field(dlg, IDC_PIN_CONFIRM)->isVisible());
        QLineEdit* pin = Field(dlg, IDC_PIN_NEW);
        EXPECT_TRUE(pin->isVisible());
        EXPECT_EQ(pin->echoMode(), QLineEdit::Password);
        EXPECT_EQ(pin->maxLength(), 8);
        auto* ok = dlg.findChild<CHoverButton*>("1");
        ASSERT_NE(ok, nullptr);
        EXPECT_EQ(ok->pos(), QPoint(60, 50));
        EXPECT_EQ(ok->TooltipText(), "Verify");
        pin->setText("7");
        dlg.OnOK();
    });
    result = dlg.exec();
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(dlg.accepted, 1);
    EXPECT_EQ(Setting("chv1"), "7");
    EXPECT_EQ(Setting("chv1_temp"), "<none>");
    ASSERT_FALSE(owner.windows.empty());
    EXPECT_EQ(owner.windows.front(), &dlg);   // registered as the modal window
}

TEST_F(PinDlgTest, EmptyPinIsRefusedWithItsMessage)
{
    CPinDlg dlg;
    dlg.SetMode(PIN_MODE_PIN);
    uitest::MessageBoxCloser boxes;
    WhileOpen(dlg, [&] {
        dlg.OnOK();
        EXPECT_TRUE(dlg.isVisible());   // stays open
    });
    EXPECT_EQ(boxes.Texts(), QStringList{"You must input Pin Code"});
    EXPECT_EQ(boxes.Captions(), QStringList{"Korvianet"});
    EXPECT_EQ(dlg.accepted, 0);
    EXPECT_EQ(Setting("chv1"), "<none>");
}

TEST_F(PinDlgTest, EnterInTheFieldVerifiesAndEscapeLeavesAsExit)
{
    {
        CPinDlg dlg;
        dlg.SetMode(PIN_MODE_PIN);
        int result = -1;
        QTimer::singleShot(0, &dlg, [&] {
            QLineEdit* pin = Field(dlg, IDC_PIN_NEW);
            QTest::keyClicks(pin, "1234");
            QTest::keyClick(pin, Qt::Key_Return);
            if (dlg.isVisible())
                dlg.done(-5);   // Enter did nothing
        });
        result = dlg.exec();
        EXPECT_EQ(result, QDialog::Accepted);
        EXPECT_EQ(dlg.accepted, 1);
        EXPECT_EQ(Setting("chv1"), "1234");
    }
    {
        kv::WriteProfileString("chv1", "num", "", "teal_dialer.ini");
        CPinDlg dlg;
        dlg.SetMode(PIN_MODE_PIN);
        int result = -1;
        QTimer::singleShot(0, &dlg, [&] {
            QLineEdit* pin = Field(dlg, IDC_PIN_NEW);
            QTest::keyClicks(pin, "99");
            QTest::keyClick(pin, Qt::Key_Escape);
            if (dlg.isVisible())
                dlg.done(-5);
        });
        result = dlg.exec();
        EXPECT_EQ(result, QDialog::Rejected);
        EXPECT_EQ(dlg.accepted, 0);
        EXPECT_EQ(Setting("chv1"), "");
    }
}

TEST_F(PinDlgTest, UnblockModeStoresShortPinBeforeLaterCheckKeepsItOpen)
{
    kv::WriteProfileString("chv1_pukcnt", "num", "10", "teal_dialer.ini");
    CPinDlg dlg;
    dlg.SetMode(PIN_MODE_UNBLOCK);
    uitest::MessageBoxCloser boxes;
    WhileOpen(dlg, [&] {
        EXPECT_EQ(dlg.windowTitle(), "UnBlock : (10)");
        EXPECT_EQ(dlg.size(), QSize(230, 170));
        EXPECT_TRUE(Field(dlg, IDC_PIN_UNBLOCK)->isVisible());
        EXPECT_TRUE(Field(dlg, IDC_PIN_CONFIRM)->isVisible());
        Field(dlg, IDC_PIN_UNBLOCK)->setText("12345678");
        Field(dlg, IDC_PIN_NEW)->setText("123");
        Field(dlg, IDC_PIN_CONFIRM)->setText("123");
        dlg.OnOK();
        EXPECT_TRUE(dlg.isVisible());
        dlg.OnExit();
    });
    EXPECT_TRUE(boxes.Texts().isEmpty());     // too short: no message
    EXPECT_EQ(Setting("chv1"), "123");        // already written
    EXPECT_EQ(Setting("chv1_temp"), "<none>");
    EXPECT_EQ(dlg.accepted, 0);               // left by Exit
}

TEST_F(PinDlgTest, UnblockChecksRunInOrderWithTheirMessages)
{
    CPinDlg dlg;
    dlg.SetMode(PIN_MODE_UNBLOCK);
    uitest::MessageBoxCloser boxes;
    WhileOpen(dlg, [&] {
        QLineEdit* code = Field(dlg, IDC_PIN_UNBLOCK);
        QLineEdit* pin = Field(dlg, IDC_PIN_NEW);
        QLineEdit* confirm = Field(dlg, IDC_PIN_CONFIRM);
        pin->setText("1234");
        confirm->setText("12");                // short confirmation: silent
        dlg.OnOK();
        confirm->setText("4321");              // mismatch
        dlg.OnOK();
        EXPECT_EQ(Setting("chv1_temp"), "<none>");
        confirm->setText("1234");
        code->setText("99");                   // unblock code too short
        dlg.OnOK();
        EXPECT_TRUE(dlg.isVisible());
        code->setText("87654321");
        dlg.OnOK();
        EXPECT_FALSE(dlg.isVisible());
    });
    EXPECT_EQ(boxes.Texts(), (QStringList{"New Pin Number is not matched.", "You must input Unblock Code"}));
    EXPECT_EQ(dlg.accepted, 1);
    EXPECT_EQ(Setting("chv1"), "1234");
    EXPECT_EQ(Setting("chv1_temp"), "87654321");
}

TEST_F(PinDlgTest, OpenedFromAWorkerThreadAndCancelledByTheEngineStop)
{
    std::atomic<int> answer{-1};
    bool sawOpen = false;
    // The dialog runs inside the UI thread's event loop; a timer plays the
    // engine stop that ends it.
    QTimer stopper;
    stopper.setInterval(20);
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        if (CPinDlg* open = CPinDlg::OpenDialog(); open && open->isVisible()) {
            sawOpen = true;
            CPinDlg::CancelOpen();
        }
    });
    stopper.start();
    std::thread engine([&] { answer = CPinDlg::Run(nullptr, PIN_MODE_PIN); });
    ASSERT_TRUE(uitest::WaitFor([&] { return answer.load() != -1; }));
    engine.join();
    EXPECT_TRUE(sawOpen);
    EXPECT_EQ(answer.load(), 0);
}

// ---- CUserMsgDlg ---------------------------------------------------------

TEST(UserMsgDlg, CountdownShowsSecondsThenTakesDefaultOk)
{
    FakeOwner owner;
    CUserMsgDlg dlg(&owner);
    dlg.SetText("Not enough space to store new message\nPlease delete the old messege.");
    dlg.SetMode(CUserMsgDlg::MODE_QUESTION);
    dlg.SetCountdown(5, true);
    QStringList titles;
    QObject::connect(&dlg, &QWidget::windowTitleChanged, [&](const QString& t) { titles << t; });
    // Drive the ticks directly: the one-second timer only calls OnTimer.
    QTimer::singleShot(0, &dlg, [&] {
        for (int i = 0; i < 10 && dlg.isVisible(); ++i)
            dlg.OnTimer();
    });
    EXPECT_EQ(dlg.exec(), QDialog::Accepted);
    EXPECT_EQ(titles, (QStringList{" 5 ", " 4 ", " 3 ", " 2 ", " 1 ", " 0 "}));
    EXPECT_EQ(dlg.Result(), CUserMsgDlg::RESULT_QUESTION);
    EXPECT_EQ(owner.views, (std::vector<int>{MODAL_POPUP, MODAL_NONE}));
    EXPECT_EQ(owner.windows.back(), nullptr);
}

TEST(UserMsgDlg, RealTimerEndsWithDefaultCancel)
{
    CUserMsgDlg dlg;
    dlg.SetMode(CUserMsgDlg::MODE_NOTICE);
    dlg.SetCountdown(1, false);
    QStringList titles;
    QObject::connect(&dlg, &QWidget::windowTitleChanged, [&](const QString& t) { titles << t; });
    // Bounded: close it ourselves if the timer never fires.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &dlg, [&] { dlg.done(QDialog::Accepted); });
    guard.start(10000);
    EXPECT_EQ(dlg.exec(), QDialog::Rejected);
    EXPECT_EQ(titles, (QStringList{" 1 ", " 0 "}));
    EXPECT_EQ(dlg.Result(), CUserMsgDlg::RESULT_CANCEL);
}

TEST(UserMsgDlg, ModesSetResultAndCancelButtonAndLayout)
{
    CUserMsgDlg notice;
    notice.SetMode(CUserMsgDlg::MODE_NOTICE_NO_CANCEL);
    WhileOpen(notice, [&] {
        EXPECT_EQ(notice.size(), QSize(344, 145));
        auto* cancel = notice.findChild<CHoverButton*>("2");
        auto* ok = notice.findChild<CHoverButton*>("1");
        ASSERT_TRUE(cancel && ok);
        EXPECT_FALSE(cancel->isVisible());
        EXPECT_EQ(ok->pos(), QPoint(230, 85));
        EXPECT_FALSE(notice.findChild<QWidget*>("1080")->isVisible());
        ok->click();
    });
    EXPECT_EQ(notice.Result(), CUserMsgDlg::RESULT_NOTICE);

    CUserMsgDlg question;
    question.SetMode(CUserMsgDlg::MODE_QUESTION);
    WhileOpen(question, [&] {
        auto* cancel = question.findChild<CHoverButton*>("2");
        EXPECT_TRUE(cancel->isVisible());
        EXPECT_EQ(cancel->pos(), QPoint(280, 85));
        cancel->click();
    });
    EXPECT_EQ(question.Result(), CUserMsgDlg::RESULT_CANCEL);
}
