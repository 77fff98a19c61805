// The hooks.d programs: run in name order with the event in the
// environment, never through a shell, kept to their time limit with their
// whole process group, their output logged; what is not a program of the
// user's own is skipped. Also as a normal user.
#include "host/OwnerEvents.h"
#include "notify/HookRunner.h"
#include "platform/Event.h"
#include "support/AsUser.h"
#include "support/Processes.h"
#include "support/TempSettings.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <mutex>

using namespace kvnotify;

namespace {

void WriteScript(const std::string& path, const std::string& body, mode_t mode = 0700)
{
    kvtest::WriteFileBytes(path, "#!/bin/sh\n" + body);
    ::chmod(path.c_str(), mode);
}

std::vector<std::string> Lines(const std::string& path)
{
    std::vector<std::string> out;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line))
        out.push_back(line);
    return out;
}

bool Has(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class Hooks : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = HooksDir();
        ASSERT_EQ(dir, settings.Path("hooks.d"));
        ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
    }
    void Start(int timeoutMs = kHookTimeoutMs, int graceMs = kHookGraceMs, size_t queueMax = kHookQueueMax)
    {
        HookRunnerOptions o;
        o.timeoutMs = timeoutMs;
        o.graceMs = graceMs;
        o.queueMax = queueMax;
        o.note = [this](const std::string& l) {
            std::lock_guard<std::mutex> g(noteLock);
            notes.push_back(l);
        };
        runner = std::make_unique<CHookRunner>(o);
        ASSERT_TRUE(runner->Start());
        hub.AddListener(runner.get());
    }
    void TearDown() override
    {
        if (runner) {
            hub.RemoveListener(runner.get());
            runner->Stop();
        }
    }
    std::vector<std::string> Notes()
    {
        std::lock_guard<std::mutex> g(noteLock);
        return notes;
    }
    int NotesWith(const std::string& part)
    {
        int n = 0;
        for (const std::string& l : Notes())
            n += l.find(part) != std::string::npos;
        return n;
    }

    kvtest::TempSettings settings;
    std::string dir;
    kv::COwnerHub hub;
    std::unique_ptr<CHookRunner> runner;
    std::mutex noteLock;
    std::vector<std::string> notes;
};

TEST_F(Hooks, RunInNameOrderWithTheEventInTheEnvironment)
{
    const std::string out = settings.Path("out");
    // Inherited values of an event variable never leak into another event.
    ::setenv("KORVIANET_PERCENT", "stale", 1);
    WriteScript(dir + "/20-second", "echo \"20 $KORVIANET_EVENT\" >> '" + out + "'\n");
    WriteScript(dir + "/10-first",
                "{ echo \"10 $KORVIANET_EVENT\"; env | grep '^KORVIANET_' | sort | sed 's/^/  /';\n"
                "  echo \"  cwd=$(pwd)\"; if read x; then echo '  stdin has data'; else echo '  stdin empty'; fi\n"
                "} >> '" + out + "'\n");
    Start();
    kv::OwnerEvent sms;
    sms.kind = kv::OwnerEventKind::SmsReceived;
    sms.storage = "ruim";
    sms.slot = 12;
    sms.index = 40;
    sms.number = "+15551230001";
    sms.name = "Bob O'Neil";
    sms.text = "Meet at $HOME; `date` \"now\"";
    hub.Publish(sms);
    kv::OwnerEvent ended;
    ended.kind = kv::OwnerEventKind::CallEnded;
    ended.number = "+15551230002";
    ended.seconds = 75;
    hub.Publish(ended);
    ASSERT_TRUE(runner->WaitIdle(10000));
    ::unsetenv("KORVIANET_PERCENT");

    const std::vector<std::string> expected{
        "10 sms-received",
        // The settings folder's variables stay for hooks that call the tool.
        "  KORVIANET_CONFIG_DIR=" + settings.Dir(),
        "  KORVIANET_DATA_DIR=" + settings.DataDir(),
        "  KORVIANET_EVENT=sms-received",
        "  KORVIANET_INDEX=40",
        "  KORVIANET_NAME=Bob O'Neil",
        "  KORVIANET_NUMBER=+15551230001",
        "  KORVIANET_SLOT=12",
        "  KORVIANET_STORAGE=ruim",
        "  KORVIANET_TEXT=Meet at $HOME; `date` \"now\"",
        "  cwd=" + dir,
        "  stdin empty",
        "20 sms-received",
        "10 call-ended",
        "  KORVIANET_CONFIG_DIR=" + settings.Dir(),
        "  KORVIANET_DATA_DIR=" + settings.DataDir(),
        "  KORVIANET_EVENT=call-ended",
        "  KORVIANET_NUMBER=+15551230002",
        "  KORVIANET_SECONDS=75",
        "  cwd=" + dir,
        "  stdin empty",
        "20 call-ended",
    };
    EXPECT_EQ(Lines(out), expected);
}

