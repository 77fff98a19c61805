// The simulator over its pty, as a host sees it: framed answers among
// unsolicited packets, registration that discovery finds, unplug and
// replug, and the line faults the control channel switches on.
#include "engine/DrvComm.h"
#include "link/DiagCatalog.h"
#include "link/DiagFrame.h"
#include "platform/Event.h"
#include "settings/Reg.h"
#include "sim/ModemSimulator.h"
#include "support/TempSettings.h"

#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <poll.h>
#include <set>
#include <termios.h>
#include <unistd.h>

using namespace kv;
using namespace kv::sim;

namespace {

constexpr int kWaitMs = 10000;

// The host end of the line: raw tty, plain read and write.
class HostPort {
public:
    explicit HostPort(const std::string& path)
    {
        m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        struct termios t;
        if (m_fd >= 0 && ::tcgetattr(m_fd, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(m_fd, TCSANOW, &t);
        }
    }
    ~HostPort()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }

    void Write(const std::vector<uint8_t>& bytes) { ASSERT_EQ(::write(m_fd, bytes.data(), bytes.size()), ssize_t(bytes.size())); }
    void Send(const DiagRequest& r) { Write(EncodeDiagFrame(r.Data(), size_t(r.length))); }
    void SendText(const std::string& s) { Write(std::vector<uint8_t>(s.begin(), s.end())); }

    // Reads until a good frame starting with cmd arrives. Every other piece
    // is noted: good ones by command code, bad ones counted.
    bool Await(uint8_t cmd, std::vector<uint8_t>& payload, int timeoutMs = kWaitMs)
    {
        const int64_t end = TickMs() + timeoutMs;
        for (;;) {
            size_t flag;
            while ((flag = FindFlag()) != std::string::npos) {
                std::vector<uint8_t> piece(m_rx.begin(), m_rx.begin() + ptrdiff_t(flag));
                m_rx.erase(m_rx.begin(), m_rx.begin() + ptrdiff_t(flag + 1));
                uint8_t out[4096];
                size_t n = 0;
                if (piece.empty())
                    continue;
                if (!DecodeDiagPiece(piece.data(), piece.size(), out, sizeof out, n) || n == 0) {
                    ++bad;
                    continue;
                }
                seen.insert(out[0]);
                if (out[0] == cmd) {
                    payload.assign(out, out + n);
                    return true;
                }
            }
            if (!Fill(end))
                return false;
        }
    }
    // Reads until the text holds needle.
    bool AwaitText(const std::string& needle, int timeoutMs = kWaitMs)
    {
        const int64_t end = TickMs() + timeoutMs;
        while (std::string(m_rx.begin(), m_rx.end()).find(needle) == std::string::npos)
            if (!Fill(end))
                return false;
        m_rx.clear();
        return true;
    }
    // Waits for the far side to hang up.
    bool AwaitHangup(int timeoutMs = kWaitMs)
    {
        struct pollfd p = {m_fd, POLLIN, 0};
        const int64_t end = TickMs() + timeoutMs;
        while (TickMs() < end) {
            if (::poll(&p, 1, int(end - TickMs())) > 0 && (p.revents & (POLLHUP | POLLERR)))
                return true;
            uint8_t buf[256];
            if (::read(m_fd, buf, sizeof buf) == 0)
                return true;
        }
        return false;
    }

    int bad = 0;
    std::set<uint8_t> seen;

private:
    size_t FindFlag() const
    {
        for (size_t i = 0; i < m_rx.size(); ++i)
            if (m_rx[i] == kDiagFlag)
                return i;
        return std::string::npos;
    }
    bool Fill(int64_t end)
    {
        int64_t left = end - TickMs();
        if (left <= 0)
            return false;
        struct pollfd p = {m_fd, POLLIN, 0};
        if (::poll(&p, 1, int(left)) <= 0)
            return false;
        uint8_t buf[4096];
        ssize_t n = ::read(m_fd, buf, sizeof buf);
        if (n > 0)
            m_rx.insert(m_rx.end(), buf, buf + n);
        return n >= 0 || errno == EAGAIN;
    }

    int m_fd = -1;
    std::vector<uint8_t> m_rx;
};

class SimulatorTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("KORVIANET_SYSFS_ROOT", (settings.Dir() + "/no-sysfs").c_str(), 1); }
    void TearDown() override { unsetenv("KORVIANET_SYSFS_ROOT"); }

    static ModemSimulator::Options Quiet()
    {
        ModemSimulator::Options o;
        o.unsolicitedPeriodMs = 0;
        return o;
    }

    kvtest::TempSettings settings;
};

} // namespace

