// The data interface's command interpreter on its own: what a chat script
// gets for its lines, the call it enters, and how the call ends.
#include "sim/DataCallModem.h"

#include <gtest/gtest.h>

using kv::sim::DataCallModem;

namespace {

std::string Send(DataCallModem& m, const std::string& s) { return m.Feed(s.data(), s.size()); }

} // namespace

TEST(DataCallModem, AnswersTheCommandsADiallerSends)
{
    struct Case {
        const char* line;
        const char* answer; // after the echo
    } cases[] = {
        {"AT\r", "\r\nOK\r\n"},
        {"at\r", "\r\nOK\r\n"},
        {"ATZ\r", "\r\nOK\r\n"},
        {"AT&F&C1&D2 S0=0 Q0 X4\r", "\r\nOK\r\n"},
        {"AT+CRM=1;+CGDCONT=1,\"IP\",\"apn\"\r", "\r\nOK\r\n"},
        {"AT+CGMI\r", "\r\nKORVIA\r\n\r\nOK\r\n"},
        {"ATS7?\r", "\r\n000\r\n\r\nOK\r\n"},
        {"ATY\r", "\r\nERROR\r\n"},
        {"AT&\r", "\r\nERROR\r\n"},
        {"ATS=1\r", "\r\nERROR\r\n"},
        {"HELLO\r", "\r\nERROR\r\n"},
        {"ATD\r", "\r\nERROR\r\n"},
        {"ATDT5551234\r", "\r\nNO CARRIER\r\n"}, // not a data number
        {"ATDT*99***x#\r", "\r\nNO CARRIER\r\n"},
        {"ATO\r", "\r\nNO CARRIER\r\n"},       // no call to go back to
        {"\r", ""},
    };
    for (const Case& c : cases) {
        DataCallModem m;
        EXPECT_EQ(Send(m, c.line), std::string(c.line) + c.answer) << c.line;
        EXPECT_FALSE(m.InCall()) << c.line;
    }
}

TEST(DataCallModem, EveryDataNumberConnectsAndTheCallTakesEveryByte)
{
    for (const char* dial : {"ATDT#777\r", "ATD#777\r", "ATD*99#\r", "atd*99***1#\r", "ATE0DT#777\r"}) {
        DataCallModem m;
        const std::string out = Send(m, dial);
        EXPECT_NE(out.find("\r\nCONNECT\r\n"), std::string::npos) << dial;
        EXPECT_TRUE(m.InCall()) << dial;
        // A PPP frame, and what looks like a command inside the call: taken,
        // counted, never echoed or answered.
        const std::string frame = "\x7e\xff\x7d\x23\xc0\x21\x7d\x21\x7e" "AT\r";
        EXPECT_EQ(m.Feed(frame.data(), frame.size()), "") << dial;
        EXPECT_EQ(m.CallBytes(), frame.size()) << dial;
    }
}

TEST(DataCallModem, EchoAndResultFormsFollowTheSettingsUntilTheHostHangsUp)
{
    DataCallModem m;
    EXPECT_EQ(Send(m, "ATE0\r"), "ATE0\r\r\nOK\r\n"); // the line itself is still echoed
    EXPECT_EQ(Send(m, "AT\r"), "\r\nOK\r\n");
    EXPECT_EQ(Send(m, "ATV0\r"), "0\r");
    EXPECT_EQ(Send(m, "ATDT#777\r"), "1\r");
    m.HostHungUp();
    EXPECT_FALSE(m.InCall());
    EXPECT_EQ(Send(m, "AT\r"), "AT\r\r\nOK\r\n"); // defaults again
    // A line split over reads, with the LF of a CR LF, and a backspace.
    EXPECT_EQ(Send(m, "A"), "A");
    EXPECT_EQ(Send(m, "Tx\bI\r\n"), "Tx\bI\r\r\nKORVIA KV-6502 (simulated)\r\n\r\nOK\r\n\n");
}

TEST(DataCallModem, ALostCarrierEndsTheCallOrFailsTheNextDial)
{
    DataCallModem m;
    Send(m, "ATE0\r");
    EXPECT_EQ(Send(m, "ATDT#777\r"), "\r\nCONNECT\r\n");
    EXPECT_EQ(m.LoseCarrier(), "\r\nNO CARRIER\r\n");
    EXPECT_FALSE(m.InCall());
    EXPECT_EQ(Send(m, "AT\r"), "\r\nOK\r\n"); // commands again

    EXPECT_EQ(m.LoseCarrier(), "");
    EXPECT_TRUE(m.FailNextDial());
    EXPECT_EQ(Send(m, "ATDT#777\r"), "\r\nNO CARRIER\r\n");
    EXPECT_EQ(Send(m, "ATDT#777\r"), "\r\nCONNECT\r\n"); // only the one dial fails
    EXPECT_EQ(m.Calls(), 2u);
}

TEST(DataCallModem, AnOverlongLineIsDroppedNotKept)
{
    DataCallModem m;
    Send(m, "ATE0\r");
    const std::string junk(5000, 'A');
    Send(m, junk);
    EXPECT_EQ(Send(m, "\rAT\r"), "\r\nERROR\r\n\r\nOK\r\n");
}
