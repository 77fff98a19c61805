// pppd's log lines and exit codes as the dial-up client reads them, and the
// texts that go into pppd's option files and the chat script.
#include "net/PppdOutput.h"
#include "net/PppdPhonebook.h"
#include "net/RasCodes.h"

#include <gtest/gtest.h>

using namespace kvnet;

TEST(PppdOutput, ADialsLinesWalkThroughTheStates)
{
    struct Case {
        const char* line;
        PppdEvent::Kind kind;
        uint32_t state;
    } cases[] = {
        {"Serial connection established.", PppdEvent::State, RASCS_DeviceConnected},
        {"Connect: ppp0 <--> /dev/ttyUSB0", PppdEvent::State, RASCS_AllDevicesConnected},
        {"PAP authentication succeeded", PppdEvent::State, RASCS_Authenticated},
        {"CHAP authentication succeeded", PppdEvent::State, RASCS_Authenticated},
        {"local  IP address 10.64.64.64", PppdEvent::State, RASCS_Projected},
        {"remote IP address 10.64.64.65", PppdEvent::State, RASCS_Connected},
        {"pppd[812]: remote IP address 10.0.0.1", PppdEvent::State, RASCS_Connected},
        {"Modem hangup", PppdEvent::LinkDown, 0},
        {"Connection terminated.", PppdEvent::LinkDown, 0},
        {"Terminating on signal 15.", PppdEvent::LinkDown, 0},
        {"primary   DNS address 10.11.12.13", PppdEvent::None, 0},
        {"", PppdEvent::None, 0},
        {"pppd 2.4.9 started by user, uid 1000", PppdEvent::None, 0},
    };
    for (const Case& c : cases) {
        const PppdEvent e = ParsePppdLine(c.line);
        EXPECT_EQ(e.kind, c.kind) << c.line;
        if (c.kind == PppdEvent::State) {
            EXPECT_EQ(e.state, c.state) << c.line;
        }
    }
    const PppdEvent iface = ParsePppdLine("Using interface ppp12");
    EXPECT_EQ(iface.kind, PppdEvent::Interface);
    EXPECT_EQ(iface.interface, "ppp12");
    EXPECT_EQ(ParsePppdLine("Using interface eth0").kind, PppdEvent::None);
    EXPECT_EQ(ParsePppdLine("Using interface ppp../x").kind, PppdEvent::None);
}

TEST(PppdOutput, FailuresBecomeTheirErrorCodes)
{
    struct Case {
        const char* line;
        int error;
    } cases[] = {
        {"This system lacks kernel support for PPP.", RAS_ERR_NO_PPP_SUPPORT},
        {"Couldn't open the /dev/ppp device: No such file or directory", RAS_ERR_NO_PPP_SUPPORT},
        {"PAP authentication failed", RAS_ERR_AUTHENTICATION},
        {"CHAP authentication failed: bad secret", RAS_ERR_AUTHENTICATION},
        {"Connect script failed", RAS_ERR_NO_ANSWER},
        {"LCP: timeout sending Config-Requests", RAS_ERR_NO_ANSWER},
        {"Device ttyUSB0 is locked by pid 4711", RAS_ERR_PORT_NOT_AVAILABLE},
        {"Failed to open /dev/ttyUSB0: Permission denied", RAS_ERR_PORT_NOT_AVAILABLE},
        {"pppd: must be root to run pppd, since it is not setuid-root", RAS_ERR_HARDWARE},
        {"using the noauth option requires root privilege", RAS_ERR_HARDWARE},
    };
    for (const Case& c : cases) {
        const PppdEvent e = ParsePppdLine(c.line);
        EXPECT_EQ(e.kind, PppdEvent::Error) << c.line;
        EXPECT_EQ(e.error, c.error) << c.line;
    }
    EXPECT_EQ(PppdExitError(0), 0);
    EXPECT_EQ(PppdExitError(4), RAS_ERR_NO_PPP_SUPPORT);
    EXPECT_EQ(PppdExitError(8), RAS_ERR_NO_ANSWER);
    EXPECT_EQ(PppdExitError(19), RAS_ERR_AUTHENTICATION);
    EXPECT_EQ(PppdExitError(7), RAS_ERR_PORT_NOT_AVAILABLE);
    EXPECT_EQ(PppdExitError(16), RAS_ERR_REMOTE_DISCONNECT);
    EXPECT_EQ(PppdExitError(200), RAS_ERR_HARDWARE);
}