TEST_F(SimulatorTest, AnswersFramedRequestsAmidUnsolicitedPackets)
{
    ModemSimulator::Options o;
    o.unsolicitedPeriodMs = 20;
    ModemSimulator sim(o);
    ASSERT_TRUE(sim.Start());
    HostPort host(sim.DevicePath()); // through the dosdevices link
    ASSERT_TRUE(host.IsOpen());

    // The modem talks on its own: log and event packets, never answers.
    std::vector<uint8_t> payload;
    ASSERT_TRUE(host.Await(0x60, payload));
    ASSERT_TRUE(host.Await(0x10, payload));

    host.Send(BuildBattInfoReq());
    ASSERT_TRUE(host.Await(KVA_CMD_GENERAL, payload));
    BattInfo b;
    ASSERT_TRUE(ParseBattInfo(payload.data(), payload.size(), b));
    EXPECT_EQ(b.battVal, 3950);

    // A change through the control channel shows in the next answer.
    EXPECT_EQ(sim.Command("battery 3420 4"), "OK\n");
    host.Send(BuildBattInfoReq());
    ASSERT_TRUE(host.Await(KVA_CMD_GENERAL, payload));
    ASSERT_TRUE(ParseBattInfo(payload.data(), payload.size(), b));
    EXPECT_EQ(b.battVal, 3420);
    EXPECT_EQ(b.chgVal, 4);
    EXPECT_EQ(host.bad, 0);
}

TEST_F(SimulatorTest, RegistrationIsFoundByDiscoveryAndFollowsUnplugAndReplug)
{
    ModemSimulator sim(Quiet());
    ASSERT_TRUE(sim.Start());
    const int com = sim.ComNumber();
    ASSERT_GT(com, 0);
    const std::string firstTty = sim.SlavePath();
    EXPECT_EQ(std::filesystem::read_symlink(sim.DevicePath()).string(), firstTty);
    {
        PortDiscovery d;
        EXPECT_EQ(d.FindComPort(), com);
        EXPECT_EQ(d.DeviceKind(), 2);
    }

    HostPort host(firstTty);
    ASSERT_TRUE(host.IsOpen());
    EXPECT_TRUE(sim.Unplug());
    EXPECT_TRUE(host.AwaitHangup());
    CReg list;
    list.SetKey(HKEY_LOCAL_MACHINE, kDrvEnumKeyNew);
    EXPECT_EQ(list.ReadDword("Count", 99), 0u); // the list stays, empty
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(sim.DevicePath())));
    {
        PortDiscovery d;
        EXPECT_EQ(d.FindComPort(), 0);
    }

    ASSERT_TRUE(sim.Replug());
    EXPECT_EQ(sim.ComNumber(), com);
    EXPECT_EQ(list.ReadDword("Count", 99), 1u);
    PortDiscovery d;
    EXPECT_EQ(d.FindComPort(), com);
    HostPort again(sim.DevicePath());
    ASSERT_TRUE(again.IsOpen());
    again.Send(BuildVersionReq());
    std::vector<uint8_t> payload;
    EXPECT_TRUE(again.Await(DIAG_VERNO_F, payload));

    sim.Stop();
    EXPECT_EQ(list.ReadDword("Count", 99), 0u);
}

TEST_F(SimulatorTest, LineFaultsAreAppliedToAnswers)
{
    ModemSimulator sim(Quiet());
    ASSERT_TRUE(sim.Start());
    HostPort host(sim.SlavePath());
    std::vector<uint8_t> payload;

    // A broken FCS: the first answer cannot be decoded, the next one can.
    sim.Command("bad-fcs 1");
    host.Send(BuildModemStatusReq());
    host.Send(BuildBattInfoReq());
    ASSERT_TRUE(host.Await(KVA_CMD_GENERAL, payload));
    EXPECT_EQ(GetU16(payload.data(), 1), KVA_SUB_BATT_INFO);
    EXPECT_EQ(host.bad, 1);

    // Silence: a request made while silent is never answered.
    sim.Command("silent on");
    const uint64_t received = sim.Received();
    host.Send(BuildVersionReq());
    const int64_t end = TickMs() + kWaitMs;
    while (sim.Received() == received && TickMs() < end)
        sim.WaitFor([](ModemModel&) { return false; }, 20);
    ASSERT_GT(sim.Received(), received);
    sim.Command("silent off");
    host.Send(BuildStatusReq());
    ASSERT_TRUE(host.Await(DIAG_STATUS_F, payload));
    EXPECT_EQ(host.seen.count(DIAG_VERNO_F), 0u);

    // A delayed answer split in two still arrives whole, not before its time.
    sim.Command("delay 300 1");
    sim.Command("split 30 1");
    const int64_t t0 = TickMs();
    host.Send(BuildVersionReq());
    ASSERT_TRUE(host.Await(DIAG_VERNO_F, payload));
    EXPECT_GE(TickMs() - t0, 250);

    // Half a packet after the answer and a packet before it do not hide it.
    sim.Command("half-packet 1");
    sim.Command("noise-before 1");
    host.Send(BuildGetInfoReq());
    ASSERT_TRUE(host.Await(KVA_CMD_GENERAL, payload));
    EXPECT_EQ(GetU16(payload.data(), 1), KVA_SUB_GET_INFO);
}