TEST_F(Hooks, NamesAreRunLiterallyAndOutputIsLogged)
{
    const std::string name = "my hook; touch pwned $(touch pwned2) `touch pwned3` 'q' & |x";
    WriteScript(dir + "/" + name, "echo \"ran as $0\"\necho 'to stderr' >&2\nexit 3\n");
    Start();
    hub.Publish(kv::OwnerEvent{kv::OwnerEventKind::ConnectionUp});
    ASSERT_TRUE(runner->WaitIdle(10000));
    const std::vector<std::string> n = Notes();
    EXPECT_TRUE(Has(n, "hook " + name + ": ran as " + dir + "/" + name)) << testing::PrintToString(n);
    EXPECT_TRUE(Has(n, "hook " + name + ": to stderr"));
    EXPECT_TRUE(Has(n, "hook " + name + ": exited with status 3"));
    for (const char* f : {"pwned", "pwned2", "pwned3"}) {
        EXPECT_NE(::access((dir + "/" + f).c_str(), F_OK), 0) << f;
        EXPECT_NE(::access(f, F_OK), 0) << f;
    }
}

TEST_F(Hooks, WhatIsNotTheUsersProgramIsSkipped)
{
    const std::string out = settings.Path("out");
    const std::string ran = "echo \"$0\" >> '" + out + "'\n";
    WriteScript(dir + "/a-notes.txt", ran, 0600);       // not executable
    WriteScript(dir + "/.hidden", ran);                 // an editor's leftover
    WriteScript(dir + "/c-group-writable", ran, 0770);  // another user could change it
    ASSERT_EQ(::mkdir((dir + "/b-folder").c_str(), 0700), 0);
    ASSERT_EQ(::symlink("/nonexistent", (dir + "/d-broken").c_str()), 0);
    kvtest::WriteFileBytes(dir + "/e-no-interpreter", "echo not through a shell\n");
    ::chmod((dir + "/e-no-interpreter").c_str(), 0700);
    WriteScript(dir + "/z-runs", ran);
    Start();
    hub.Publish(kv::OwnerEvent{kv::OwnerEventKind::ModemAdded});
    ASSERT_TRUE(runner->WaitIdle(10000));
    EXPECT_EQ(Lines(out), std::vector<std::string>{dir + "/z-runs"});
    EXPECT_EQ(NotesWith("hook c-group-writable: could be written by another user"), 1);
    // A file without "#!" is not handed to a shell: it does not run.
    EXPECT_EQ(NotesWith("hook e-no-interpreter: not run"), 1);
    EXPECT_EQ(NotesWith("not through a shell"), 0);

    // A folder other users may write is not run from at all.
    ::chmod(dir.c_str(), 0777);
    hub.Publish(kv::OwnerEvent{kv::OwnerEventKind::ModemAdded});
    ASSERT_TRUE(runner->WaitIdle(10000));
    EXPECT_EQ(Lines(out).size(), 1u);
    EXPECT_EQ(NotesWith("could be written by another user: its hooks are not run"), 1);
}

