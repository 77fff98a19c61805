// "connect" with the pppd dial-up service against the simulator program:
// the system's own pppd (/usr/sbin/pppd) is run as a user in the group dip
// over the simulator's data port, and the user is shown what pppd itself
// reported. On a machine without /dev/ppp that is the missing kernel
// support; with it, the package's chat script dials the simulator's data
// port. Either way nothing of the dial outlives the command.
#include "RunCli.h"

#include "platform/Event.h"
#include "support/AsUser.h"
#include "support/PppProfiles.h"
#include "support/TempSettings.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr const char* kSystemPppd = "/usr/sbin/pppd";

bool Exists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool InGroup(gid_t gid)
{
    std::vector<gid_t> groups(256);
    const int n = ::getgroups(int(groups.size()), groups.data());
    for (int i = 0; i < n; ++i)
        if (groups[size_t(i)] == gid)
            return true;
    return ::getegid() == gid;
}

// Processes whose command line mentions text (the dial's files are below
// the test's folder, so pppd and its connect script name it).
std::vector<pid_t> ProcessesNaming(const std::string& text)
{
    std::vector<pid_t> found;
    DIR* d = ::opendir("/proc");
    if (!d)
        return found;
    while (dirent* e = ::readdir(d)) {
        const pid_t pid = pid_t(std::atoi(e->d_name));
        if (pid <= 0 || pid == ::getpid())
            continue;
        const std::string cmdline = kvtest::ReadFileBytes("/proc/" + std::string(e->d_name) + "/cmdline");
        if (cmdline.find(text) != std::string::npos)
            found.push_back(pid);
    }
    ::closedir(d);
    return found;
}

// The simulator program, serving until Stop; its first output line is the
// diagnostic tty.
class SimProgram {
public:
    bool Start(const std::string& configDir, const std::string& control)
    {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            return false;
        m_pid = ::fork();
        if (m_pid == 0) {
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, 0);
            ::dup2(out[1], 1);
            ::dup2(null, 2);
            ::execl(KV_SIM_PATH, KV_SIM_PATH, "--config-dir", configDir.c_str(), "--quiet-line", "--control",
                    control.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(out[1]);
        std::string line;
        const int64_t end = kv::TickMs() + 10000;
        while (line.find('\n') == std::string::npos && kv::TickMs() < end) {
            pollfd p{out[0], POLLIN, 0};
            if (::poll(&p, 1, 100) > 0) {
                char c[128];
                const ssize_t n = ::read(out[0], c, sizeof c);
                if (n <= 0)
                    break;
                line.append(c, size_t(n));
            }
        }
        ::close(out[0]);
        return m_pid > 0 && line.rfind("/dev/pts/", 0) == 0;
    }
    // SIGTERM and the wait; true when it ended by itself in time.
    bool Stop()
    {
        if (m_pid <= 0)
            return true;
        ::kill(m_pid, SIGTERM);
        int status = 0;
        const int64_t end = kv::TickMs() + 10000;
        while (::waitpid(m_pid, &status, WNOHANG) == 0) {
            if (kv::TickMs() > end) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, &status, 0);
                m_pid = -1;
                return false;
            }
            kv::SleepMs(20);
        }
        m_pid = -1;
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    ~SimProgram() { Stop(); }

private:
    pid_t m_pid = -1;
};

} // namespace

TEST(CliPppdSimulator, TheSystemsPppdDialsTheSimulatorsDataPortAndTheUserSeesItsOutcome)
{
    if (!Exists(kSystemPppd))
        GTEST_SKIP() << kSystemPppd << " is not installed (package ppp)";
    const group* dip = ::getgrnam("dip");
    ASSERT_NE(dip, nullptr) << "no group dip";
    const gid_t dipGid = dip->gr_gid;
    kvtest::ProfileLock lock;
    kvtest::InstalledProfiles profiles;
    if (::geteuid() == 0) {
        ASSERT_TRUE(kvtest::CanRunAsNormalUser());
        ASSERT_TRUE(profiles.Install(KV_PPP_FILES));
    } else if (!InGroup(dipGid)) {
        GTEST_SKIP() << "this user is not in the group dip";
    } else if (!kvtest::ProfilesInstalled()) {
        GTEST_SKIP() << "the dial-up profiles are not installed (scripts/install-peers.sh as root)";
    }
    const std::string root = kvtest::MakeTempDir("kvpppdsim");
    ::chmod(root.c_str(), 0755);
    const std::string home = root + "/home";
    ::mkdir(home.c_str(), 0700);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(home.c_str(), 65534, 65534), 0);
    }

    const std::string result = kvtest::RunAsNormalUserInGroups(
        [&]() -> std::string {
            for (const char* d : {"/run", "/data"})
                ::mkdir((home + d).c_str(), 0700);
            setenv("KORVIANET_CONFIG_DIR", home.c_str(), 1);
            setenv("KORVIANET_DATA_DIR", (home + "/data").c_str(), 1);
            setenv("XDG_RUNTIME_DIR", (home + "/run").c_str(), 1);
            setenv("KORVIANET_SYSFS_ROOT", (home + "/no-sysfs").c_str(), 1);
            setenv("KORVIANET_RAS_BACKEND", "pppd", 1);
            setenv("KORVIANET_PPPD", kSystemPppd, 1);
            for (const char* v : {"KORVIANET_DOSDEVICES", "KORVIANET_PPP_DEVICE"})
                unsetenv(v);
            SimProgram sim;
            if (!sim.Start(home, home + "/control"))
                return "the simulator did not start";
            const auto r = kvtest::RunCli({"--config-dir", home, "connect", "--seconds", "3", "--user", "card",
                                           "--password-file", kvtest::PasswordFile(home, "card")});
            std::printf("[pppd over the simulator] uid %d, /dev/ppp %s, exit %d:\n%s", int(::getuid()),
                        Exists("/dev/ppp") ? "present" : "missing", r.exitCode, r.out.c_str());
            std::fflush(stdout);
            std::string why;
            if (r.out.find("device: KORVIA USB Modem (/dev/pts/") == std::string::npos)
                why += "the dial was not on the simulator's data port; ";
            if (!Exists("/dev/ppp")) {
                const size_t box = r.out.find("[net] message box: ");
                if (box == std::string::npos
                    || r.out.substr(box, r.out.find('\n', box) - box).find("ppp_generic") == std::string::npos)
                    why += "the user was not shown pppd's no-kernel-support report; ";
                if (r.out.find("[net] not connected") == std::string::npos || r.exitCode != 1)
                    why += "the command did not end as a failed dial; ";
            }
            // pppd (and a connect script) went with the command.
            const int64_t end = kv::TickMs() + 5000;
            while (!ProcessesNaming(home + "/PINGPB").empty() && kv::TickMs() < end)
                kv::SleepMs(50);
            if (!ProcessesNaming(home + "/PINGPB").empty())
                why += "a process of the dial outlived the command; ";
            if (!sim.Stop())
                why += "the simulator did not end on SIGTERM; ";
            return why;
        },
        {dipGid});
    EXPECT_EQ(result, "");
    EXPECT_TRUE(ProcessesNaming(home).empty());
    kvtest::RemoveTree(root);
}
