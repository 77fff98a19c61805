// The serial port over a real pty: open/close/reopen, COMn resolution,
// exclusive use, the reader's events, and safety of a closed port.
#include "PtyPeer.h"
#include "support/AsUser.h"
#include "support/TempSettings.h"

#include "link/CommPort.h"
#include "platform/Event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace kv;
using kvtest::PtyPeer;

namespace {

// The port prepared as the engine restart routine prepares it.
void Prepare(CCommPort& port, const std::string& path)
{
    port.SetEventMask(EV_RXFLAG);
    port.ConfigureLine(0x7E, 115200, 8, 0, 0, 2);
    port.SetDevicePath(path);
}

struct Owner : ICommPortOwner {
    std::atomic<int> posts{0};
    std::atomic<uint32_t> msg{0};
    std::atomic<intptr_t> lParam{0};
    void PostPortMessage(uint32_t m, uintptr_t, intptr_t l) override
    {
        msg = m;
        lParam = l;
        ++posts;
    }
};

bool WaitFor(const std::function<bool()>& cond, int64_t ms = 10000)
{
    const int64_t end = TickMs() + ms;
    while (!cond()) {
        if (TickMs() > end)
            return false;
        SleepMs(5);
    }
    return true;
}

double CpuSeconds()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec)
        + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

} // namespace

TEST(CommPort, OpenCloseAndReopenWithAFreshReader)
{
    PtyPeer peer;
    ASSERT_TRUE(peer.Ok());
    CCommPort port;
    EXPECT_EQ(port.ClosePort(), 0) << "closing a closed port";
    Prepare(port, peer.SlavePath());
    ASSERT_EQ(port.OpenPort(), 1);
    EXPECT_TRUE(port.IsOpen());
    EXPECT_TRUE(port.NotifyMode()) << "a fresh port starts in notify mode";
    EXPECT_EQ(port.OpenPort(), 0) << "opening an open port";
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(port.ClosePort(), 1);
    EXPECT_TRUE(port.ReaderExited().IsSet());
    EXPECT_FALSE(port.IsOpen());

    ASSERT_EQ(port.OpenPort(), 1);
    EXPECT_FALSE(port.ReaderExited().IsSet());
    port.SetNotifyMode(false);
    peer.Send({0x01, 0x7E});
    EXPECT_TRUE(port.RxReady().Wait(10000)) << "the new reader sees the flag";
    uint8_t buf[16];
    EXPECT_EQ(port.ReadAvailable(buf, sizeof buf), 2);
    EXPECT_EQ(port.ClosePort(), 1);
}

