#include "platform/Event.h"
#include "platform/SingleInstance.h"
#include "support/TempSettings.h"

#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kv;

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
        char ok = lock.Acquire() ? '1' : '0';
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
    EXPECT_EQ(CSingleInstance::LockPath(), dir + "/tealfin_one_process.lock");
    CSingleInstance first, second;
    ASSERT_TRUE(first.Acquire());
    EXPECT_TRUE(first.Acquire()); // already held
    EXPECT_FALSE(second.Acquire());
    first.Release();
    EXPECT_TRUE(second.Acquire());

    // A missing runtime folder falls back to /tmp.
    setenv("XDG_RUNTIME_DIR", (dir + "/gone").c_str(), 1);
    EXPECT_EQ(CSingleInstance::LockPath("x"), "/tmp/x.lock");
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
    EXPECT_FALSE(me.Acquire()); // the other process holds it

    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_TRUE(me.Acquire());
}
