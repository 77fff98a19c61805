// A settings write killed half-way leaves no temporary file behind for good:
// the next write of the same file removes what a dead writer left, never a
// live writer's file nor another file's.
#include "CliFixture.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

using kvtest::CliFixture;

namespace {

std::vector<std::string> TempFiles(const std::string& dir)
{
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.path().filename().string().find(".tmp") != std::string::npos)
            out.push_back(e.path().filename().string());
    return out;
}

pid_t Spawn(const std::vector<std::string>& args)
{
    std::vector<std::string> store{KV_CLI_PATH};
    store.insert(store.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : store)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

} // namespace

TEST_F(CliFixture, NextWriteRemovesOnlyTheDeadWritersTemporaryFiles)
{
    settings.WriteFile("teal_dialer.ini", "[top]\nnum=0\n");
    settings.WriteFile("teal_dialer.ini.tmpAbC123", "left by a killed writer");
    settings.WriteFile("teal_dialer.ini.tmpLive01", "a writer still at work");
    settings.WriteFile("syskor.ini.tmpZz9Zz9", "another file's");
    settings.WriteFile("teal_dialer.ini.tmpTooLong7", "not ours");
    const int live = ::open(settings.Path("teal_dialer.ini.tmpLive01").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(live, 0);
    ASSERT_EQ(::flock(live, LOCK_EX), 0);

    // also as a user without privileges, owning the folder
    const int uid = ::geteuid() == 0 ? 65534 : -1;
    if (uid >= 0) {
        for (const auto& e : std::filesystem::recursive_directory_iterator(settings.Dir())) {
            ASSERT_EQ(::chown(e.path().c_str(), uid_t(uid), gid_t(uid)), 0);
        }
        ASSERT_EQ(::chown(settings.Dir().c_str(), uid_t(uid), gid_t(uid)), 0);
    }
    std::vector<std::string> args{"--config-dir", settings.Dir(), "config", "set", "teal_dialer.ini", "top", "num", "1"};
    const auto r = kvtest::RunCliAs(args, uid);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    ::close(live);

    auto left = TempFiles(settings.Dir());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"syskor.ini.tmpZz9Zz9", "teal_dialer.ini.tmpLive01",
                                              "teal_dialer.ini.tmpTooLong7"}));
    EXPECT_EQ(settings.ReadFile("teal_dialer.ini"), "[top]\nnum=1\n");
}

TEST_F(CliFixture, KilledConfigSetLeavesNoTemporaryFileAfterTheNextWrite)
{
    // a large file makes each write take long enough to be killed in it
    std::string big = "[keep]\nnum=7\n[pad]\n";
    for (int i = 0; i < 60000; ++i)
        big += "line" + std::to_string(i) + "=" + std::string(80, 'v') + "\n";
    settings.WriteFile("teal_dialer.ini", big);
    std::mt19937 rng(7);
    for (int i = 0; i < 20; ++i) {
        const pid_t pid = Spawn({"--config-dir", settings.Dir(), "config", "set", "teal_dialer.ini", "count", "num",
                                 std::to_string(i)});
        ASSERT_GT(pid, 0);
        ::usleep(useconds_t(std::uniform_int_distribution<int>(0, 40000)(rng)));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
    const auto r = Run({"config", "set", "teal_dialer.ini", "count", "num", "done"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(TempFiles(settings.Dir()).empty());
    EXPECT_EQ(Run({"config", "get", "teal_dialer.ini", "keep", "num"}).out, "7\n");
    EXPECT_EQ(Run({"config", "get", "teal_dialer.ini", "count", "num"}).out, "done\n");
}
