// The call family's small rules: ear-volume marks and bounds, the call
// duration's carry into days, pause splitting, the message-line wrap, and
// the waiting-call fall-back on the call state.
#include "engine/DmCall.h"
#include "host/HeadlessHost.h"

#include <gtest/gtest.h>

using namespace kv;

TEST(CallVolume, MarksStayWithinTheBoundsAndDecodeToTheSentValue)
{
    ModemState st;
    st.m_ucLastCallState = CALL_STATE_CONVERSATION;
    st.m_ucInCallVolume = 4;
    EXPECT_FALSE(MarkVolumeChange(st, true)); // 5 is above the top
    EXPECT_TRUE(MarkVolumeChange(st, false));
    EXPECT_EQ(st.m_ucInCallVolume.load(), 0x84);
    EXPECT_EQ(EarLevelToSend(st.m_ucInCallVolume.load()), 3);
    st.m_ucInCallVolume = 1;
    EXPECT_FALSE(MarkVolumeChange(st, false)); // not below 1 in a call
    EXPECT_TRUE(MarkVolumeChange(st, true));
    EXPECT_EQ(EarLevelToSend(st.m_ucInCallVolume.load()), 2);
    EXPECT_EQ(st.m_ucIdleVolume.load(), 0); // the idle level is untouched in a call

    st.m_ucLastCallState = CALL_STATE_IDLE;
    st.m_ucIdleVolume = 1;
    EXPECT_TRUE(MarkVolumeChange(st, false)); // idle goes down to 0
    EXPECT_EQ(EarLevelToSend(st.m_ucIdleVolume.load()), 0);
    st.m_ucIdleVolume = 0;
    EXPECT_FALSE(MarkVolumeChange(st, false));
    EXPECT_EQ(EarLevelToSend(0x03), 3); // no mark: the level itself
}

TEST(CallDuration, SecondsCarryIntoMinutesHoursAndDays)
{
    ModemState st;
    st.m_ucCallHours = 23;
    st.m_ucCallMinutes = 59;
    st.m_ucCallSeconds = 59;
    TickCallDuration(st);
    EXPECT_EQ(st.m_ucCallHours.load(), 0);
    EXPECT_EQ(st.m_ucCallMinutes.load(), 0);
    EXPECT_EQ(st.m_ucCallSeconds.load(), 0);
    EXPECT_EQ(st.m_call.m_dwDays.load(), 1u);
    EXPECT_EQ(CallDurationSeconds(st), 86400);
    TickCallDuration(st);
    EXPECT_EQ(CallDurationSeconds(st), 86401);
    ClearCallDuration(st);
    EXPECT_EQ(CallDurationSeconds(st), 0);
}

TEST(CallDialString, PausesSplitTheNumberIntoGroupsInOrder)
{
    std::deque<std::string> p;
    EXPECT_EQ(SplitPauses("123p456p789", p), "123");
    EXPECT_EQ(p, (std::deque<std::string>{"456", "789"}));
    EXPECT_EQ(SplitPauses("5551234", p), "5551234");
    EXPECT_TRUE(p.empty());
    EXPECT_EQ(SplitPauses("1pp2p", p), "1");
    EXPECT_EQ(p, (std::deque<std::string>{"2"}));
    EXPECT_TRUE(CDmCall::IsEmergencyNumber("911"));
    EXPECT_FALSE(CDmCall::IsEmergencyNumber("9110"));
    EXPECT_EQ(std::string(CDmCall::StateName(0x86)), "DIAG_D_CONV_S");
    EXPECT_EQ(CDmCall::StateName(0x90), nullptr);
}

TEST(CallDisplay, LongLinesWrapAtSixteenCharacters)
{
    EXPECT_EQ(WrapCallText("12345678901234567890"), "1234567890123456\n7890");
    EXPECT_EQ(WrapCallText("Bob\n6195550122"), "Bob\n6195550122");
}

TEST(CallWaiting, FallBackAndClearActOnTheCallStateOnly)
{
    CHeadlessHost host;
    ModemState& st = host.State();
    {
        std::lock_guard<std::mutex> g(st.m_textLock);
        st.m_strCallNumber[0] = "5551234";
        st.m_strCallName[0] = "Ann";
        st.m_strCallNumber[1] = "6195550122";
    }
    // A list of two without the waiting flag is no call waiting.
    st.m_ucCallListIndex = 2;
    EXPECT_FALSE(WaitingCallFallback(host));
    st.m_ucCallFlags = CALLF_CONVERSATION | CALLF_WAITING;
    EXPECT_TRUE(WaitingCallFallback(host));
    EXPECT_EQ(host.MessageLine(), "Ann\n5551234");
    EXPECT_EQ(st.m_ucCallListIndex.load(), 1);
    EXPECT_EQ(st.m_ucCallFlags.load(), CALLF_CONVERSATION);
    EXPECT_EQ(host.Indicator(IND_CALL), 128);

    st.m_ucCallListIndex = 2;
    st.m_ucCallFlags |= CALLF_WAITING;
    host.StartTimer(TIMER_WAITING_CALL, 20000);
    EXPECT_TRUE(ClearWaitingCall(host));
    EXPECT_FALSE(host.TimerActive(TIMER_WAITING_CALL));
    EXPECT_EQ(st.m_ucCallListActive.load(), 1);
    EXPECT_FALSE(ClearWaitingCall(host));
}
