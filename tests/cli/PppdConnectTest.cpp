// "connect" with the pppd dial-up service, pppd played by the fake program:
// how a link that goes down and a dial that pppd refuses end the command.
#include "RunCli.h"

#include "platform/Event.h"
#include "support/Processes.h"
#include "support/TempSettings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using kvtest::RunCli;

namespace {

class CliPppd : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string sys = settings.Dir() + "/sys";
        stats = sys + "/class/net/ppp0/statistics";
        ASSERT_EQ(std::system(("mkdir -p '" + stats + "'").c_str()), 0);
        setenv("KORVIANET_SYSFS_ROOT", sys.c_str(), 1);
        setenv("XDG_RUNTIME_DIR", settings.Dir().c_str(), 1);
        setenv("KORVIANET_DOSDEVICES", (settings.Dir() + "/no-dosdevices").c_str(), 1);
        setenv("KORVIANET_RAS_BACKEND", "pppd", 1);
        setenv("KORVIANET_PPPD", KV_FAKE_PPPD, 1);
        setenv("KORVIANET_PPP_DEVICE", "ttyFAKE0", 1);
        setenv("FAKE_PPPD_SCRIPT", (settings.Dir() + "/script").c_str(), 1);
    }
    void TearDown() override
    {
        for (const char* v : {"KORVIANET_SYSFS_ROOT", "KORVIANET_DOSDEVICES", "KORVIANET_RAS_BACKEND", "KORVIANET_PPPD",
                              "KORVIANET_PPP_DEVICE", "FAKE_PPPD_SCRIPT", "FAKE_PPPD_PIDS"})
            unsetenv(v);
    }
    void Script(const std::string& text) { kvtest::WriteFileBytes(settings.Dir() + "/script", text); }
    kvtest::CliResult Connect(const std::string& seconds)
    {
        return RunCli({"--config-dir", settings.Dir(), "connect", "--seconds", seconds, "--user", "card",
                       "--password-file", kvtest::PasswordFile(settings.Dir(), "card")});
    }

    kvtest::TempSettings settings;
    std::string stats;
};

} // namespace

TEST_F(CliPppd, APppdThatDiesAfterConnectingIsALostLink)
{
    Script("counters " + stats + " 100 10\nsay Serial connection established.\nsay Using interface ppp0\n"
           "say remote IP address 10.0.0.1\nsleep 1500\ncounters " + stats + " 9100 910\nsleep 600\n"
           "say Modem hangup\nsay Connection terminated.\nexit 16\n");
    const auto r = Connect("20");
    EXPECT_NE(r.out.find("state: connected"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("[net] link lost"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("[net] disconnected"), std::string::npos) << r.out;
    EXPECT_EQ(r.exitCode, 1) << r.out;
    // What was counted before the link went down is kept.
    EXPECT_NE(r.out.find("session ended: "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("received 9000 bytes"), std::string::npos) << r.out;
}

TEST_F(CliPppd, ARefusedDialSaysWhyAndEndsWithItsStatus)
{
    struct Case {
        const char* script;
        const char* says;
        int exitCode;
    } cases[] = {
        {"say Failed to open /dev/ttyFAKE0: Permission denied\nexit 7\n", "/dev/ttyFAKE0 could not be opened", 3},
        {"say Device ttyFAKE0 is locked by pid 4711\nexit 6\n", "in use by another program", 3},
        {"say Serial connection established.\nsay Connect script failed\nexit 8\n", "no answer from the modem", 4},
        {"say Couldn't open the /dev/ppp device: No such file or directory\nexit 4\n", "load the ppp_generic module", 1},
        {"say /usr/sbin/pppd: using the noauth option requires root privilege\nexit 2\n",
         "refused the option \"noauth\"", 1},
    };
    for (const Case& c : cases) {
        Script(c.script);
        const auto r = Connect("2");
        // The dial's error text, as the window's message box shows it.
        const size_t box = r.out.find("[net] message box: ");
        ASSERT_NE(box, std::string::npos) << c.script << r.out;
        EXPECT_NE(r.out.substr(box, r.out.find('\n', box) - box).find(c.says), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("[net] not connected"), std::string::npos) << r.out;
        EXPECT_EQ(r.exitCode, c.exitCode) << c.script << r.out;
    }
}

// kill -9 gives the program no chance to hang up: pppd, and the child of
// pppd's that holds its output (the connect script's), must still end, or
// the next connect starts a second pppd beside a link nobody watches.
TEST_F(CliPppd, PppdAndItsChildrenDoNotOutliveAKilledConnect)
{
    const std::string pids = settings.Dir() + "/pids";
    setenv("FAKE_PPPD_PIDS", pids.c_str(), 1);
    Script("child 60000\nsay Serial connection established.\nhold\n");
    const auto r = kvtest::RunCli({"--config-dir", settings.Dir(), "connect", "--seconds", "20", "--user", "card",
                                   "--password-file", kvtest::PasswordFile(settings.Dir(), "card")},
                                  1500, 9);
    EXPECT_EQ(r.exitCode, -1) << r.out;
    const std::vector<pid_t> started = kvtest::PidsIn(pids);
    ASSERT_EQ(started.size(), 2u) << r.out;
    for (pid_t p : started) {
        const int64_t end = kv::TickMs() + 10000;
        while (kvtest::ProcessRuns(p) && kv::TickMs() < end)
            kv::SleepMs(50);
        EXPECT_FALSE(kvtest::ProcessRuns(p)) << "pid " << p << " outlived the killed connect";
    }
}