TEST(PppdOutput, OutputIsCutIntoBoundedLines)
{
    std::string buffer = "one\r\ntwo\nthr";
    std::vector<std::string> lines;
    TakePppdLines(buffer, [&](std::string_view l) { lines.emplace_back(l); });
    EXPECT_EQ(lines, (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(buffer, "thr");
    buffer = std::string(5000, 'x');
    TakePppdLines(buffer, [&](std::string_view) {}, 100);
    EXPECT_EQ(buffer.size(), 100u);
}

TEST(PppdPhonebookText, NothingTheUserTypesCanEndAQuotedValue)
{
    EXPECT_TRUE(ValidDialString("#777"));
    EXPECT_TRUE(ValidDialString("*99***1#"));
    EXPECT_TRUE(ValidDialString("T0,123"));
    EXPECT_FALSE(ValidDialString(""));
    EXPECT_FALSE(ValidDialString("*99#\" ABORT \"OK"));
    EXPECT_FALSE(ValidDialString("123\nATH"));
    EXPECT_EQ(BuildChatScript("1\"2"), "");
    EXPECT_NE(BuildChatScript("#777").find("OK \"ATDT#777\"\n"), std::string::npos);

    std::string q;
    EXPECT_TRUE(QuotePppdWord("pa\"ss\\", q));
    EXPECT_EQ(q, "\"pa\\\"ss\\\\\"");
    EXPECT_FALSE(QuotePppdWord("pw\nconnect /bin/sh", q));
    EXPECT_EQ(BuildSecretFile("u", "a\nb"), "");
    std::string user, pw;
    ParseSecretFile(BuildSecretFile("me@x", "p \"w\""), user, pw);
    EXPECT_EQ(user, "me@x");
    EXPECT_EQ(pw, "p \"w\"");

    EXPECT_FALSE(ValidEntryName("../evil"));
    EXPECT_FALSE(ValidEntryName(".hidden"));
    EXPECT_TRUE(ValidEntryName("Korvia NetWork"));
    EXPECT_EQ(DeviceNodeOf("KORVIA USB Modem (ttyUSB0)"), "/dev/ttyUSB0");
    EXPECT_EQ(DeviceNodeOf("KORVIA Modem (/dev/ttyACM1)"), "/dev/ttyACM1");
    EXPECT_EQ(DeviceNodeOf("KORVIA Modem (../x)"), "");
    EXPECT_EQ(DeviceNodeOf("KORVIA Modem"), "");
}

TEST(PppdPhonebookText, EntryOptionsMapToPppdOptionsAndReadBack)
{
    RasEntry e{"#777", "modem", "KORVIA USB Modem (ttyUSB0)", 4, 1, kEntryOptions};
    const std::string text = BuildEntryFile(e, "/cfg/PINGPB/Korvia NetWork.chat", "/usr/sbin/chat");
    EXPECT_NE(text.find("\n/dev/ttyUSB0\n"), std::string::npos);
    EXPECT_NE(text.find("\ndefaultroute\n"), std::string::npos);
    EXPECT_EQ(text.find("novj"), std::string::npos);
    EXPECT_EQ(text.find("noccp"), std::string::npos);
    EXPECT_NE(text.find("connect \"/usr/sbin/chat -v -f '/cfg/PINGPB/Korvia NetWork.chat'\""), std::string::npos);
    RasEntry back;
    ASSERT_TRUE(ParseEntryFile(text, back));
    EXPECT_EQ(back.deviceName, e.deviceName);
    EXPECT_EQ(back.options, kEntryOptions);
    EXPECT_EQ(back.phoneNumber, "#777");
    EXPECT_EQ(back.protocols, 4u);

    e.options = 0;
    const std::string bare = BuildEntryFile(e, "/x.chat", "chat");
    EXPECT_NE(bare.find("\nnovj\n"), std::string::npos);
    EXPECT_NE(bare.find("\nnoccp\n"), std::string::npos);
    EXPECT_EQ(bare.find("defaultroute"), std::string::npos);
}