// Exclusive use holds while the port is open and ends with ClosePort, also
// for a normal user (root is exempt from exclusive mode, so as root these
// steps run in a child that has dropped to nobody).
TEST(CommPort, ReopenWorksForANormalUser)
{
    if (!kvtest::CanRunAsNormalUser())
        GTEST_SKIP() << "cannot drop to a normal user here";
    const std::string err = kvtest::RunAsNormalUser([]() -> std::string {
        PtyPeer peer; // the tty belongs to the normal user
        if (!peer.Ok())
            return "no pty";
        CCommPort port, other;
        Prepare(port, peer.SlavePath());
        Prepare(other, peer.SlavePath());
        for (int round = 0; round < 3; ++round) {
            if (port.OpenPort() != 1)
                return "open " + std::to_string(round) + " refused";
            if (other.OpenPort() != 0)
                return "a second open while open was allowed";
            port.SetNotifyMode(false);
            peer.Send({0x01, 0x7E});
            if (!port.RxReady().Wait(10000))
                return "no flag seen";
            if (port.ClosePort() != 1)
                return "close failed";
            // anybody may open the tty again once it is closed
            const int fd = ::open(peer.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            if (fd < 0)
                return std::string("the tty stays exclusive after ClosePort: ") + std::strerror(errno);
            ::close(fd);
        }
        return "";
    });
    EXPECT_EQ(err, "");
}

TEST(CommPort, ComNumberResolvesThroughTheDosdevicesFolder)
{
    kvtest::TempSettings settings;
    PtyPeer peer;
    ASSERT_TRUE(peer.Ok());
    settings.WriteFile("dosdevices/.keep", "");
    ASSERT_EQ(::symlink(peer.SlavePath().c_str(), settings.Path("dosdevices/com7").c_str()), 0);

    CCommPort port;
    port.SetEventMask(EV_RXFLAG);
    port.SetPortNumber(7);
    EXPECT_EQ(port.PortNumber(), 7u);
    EXPECT_EQ(port.DevicePathToOpen(), settings.Path("dosdevices/com7"));
    ASSERT_EQ(port.OpenPort(), 1);
    port.ClosePort();

    // a missing COMn fails, sets the open-failed flag and leaves it closed
    port.SetPortNumber(8);
    EXPECT_EQ(port.OpenPort(), 0);
    EXPECT_TRUE(port.OpenFailed());
    EXPECT_FALSE(port.IsOpen());

    // the environment names another folder
    const std::string other = kvtest::MakeTempDir("kvdos");
    ASSERT_EQ(::symlink(peer.SlavePath().c_str(), (other + "/com8").c_str()), 0);
    ::setenv("KORVIANET_DOSDEVICES", other.c_str(), 1);
    EXPECT_EQ(port.OpenPort(), 1);
    ::unsetenv("KORVIANET_DOSDEVICES");
    port.ClosePort();
    kvtest::RemoveTree(other);
}

TEST(CommPort, SecondOpenOfTheSameTtyIsRefused)
{
    PtyPeer peer;
    ASSERT_TRUE(peer.Ok());
    CCommPort a, b;
    Prepare(a, peer.SlavePath());
    Prepare(b, peer.SlavePath());
    ASSERT_EQ(a.OpenPort(), 1);
    EXPECT_EQ(b.OpenPort(), 0);
    EXPECT_TRUE(b.OpenFailed());
    a.ClosePort();
    EXPECT_EQ(b.OpenPort(), 1);
}

TEST(CommPort, NotARegularFileOrMissingPathFails)
{
    CCommPort port;
    port.SetDevicePath("/dev/null"); // not a tty
    EXPECT_EQ(port.OpenPort(), 0);
    EXPECT_TRUE(port.OpenFailed());
    port.SetDevicePath("/nonexistent/tty");
    EXPECT_EQ(port.OpenPort(), 0);
}

TEST(CommPort, ReaderPostsTraceMessagesInNotifyModeAndSignalsRxReadyOtherwise)
{
    PtyPeer peer;
    ASSERT_TRUE(peer.Ok());
    CCommPort port;
    Owner owner;
    port.SetOwner(&owner);
    Prepare(port, peer.SlavePath());
    ASSERT_EQ(port.OpenPort(), 1);

    peer.Send({0x10, 0x20}); // no flag: no event
    peer.Send({0x30, 0x7E});
    ASSERT_TRUE(WaitFor([&] { return owner.posts.load() >= 1; }));
    EXPECT_EQ(owner.msg.load(), kTracePacketMessage);
    EXPECT_EQ(owner.lParam.load(), kTracePacketParam);
    EXPECT_FALSE(port.RxReady().IsSet());

    port.SetNotifyMode(false);
    uint8_t buf[64];
    ASSERT_TRUE(WaitFor([&] { return port.ReadAvailable(buf, sizeof buf) == 0; }));
    peer.Send({0x01, 0x7E});
    EXPECT_TRUE(port.RxReady().Wait(10000));
    EXPECT_EQ(port.ReadAvailable(buf, sizeof buf), 2);
    EXPECT_EQ(buf[0], 0x01);

    // bytes without the flag are queued but raise no event
    peer.Send({0x05, 0x06});
    ASSERT_TRUE(WaitFor([&] { return port.ReadAvailable(buf, 1) == 1; }));
    EXPECT_FALSE(port.RxReady().IsSet());
}

TEST(CommPort, WritesReachThePeerInEveryForm)
{
    PtyPeer peer;
    ASSERT_TRUE(peer.Ok());
    CCommPort port;
    Prepare(port, peer.SlavePath());
    ASSERT_EQ(port.OpenPort(), 1);
    const uint8_t bytes[] = {0x00, 0x0A, 0x7E};
    EXPECT_EQ(port.WriteBytes(bytes, 3), 3);
    EXPECT_EQ(port.WriteByte(0x41), 1);
    EXPECT_EQ(port.WriteString("AT\r"), 3);
    EXPECT_EQ(port.WriteBytes(nullptr, 3), 0);
    std::vector<uint8_t> got;
    ASSERT_TRUE(WaitFor([&] {
        auto more = peer.ReadSome(100);
        got.insert(got.end(), more.begin(), more.end());
        return got.size() >= 7;
    }));
    EXPECT_EQ(got, (std::vector<uint8_t>{0x00, 0x0A, 0x7E, 0x41, 'A', 'T', '\r'}));
    EXPECT_EQ(port.Purge(), 1);
}

TEST(CommPort, DtrUnderHandshakeIsLeftAlone)
{
    CCommPort port;
    port.SetDtrControl(DtrControl::Handshake);
    EXPECT_EQ(port.SetDtr(true), 2);
    port.SetDtrControl(DtrControl::Enable);
    EXPECT_EQ(port.SetDtr(true), 0);
}

TEST(CommPort, ClosedPortTouchesNoDescriptor)
{
    PtyPeer peer;
    ASSERT_TRUE(peer.Ok());
    CCommPort port;
    Prepare(port, peer.SlavePath());
    ASSERT_EQ(port.OpenPort(), 1);
    port.ClosePort();

    // The freed descriptor numbers are taken by a pipe; nothing the closed
    // port is asked to do may reach it.
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    int more[2];
    ASSERT_EQ(::pipe(more), 0);
    EXPECT_EQ(port.WriteBytes(reinterpret_cast<const uint8_t*>("xyz"), 3), 0);
    EXPECT_EQ(port.WriteByte('x'), 0);
    EXPECT_EQ(port.WriteString("AT+CSQ\r"), 0);
    uint8_t buf[8];
    EXPECT_EQ(port.ReadAvailable(buf, sizeof buf), 0);
    EXPECT_EQ(port.Purge(), 0);
    EXPECT_EQ(port.ApplyEventMask(), 0);
    EXPECT_EQ(port.ClearEventMask(), 0);
    EXPECT_EQ(port.SetDtr(false), 0);
    uint8_t resp[4] = {1, 2, 3, 4};
    const uint8_t req = 0x0C;
    EXPECT_EQ(port.Transact(&req, resp, sizeof resp, 1, 100), kDiagNotWritten);
    EXPECT_EQ(resp[0], 1) << "the response is not touched";
    for (int fd : {fds[0], more[0]}) {
        ::fcntl(fd, F_SETFL, O_NONBLOCK);
        EXPECT_LT(::read(fd, buf, sizeof buf), 1);
    }
    for (int fd : {fds[0], fds[1], more[0], more[1]})
        ::close(fd);
}

TEST(CommPort, UnpluggedDeviceLeavesTheReaderIdleUntilClosed)
{
    PtyPeer peer;
    ASSERT_TRUE(peer.Ok());
    CCommPort port;
    Prepare(port, peer.SlavePath());
    ASSERT_EQ(port.OpenPort(), 1);
    port.SetNotifyMode(false);
    peer.Close();
    ASSERT_TRUE(WaitFor([&] { return port.HungUp(); }));

    const double before = CpuSeconds();
    SleepMs(1500);
    EXPECT_LT(CpuSeconds() - before, 0.3) << "the reader spins on a hung-up tty";

    EXPECT_EQ(port.WriteString("AT\r"), 0);
    const int64_t t0 = TickMs();
    EXPECT_EQ(port.ClosePort(), 1);
    EXPECT_LT(TickMs() - t0, 10000);
    EXPECT_TRUE(port.ReaderExited().IsSet());
}
