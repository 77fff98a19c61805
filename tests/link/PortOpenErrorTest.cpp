// Why a port did not open: held by another process, not permitted, not a
// tty, missing; and that a later open clears the reason.
#include "PtyPeer.h"
#include "support/TempSettings.h"

#include "link/CommPort.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kv;
using kvtest::PtyPeer;

namespace {

// A child process that opens path as the port does and holds it until
// killed; the pid once it holds the port, -1 when it could not.
pid_t HoldInAnotherProcess(const std::string& path)
{
    int ready[2];
    if (pipe(ready) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(ready[0]);
        CCommPort holder;
        holder.SetDevicePath(path);
        const char ok = holder.OpenPort() == 1 ? 'y' : 'n';
        (void)!write(ready[1], &ok, 1);
        for (;;)
            pause();
    }
    close(ready[1]);
    char ok = 0;
    const bool held = pid > 0 && read(ready[0], &ok, 1) == 1 && ok == 'y';
    close(ready[0]);
    if (!held && pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return -1;
    }
    return pid;
}

void Release(pid_t pid)
{
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

// Runs fn in a child without root's right to ignore file modes; the child's
// result (true) or false when it failed or could not drop its rights.
bool RunUnprivileged(const std::function<bool()>& fn)
{
    const pid_t pid = fork();
    if (pid == 0) {
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
            _exit(3);
        _exit(fn() ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

TEST(PortOpenError, APortHeldByAnotherProcessIsBusyUntilItLetsGo)
{
    PtyPeer peer;
    ASSERT_TRUE(peer.Ok());
    const pid_t holder = HoldInAnotherProcess(peer.SlavePath());
    ASSERT_GT(holder, 0);
    CCommPort port;
    port.SetDevicePath(peer.SlavePath());
    EXPECT_EQ(port.OpenPort(), 0);
    EXPECT_TRUE(port.OpenFailed());
    EXPECT_EQ(port.OpenError(), EBUSY) << "errno " << port.OpenError();
    // An ordinary user meets the exclusive open before the lock: busy too.
    struct stat before {};
    ASSERT_EQ(stat(peer.SlavePath().c_str(), &before), 0);
    ASSERT_EQ(chmod(peer.SlavePath().c_str(), 0666), 0);
    EXPECT_TRUE(RunUnprivileged([&] {
        CCommPort other;
        other.SetDevicePath(peer.SlavePath());
        return other.OpenPort() == 0 && other.OpenError() == EBUSY;
    }));
    chmod(peer.SlavePath().c_str(), before.st_mode & 07777);
    Release(holder);
    ASSERT_EQ(port.OpenPort(), 1);
    EXPECT_EQ(port.OpenError(), 0) << "a success clears the reason";
    port.ClosePort();
}

TEST(PortOpenError, APortWithoutPermissionIsReportedAsSuch)
{
    PtyPeer peer;
    ASSERT_TRUE(peer.Ok());
    const std::string path = peer.SlavePath();
    struct stat before {};
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    // No one but root may use it; the check runs as an ordinary user.
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
    const bool refused = RunUnprivileged([&] {
        CCommPort port;
        port.SetDevicePath(path);
        return port.OpenPort() == 0 && port.OpenFailed() && port.OpenError() == EACCES;
    });
    chmod(path.c_str(), before.st_mode & 07777);
    EXPECT_TRUE(refused);
}

TEST(PortOpenError, NotATtyAndMissingKeepTheirOwnReasons)
{
    CCommPort port;
    port.SetDevicePath("/dev/null");
    EXPECT_EQ(port.OpenPort(), 0);
    EXPECT_EQ(port.OpenError(), ENOTTY);
    port.SetDevicePath("/nonexistent/tty");
    EXPECT_EQ(port.OpenPort(), 0);
    EXPECT_EQ(port.OpenError(), ENOENT);
}
