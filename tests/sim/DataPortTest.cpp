// The simulator's data interface over its pty: registered beside the
// diagnostic port, answering a dialler (the system's chat on the package's
// chat script included) and losing its carrier on request.
#include "engine/DrvComm.h"
#include "platform/Event.h"
#include "settings/Reg.h"
#include "sim/ModemSimulator.h"
#include "support/TempSettings.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

using namespace kv;
using namespace kv::sim;

namespace {

constexpr int kWaitMs = 10000;

ModemSimulator::Options WithDataPort()
{
    ModemSimulator::Options o;
    o.unsolicitedPeriodMs = 0;
    o.dataPort = true;
    return o;
}

// The dialler's end of the data tty.
class Dialler {
public:
    explicit Dialler(const std::string& path)
    {
        m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    }
    ~Dialler() { Close(); }
    void Close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    bool IsOpen() const { return m_fd >= 0; }
    void Send(const std::string& s) { ASSERT_EQ(::write(m_fd, s.data(), s.size()), ssize_t(s.size())); }
    // Reads until text has arrived; what came, up to and including it.
    std::string Await(const std::string& text, int timeoutMs = kWaitMs)
    {
        const int64_t end = TickMs() + timeoutMs;
        while (m_rx.find(text) == std::string::npos && TickMs() < end) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0 && (p.revents & POLLIN)) {
                char buf[256];
                const ssize_t n = ::read(m_fd, buf, sizeof buf);
                if (n > 0)
                    m_rx.append(buf, size_t(n));
            }
        }
        const size_t at = m_rx.find(text);
        if (at == std::string::npos)
            return "(not seen: " + text + "; got: " + m_rx + ")";
        std::string got = m_rx.substr(0, at + text.size());
        m_rx.erase(0, at + text.size());
        return got;
    }

private:
    int m_fd = -1;
    std::string m_rx;
};

std::vector<std::string> Listed()
{
    CReg list;
    list.SetKey(HKEY_LOCAL_MACHINE, kDrvEnumKeyNew);
    std::vector<std::string> out;
    const DWORD n = list.ReadDword("Count", 0);
    for (DWORD i = 0; i < n; ++i)
        out.push_back(list.ReadStringDefault(std::to_string(i), ""));
    return out;
}

std::string LinkTarget(const std::string& link)
{
    std::error_code ec;
    return std::filesystem::read_symlink(link, ec).string();
}

bool Waits(const std::string& state, const std::string& word) { return state.find(word) != std::string::npos; }

// Until the simulator's state holds word (the data port's thread changes it).
bool StateComes(ModemSimulator& sim, const std::string& word)
{
    const int64_t end = TickMs() + kWaitMs;
    while (!Waits(sim.Command("state"), word)) {
        if (TickMs() > end)
            return false;
        SleepMs(10);
    }
    return true;
}

} // namespace

class DataPortTest : public ::testing::Test {
protected:
    kvtest::TempSettings settings;
};

TEST_F(DataPortTest, TheDataPortIsListedAfterTheDiagnosticPortAndComesAndGoesWithIt)
{
    ModemSimulator sim(WithDataPort());
    ASSERT_TRUE(sim.Start());
    auto check = [&](const char* when) {
        const std::vector<std::string> list = Listed();
        ASSERT_EQ(list.size(), 2u) << when;
        EXPECT_NE(list[0].find("&MI_02\\"), std::string::npos) << when << list[0];
        EXPECT_NE(list[1].find("&MI_00\\"), std::string::npos) << when << list[1];
        EXPECT_NE(sim.DataComNumber(), sim.ComNumber()) << when;
        EXPECT_EQ(LinkTarget(sim.DataDevicePath()), sim.DataSlavePath()) << when;
        PortDiscovery d; // still takes the diagnostic port
        EXPECT_EQ(d.FindComPort(), sim.ComNumber()) << when;
    };
    check("at start");
    const int com = sim.ComNumber(), dataCom = sim.DataComNumber();
    const std::string dataLink = sim.DataDevicePath();

    ASSERT_TRUE(sim.Unplug());
    EXPECT_TRUE(Listed().empty());
    EXPECT_EQ(sim.DataDevicePath(), "");
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dataLink)));

    ASSERT_TRUE(sim.Replug());
    check("after the replug");
    EXPECT_EQ(sim.ComNumber(), com);
    EXPECT_EQ(sim.DataComNumber(), dataCom);
    sim.Stop();
    EXPECT_TRUE(Listed().empty());
}

