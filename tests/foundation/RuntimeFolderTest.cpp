// The runtime folder is private, and what marks a running process there is
// a lock the kernel vouches for: files another user planted (in /tmp, where
// older versions kept them) neither block us nor name a process to us.
#include "platform/RuntimeDir.h"
#include "platform/SingleInstance.h"
#include "support/AsUser.h"
#include "support/TempSettings.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kv;

namespace {

// No session runtime folder, and a home (and so a cache folder) of the
// given user's own, for one test.
class NoSessionFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"XDG_RUNTIME_DIR", "XDG_CACHE_HOME", "HOME"})
            if (const char* v = std::getenv(name))
                saved.emplace_back(name, v);
        unsetenv("XDG_RUNTIME_DIR");
        unsetenv("XDG_CACHE_HOME");
        home = kvtest::MakeTempDir("kvhome");
        setenv("HOME", home.c_str(), 1);
    }
    void TearDown() override
    {
        for (const char* name : {"XDG_RUNTIME_DIR", "XDG_CACHE_HOME", "HOME"})
            unsetenv(name);
        for (const auto& [name, value] : saved)
            setenv(name.c_str(), value.c_str(), 1);
        kvtest::RemoveTree(home);
        for (const auto& f : planted)
            ::unlink(f.c_str());
    }
    // A file another user left in /tmp.
    void Plant(const std::string& path, const std::string& text, uid_t owner)
    {
        kvtest::WriteFileBytes(path, text);
        ::chmod(path.c_str(), 0644);
        ASSERT_EQ(::chown(path.c_str(), owner, gid_t(owner)), 0);
        planted.push_back(path);
    }
    std::string home;
    std::vector<std::pair<std::string, std::string>> saved;
    std::vector<std::string> planted;
};

} // namespace

TEST_F(NoSessionFolder, TheFolderIsAPrivateOneInTheUsersOwnCache)
{
    const std::string dir = EnsureRuntimeDir();
    EXPECT_EQ(dir, home + "/.cache/korvianet/run");
    struct stat st {};
    ASSERT_EQ(::stat(dir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(CSingleInstance::LockPath("x"), dir + "/x.lock");
}

TEST_F(NoSessionFolder, AnEmptyLockFileAnotherUserPlantedKeepsNoOneOut)
{
    if (!kvtest::CanRunAsTwoUsers())
        GTEST_SKIP() << "acting as two users needs root";
    ASSERT_EQ(::chown(home.c_str(), kvtest::kVictimUid, kvtest::kVictimUid), 0);
    Plant("/tmp/tealfin_one_process-" + std::to_string(kvtest::kVictimUid) + ".lock", "", kvtest::kAttackerUid);
    const std::string err = kvtest::RunAsUser(kvtest::kVictimUid, [this]() -> std::string {
        CSingleInstance lock;
        const auto got = lock.Acquire();
        if (got != CSingleInstance::Result::Held)
            return "the window could not take its lock: " + lock.FailureText();
        if (CSingleInstance::LockPath().rfind(home + "/", 0) != 0)
            return "the lock lies outside the user's own folder: " + CSingleInstance::LockPath();
        return "";
    });
    EXPECT_EQ(err, "");
}

TEST_F(NoSessionFolder, WithoutAnyHomeATmpFolderSomeoneElseMadeIsRefused)
{
    if (!kvtest::CanRunAsTwoUsers())
        GTEST_SKIP() << "acting as two users needs root";
    // The attacker's uid has no password entry, so without $HOME it has no
    // home at all: the last resort is /tmp/korvianet-<uid>, which the victim
    // (here the other way round) made first, open to all.
    unsetenv("HOME");
    const std::string made = "/tmp/korvianet-" + std::to_string(kvtest::kAttackerUid);
    ::rmdir(made.c_str());
    ASSERT_EQ(::mkdir(made.c_str(), 0777), 0);
    ::chmod(made.c_str(), 0777);
    ASSERT_EQ(::chown(made.c_str(), kvtest::kVictimUid, kvtest::kVictimUid), 0);
    const std::string err = kvtest::RunAsUser(kvtest::kAttackerUid, []() -> std::string {
        CSingleInstance lock;
        if (lock.Acquire() != CSingleInstance::Result::Failed)
            return "a lock was taken in a folder another user made";
        if (lock.FailureText().find("another user") == std::string::npos)
            return "the refusal does not say why: " + lock.FailureText();
        return "";
    });
    EXPECT_EQ(err, "");
    ::rmdir(made.c_str());
}

TEST_F(NoSessionFolder, OnlyTheProcessHoldingARunLockIsNamedAsItsHolder)
{
    EXPECT_EQ(CRunLock::HolderPid("marker"), 0); // no file
    // A pid written by a run that is gone names nobody.
    ASSERT_FALSE(EnsureRuntimeDir().empty());
    kvtest::WriteFileBytes(CRunLock::PathOf("marker"), std::to_string(::getpid()) + "\n");
    EXPECT_EQ(CRunLock::HolderPid("marker"), 0);

    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(fds[0]);
        CRunLock lock("marker");
        const char ok = lock.Acquire() == CRunLock::Result::Held ? '1' : '0';
        (void)!::write(fds[1], &ok, 1);
        for (;;)
            ::pause();
    }
    ::close(fds[1]);
    char ok = 0;
    ASSERT_EQ(::read(fds[0], &ok, 1), 1);
    ::close(fds[0]);
    ASSERT_EQ(ok, '1');
    EXPECT_EQ(CRunLock::HolderPid("marker"), child);
    CRunLock second("marker");
    EXPECT_EQ(second.Acquire(), CRunLock::Result::Busy);
    EXPECT_EQ(kvtest::ReadFileBytes(CRunLock::PathOf("marker")), std::to_string(child) + "\n");

    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(CRunLock::HolderPid("marker"), 0);
    EXPECT_EQ(second.Acquire(), CRunLock::Result::Held);
}