TEST_F(SimulatorTest, SurvivesJunkFromTheHostAndAnswersAtCommands)
{
    ModemSimulator sim(Quiet());
    ASSERT_TRUE(sim.Start());
    HostPort host(sim.SlavePath());
    std::vector<uint8_t> junk;
    for (int i = 0; i < 3000; ++i)
        junk.push_back(uint8_t(i * 37 + 11));
    junk.push_back(kDiagFlag);
    host.Write(junk);
    host.Send(BuildVersionReq());
    std::vector<uint8_t> payload;
    ASSERT_TRUE(host.Await(DIAG_VERNO_F, payload));

    host.SendText("AT+CPIN?\r");
    EXPECT_TRUE(host.AwaitText("+CPIN: READY"));
    host.SendText("AT+CSQ\r");
    EXPECT_TRUE(host.AwaitText("+CSQ:"));
    host.Send(BuildStatusReq()); // DIAG right after AT on the same line
    EXPECT_TRUE(host.Await(DIAG_STATUS_F, payload));
}

TEST_F(SimulatorTest, ScenarioCallIsSeenByTheHostsStatusPoll)
{
    ModemSimulator sim(Quiet());
    ASSERT_TRUE(sim.Start());
    HostPort host(sim.SlavePath());
    EXPECT_EQ(sim.Command("call 6195550199 Alice Smith"), "OK\n");
    host.Send(BuildModemStatusReq());
    std::vector<uint8_t> payload;
    ASSERT_TRUE(host.Await(KVA_CMD_GENERAL, payload));
    StatusRecord s;
    ASSERT_TRUE(ParseStatusRecord(payload.data(), payload.size(), true, s));
    EXPECT_EQ(s.incomingCallIndicate, kIndIncoming);
    EXPECT_EQ(s.state, kCallWfa);

    host.Send(BuildHsKeyReq(0, kKeySend));
    EXPECT_TRUE(sim.WaitFor([](ModemModel& m) { return m.call.State(true) == kCallConv; }, kWaitMs));
    EXPECT_NE(sim.Command("calls").find("answered"), std::string::npos);
    EXPECT_EQ(sim.Command("bogus").rfind("ERR", 0), 0u);
    // The phonebook's reported counts, rewinding and lost answers.
    EXPECT_EQ(sim.Command("pb-count ruim 65535 300"), "OK\n");
    EXPECT_EQ(sim.Command("pb-rewind off"), "OK\n");
    EXPECT_EQ(sim.Command("pb-lose memory 2 1"), "OK\n");
    EXPECT_TRUE(sim.WithModel([](ModemModel& m) {
        return m.pbRuim.reportInUse == 65535 && m.pbRuim.reportCapacity == 300 && !m.pbRewindOnInfo
               && m.pbMemory.loseReads == 2 && m.pbMemory.answerBeforeLoss == 1;
    }));
    EXPECT_EQ(sim.Command("pb-count ruim real"), "OK\n");
    EXPECT_TRUE(sim.WithModel([](ModemModel& m) { return m.pbRuim.reportInUse == -1; }));
    for (const char* bad : {"pb-count", "pb-count ruim", "pb-count card 3", "pb-count ruim 70000", "pb-rewind maybe",
                            "pb-lose ruim", "pb-lose ruim -1"})
        EXPECT_EQ(sim.Command(bad).rfind("ERR", 0), 0u) << bad;
}

TEST_F(SimulatorTest, ModemResetDropsOffTheBusAndComesBack)
{
    ModemSimulator sim(Quiet());
    ASSERT_TRUE(sim.Start());
    HostPort host(sim.SlavePath());
    host.SendText("AT^RESET\r");
    EXPECT_TRUE(host.AwaitText("OK"));
    EXPECT_TRUE(host.AwaitHangup());
    const int64_t end = TickMs() + kWaitMs;
    while (!sim.Plugged() && TickMs() < end)
        sim.WaitFor([](ModemModel&) { return false; }, 100);
    EXPECT_TRUE(sim.Plugged());
    PortDiscovery d;
    EXPECT_EQ(d.FindComPort(), sim.ComNumber());
}
