// Why a control does nothing: the text follows the engine and card state,
// and every text fits the message line without cutting a word.
#include "engine/ControlHints.h"
#include "engine/DmCodes.h"
#include "host/HostIds.h"
#include "log/LineWrap.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace kv;

TEST(ControlHints, TheReasonFollowsTheEngineAndTheCard)
{
    ModemState st;
    EXPECT_TRUE(EngineHasNoModem(st));
    EXPECT_EQ(WhyControlUnavailable(IDC_NET_CONNECT, st), hint::kNoModem);
    st.m_nPortState = DM_DEVICE_NULL;
    EXPECT_EQ(WhyControlUnavailable(IDC_SMS_TOGGLE, st), hint::kNoModem);

    st.m_nPortState = DM_GET_INFO;
    st.m_wUiPhase = UI_PHASE_STARTUP;
    EXPECT_FALSE(EngineHasNoModem(st));
    EXPECT_EQ(WhyControlUnavailable(IDC_NET_CONNECT, st), hint::kStarting);

    st.m_wUiPhase = UI_PHASE_IDLE;
    st.m_nPortState = DM_RUIM_STATUS;
    EXPECT_EQ(WhyControlUnavailable(IDC_NET_CONNECT, st), hint::kStarting);
    st.m_nPortState = DM_PARKED;
    EXPECT_EQ(WhyControlUnavailable(IDC_NET_CONNECT, st), hint::kNotNow);
    st.m_nPortState = DM_GET_INFO;
    st.m_ucCardFlags = CARDF_PIN_CANCELLED;
    EXPECT_EQ(WhyControlUnavailable(IDC_SETTING, st), hint::kNoPin);
    st.m_ucCardFlags = CARDF_NO_CARD;
    EXPECT_EQ(WhyControlUnavailable(IDC_SMS_TOGGLE, st), hint::kNoCard);
    st.m_ucCardFlags = CARDF_NOT_READY;
    EXPECT_EQ(WhyControlUnavailable(IDC_PHONEBOOK, st), hint::kCardBusy);

    st.m_ucCardFlags = 0;
    EXPECT_EQ(WhyControlUnavailable(IDC_NET_DISCONNECT, st), hint::kNotConnected);
    EXPECT_EQ(WhyControlUnavailable(IDC_GET_BALANCE, st), hint::kNotNow);
    // Leaving never depends on the modem.
    st.m_nPortState = DM_STOPPED;
    EXPECT_EQ(WhyControlUnavailable(IDC_EXIT, st), hint::kNotNow);
}

TEST(ControlHints, EveryTextFitsTwoLinesWithWholeWords)
{
    for (const char* t : {hint::kSearching, hint::kNoModem, hint::kStarting, hint::kNoPin, hint::kNoCard,
                          hint::kCardBusy, hint::kNotConnected, hint::kNotNow}) {
        const std::string wrapped = WrapAtWords(t);
        EXPECT_LE(std::count(wrapped.begin(), wrapped.end(), '\n'), 1) << wrapped;
        // No word was cut: the words are the same before and after.
        std::string joined = wrapped;
        std::replace(joined.begin(), joined.end(), '\n', ' ');
        EXPECT_EQ(joined, t);
    }
}