TEST_F(DataPortTest, ADiallerGetsItsCallAndTheCarrierGoesOnRequest)
{
    ModemSimulator sim(WithDataPort());
    ASSERT_TRUE(sim.Start());
    EXPECT_NE(sim.Command("help").find("no-carrier"), std::string::npos);
    {
        Dialler d(sim.DataDevicePath());
        ASSERT_TRUE(d.IsOpen());
        d.Send("AT\r");
        EXPECT_EQ(d.Await("OK\r\n"), "AT\r\r\nOK\r\n");
        d.Send("ATDT#777\r");
        EXPECT_EQ(d.Await("CONNECT\r\n"), "ATDT#777\r\r\nCONNECT\r\n");
        d.Send(std::string("\x7e\xff\x03\xc0\x21\x01\x01\x00\x04\x7e", 10));
        ASSERT_TRUE(StateComes(sim, "data-bytes=10"));
        EXPECT_TRUE(Waits(sim.Command("state"), "data-call=1"));

        EXPECT_EQ(sim.Command("no-carrier"), "OK\n");
        EXPECT_EQ(d.Await("NO CARRIER\r\n"), "\r\nNO CARRIER\r\n");
        d.Send("AT\r");
        EXPECT_EQ(d.Await("OK\r\n"), "AT\r\r\nOK\r\n"); // commands again

        // Without a call, the next dial fails, and only that one.
        EXPECT_EQ(sim.Command("no-carrier"), "OK\n");
        d.Send("ATDT#777\r");
        EXPECT_EQ(d.Await("NO CARRIER\r\n"), "ATDT#777\r\r\nNO CARRIER\r\n");
        d.Send("ATD*99#\r");
        EXPECT_EQ(d.Await("CONNECT\r\n"), "ATD*99#\r\r\nCONNECT\r\n");
    }
    // The dialler closed the port in the call: the call is over and the
    // next dialler finds a modem in command state.
    ASSERT_TRUE(StateComes(sim, "data-call=0"));
    Dialler again(sim.DataDevicePath());
    ASSERT_TRUE(again.IsOpen());
    again.Send("AT\r");
    EXPECT_EQ(again.Await("OK\r\n"), "AT\r\r\nOK\r\n");
}

TEST_F(DataPortTest, NoCarrierNeedsADataPort)
{
    ModemSimulator::Options o = WithDataPort();
    o.dataPort = false;
    ModemSimulator sim(o);
    ASSERT_TRUE(sim.Start());
    EXPECT_EQ(Listed().size(), 1u);
    EXPECT_EQ(sim.Command("no-carrier"), "ERR no data port\n");
    EXPECT_EQ(sim.DataDevicePath(), "");
}

// The system's chat on the chat script the package installs, as pppd's
// connect option runs it: its exit status says how the dial went (0
// connected, 4 the first ABORT string, NO CARRIER).
TEST_F(DataPortTest, TheSystemsChatDialsThroughThePackagesChatScript)
{
    const char* chat = "/usr/sbin/chat";
    if (::access(chat, X_OK) != 0)
        GTEST_SKIP() << chat << " is not installed (package ppp)";
    ModemSimulator sim(WithDataPort());
    ASSERT_TRUE(sim.Start());
    auto runChat = [&]() -> int {
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int fd = ::open(sim.DataDevicePath().c_str(), O_RDWR | O_NOCTTY);
            if (fd < 0 || ::dup2(fd, 0) < 0 || ::dup2(fd, 1) < 0)
                ::_exit(126);
            ::execl(chat, chat, "-v", "-f", KV_CHAT_SCRIPT, "-T", "#777", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        const int64_t end = TickMs() + 20000;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (TickMs() > end) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                return -1;
            }
            SleepMs(20);
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(runChat(), 0);
    ASSERT_TRUE(StateComes(sim, "data-calls=1"));
    ASSERT_EQ(sim.Command("no-carrier"), "OK\n");
    EXPECT_EQ(runChat(), 4);
    EXPECT_TRUE(Waits(sim.Command("state"), "data-calls=1"));
}
