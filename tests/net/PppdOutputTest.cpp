// pppd's log lines and exit codes as the dial-up client reads them, and the
// texts that go into pppd's option files and the chat script.
#include "net/PppdOutput.h"
#include "net/PppdPeers.h"
#include "net/PppdPhonebook.h"
#include "net/RasErrors.h"
#include "net/RasCodes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sstream>

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
        {"Device ttyUSB0 is locked by pid 4711", RAS_ERR_PORT_IN_USE},
        {"Failed to open /dev/ttyUSB0: Permission denied", RAS_ERR_PORT_NOT_AVAILABLE},
        {"pppd: must be root to run pppd, since it is not setuid-root", RAS_ERR_HARDWARE},
        {"using the noauth option requires root privilege", RAS_ERR_OPTION_REFUSED},
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
    EXPECT_EQ(PppdExitError(6), RAS_ERR_PORT_IN_USE);
    EXPECT_EQ(PppdExitError(2), RAS_ERR_OPTION_REFUSED);
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
    // Only the numbers a root-owned profile dials reach pppd.
    EXPECT_EQ(PeerForDialString("#777"), "korvianet-cdma");
    EXPECT_EQ(PeerForDialString("*99#"), "korvianet-gsm");
    EXPECT_EQ(PeerForDialString("*99#\" ABORT"), "");
    EXPECT_EQ(PeerForDialString(""), "");

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
    const std::string text = BuildEntryFile(e);
    EXPECT_NE(text.find("\n\"/dev/ttyUSB0\"\n"), std::string::npos);
    EXPECT_NE(text.find("\ndefaultroute\n"), std::string::npos);
    EXPECT_EQ(text.find("novj"), std::string::npos);
    EXPECT_EQ(text.find("noccp"), std::string::npos);
    // The connect script and noauth are root's to give.
    EXPECT_EQ(text.find("\nconnect"), std::string::npos);
    EXPECT_EQ(text.find("\nnoauth"), std::string::npos);
    RasEntry back;
    ASSERT_TRUE(ParseEntryFile(text, back));
    EXPECT_EQ(back.deviceName, e.deviceName);
    EXPECT_EQ(back.options, kEntryOptions);
    EXPECT_EQ(back.phoneNumber, "#777");
    EXPECT_EQ(back.protocols, 4u);

    e.options = 0;
    const std::string bare = BuildEntryFile(e);
    EXPECT_NE(bare.find("\nnovj\n"), std::string::npos);
    EXPECT_NE(bare.find("\nnoccp\n"), std::string::npos);
    EXPECT_EQ(bare.find("defaultroute"), std::string::npos);
}

namespace {

// The first failure a run of pppd reported: its first error line, else its
// exit status, as the dial-up service reads them.
PppdEvent FirstFailure(const std::string& output, int status)
{
    std::string buffer = output;
    PppdEvent first;
    TakePppdLines(buffer, [&](std::string_view line) {
        const PppdEvent e = ParsePppdLine(line);
        if (first.kind != PppdEvent::Error && e.kind == PppdEvent::Error)
            first = e;
    });
    if (first.kind != PppdEvent::Error) {
        first.kind = PppdEvent::Error;
        first.error = PppdExitError(status);
    }
    return first;
}

std::string ReadCapture(const std::string& name)
{
    std::ifstream in(std::string(KV_PPPD_CAPTURES) + "/" + name);
    std::ostringstream o;
    o << in.rdbuf();
    return o.str();
}

} // namespace

TEST(PppdOutput, TheRealPppdsRefusalsBecomeTextsThatSayWhatToDo)
{
    // Captured from /usr/sbin/pppd 2.4.9 (see data/pppd/README).
    struct Case {
        const char* file;
        int error;
        const char* subject;
        const char* inText;
    } cases[] = {
        {"no-kernel-support.4.out", RAS_ERR_NO_PPP_SUPPORT, "", "ppp_generic"},
        {"noauth-refused.2.out", RAS_ERR_OPTION_REFUSED, "noauth", "refused the option \"noauth\""},
        {"connect-override.2.out", RAS_ERR_OPTION_REFUSED, "connect", "refused the option \"connect\""},
        {"profile-missing.2.out", RAS_ERR_PROFILE_MISSING, "/etc/ppp/peers/korvianet-cdma", "install-peers.sh"},
        {"no-such-tty.2.out", RAS_ERR_PORT_NOT_AVAILABLE, "/dev/ttyUSB7", "/dev/ttyUSB7 could not be opened"},
        {"unknown-option.2.out", RAS_ERR_OPTION_REFUSED, "foo", "refused the option \"foo\""},
    };
    size_t seen = 0;
    for (const Case& c : cases) {
        const std::string name = c.file;
        const std::string output = ReadCapture(name);
        ASSERT_FALSE(output.empty()) << name;
        const int status = std::atoi(name.substr(name.rfind('.', name.size() - 5) + 1).c_str());
        const PppdEvent e = FirstFailure(output, status);
        EXPECT_EQ(e.error, c.error) << name;
        EXPECT_EQ(e.subject, c.subject) << name;
        // The exit status agrees with the line.
        EXPECT_EQ(PppdExitError(status) == RAS_ERR_OPTION_REFUSED, status == 2) << name;
        std::string text;
        ASSERT_EQ(RasErrorString(e.error, e.subject, e.line, text), 0);
        EXPECT_NE(text.find(c.inText), std::string::npos) << name << ": " << text;
        EXPECT_LE(text.size(), 255u);
        ++seen;
    }
    // Every capture has its case.
    size_t files = 0;
    if (DIR* d = ::opendir(KV_PPPD_CAPTURES)) {
        while (dirent* f = ::readdir(d))
            files += std::string(f->d_name).size() > 4 && std::string(f->d_name).rfind(".out") == std::strlen(f->d_name) - 4;
        ::closedir(d);
    }
    EXPECT_EQ(files, seen);
}

TEST(PppdOutput, EveryFailureTextSaysWhatToDo)
{
    std::string text;
    RasErrorString(RAS_ERR_ACCESS_DENIED, "/usr/sbin/pppd", "", text);
    EXPECT_EQ(text, "You may not run the dial-up program /usr/sbin/pppd: join the group dip (sudo adduser $USER dip), "
                    "then log out and log in again.");
    RasErrorString(RAS_ERR_PORT_IN_USE, "ttyUSB0", "Device ttyUSB0 is locked by pid 4711", text);
    EXPECT_NE(text.find("ttyUSB0 is in use by another program"), std::string::npos) << text;
    EXPECT_NE(text.find("(pppd: Device ttyUSB0 is locked by pid 4711)"), std::string::npos) << text;
    // A long or odd line of pppd is cut and cleaned, the text stays in bounds.
    RasErrorString(RAS_ERR_HARDWARE, "", std::string(400, 'x') + "\x1b[2J", text);
    EXPECT_LE(text.size(), 255u);
    EXPECT_EQ(text.find('\x1b'), std::string::npos);
    EXPECT_EQ(RasErrorString(12345, "x", "y", text), RAS_ERR_BAD_ARGUMENT);
}
