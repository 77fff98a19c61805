// The pppd dial-up service against a fake pppd and a fake sysfs tree: the
// phonebook files, a dial's progress, its errors, statistics and hang-up,
// and another dialler's link over the modem.
#include "net/PppdBackend.h"
#include "net/RasClient.h"
#include "platform/Event.h"
#include "support/Processes.h"
#include "support/TempSettings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kvnet;

namespace {

bool FileExists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool WaitFor(const std::function<bool()>& done, int64_t ms = 3000)
{
    const int64_t end = kv::TickMs() + ms;
    while (!done()) {
        if (kv::TickMs() > end)
            return false;
        kv::SleepMs(10);
    }
    return true;
}

int ModeOf(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

class PppdTest : public ::testing::Test {
protected:
    PppdTest()
    {
        root = kvtest::MakeTempDir("kvpppd");
        ::mkdir((root + "/run").c_str(), 0700);
        ::mkdir((root + "/lock").c_str(), 0700);
        netDir = root + "/sys/class/net/ppp0/statistics";
        MakeDirs(netDir);
        CPppdBackend::Config cfg;
        cfg.phonebookRoot = root + "/cfg";
        cfg.pppdPath = KV_FAKE_PPPD;
        cfg.sysfsRoot = root + "/sys";
        cfg.runDir = root + "/run";
        cfg.procRoot = root + "/proc";
        cfg.lockDir = root + "/lock";
        cfg.devices = [] { return std::vector<RasDeviceInfo>{{"modem", "KORVIA USB Modem (ttyUSB0)"}}; };
        cfg.hangUpWaitMs = 400;
        backend = std::make_shared<CPppdBackend>(cfg);
        client = std::make_unique<CRasClient>(backend);
        client->Init();
        setenv("FAKE_PPPD_ARGS", (root + "/args").c_str(), 1);
        setenv("FAKE_PPPD_SCRIPT", (root + "/script").c_str(), 1);
        CRasClient::ClearDialError();
    }
    ~PppdTest() override
    {
        client.reset();
        backend.reset();
        unsetenv("FAKE_PPPD_ARGS");
        unsetenv("FAKE_PPPD_SCRIPT");
        kvtest::RemoveTree(root);
    }
    static void MakeDirs(const std::string& path)
    {
        std::string cmd = "mkdir -p '" + path + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    void Script(const std::string& text) { kvtest::WriteFileBytes(root + "/script", text); }
    void Counters(uint64_t rx, uint64_t tx)
    {
        kvtest::WriteFileBytes(netDir + "/rx_bytes", std::to_string(rx) + "\n");
        kvtest::WriteFileBytes(netDir + "/tx_bytes", std::to_string(tx) + "\n");
    }
    void MakeEntry()
    {
        std::string device;
        ASSERT_EQ(client->FindModemDevice(device), 1);
        ASSERT_EQ(client->CreateEntry(kEntryLabel, "modem", device, 4, 1, "#777", kPhonebook), RAS_OK);
        ASSERT_TRUE(client->SetDialParams(kEntryLabel, "card", "se\"cret"));
    }
    // Polls the dial state until it ends; the texts seen on the way.
    std::vector<std::string> DialUntilEnd(bool& connected, int64_t ms = 5000)
    {
        std::vector<std::string> texts;
        const int64_t end = kv::TickMs() + ms;
        std::string text;
        while (kv::TickMs() < end) {
            const int done = client->GetDialState(text, connected);
            if (texts.empty() || texts.back() != text)
                texts.push_back(text);
            if (done)
                break;
            kv::SleepMs(20);
        }
        return texts;
    }
    std::string Book(const std::string& name) { return root + "/cfg/PINGPB/" + name; }

    std::string root, netDir;
    std::shared_ptr<CPppdBackend> backend;
    std::unique_ptr<CRasClient> client;
};

} // namespace

TEST_F(PppdTest, TheEntryIsAFolderOfOwnerOnlyOptionFiles)
{
    MakeEntry();
    EXPECT_EQ(ModeOf(root + "/cfg/PINGPB"), 0700);
    EXPECT_EQ(ModeOf(Book("Korvia NetWork")), 0600);
    EXPECT_EQ(ModeOf(Book("Korvia NetWork.secret")), 0600);
    const std::string options = kvtest::ReadFileBytes(Book("Korvia NetWork"));
    EXPECT_NE(options.find("\n\"/dev/ttyUSB0\"\n"), std::string::npos);
    EXPECT_NE(options.find("defaultroute"), std::string::npos);
    EXPECT_EQ(options.find("se\"cret"), std::string::npos); // the password stays in the secrets file
    // What pppd takes only from root's files is not in the user's.
    EXPECT_EQ(options.find("\nnoauth"), std::string::npos);
    EXPECT_EQ(options.find("\nconnect"), std::string::npos);
    EXPECT_FALSE(FileExists(Book("Korvia NetWork.chat")));
    EXPECT_NE(kvtest::ReadFileBytes(Book("Korvia NetWork.secret")).find("password \"se\\\"cret\""),
              std::string::npos);

    // Existing entry: 183, nothing changed; an update moves the number.
    EXPECT_EQ(client->CreateEntry(kEntryLabel, "modem", "KORVIA USB Modem (ttyUSB0)", 4, 1, "*99#", kPhonebook),
              RAS_ERR_ALREADY_EXISTS);
    EXPECT_TRUE(client->SetEntryDevice(kEntryLabel, {"KORVIA USB Modem (ttyUSB0)", "*99#"}, kPhonebook));
    RasEntry props;
    ASSERT_EQ(client->GetEntryProperties(kPhonebook, props, kEntryLabel), RAS_OK);
    EXPECT_EQ(props.options, kEntryOptions);
    EXPECT_EQ(props.phoneNumber, "*99#");

    // Values that would break out of their quotes are refused.
    EXPECT_FALSE(client->SetEntryDevice(kEntryLabel, {"KORVIA USB Modem (ttyUSB0)", "*99#\"\nABORT"}, kPhonebook));
    EXPECT_FALSE(client->SetDialParams(kEntryLabel, "card", "pw\nconnect /bin/sh"));
    EXPECT_EQ(client->GetEntryProperties(kPhonebook, props, "Missing"), RAS_ERR_ENTRY_NOT_FOUND);
}

TEST_F(PppdTest, ADialReportsItsProgressCountsAndHangsUp)
{
    MakeEntry();
    Counters(100, 50);
    Script("sleep 50\nsay Serial connection established.\nsleep 50\nsay Using interface ppp0\n"
           "say Connect: ppp0 <--> /dev/ttyUSB0\nsleep 50\nsay local  IP address 10.0.0.2\n"
           "say remote IP address 10.0.0.1\nhold\n");
    ASSERT_EQ(client->Dial(kEntryLabel, "#777", "card", "se\"cret", "", kPhonebook), RAS_OK);
    bool connected = false;
    const auto texts = DialUntilEnd(connected);
    ASSERT_TRUE(connected);
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Device connected\nsuccessfully"), texts.end());
    EXPECT_EQ(CRasClient::DialError(), 0);

    const std::string args = kvtest::ReadFileBytes(root + "/args");
    EXPECT_NE(args.find("\ncall\nkorvianet-cdma\n"), std::string::npos) << args;
    EXPECT_NE(args.find("nodetach\n"), std::string::npos);
    EXPECT_NE(args.find(Book("Korvia NetWork") + "\n"), std::string::npos);
    EXPECT_NE(args.find(Book("Korvia NetWork.secret") + "\n"), std::string::npos);
    EXPECT_EQ(args.find("se\"cret"), std::string::npos); // never on the command line

    RasHandle h = 0;
    EXPECT_TRUE(client->FindConnection(kEntryLabel, h));
    EXPECT_EQ(h, client->Handle());
    Counters(5100, 950);
    RasStats s;
    ASSERT_TRUE(client->GetStatistics(&s));
    EXPECT_EQ(s.bytesRcved, 5000u); // counted from the connect
    EXPECT_EQ(s.bytesXmited, 900u);
    EXPECT_TRUE(client->ClearStatistics());
    Counters(5300, 960);
    ASSERT_TRUE(client->GetStatistics(&s));
    EXPECT_EQ(s.bytesRcved, 200u);
    EXPECT_EQ(s.bytesXmited, 10u);

    const int64_t t0 = kv::TickMs();
    EXPECT_TRUE(client->HangUp(kEntryLabel));
    EXPECT_LT(kv::TickMs() - t0, 400); // pppd obeyed SIGTERM
    EXPECT_FALSE(client->FindConnection(kEntryLabel, h));
}

TEST_F(PppdTest, TheFirstErrorOfAFailedDialIsReported)
{
    MakeEntry();
    Script("say Serial connection established.\nsay Connect script failed\nsleep 30\n"
           "say PAP authentication failed\nexit 8\n");
    ASSERT_EQ(client->Dial(kEntryLabel, "#777", "card", "x", "", kPhonebook), RAS_OK);
    bool connected = true;
    DialUntilEnd(connected);
    EXPECT_FALSE(connected);
    ASSERT_TRUE(WaitFor([] { return CRasClient::DialError() != 0; }));
    EXPECT_EQ(CRasClient::DialError(), RAS_ERR_NO_ANSWER);
    std::string text;
    client->GetErrorText(CRasClient::DialError(), 0, text);
    EXPECT_NE(text.find("no answer"), std::string::npos);
    EXPECT_TRUE(client->HangUp(kEntryLabel)); // reaps the ended pppd
}

TEST_F(PppdTest, AnExitStatusAloneNamesTheFailure)
{
    MakeEntry();
    Script("sleep 20\nexit 19\n");
    ASSERT_EQ(client->Dial(kEntryLabel, "#777", "card", "x", "", kPhonebook), RAS_OK);
    bool connected = true;
    DialUntilEnd(connected);
    EXPECT_FALSE(connected);
    EXPECT_EQ(CRasClient::DialError(), RAS_ERR_AUTHENTICATION);
}

TEST_F(PppdTest, WithoutKernelPppSupportPppdRunsAndSaysSo)
{
    // What the system's pppd prints and returns on a machine without
    // /dev/ppp: the dial reports that, not a guess made before pppd ran.
    MakeEntry();
    Script("say Couldn't open the /dev/ppp device: No such file or directory\n"
           "say /usr/sbin/pppd: You need to create the /dev/ppp device node by\nexit 4\n");
    ASSERT_EQ(client->Dial(kEntryLabel, "#777", "card", "x", "", kPhonebook), RAS_OK);
    bool connected = true;
    DialUntilEnd(connected);
    EXPECT_FALSE(connected);
    EXPECT_TRUE(FileExists(root + "/args")); // pppd ran
    ASSERT_EQ(CRasClient::DialError(), RAS_ERR_NO_PPP_SUPPORT);
    std::string text;
    client->GetErrorText(RAS_ERR_NO_PPP_SUPPORT, 0, text);
    EXPECT_NE(text.find("/dev/ppp"), std::string::npos);
    EXPECT_TRUE(client->HangUp(kEntryLabel));
}

TEST_F(PppdTest, APppdThatIgnoresSigtermIsKilled)
{
    MakeEntry();
    Script("ignoreterm\nsay Serial connection established.\nhold\n");
    ASSERT_EQ(client->Dial(kEntryLabel, "#777", "card", "x", "", kPhonebook), RAS_OK);
    kv::SleepMs(150);
    const int64_t t0 = kv::TickMs();
    EXPECT_TRUE(client->HangUp(kEntryLabel));
    const int64_t took = kv::TickMs() - t0;
    EXPECT_GE(took, 350);
    EXPECT_LT(took, 3000);
}

// A child of pppd (the connect script, chat) that holds pppd's output pipe
// must go with it: otherwise the hang-up waits for an end of output that
// never comes and the child keeps the modem's port.
TEST_F(PppdTest, AHangUpEndsTheChildrenHoldingPppdsOutput)
{
    MakeEntry();
    const std::string pids = root + "/pids";
    setenv("FAKE_PPPD_PIDS", pids.c_str(), 1);
    Script("child 60000\nsay Serial connection established.\nhold\n");
    ASSERT_EQ(client->Dial(kEntryLabel, "#777", "card", "x", "", kPhonebook), RAS_OK);
    std::vector<pid_t> started;
    ASSERT_TRUE(WaitFor([&] {
        started = kvtest::PidsIn(pids);
        return started.size() == 2;
    }));
    EXPECT_TRUE(client->HangUp(kEntryLabel));
    unsetenv("FAKE_PPPD_PIDS");
    for (pid_t p : started)
        EXPECT_TRUE(WaitFor([&] { return !kvtest::ProcessRuns(p); }, 10000)) << "pid " << p << " still runs";
}

TEST_F(PppdTest, AnotherDiallersLinkOverTheModemIsListed)
{
    // ppp1: pppd 4242 holds the modem's tty; ppp2: pppd 4343 holds another.
    MakeDirs(root + "/sys/class/net/ppp1/statistics");
    MakeDirs(root + "/sys/class/net/ppp2/statistics");
    MakeDirs(root + "/proc/4242/fd");
    MakeDirs(root + "/proc/4343/fd");
    ASSERT_EQ(::symlink("/dev/ttyUSB0", (root + "/proc/4242/fd/5").c_str()), 0);
    ASSERT_EQ(::symlink("/dev/ttyS0", (root + "/proc/4343/fd/5").c_str()), 0);
    kvtest::WriteFileBytes(root + "/run/ppp1.pid", "4242\n");
    kvtest::WriteFileBytes(root + "/run/ppp2.pid", "4343\n");
    kvtest::WriteFileBytes(root + "/sys/class/net/ppp1/statistics/rx_bytes", "1000\n");
    kvtest::WriteFileBytes(root + "/sys/class/net/ppp1/statistics/tx_bytes", "10\n");
    RasHandle h = 0;
    ASSERT_TRUE(client->FindConnection(kEntryLabel, h));
    client->SetHandle(h);
    kvtest::WriteFileBytes(root + "/sys/class/net/ppp1/statistics/rx_bytes", "1800\n");
    RasStats s;
    ASSERT_TRUE(client->GetStatistics(&s));
    EXPECT_EQ(s.bytesRcved, 800u); // from when it was found
    std::vector<RasConnInfo> conns;
    size_t needed = 0;
    ASSERT_EQ(backend->EnumConnections(8, conns, needed), RAS_OK);
    ASSERT_EQ(conns.size(), 1u);
    EXPECT_EQ(conns[0].deviceName, "KORVIA USB Modem (ttyUSB0)");
    // The link goes away.
    kvtest::RemoveTree(root + "/sys/class/net/ppp1");
    client->SetHandle(0);
    EXPECT_FALSE(client->FindConnection(kEntryLabel, h));
}

// Root's pppd (pon, a system service) hides /proc/<pid>/fd from a normal
// user; its tty lock and pid file are readable and must be enough, and
// whatever else lies in those folders must neither crash the scan nor make
// it take a link that is not over the modem.
TEST_F(PppdTest, ARootPppdsLinkIsMatchedByItsTtyLock)
{
    MakeDirs(root + "/sys/class/net/ppp1/statistics");
    const std::string lock = root + "/lock/LCK..ttyUSB0", pidFile = root + "/run/ppp1.pid";
    kvtest::WriteFileBytes(root + "/holds-4242", "      4242\n");
    struct Case {
        const char* what;
        std::string lockText; // "" : no lock file written
        std::string pidText;
        const char* lockLink = nullptr; // the lock is a symlink to this
        const char* pidLink = nullptr;
    } hostile[] = {
        {"garbage lock", "garbage\n", "4242\nppp1\n"},
        {"huge pid in the lock", "99999999999999999999999\n", "99999999999999999999999\nppp1\n"},
        {"another pid's lock", "      4343\n", "4242\nppp1\n"},
        {"negative pid", "     -4242\n", "-4242\nppp1\n"},
        {"pid glued to text", "      4242abc\n", "4242abc\nppp1\n"},
        {"pid file of another interface", "      4242\n", "4242\nppp7\n"},
        {"lock is a symlink", "", "4242\nppp1\n", "holds-4242"},
        {"pid file is a symlink", "      4242\n", "", nullptr, "holds-4242"},
        {"lock is an endless device", "", "4242\nppp1\n", "/dev/zero"},
        {"pid 1", "         1\n", "1\nppp1\n"},
        {"empty files", "\n", "\n"},
    };
    RasHandle h = 0;
    for (const Case& c : hostile) {
        ::unlink(lock.c_str());
        ::unlink(pidFile.c_str());
        if (c.lockLink)
            ASSERT_EQ(::symlink(c.lockLink[0] == '/' ? c.lockLink : (root + "/" + c.lockLink).c_str(), lock.c_str()), 0);
        else if (!c.lockText.empty())
            kvtest::WriteFileBytes(lock, c.lockText);
        if (c.pidLink)
            ASSERT_EQ(::symlink((root + "/" + c.pidLink).c_str(), pidFile.c_str()), 0);
        else
            kvtest::WriteFileBytes(pidFile, c.pidText);
        EXPECT_FALSE(client->FindConnection(kEntryLabel, h)) << c.what;
    }
    // pppd writes its pid file as "<pid>\n<interface>\n" and the lock as
    // ten padded characters.
    ::unlink(lock.c_str());
    ::unlink(pidFile.c_str());
    kvtest::WriteFileBytes(lock, "      4242\n");
    kvtest::WriteFileBytes(pidFile, "4242\nppp1\n");
    ASSERT_TRUE(client->FindConnection(kEntryLabel, h));
    std::vector<RasConnInfo> conns;
    size_t needed = 0;
    ASSERT_EQ(backend->EnumConnections(8, conns, needed), RAS_OK);
    ASSERT_EQ(conns.size(), 1u);
    EXPECT_EQ(conns[0].deviceName, "KORVIA USB Modem (ttyUSB0)");
}

TEST_F(PppdTest, ThePppdProgramComesFromTheEnvironmentOrThePath)
{
    CPppdBackend::Config cfg;
    CPppdBackend plain(cfg);
    setenv("KORVIANET_PPPD", "/opt/test/pppd", 1);
    EXPECT_EQ(plain.PppdProgram(), "/opt/test/pppd");
    unsetenv("KORVIANET_PPPD");
    const std::string found = plain.PppdProgram();
    EXPECT_EQ(found.substr(found.size() - 5), "/pppd");
}

TEST_F(PppdTest, APlainUserWritesTheEntryAndDials)
{
    // The phonebook lives in the user's own settings folder; as root the
    // story is replayed by an unprivileged child in a folder it owns.
    const std::string home = root + "/plain";
    ::mkdir(home.c_str(), 0700);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(home.c_str(), 65534, 65534), 0);
    }
    ::chmod(root.c_str(), 0755);
    Script("say Serial connection established.\nsay Using interface ppp0\nsay remote IP address 10.0.0.1\nhold\n");
    ::chmod((root + "/script").c_str(), 0644);
    unsetenv("FAKE_PPPD_ARGS");
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            _exit(3);
        CPppdBackend::Config cfg;
        cfg.phonebookRoot = home;
        cfg.pppdPath = KV_FAKE_PPPD;
        cfg.sysfsRoot = root + "/sys";
        cfg.devices = [] { return std::vector<RasDeviceInfo>{{"modem", "KORVIA USB Modem (ttyUSB0)"}}; };
        auto b = std::make_shared<CPppdBackend>(cfg);
        CRasClient c(b);
        c.Init();
        if (c.CreateEntry(kEntryLabel, "modem", "KORVIA USB Modem (ttyUSB0)", 4, 1, "#777", kPhonebook) != RAS_OK)
            _exit(4);
        if (!c.SetDialParams(kEntryLabel, "card", "pw") || ModeOf(home + "/PINGPB/Korvia NetWork.secret") != 0600)
            _exit(5);
        if (c.Dial(kEntryLabel, "#777", "card", "pw", "", kPhonebook) != RAS_OK)
            _exit(6);
        std::string text;
        bool connected = false;
        for (int i = 0; i < 200 && !c.GetDialState(text, connected); ++i)
            kv::SleepMs(10);
        _exit(connected && c.HangUp(kEntryLabel) ? 0 : 7);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(PppdTest, ALaterInterfaceLineKeepsTheCountersOnTheFirst)
{
    MakeEntry();
    Counters(100, 50);
    Script("say Using interface ppp0\nsay Connect: ppp0 <--> /dev/ttyUSB0\nsay remote IP address 10.0.0.1\n"
           "sleep 30\nsay Using interface ppp7\nsay the end\nhold\n");
    ASSERT_EQ(client->Dial(kEntryLabel, "#777", "card", "x", "", kPhonebook), RAS_OK);
    bool connected = false;
    DialUntilEnd(connected);
    ASSERT_TRUE(connected);
    kv::SleepMs(200); // the second line has been read
    Counters(700, 90);
    RasStats s;
    ASSERT_TRUE(client->GetStatistics(&s));
    EXPECT_EQ(s.bytesRcved, 600u);
    EXPECT_EQ(s.bytesXmited, 40u);
    RasHandle h = 0;
    EXPECT_TRUE(client->FindConnection(kEntryLabel, h));
    EXPECT_TRUE(client->HangUp(kEntryLabel));
}

TEST_F(PppdTest, NoCharacterOfTheSettingsPathChangesWhatPppdReads)
{
    // A settings folder with quotes, a hash and a backslash: the dial still
    // calls the profile that holds the connect script, and the user's files
    // reach pppd as words of their own.
    CPppdBackend::Config cfg;
    cfg.phonebookRoot = root + "/it's \"my\" #cfg\\";
    cfg.pppdPath = KV_FAKE_PPPD;
    cfg.sysfsRoot = root + "/sys";
    cfg.runDir = root + "/run";
    cfg.procRoot = root + "/proc";
    cfg.devices = [] { return std::vector<RasDeviceInfo>{{"modem", "KORVIA USB Modem (ttyUSB0)"}}; };
    client = std::make_unique<CRasClient>(std::make_shared<CPppdBackend>(cfg));
    client->Init();
    MakeEntry();
    Script("say Serial connection established.\nhold\n");
    ASSERT_EQ(client->Dial(kEntryLabel, "*99#", "card", "x", "", kPhonebook), RAS_OK);
    ASSERT_TRUE(WaitFor([&] { return FileExists(root + "/args"); }));
    kv::SleepMs(50);
    const std::string book = cfg.phonebookRoot + "/PINGPB/Korvia NetWork";
    EXPECT_EQ(kvtest::ReadFileBytes(root + "/args"), std::string(KV_FAKE_PPPD) + "\ncall\nkorvianet-gsm\nfile\n" + book
                                                         + "\nfile\n" + book + ".secret\nnodetach\n");
    RasEntry back;
    ASSERT_TRUE(ParseEntryFile(kvtest::ReadFileBytes(book), back));
    EXPECT_EQ(back.deviceName, "KORVIA USB Modem (ttyUSB0)");
    EXPECT_TRUE(client->HangUp(kEntryLabel));
}

TEST_F(PppdTest, ADialStringWithoutAProfileIsRefusedBeforePppdRuns)
{
    MakeEntry();
    EXPECT_EQ(client->Dial(kEntryLabel, "*98#", "card", "x", "", kPhonebook), RAS_ERR_BAD_ARGUMENT);
    EXPECT_FALSE(FileExists(root + "/args"));
}

TEST_F(PppdTest, WhatPppdRefusedIsNamedInTheErrorText)
{
    struct Case {
        const char* script;
        int error;
        const char* inText;
    } cases[] = {
        {"say /usr/sbin/pppd: using the noauth option requires root privilege\nexit 2\n", RAS_ERR_OPTION_REFUSED,
         "option \"noauth\""},
        {"say /usr/sbin/pppd: Can't open options file /etc/ppp/peers/korvianet-cdma: No such file or directory\n"
         "exit 2\n",
         RAS_ERR_PROFILE_MISSING, "/etc/ppp/peers/korvianet-cdma is not installed"},
        {"say Device ttyUSB0 is locked by pid 4711\nexit 6\n", RAS_ERR_PORT_IN_USE, "in use by another program"},
        {"say Failed to open /dev/ttyUSB0: Permission denied\nexit 7\n", RAS_ERR_PORT_NOT_AVAILABLE,
         "/dev/ttyUSB0 could not be opened"},
        {"say Serial connection established.\nsay Connect script failed\nexit 8\n", RAS_ERR_NO_ANSWER,
         "no answer from the modem"},
        {"say PAP authentication failed\nexit 19\n", RAS_ERR_AUTHENTICATION, "user name or password"},
        {"exit 2\n", RAS_ERR_OPTION_REFUSED, "refused the options"},
    };
    MakeEntry();
    for (const Case& c : cases) {
        CRasClient::ClearDialError();
        Script(c.script);
        ASSERT_EQ(client->Dial(kEntryLabel, "#777", "card", "x", "", kPhonebook), RAS_OK) << c.script;
        bool connected = true;
        DialUntilEnd(connected);
        ASSERT_TRUE(WaitFor([] { return CRasClient::DialError() != 0; })) << c.script;
        EXPECT_EQ(CRasClient::DialError(), c.error) << c.script;
        std::string text;
        client->GetErrorText(CRasClient::DialError(), 0, text);
        EXPECT_NE(text.find(c.inText), std::string::npos) << text;
        EXPECT_LE(text.size(), 255u);
        client->HangUp(kEntryLabel);
    }
}

TEST_F(PppdTest, AUserWhoMayNotRunPppdIsToldToJoinDip)
{
    // pppd is 4754 root:dip: for anyone else starting it fails like a
    // program without execute permission.
    const std::string locked = root + "/pppd";
    kvtest::WriteFileBytes(locked, "#!/bin/sh\nexit 0\n");
    ::chmod(locked.c_str(), 0644);
    CPppdBackend::Config cfg;
    cfg.phonebookRoot = root + "/cfg";
    cfg.pppdPath = locked;
    cfg.devices = [] { return std::vector<RasDeviceInfo>{{"modem", "KORVIA USB Modem (ttyUSB0)"}}; };
    client = std::make_unique<CRasClient>(std::make_shared<CPppdBackend>(cfg));
    client->Init();
    MakeEntry();
    const int rc = client->Dial(kEntryLabel, "#777", "card", "x", "", kPhonebook);
    EXPECT_EQ(rc, RAS_ERR_ACCESS_DENIED);
    std::string text;
    client->GetErrorText(rc, 0, text);
    EXPECT_NE(text.find(locked), std::string::npos) << text;
    EXPECT_NE(text.find("sudo adduser $USER dip"), std::string::npos) << text;
    EXPECT_NE(text.find("log out and log in again"), std::string::npos) << text;
}
