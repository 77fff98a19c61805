// "connect", "disconnect" and "net status" against the modem simulator: the
// simulated dial-up service is chosen because discovery finds the simulator.
#include "RunCli.h"

#include "settings/Profile.h"
#include "sim/ModemSimulator.h"
#include "support/TempSettings.h"

#include <gtest/gtest.h>

#include "platform/RuntimeDir.h"
#include "support/AsUser.h"

#include <csignal>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using kvtest::RunCli;

namespace {

class CliNet : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("KORVIANET_SYSFS_ROOT", (settings.Dir() + "/no-sysfs").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", settings.Dir().c_str(), 1);
        unsetenv("KORVIANET_DOSDEVICES");
        unsetenv("KORVIANET_RAS_BACKEND");
    }
    void TearDown() override
    {
        if (sim)
            sim->Stop();
        unsetenv("KORVIANET_SYSFS_ROOT");
    }
    kvtest::CliResult Run(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--config-dir", settings.Dir()});
        return RunCli(args);
    }
    void StartSimulator()
    {
        kv::sim::ModemSimulator::Options o;
        o.unsolicitedPeriodMs = 0;
        sim = std::make_unique<kv::sim::ModemSimulator>(o);
        ASSERT_TRUE(sim->Start());
    }

    kvtest::TempSettings settings;
    std::unique_ptr<kv::sim::ModemSimulator> sim;
};

} // namespace

