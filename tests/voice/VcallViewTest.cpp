// The dial pad page's keys: keyboard and buttons, the 30-character limit,
// pauses, the picker, the clear rules, call waiting and the volume buttons.
// The engine is not running: its queue drops what is posted, so the page's
// local edit and the key and pause lists show what happened.
#include "voice/VcallView.h"

#include "controls/HoverButton.h"
#include "host/HeadlessHost.h"
#include "support/TempSettings.h"

#include <QAbstractButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace kv;
using namespace kvvoice;

namespace {

class NullLink : public IDmLink {
public:
    bool Open(int, uint32_t) override { return false; }
    void Close() override {}
    bool IsOpen() const override { return false; }
    int Transact(const DiagRequest&, uint8_t*, size_t, size_t& n) override
    {
        n = 0;
        return DIAG_TIMEOUT;
    }
};

class VcallViewTest : public ::testing::Test {
protected:
    VcallViewTest() : engine(host, link), view(engine)
    {
        host.State().m_nActiveView = VIEW_DIAL_PAD;
        view.show();
    }
    std::vector<int> Keys()
    {
        std::vector<int> out;
        int k = 0;
        while (host.State().m_call.PopKey(k))
            out.push_back(k);
        return out;
    }
    int PostedCount(uint32_t msg)
    {
        int n = 0;
        for (const auto& p : host.Posted())
            n += p.msg == msg;
        return n;
    }

