// The face says in words what it is doing: the start-up's first line, why a
// disabled control does nothing, and the names and roles a screen reader
// reads through Qt's accessibility interface.
#include "ShellFixture.h"

#include "app/AppIds.h"
#include "app/Dialer_oneDlg.h"
#include "app/SystemTray.h"
#include "controls/TextStatic.h"
#include "engine/ControlHints.h"
#include "log/LineWrap.h"
#include "sim/ModemSimulator.h"

#include <QAccessible>
#include <QTest>

using namespace kv;
using namespace kvapp;
using kvtest::PumpUntil;

namespace {

class FaceWords : public kvtest::ShellTest {
protected:
    void TearDown() override
    {
        if (dlg) {
            dlg->CloseProcedure();
            dlg.reset();
        }
        if (sim)
            sim->Stop();
        CSystemTray::ForceAvailable(-1);
        kvtest::ShellTest::TearDown();
    }
    void Open()
    {
        dlg = std::make_unique<CDialer_oneDlg>();
        dlg->OnInitDialog();
        dlg->show();
    }
    std::string Line(int id) const
    {
        return static_cast<CTextStatic*>(dlg->Control(id))->Text().toStdString();
    }
    void ClickAt(int id)
    {
        QWidget* w = dlg->Control(id);
        QTest::mouseClick(dlg.get(), Qt::LeftButton, {}, w->geometry().center());
    }

    std::unique_ptr<sim::ModemSimulator> sim;
    std::unique_ptr<CDialer_oneDlg> dlg;
};

} // namespace

TEST_F(FaceWords, TheFirstFrameSaysTheModemIsBeingLookedFor)
{
    sim::ModemSimulator::Options o;
    o.unsolicitedPeriodMs = 0;
    sim = std::make_unique<sim::ModemSimulator>(o);
    ASSERT_TRUE(sim->Start());
    Open();
    EXPECT_TRUE(dlg->Control(IDC_MESSAGE_LINE)->isVisible());
    EXPECT_EQ(Line(IDC_MESSAGE_LINE), "Searching for\nthe modem\xE2\x80\xA6");
    // The start-up's own texts take over once the modem answers.
    EXPECT_TRUE(PumpUntil([&] { return Line(IDC_MESSAGE_LINE).find("Searching") == std::string::npos; },
                          30000))
        << Line(IDC_MESSAGE_LINE);
}

TEST_F(FaceWords, AClickOnADisabledControlSaysWhyAndMovesNothing)
{
    kvtest::BoxCloser boxes;
    Open();
    QWidget* connect = dlg->Control(IDC_NET_CONNECT);
    ASSERT_TRUE(connect->isVisible());
    ASSERT_FALSE(connect->isEnabled());
    const QPoint before = dlg->pos();
    // The press as the window system delivers it, to the button itself.
    QTest::mouseClick(connect, Qt::LeftButton, {}, connect->rect().center());
    EXPECT_EQ(Line(IDC_MESSAGE_LINE), WrapAtWords(hint::kNoModem));
    EXPECT_EQ(dlg->pos(), before);
    EXPECT_TRUE(dlg->TimerActive(TIMER_RESTORE_MESSAGE_LINE));
    // And reaching the face at the button's place.
    dlg->SetMessageLine("", false);
    ClickAt(IDC_NET_CONNECT);
    EXPECT_EQ(Line(IDC_MESSAGE_LINE), WrapAtWords(hint::kNoModem));
    // A click on the bare face still says nothing.
    dlg->SetMessageLine("", false);
    QTest::mouseClick(dlg.get(), Qt::LeftButton, {}, QPoint(300, 600));
    EXPECT_EQ(Line(IDC_MESSAGE_LINE), "");
}

TEST_F(FaceWords, EveryControlHasANameARoleAndATabPlace)
{
    kvtest::BoxCloser boxes;
    Open();
    QAccessibleInterface* connect = QAccessible::queryAccessibleInterface(dlg->Control(IDC_NET_CONNECT));
    ASSERT_NE(connect, nullptr);
    EXPECT_EQ(connect->role(), QAccessible::Button);
    EXPECT_EQ(connect->text(QAccessible::Name), "Net Connect");
    EXPECT_TRUE(connect->state().disabled);
    QAccessibleInterface* off = QAccessible::queryAccessibleInterface(dlg->Control(IDC_NET_DISCONNECT));
    EXPECT_EQ(off->text(QAccessible::Name), "Net Disconnect");

    for (int id : {IDC_SETTING, IDC_TRAFFIC_TAB, IDC_DIAL_TOGGLE, IDC_SMS_TOGGLE, IDC_PHONEBOOK, IDC_VOLUME_DOWN,
                   IDC_VOLUME_UP, IDC_MINIMIZE, IDC_EXIT, IDC_ACTIVATION, IDC_GET_BALANCE, IDC_GET_NUMBER,
                   IDC_SWITCH_OFF, IDC_NOP_1019, IDC_RESET_STATS}) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(dlg->Control(id));
        ASSERT_NE(a, nullptr) << id;
        EXPECT_EQ(a->role(), QAccessible::Button) << id;
        EXPECT_FALSE(a->text(QAccessible::Name).isEmpty()) << id;
    }
    // A text line reads as static text: what it shows, and what it is for.
    QAccessibleInterface* line = QAccessible::queryAccessibleInterface(dlg->Control(IDC_MESSAGE_LINE));
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->role(), QAccessible::StaticText);
    EXPECT_EQ(line->text(QAccessible::Name), "ComPort is not opened.");
    EXPECT_EQ(line->text(QAccessible::Description), "Message line");
    for (int id : {IDC_ANTENNA, IDC_VBAT, IDC_SERVICE, IDC_DATA_RATE}) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(dlg->Control(id));
        ASSERT_NE(a, nullptr) << id;
        EXPECT_FALSE(a->text(QAccessible::Name).isEmpty()) << id;
    }

    // Tab goes from the connection to the settings and the pages.
    EXPECT_EQ(dlg->Control(IDC_NET_CONNECT)->nextInFocusChain(), dlg->Control(IDC_NET_DISCONNECT));
    EXPECT_EQ(dlg->Control(IDC_NET_DISCONNECT)->nextInFocusChain(), dlg->Control(IDC_SETTING));
    EXPECT_EQ(dlg->Control(IDC_SETTING)->nextInFocusChain(), dlg->Control(IDC_TRAFFIC_TAB));
    EXPECT_EQ(dlg->Control(IDC_SMS_TOGGLE)->nextInFocusChain(), dlg->Control(IDC_PHONEBOOK));
}