TEST_F(CliNet, ConnectDialsTheSimulatorCountsAndHangsUp)
{
    StartSimulator();
    const std::string secret = settings.Path("account");
    kvtest::WriteFileBytes(secret, "card\n");
    ::chmod(secret.c_str(), 0600);
    const auto r = Run({"connect", "--seconds", "4", "--user", "card", "--password-file", secret});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("device: KORVIA CDMA Modem (simulated)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("[net] dial: "), std::string::npos) << r.out; // the dial states as they pass
    EXPECT_NE(r.out.find("state: connected"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("duration 00:00:01  received "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("session ended: "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("[net] disconnected"), std::string::npos) << r.out;
    // Nothing is left behind for the next run.
    EXPECT_NE(Run({"net", "status"}).out.find("state not connected"), std::string::npos);
}

TEST_F(CliNet, WithoutAConnectionDisconnectAndStatusSaySo)
{
    setenv("KORVIANET_RAS_BACKEND", "sim", 1);
    const auto d = Run({"disconnect"});
    EXPECT_EQ(d.exitCode, 1);
    EXPECT_NE(d.out.find("not connected"), std::string::npos);
    const auto s = Run({"net", "status"});
    EXPECT_EQ(s.exitCode, 0);
    EXPECT_EQ(s.out, "state not connected\n");
    EXPECT_EQ(Run({"net"}).exitCode, 2);
    EXPECT_EQ(Run({"connect", "--seconds"}).exitCode, 2);
    EXPECT_EQ(Run({"disconnect", "now"}).exitCode, 2);
    unsetenv("KORVIANET_RAS_BACKEND");
}

TEST_F(CliNet, ConnectWithoutAModemSaysSoOnceAndDialsNothing)
{
    const std::string password = settings.Path("password");
    kvtest::WriteFileBytes(password, "card\n");
    ::chmod(password.c_str(), 0600);
    const auto r = Run({"connect", "--seconds", "2", "--user", "card", "--password-file", password});
    EXPECT_EQ(r.exitCode, 3) << r.out << r.err;
    EXPECT_EQ(r.err, "korvianet-cli: No modem found. Plug in the modem and try again.\n") << r.out;
    EXPECT_EQ(r.out.find("dialling"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("phonebook entry"), std::string::npos) << r.out;
}

namespace {

// A process of the user's own that has nothing to do with a connect.
pid_t StartBystander(int uid = -1)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (uid >= 0 && (::setgid(gid_t(uid)) != 0 || ::setuid(uid_t(uid)) != 0))
            ::_exit(3);
        for (;;)
            ::pause();
    }
    return pid;
}

// True when the process is still running (it was not signalled).
bool StillRuns(pid_t pid)
{
    int status = 0;
    return ::waitpid(pid, &status, WNOHANG) == 0;
}

void EndBystander(pid_t pid)
{
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

} // namespace

TEST_F(CliNet, AStalePidFileNeverGetsAProcessSignalled)
{
    setenv("KORVIANET_RAS_BACKEND", "sim", 1);
    const pid_t bystander = StartBystander();
    ASSERT_GT(bystander, 0);
    // What a connect that died long ago left, pointing at a pid now reused.
    const std::string pid = std::to_string(bystander) + "\n";
    ASSERT_FALSE(kv::EnsureRuntimeDir().empty());
    kvtest::WriteFileBytes(settings.Path("korvianet-connect.pid"), pid);
    kvtest::WriteFileBytes(kv::CRunLock::PathOf("korvianet-connect.lock"), pid);
    const auto d = Run({"disconnect"});
    EXPECT_EQ(d.exitCode, 1) << d.out << d.err;
    EXPECT_EQ(d.out, "not connected\n");
    EXPECT_TRUE(StillRuns(bystander));
    EndBystander(bystander);
    unsetenv("KORVIANET_RAS_BACKEND");
}

TEST_F(CliNet, TheStatusOfARunningConnectIsShownEscaped)
{
    setenv("KORVIANET_RAS_BACKEND", "sim", 1);
    // This process stands in for a running connect (in both the places a
    // connect has kept its marker) and its status holds terminal escapes.
    kv::CRunLock running("korvianet-connect.lock");
    ASSERT_EQ(running.Acquire(), kv::CRunLock::Result::Held);
    kvtest::WriteFileBytes(settings.Path("korvianet-connect.pid"), std::to_string(::getpid()) + "\n");
    const std::string status = "state connected\ndevice \x1b]0;owned\x07\x1b[2J\n";
    kvtest::WriteFileBytes(kv::CRunLock::PathOf("korvianet-connect.status"), status);
    kvtest::WriteFileBytes(settings.Path("korvianet-connect.status"), status);
    const auto s = Run({"net", "status"});
    EXPECT_EQ(s.exitCode, 0) << s.err;
    EXPECT_EQ(s.out, "state connected\ndevice \\x1b]0;owned\\x07\\x1b[2J\n");
    // A second connect is refused while the first holds its lock.
    const auto c = Run({"connect", "--seconds", "1"});
    EXPECT_EQ(c.exitCode, 1);
    EXPECT_NE(c.err.find("a connect is running already (pid " + std::to_string(::getpid()) + ")"),
              std::string::npos)
        << c.err;
    unsetenv("KORVIANET_RAS_BACKEND");
}

TEST_F(CliNet, FilesAnotherUserPlantedInTmpNeitherSignalNorPrint)
{
    if (!kvtest::CanRunAsTwoUsers())
        GTEST_SKIP() << "acting as two users needs root";
    // The victim has no session runtime folder; its home and settings are
    // its own. The attacker planted a pid (of a process of the victim's)
    // and a status in /tmp under the names older versions used.
    const uid_t victim = kvtest::kVictimUid;
    ASSERT_EQ(::chown(settings.Dir().c_str(), victim, victim), 0);
    unsetenv("XDG_RUNTIME_DIR");
    unsetenv("XDG_CACHE_HOME");
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome ? oldHome : "";
    setenv("HOME", settings.Dir().c_str(), 1);
    setenv("KORVIANET_DATA_DIR", settings.Path("data").c_str(), 1);
    setenv("KORVIANET_RAS_BACKEND", "sim", 1);
    const pid_t bystander = StartBystander(int(victim));
    ASSERT_GT(bystander, 0);
    const std::string suffix = "-" + std::to_string(victim);
    const std::string pidFile = "/tmp/korvianet-connect.pid" + suffix;
    const std::string statusFile = "/tmp/korvianet-connect.status" + suffix;
    for (const auto& [path, text] : {std::pair{pidFile, std::to_string(bystander) + "\n"},
                                     std::pair{statusFile, std::string("state connected\n\x1b[2Jowned\n")}}) {
        kvtest::WriteFileBytes(path, text);
        ::chmod(path.c_str(), 0644);
        ASSERT_EQ(::chown(path.c_str(), kvtest::kAttackerUid, kvtest::kAttackerUid), 0);
    }
    const std::vector<std::string> config{"--config-dir", settings.Dir()};
    auto with = [&](std::vector<std::string> args) {
        args.insert(args.begin(), config.begin(), config.end());
        return args;
    };
    const auto s = kvtest::RunCliAs(with({"net", "status"}), int(victim));
    EXPECT_EQ(s.out, "state not connected\n") << s.err;
    const auto d = kvtest::RunCliAs(with({"disconnect"}), int(victim));
    EXPECT_EQ(d.out, "not connected\n") << d.err;
    EXPECT_TRUE(StillRuns(bystander));
    EndBystander(bystander);
    ::unlink(pidFile.c_str());
    ::unlink(statusFile.c_str());
    if (oldHome)
        setenv("HOME", savedHome.c_str(), 1);
    unsetenv("KORVIANET_RAS_BACKEND");
}

TEST_F(CliNet, APasswordComesFromAPrivateFileOrStandardInputNeverTheCommandLine)
{
    setenv("KORVIANET_RAS_BACKEND", "sim", 1);
    const auto plain = Run({"connect", "--user", "u", "--password", "secret"});
    EXPECT_EQ(plain.exitCode, 2);
    EXPECT_NE(plain.err.find("--password-file FILE or --password -"), std::string::npos) << plain.err;
    EXPECT_EQ(plain.out.find("dialling"), std::string::npos) << plain.out;

    const std::string file = settings.Path("pw");
    kvtest::WriteFileBytes(file, "secret\n");
    ::chmod(file.c_str(), 0644);
    const auto open = Run({"connect", "--user", "u", "--password-file", file});
    EXPECT_EQ(open.exitCode, 2);
    EXPECT_NE(open.err.find("owner-only"), std::string::npos) << open.err;
    const auto missing = Run({"connect", "--user", "u", "--password-file", settings.Path("none")});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_NE(missing.err.find("cannot open the password file"), std::string::npos) << missing.err;

    const std::string empty = settings.Path("empty-input");
    kvtest::WriteFileBytes(empty, "");
    const auto none = kvtest::RunCliWithInput({"--config-dir", settings.Dir(), "connect", "--user", "u",
                                               "--password", "-"},
                                              empty);
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_NE(none.err.find("no password on standard input"), std::string::npos) << none.err;
    unsetenv("KORVIANET_RAS_BACKEND");
}

TEST_F(CliNet, APasswordOnStandardInputDialsAsTheSettingsWould)
{
    StartSimulator();
    const std::string input = settings.Path("input");
    kvtest::WriteFileBytes(input, "card\n");
    const auto r = kvtest::RunCliWithInput({"--config-dir", settings.Dir(), "connect", "--seconds", "1", "--user",
                                            "card", "--password", "-"},
                                           input);
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("state: connected"), std::string::npos) << r.out;
}
