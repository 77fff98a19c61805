// The system's own pppd (/usr/sbin/pppd: setuid root, run by the group dip)
// on exactly the files the program writes and the words it passes. A user
// without privileges who is in dip must get every option accepted: on a
// machine without /dev/ppp pppd then stops for the missing kernel support,
// never for an option. A user outside dip is told to join it. As root the
// test installs the build's profiles in /etc while it runs and drops to uid
// 65534 (with and without dip); as a normal user it uses the installed
// profiles and the user's own groups.
#include "net/PppdBackend.h"
#include "net/RasClient.h"
#include "platform/Event.h"
#include "support/AsUser.h"
#include "support/PppProfiles.h"
#include "support/TempSettings.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <vector>

using namespace kvnet;

namespace {

constexpr const char* kSystemPppd = "/usr/sbin/pppd";

bool Exists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

class RealPppd : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!Exists(kSystemPppd))
            GTEST_SKIP() << kSystemPppd << " is not installed (package ppp)";
        const group* dip = ::getgrnam("dip");
        ASSERT_NE(dip, nullptr) << "no group dip";
        dipGid = dip->gr_gid;
        // What Debian's ppp package sets, and what the design relies on.
        struct stat st {};
        ASSERT_EQ(::stat(kSystemPppd, &st), 0);
        ASSERT_EQ(st.st_mode & 07777, 04754u) << "pppd's mode";
        ASSERT_EQ(st.st_uid, 0u);
        ASSERT_EQ(st.st_gid, dipGid);

        if (::geteuid() == 0) {
            ASSERT_TRUE(kvtest::CanRunAsNormalUser());
            ASSERT_TRUE(profiles.Install(KV_PPP_FILES)) << "cannot install the profiles in /etc/ppp/peers";
        } else if (!kvtest::ProfilesInstalled()) {
            GTEST_SKIP() << "the dial-up profiles are not installed (scripts/install-peers.sh as root)";
        }
        root = kvtest::MakeTempDir("kvrealpppd");
        ::chmod(root.c_str(), 0755);
        // A settings folder whose name would break a quoted option.
        home = root + "/it's a \"home\" #1";
        ::mkdir(home.c_str(), 0700);
        // The modem's data tty: a pty the unprivileged user may open.
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(::grantpt(master), 0);
        ASSERT_EQ(::unlockpt(master), 0);
        tty = ::ptsname(master);
        if (::geteuid() == 0) {
            ASSERT_EQ(::chown(home.c_str(), 65534, 65534), 0);
            ASSERT_EQ(::chown(tty.c_str(), 65534, 65534), 0);
        }
    }
    void TearDown() override
    {
        if (master >= 0)
            ::close(master);
        if (!root.empty())
            kvtest::RemoveTree(root);
    }

    // Writes the entry as the program does and dials #777 with the system's
    // pppd; the dial's error code and text. "" when it went as expected.
    std::string Dial(int& error, std::string& text)
    {
        CPppdBackend::Config cfg;
        cfg.phonebookRoot = home;
        cfg.pppdPath = kSystemPppd;
        const std::string node = tty;
        cfg.devices = [node] { return std::vector<RasDeviceInfo>{{"modem", "KORVIA USB Modem (" + node + ")"}}; };
        CRasClient client(std::make_shared<CPppdBackend>(cfg));
        client.Init();
        CRasClient::ClearDialError();
        std::string device;
        if (client.FindModemDevice(device) != 1)
            return "no modem device";
        if (client.CreateEntry(kEntryLabel, "modem", device, kProtocolsIp, kFramingPpp, "#777", kPhonebook) != RAS_OK
            || client.SetEntryOptions(kEntryLabel, kEntryOptions, true, "modem", device, kPhonebook) != RAS_OK
            || !client.SetDialParams(kEntryLabel, "card", "pa ss\"word"))
            return "the entry was not written";
        error = client.Dial(kEntryLabel, "#777", "card", "pa ss\"word", "", kPhonebook);
        if (error == RAS_OK) {
            const bool devPpp = Exists("/dev/ppp");
            bool connected = false;
            std::string state;
            const int64_t end = kv::TickMs() + (devPpp ? 3000 : 10000);
            while (kv::TickMs() < end && !client.GetDialState(state, connected) && CRasClient::DialError() == 0)
                kv::SleepMs(20);
            kv::SleepMs(100);
            error = CRasClient::DialError();
            client.HangUp(kEntryLabel);
        }
        client.GetErrorText(error, 0, text);
        return "";
    }

    gid_t dipGid = 0;
    kvtest::ProfileLock lock; // released after the profiles are put back
    kvtest::InstalledProfiles profiles;
    std::string root, home, tty;
    int master = -1;
};

bool InGroup(gid_t gid)
{
    std::vector<gid_t> groups(256);
    const int n = ::getgroups(int(groups.size()), groups.data());
    for (int i = 0; i < n; ++i)
        if (groups[size_t(i)] == gid)
            return true;
    return ::getegid() == gid;
}

} // namespace

TEST_F(RealPppd, AUserInDipGetsEveryOptionAcceptedByTheSystemsPppd)
{
    if (::geteuid() != 0 && !InGroup(dipGid))
        GTEST_SKIP() << "this user is not in the group dip";
    const std::string result = kvtest::RunAsNormalUserInGroups(
        [&]() -> std::string {
            int error = -1;
            std::string text;
            if (std::string why = Dial(error, text); !why.empty())
                return why;
            std::printf("[real pppd] uid %d in dip, /dev/ppp %s: error %d: %s\n", int(::getuid()),
                        Exists("/dev/ppp") ? "present" : "missing", error, text.c_str());
            std::fflush(stdout);
            if (error == RAS_ERR_OPTION_REFUSED || error == RAS_ERR_PROFILE_MISSING || error == RAS_ERR_ACCESS_DENIED
                || error == RAS_ERR_HARDWARE)
                return "pppd refused the dial: " + std::to_string(error) + " " + text;
            if (!Exists("/dev/ppp") && error != RAS_ERR_NO_PPP_SUPPORT)
                return "expected no kernel support, got " + std::to_string(error) + " " + text;
            return "";
        },
        {dipGid});
    EXPECT_EQ(result, "");
    // pppd looks for /dev/ppp before it opens the tty and runs the connect
    // script: without it, not a byte reached the modem.
    if (!Exists("/dev/ppp")) {
        pollfd p{master, POLLIN, 0};
        EXPECT_EQ(::poll(&p, 1, 0), 0);
    }
}

TEST_F(RealPppd, AUserOutsideDipIsToldToJoinIt)
{
    if (::geteuid() != 0 && InGroup(dipGid))
        GTEST_SKIP() << "this user is in the group dip";
    const std::string result = kvtest::RunAsNormalUserInGroups(
        [&]() -> std::string {
            int error = -1;
            std::string text;
            if (std::string why = Dial(error, text); !why.empty())
                return why;
            std::printf("[real pppd] uid %d outside dip: error %d: %s\n", int(::getuid()), error, text.c_str());
            std::fflush(stdout);
            if (error != RAS_ERR_ACCESS_DENIED || text.find("sudo adduser $USER dip") == std::string::npos)
                return "expected the join-dip text, got " + std::to_string(error) + " " + text;
            return "";
        },
        {});
    EXPECT_EQ(result, "");
}
