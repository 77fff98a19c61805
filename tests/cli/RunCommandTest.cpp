// "run" against the simulator when the modem is pulled out and plugged in
// again: the engine ends at once, the command waits for the modem and
// restarts the engine, cycle after cycle, and still stops when asked.
#include "platform/Event.h"
#include "sim/ModemSimulator.h"
#include "support/TempSettings.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// korvianet-cli as a child whose standard output is read while it runs.
class LiveCli {
public:
    explicit LiveCli(const std::vector<std::string>& args)
    {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            return;
        std::vector<std::string> store{KV_CLI_PATH};
        store.insert(store.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : store)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(out[1], 1);
            ::dup2(out[1], 2);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        m_fd = out[0];
    }
    ~LiveCli()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_fd >= 0)
            ::close(m_fd);
    }
    const std::string& Out() const { return m_out; }
    // Reads output until `what` occurs for the n-th time (true) or the time is up.
    bool WaitFor(const std::string& what, size_t n, int timeoutMs)
    {
        const int64_t end = kv::TickMs() + timeoutMs;
        while (Count(what) < n) {
            const int64_t left = end - kv::TickMs();
            if (left <= 0 || m_fd < 0)
                return false;
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, int(left)) <= 0)
                continue;
            char buf[4096];
            const ssize_t got = ::read(m_fd, buf, sizeof buf);
            if (got <= 0) {
                ::close(m_fd);
                m_fd = -1;
                return Count(what) >= n;
            }
            m_out.append(buf, size_t(got));
        }
        return true;
    }
    size_t Count(const std::string& what) const
    {
        size_t n = 0;
        for (size_t pos = m_out.find(what); pos != std::string::npos; pos = m_out.find(what, pos + 1))
            ++n;
        return n;
    }
    // Sends SIGINT and waits (bounded) for the exit status; -1 when it did not end.
    int Interrupt(int timeoutMs)
    {
        ::kill(m_pid, SIGINT);
        WaitFor("\x01never", 1, timeoutMs); // drain until the output closes
        int status = 0;
        const int64_t end = kv::TickMs() + timeoutMs;
        while (::waitpid(m_pid, &status, WNOHANG) == 0) {
            if (kv::TickMs() > end)
                return -1;
            kv::SleepMs(20);
        }
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t m_pid = -1;
    int m_fd = -1;
    std::string m_out;
};

constexpr const char* kPolled = "[run] indicator 1117 = ";
constexpr const char* kGone = "[run] the modem is gone: waiting for it to come back";
constexpr const char* kBack = "[run] the modem is back: engine restarted";

} // namespace

TEST(CliRun, ModemPulledOutAndBackIsPickedUpAgainEachTime)
{
    kvtest::TempSettings settings;
    setenv("KORVIANET_SYSFS_ROOT", (settings.Dir() + "/no-sysfs").c_str(), 1);
    unsetenv("KORVIANET_DOSDEVICES");
    const std::string db = settings.Path("WVL.MDB");
    std::filesystem::copy_file(KORVIA_BUILT_DB, db);
    setenv("KORVIANET_DB", db.c_str(), 1);

    kv::sim::ModemSimulator::Options o;
    o.unsolicitedPeriodMs = 0;
    kv::sim::ModemSimulator sim(o);
    ASSERT_TRUE(sim.Start());
    {
        LiveCli cli({"--config-dir", settings.Dir(), "run"});
        ASSERT_TRUE(cli.WaitFor(kPolled, 1, 30000)) << cli.Out();
        for (size_t cycle = 1; cycle <= 3; ++cycle) {
            SCOPED_TRACE(cycle);
            const size_t polls = cli.Count(kPolled);
            const size_t vbat = cli.Count("get vbat info error");
            ASSERT_EQ(sim.Command("unplug"), "OK\n");
            ASSERT_TRUE(cli.WaitFor(kGone, cycle, 10000)) << cli.Out();
            // away for a while: the dead port is not polled
            cli.WaitFor("\x01never", 1, 3000);
            EXPECT_LE(cli.Count("get vbat info error"), vbat + 1) << "polled a port that is gone";
            ASSERT_EQ(sim.Command("replug"), "OK\n");
            ASSERT_TRUE(cli.WaitFor(kBack, cycle, 15000)) << cli.Out();
            // and it polls again
            EXPECT_TRUE(cli.WaitFor(kPolled, cli.Count(kPolled) + 1, 30000)) << cli.Out();
            EXPECT_GT(cli.Count(kPolled), polls);
        }
        // a stop request while the modem is away still ends it
        ASSERT_EQ(sim.Command("unplug"), "OK\n");
        ASSERT_TRUE(cli.WaitFor(kGone, 4, 10000)) << cli.Out();
        EXPECT_EQ(cli.Interrupt(10000), 0) << cli.Out();
        EXPECT_EQ(cli.Count("[run] engine stopped"), 1u) << cli.Out();
    }
    sim.Stop();
    unsetenv("KORVIANET_DB");
    unsetenv("KORVIANET_SYSFS_ROOT");
}
