// A pppd of ours that outlived the run that started it is hung up by the
// next run; a record that does not describe such a pppd exactly (pid reused,
// owner still running, garbage) never leads to a signal.
#include "net/PppdBackend.h"
#include "net/PppdPidFile.h"
#include "platform/Event.h"
#include "support/TempSettings.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kvnet;

namespace {

// A child that waits for a signal, optionally leading its own group (as
// pppd does under the keeper).
pid_t StartHolder(bool ownGroup)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (ownGroup)
            ::setpgid(0, 0);
        for (;;)
            ::pause();
    }
    if (ownGroup && pid > 0)
        ::setpgid(pid, pid);
    return pid;
}

// Whether our child has ended (reaping it), waiting at most ms.
bool Ended(pid_t pid, int ms)
{
    for (int t = 0;; t += 20) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return true;
        if (t >= ms)
            return false;
        kv::SleepMs(20);
    }
}

pid_t DeadPid()
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(0);
    int status;
    ::waitpid(pid, &status, 0);
    return pid;
}

uint64_t StartOf(pid_t pid)
{
    uint64_t start = 0;
    EXPECT_TRUE(ReadProcessStart("/proc", pid, start));
    return start;
}

class PppdOrphans : public ::testing::Test {
protected:
    PppdOrphans() : root(kvtest::MakeTempDir("kvorphan")), rt(root + "/rt") { ::mkdir(rt.c_str(), 0700); }
    ~PppdOrphans() override
    {
        for (pid_t p : started) {
            ::kill(p, SIGKILL);
            Ended(p, 1000);
        }
        kvtest::RemoveTree(root);
    }
    pid_t Holder(bool ownGroup)
    {
        const pid_t p = StartHolder(ownGroup);
        started.push_back(p);
        kv::SleepMs(50); // until its own setpgid has run too
        return p;
    }
    void Record(const std::string& name, const std::string& text) { kvtest::WriteFileBytes(rt + "/" + name, text); }
    void Record(pid_t pppd, uint64_t start, pid_t owner, uint64_t ownerStart)
    {
        Record("pppd-" + std::to_string(pppd) + ".pid", FormatPppdRecord({pppd, start, owner, ownerStart}));
    }
    bool Has(const std::string& name) const
    {
        struct stat st {};
        return ::lstat((rt + "/" + name).c_str(), &st) == 0;
    }
    void NextStart()
    {
        CPppdBackend::Config cfg;
        cfg.phonebookRoot = root + "/cfg";
        cfg.sysfsRoot = root + "/sys";
        cfg.runtimeDir = rt;
        CPppdBackend next(cfg);
    }

    std::string root, rt;
    std::vector<pid_t> started;
};

} // namespace

TEST_F(PppdOrphans, ThePppdOfARunThatDiedIsHungUpAtTheNextStart)
{
    const pid_t orphan = Holder(true);
    Record(orphan, StartOf(orphan), DeadPid(), 12345);
    NextStart();
    EXPECT_TRUE(Ended(orphan, 5000));
    EXPECT_FALSE(Has("pppd-" + std::to_string(orphan) + ".pid"));
}

TEST_F(PppdOrphans, ARecordThatDoesNotDescribeAnOrphanSignalsNobody)
{
    const pid_t leader = Holder(true);   // leads its own group, as pppd would
    const pid_t member = Holder(false);  // shares the test's group
    const pid_t owned = Holder(true);
    const pid_t dead = DeadPid();
    // The pid was reused: another start time.
    Record(leader, StartOf(leader) + 1, dead, 1);
    // The right start time, but not a group leader: signalling its group
    // would hit the test itself.
    Record(member, StartOf(member), dead, 1);
    // Its owner still runs (another copy of us): not an orphan; kept.
    Record(owned, StartOf(owned), ::getpid(), StartOf(::getpid()));
    // Garbage of every kind.
    Record("pppd-1.pid", "1 1 " + std::to_string(dead) + " 1\n");
    Record("pppd-2.pid", "not a record\n");
    Record("pppd-3.pid", "99999999999999999999999 1 2 3\n");
    Record("pppd-4.pid", "-" + std::to_string(leader) + " 1 2 3\n");
    Record("pppd-5.pid", std::to_string(leader) + " " + std::to_string(StartOf(leader)) + "\n");
    Record("pppd-6.pid", std::string(100000, '7'));
    Record("pppd-7.pid", "");
    ASSERT_EQ(::symlink("/proc/self/stat", (rt + "/pppd-8.pid").c_str()), 0);
    Record("unrelated.txt", std::to_string(leader) + "\n");

    NextStart();
    for (pid_t p : {leader, member, owned})
        EXPECT_FALSE(Ended(p, 300)) << "pid " << p << " was signalled";
    EXPECT_TRUE(Has("pppd-" + std::to_string(owned) + ".pid"));
    for (int i = 1; i <= 8; ++i)
        EXPECT_FALSE(Has("pppd-" + std::to_string(i) + ".pid")) << i;
    EXPECT_FALSE(Has("pppd-" + std::to_string(leader) + ".pid"));
    EXPECT_TRUE(Has("unrelated.txt"));
}

TEST_F(PppdOrphans, AProcessStartTimeIsReadAfterTheLastParenthesis)
{
    const std::string proc = root + "/proc";
    ::mkdir(proc.c_str(), 0700);
    ::mkdir((proc + "/77").c_str(), 0700);
    struct Case {
        const char* stat;
        bool ok;
        uint64_t start;
        pid_t group;
    } cases[] = {
        {"77 (pppd) S 1 77 77 0 -1 4194560 1 2 3 4 5 6 7 8 20 0 1 0 991 0 0\n", true, 991, 77},
        // A command name that looks like the fields.
        {"77 (x) S 1 2 3 0 0 0 1 2 3 4 5 6 7 8 20 0 1 0 5) S 1 77 77 0 -1 0 1 2 3 4 5 6 7 8 -2 -5 1 0 42 0\n", true,
         42, 77},
        {"77 (pppd) Z 1 77 77 0 -1 4194560 1 2 3 4 5 6 7 8 20 0 1 0 991 0 0\n", false, 0, 0}, // ended
        {"77 (pppd) S 1 77\n", false, 0, 0},
        {"77 (pppd) S 1 -77 77 0 -1 4194560 1 2 3 4 5 6 7 8 20 0 1 0 991\n", false, 0, 0},
        {"77 pppd S 1 77 77\n", false, 0, 0},
        {"", false, 0, 0},
    };
    for (const Case& c : cases) {
        kvtest::WriteFileBytes(proc + "/77/stat", c.stat);
        uint64_t start = 0;
        pid_t group = 0;
        EXPECT_EQ(ReadProcessStart(proc, 77, start, &group), c.ok) << c.stat;
        if (c.ok) {
            EXPECT_EQ(start, c.start) << c.stat;
            EXPECT_EQ(group, c.group) << c.stat;
        }
    }
}