TEST_F(Hooks, AHookPastItsLimitIsEndedWithItsChildren)
{
    const std::string pids = settings.Path("pids");
    // Deaf to SIGTERM, and so is the child it leaves behind.
    WriteScript(dir + "/slow", "trap '' TERM\nsleep 30 &\necho $$ > '" + pids + "'\necho $! >> '" + pids
                                   + "'\nwait\n");
    Start(500, 300);
    const int64_t t0 = kv::TickMs();
    hub.Publish(kv::OwnerEvent{kv::OwnerEventKind::ConnectionDown});
    ASSERT_TRUE(runner->WaitIdle(10000));
    EXPECT_LT(kv::TickMs() - t0, 5000);
    EXPECT_EQ(NotesWith("hook slow: ran past its time limit of 0.5 s: ended"), 1);
    EXPECT_EQ(NotesWith("hook slow: killed"), 1);
    const std::vector<pid_t> p = kvtest::PidsIn(pids);
    ASSERT_EQ(p.size(), 2u);
    for (pid_t pid : p) {
        for (int i = 0; i < 100 && kvtest::ProcessRuns(pid); ++i)
            kv::SleepMs(20);
        EXPECT_FALSE(kvtest::ProcessRuns(pid)) << pid;
    }
}

TEST_F(Hooks, TheQueueIsBoundedAndStopIsPrompt)
{
    const std::string out = settings.Path("out");
    WriteScript(dir + "/slow", "echo \"$KORVIANET_PORT\" >> '" + out + "'\nexec sleep 30\n");
    Start(kHookTimeoutMs, kHookGraceMs, 2);
    for (int i = 0; i < 6; ++i) {
        kv::OwnerEvent e{kv::OwnerEventKind::ModemRemoved};
        e.port = "/dev/ttyUSB" + std::to_string(i);
        hub.Publish(e);
    }
    ASSERT_TRUE([&] {
        for (int i = 0; i < 250 && Lines(out).empty(); ++i)
            kv::SleepMs(20);
        return !Lines(out).empty();
    }());
    // One runs, two wait; the rest were dropped and said so.
    EXPECT_GE(NotesWith("too many events waiting, the hooks of modem-removed are not run"), 3);
    const int64_t t0 = kv::TickMs();
    runner->Stop();
    EXPECT_LT(kv::TickMs() - t0, 3000);
    EXPECT_EQ(NotesWith("hook slow: ended: the program is stopping"), 1);
    EXPECT_EQ(Lines(out), std::vector<std::string>{"/dev/ttyUSB0"});
}

TEST(HooksAsUser, RunAsTheNormalUserFromTheirOwnFolder)
{
    if (!kvtest::CanRunAsNormalUser())
        GTEST_SKIP() << "cannot act as a normal user";
    char tmpl[] = "/tmp/kvhooksXXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    const std::string top = tmpl, hooks = top + "/hooks.d", out = top + "/out";
    ASSERT_EQ(::mkdir(hooks.c_str(), 0700), 0);
    WriteScript(hooks + "/whoami", "echo \"$(id -u) $KORVIANET_EVENT\" > '" + out + "'\n");
    if (::geteuid() == 0) {
        for (const std::string& p : {top, hooks, hooks + "/whoami"})
            ASSERT_EQ(::chown(p.c_str(), kvtest::kVictimUid, kvtest::kVictimUid), 0);
    }
    const std::string result = kvtest::RunAsNormalUser([&]() -> std::string {
        HookRunnerOptions o;
        o.dir = hooks;
        CHookRunner runner(o);
        if (!runner.Start())
            return "not started";
        kv::OwnerEvent e{kv::OwnerEventKind::QuotaWarning};
        e.percent = 80;
        runner.OnOwnerEvent(e);
        if (!runner.WaitIdle(10000))
            return "hook did not finish";
        const std::vector<std::string> l = Lines(out);
        const std::string want = std::to_string(::geteuid()) + " quota-warning";
        return l == std::vector<std::string>{want} ? "" : "hook wrote " + testing::PrintToString(l);
    });
    kvtest::RemoveTree(top);
    EXPECT_EQ(result, "");
}

} // namespace
