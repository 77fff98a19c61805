#include "platform/Event.h"
#include "platform/SingleInstance.h"
#include "support/TempSettings.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kv;
constexpr auto Held = CSingleInstance::Result::Held;
constexpr auto Busy = CSingleInstance::Result::Busy;
constexpr auto Failed = CSingleInstance::Result::Failed;

namespace {

// Points XDG_RUNTIME_DIR at a private folder for one test.
class RuntimeDir : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = kvtest::MakeTempDir("kvrun");
        if (const char* old = std::getenv("XDG_RUNTIME_DIR"))
            saved = old, hadOld = true;
        setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    }
    void TearDown() override
    {
        if (hadOld)
            setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
        else
            unsetenv("XDG_RUNTIME_DIR");
        kvtest::RemoveTree(dir);
    }
    std::string dir, saved;
    bool hadOld = false;
};

// A child that takes the lock, tells the parent through a pipe and then
// waits to be killed.
pid_t SpawnHolder(int& readyFd)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return -1;
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        CSingleInstance lock;
        char ok = lock.Acquire() == CSingleInstance::Result::Held ? '1' : '0';
        (void)!::write(fds[1], &ok, 1);
        for (;;)
            ::pause();
    }
    ::close(fds[1]);
    readyFd = fds[0];
    return pid;
}

} // namespace

TEST_F(RuntimeDir, SecondHolderIsRefusedUntilTheFirstReleases)
{
    EXPECT_EQ(CSingleInstance::LockPath(), dir + "/korvianet/tealfin_one_process.lock");
    CSingleInstance first, second;
    ASSERT_EQ(first.Acquire(), Held);
    EXPECT_EQ(first.Acquire(), Held); // already held
    EXPECT_EQ(second.Acquire(), Busy);
    EXPECT_EQ(second.FailureText(), "");
    first.Release();
    EXPECT_EQ(second.Acquire(), Held);

    // A missing runtime folder falls back to a private folder of the
    // user's own, never to the shared /tmp.
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome ? oldHome : "";
    setenv("HOME", dir.c_str(), 1);
    unsetenv("XDG_CACHE_HOME");
    const std::string mine = dir + "/.cache/korvianet/run/x.lock";
    setenv("XDG_RUNTIME_DIR", (dir + "/gone").c_str(), 1);
    EXPECT_EQ(CSingleInstance::LockPath("x"), mine);
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(CSingleInstance::LockPath("x"), mine);
    if (oldHome)
        setenv("HOME", savedHome.c_str(), 1);
}

TEST_F(RuntimeDir, ALockFileThatCannotBeOpenedIsAFailureNotAnotherCopy)
{
    const std::string path = CSingleInstance::LockPath("blocked");
    ASSERT_EQ(path, dir + "/korvianet/blocked.lock");
    ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
    CSingleInstance lock("blocked");
    EXPECT_EQ(lock.Acquire(), Failed);
    EXPECT_FALSE(lock.Held());
    EXPECT_NE(lock.FailureText().find(path), std::string::npos) << lock.FailureText();
    EXPECT_NE(lock.FailureText().find(std::strerror(EISDIR)), std::string::npos) << lock.FailureText();
}

TEST(SingleInstanceFallback, ALockAnotherUserLeftInTmpBlocksNoOne)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "acting as a second user needs root to drop to it";
    const std::string name = "kvtest-lock-" + std::to_string(::getpid());
    // Root's copy runs and holds its lock; an old shared lock file, readable
    // by root only, lies in /tmp as well.
    const std::string shared = "/tmp/" + name + ".lock";
    const int leftover = ::open(shared.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(leftover, 0);
    ::close(leftover);
    const char* rt = std::getenv("XDG_RUNTIME_DIR");
    const std::string savedRt = rt ? rt : "";
    unsetenv("XDG_RUNTIME_DIR");
    CSingleInstance root(name);
    ASSERT_EQ(root.Acquire(), CSingleInstance::Result::Held);

    constexpr uid_t kNobody = 65534;
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        char r = 'x';
        if (::setgid(kNobody) == 0 && ::setuid(kNobody) == 0) {
            CSingleInstance other(name);
            const auto got = other.Acquire();
            r = got == CSingleInstance::Result::Held ? 'H' : got == CSingleInstance::Result::Busy ? 'B' : 'F';
        }
        (void)!::write(fds[1], &r, 1);
        ::_exit(0);
    }
    ::close(fds[1]);
    char r = 0;
    EXPECT_EQ(::read(fds[0], &r, 1), 1);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!savedRt.empty())
        setenv("XDG_RUNTIME_DIR", savedRt.c_str(), 1);
    ::unlink(shared.c_str());
    ::unlink(("/tmp/" + name + "-" + std::to_string(kNobody) + ".lock").c_str());
    root.Release();
    ::unlink(CSingleInstance::LockPath(name).c_str());
    EXPECT_EQ(r, 'H') << "the other user's copy was refused (B busy, F failed, x no user switch)";
}

TEST_F(RuntimeDir, LockOfAProcessKilledWithSigkillIsReleased)
{
    int ready = -1;
    pid_t child = SpawnHolder(ready);
    ASSERT_GT(child, 0);
    char ok = 0;
    ASSERT_EQ(::read(ready, &ok, 1), 1); // blocks until the child holds it
    ::close(ready);
    ASSERT_EQ(ok, '1');

    CSingleInstance me;
    EXPECT_EQ(me.Acquire(), CSingleInstance::Result::Busy); // the other process holds it

    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(me.Acquire(), CSingleInstance::Result::Held);
}
