// korvianet-cli on a port another program holds: it says so, and what to do,
// after the usual "ComPort is not opened.".
#include "RunCli.h"

#include "link/CommPort.h"
#include "support/TempSettings.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

TEST(CliPortMessage, ABusyPortIsNamedAsBusy)
{
    kvtest::TempSettings settings;
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string slave = ptsname(master);

    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        kv::CCommPort other;
        other.SetDevicePath(slave);
        const char ok = other.OpenPort() == 1 ? 'y' : 'n';
        (void)!write(ready[1], &ok, 1);
        for (;;)
            pause();
    }
    char ok = 0;
    const bool held = read(ready[0], &ok, 1) == 1 && ok == 'y';
    close(ready[0]);
    close(ready[1]);

    setenv("KORVIANET_DB", (settings.Dir() + "/WVL.MDB").c_str(), 1);
    const auto r = kvtest::RunCli({"--config-dir", settings.Dir(), "--device", slave, "run", "--seconds", "1"});
    unsetenv("KORVIANET_DB");
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    close(master);
    ASSERT_TRUE(held);

    EXPECT_EQ(r.exitCode, 3) << r.out << r.err;
    EXPECT_NE(r.err.find("korvianet-cli: ComPort is not opened.\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Another program is using the modem's port"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(slave), std::string::npos) << r.err;
}