    kvtest::TempSettings cfg;
    CHeadlessHost host;
    NullLink link;
    CDmEngine engine;
    CVcallView view;
};

TEST_F(VcallViewTest, KeyboardEntryKeepsToThirtyCharactersAndItsRules)
{
    QTest::keyClicks(&view, "+12+3");
    EXPECT_EQ(view.Number(), "+123"); // '+' only as the first character
    QTest::keyClicks(&view, "p45*#");
    EXPECT_EQ(view.Number(), "+123p45*#");
    QTest::keyClick(&view, Qt::Key_Backspace);
    EXPECT_EQ(view.Number(), "+123p45*");
    EXPECT_EQ(view.TypedCount(), 8);
    QTest::keyClicks(&view, "1234567890123456789012345");
    EXPECT_EQ(view.Number().size(), 30u);
    EXPECT_EQ(view.Number(), "+123p45*1234567890123456789012");
    QTest::keyClicks(&view, "9#p");
    EXPECT_EQ(view.Number().size(), 30u);
    // The message line shows the number wrapped at 16 characters.
    EXPECT_EQ(host.MessageLine(), "+123p45*12345678\n90123456789012");
    QTest::keyClicks(&view, "x");
    EXPECT_EQ(view.Number().size(), 30u);
}

TEST_F(VcallViewTest, DigitButtonsQueueTheirKeyAndTheReleaseWithTheToneFlag)
{
    QTest::mouseClick(view.Button(1024), Qt::LeftButton);
    EXPECT_EQ(view.Number(), "5");
    EXPECT_EQ(Keys(), (std::vector<int>{'5'}));
    view.SetToneFlag(true);
    QTest::mouseClick(view.Button(IDC_VCALL_HASH), Qt::LeftButton);
    EXPECT_EQ(view.Number(), "5#");
    EXPECT_EQ(Keys(), (std::vector<int>{'#', 255}));
    QTest::mouseClick(view.Button(IDC_VCALL_CLEAR), Qt::LeftButton);
    EXPECT_EQ(view.Number(), "5");
    EXPECT_EQ(Keys(), (std::vector<int>{'R'}));
    // The page's geometry.
    EXPECT_EQ(view.Button(IDC_VCALL_SEND)->pos(), QPoint(19, 3));
    EXPECT_EQ(view.Button(IDC_VCALL_KEY0)->pos(), QPoint(65, 95));
    EXPECT_EQ(view.Button(1028)->pos(), QPoint(107, 74));
    // Every key is drawn from its picture, inside the page and clear of the
    // others.
    for (int a = IDC_VCALL_SEND; a <= IDC_VCALL_CLEAR; ++a) {
        QAbstractButton* ba = view.Button(a);
        if (!ba)
            continue;
        EXPECT_NE(qobject_cast<CHoverButton*>(ba), nullptr);
        EXPECT_TRUE(view.rect().contains(ba->geometry())) << a;
        for (int b = a + 1; b <= IDC_VCALL_CLEAR; ++b)
            if (view.Button(b))
                EXPECT_FALSE(ba->geometry().intersects(view.Button(b)->geometry())) << a << " " << b;
    }
}

TEST_F(VcallViewTest, SendDialsTheNumberBeforeThePausesOrOpensThePicker)
{
    QTest::mouseClick(view.Button(IDC_VCALL_SEND), Qt::LeftButton);
    EXPECT_TRUE(view.PickerFlag());
    EXPECT_EQ(PostedCount(UM_OPEN_CALL_PICKER), 1);
    // The picker chose a number: SEND dials it.
    view.SetNumber("123p456p789");
    QTest::mouseClick(view.Button(IDC_VCALL_SEND), Qt::LeftButton);
    EXPECT_EQ(host.State().m_call.DialNumber(), "123");
    std::string part;
    ASSERT_TRUE(host.State().m_call.PopPause(part));
    EXPECT_EQ(part, "456");
    ASSERT_TRUE(host.State().m_call.PopPause(part));
    EXPECT_EQ(part, "789");
    EXPECT_FALSE(host.State().m_call.PopPause(part));
    EXPECT_EQ(PostedCount(UM_OPEN_CALL_PICKER), 1);
}

TEST_F(VcallViewTest, ClearAndEndWithAnEmptyNumberAndTheResetModes)
{
    // A pause needs digits before it.
    QTest::keyClicks(&view, "p");
    EXPECT_EQ(view.Number(), "");
    // Clear with an empty number during a call flags the pending call text.
    host.State().m_ucCallFlags = CALLF_CONVERSATION;
    QTest::mouseClick(view.Button(IDC_VCALL_CLEAR), Qt::LeftButton);
    EXPECT_TRUE(view.PendingCallText());
    EXPECT_TRUE(view.TakePendingFlag());
    host.State().m_ucCallFlags = 0;

    view.SetNumber("555");
    host.State().m_call.SetPauses({"1"});
    view.ResetDialPad(1);
    EXPECT_EQ(host.MessageLine(), "555");
    EXPECT_TRUE(host.State().m_call.PausesEmpty());
    view.ResetDialPad(2);
    EXPECT_EQ(view.Number(), "");
    EXPECT_EQ(host.MessageLine(), "555"); // silently
    view.SetNumber("777");
    view.ResetDialPad(0);
    EXPECT_EQ(host.MessageLine(), "");
    view.SetNumber("777");
    QTest::mouseClick(view.Button(IDC_VCALL_END), Qt::LeftButton);
    EXPECT_EQ(view.Number(), "");
    EXPECT_TRUE(host.TimerActive(TIMER_RESTORE_MESSAGE_LINE));
}

TEST_F(VcallViewTest, ClearDuringCallWaitingGivesTheLineBackToTheFirstCall)
{
    ModemState& st = host.State();
    st.m_wUiPhase = UI_PHASE_OUTGOING;
    {
        std::lock_guard<std::mutex> g(st.m_textLock);
        st.m_strCallNumber[0] = "5551234";
        st.m_strCallName[0] = "Ann";
        st.m_strCallNumber[1] = "6195550122";
    }
    st.m_ucCallListIndex = 2;
    st.m_ucCallFlags = CALLF_CONVERSATION | CALLF_WAITING;
    host.StartTimer(TIMER_WAITING_CALL, 20000);
    QTest::mouseClick(view.Button(IDC_VCALL_CLEAR), Qt::LeftButton);
    EXPECT_EQ(host.MessageLine(), "Ann\n5551234");
    EXPECT_EQ(st.m_ucCallListIndex.load(), 1);
    EXPECT_EQ(st.m_ucCallListActive.load(), 1);
    EXPECT_EQ(st.m_ucCallFlags.load(), CALLF_CONVERSATION);
    EXPECT_FALSE(host.TimerActive(TIMER_WAITING_CALL));
    EXPECT_EQ(Keys(), (std::vector<int>{'R'})); // CLR still goes to the modem
}

// Keys the engine sent during a call: a tone is added to the number that was
// dialled (without its pause groups), CLR takes it off again, SEND keeps the
// party the engine shows and never opens the picker, END drops the number.
TEST_F(VcallViewTest, KeysTheEngineSentAreFollowedOnThePage)
{
    ModemState& st = host.State();
    view.SetNumber("5551234p99");
    QTest::mouseClick(view.Button(IDC_VCALL_SEND), Qt::LeftButton);
    EXPECT_EQ(st.m_call.DialNumber(), "5551234");
    st.m_wUiPhase = UI_PHASE_OUTGOING;
    Keys();
    view.EngineKey('7');
    QCoreApplication::processEvents();
    EXPECT_EQ(view.Number(), "55512347");
    EXPECT_EQ(host.MessageLine(), "55512347");
    view.EngineKey(CALL_KEY_CLR);
    QCoreApplication::processEvents();
    EXPECT_EQ(view.Number(), "5551234");

    host.AppendMessageLine("Bob\n6195550122", true);
    view.EngineKey(CALL_KEY_SEND);
    QCoreApplication::processEvents();
    EXPECT_EQ(host.MessageLine(), "Bob\n6195550122");
    view.EngineKey(CALL_KEY_END);
    QCoreApplication::processEvents();
    EXPECT_EQ(view.Number(), "");

    // An incoming call answered with SEND: nothing to dial, no picker.
    st.m_wUiPhase = UI_PHASE_INCOMING;
    host.AppendMessageLine("Alice\n6195550199", true);
    view.EngineKey(CALL_KEY_SEND);
    QCoreApplication::processEvents();
    EXPECT_EQ(host.MessageLine(), "Alice\n6195550199");
    EXPECT_EQ(PostedCount(UM_OPEN_CALL_PICKER), 0);
    EXPECT_TRUE(Keys().empty());
}

// The tone flag belongs to the main window: the page asks it for every key.
TEST_F(VcallViewTest, TheToneFlagIsAskedForEachKey)
{
    bool tone = false;
    view.SetToneSource([&tone] { return tone; });
    QTest::mouseClick(view.Button(1020), Qt::LeftButton);
    EXPECT_EQ(Keys(), (std::vector<int>{'1'}));
    tone = true;
    EXPECT_TRUE(view.ToneFlag());
    QTest::mouseClick(view.Button(1021), Qt::LeftButton);
    EXPECT_EQ(Keys(), (std::vector<int>{'2', 255}));
}

TEST_F(VcallViewTest, VolumeButtonsStopAtTheirBounds)
{
    ModemState& st = host.State();
    st.m_ucIdleVolume = 4;
    view.VolumeUp();
    EXPECT_EQ(st.m_ucIdleVolume.load(), 4);
    view.VolumeDown();
    EXPECT_EQ(st.m_ucIdleVolume.load(), 0x84);
    EXPECT_FALSE(host.ControlEnabled(IDC_VOLUME_UP));
    st.m_ucLastCallState = CALL_STATE_CONVERSATION;
    st.m_ucInCallVolume = 1;
    view.VolumeDown();
    EXPECT_EQ(st.m_ucInCallVolume.load(), 1);
}

} // namespace
