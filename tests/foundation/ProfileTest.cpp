#include "settings/Profile.h"
#include "settings/SettingsKeys.h"
#include "support/TempSettings.h"

#include <gtest/gtest.h>
#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace kv;

namespace {
mode_t ModeOf(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0;
}
} // namespace

TEST(Profile, MissingFileGivesDefaultsAndWriteKeepsOtherKeys)
{
    kvtest::TempSettings cfg;
    EXPECT_EQ(GetProfileString(kSecBaudRate, kKeyNum, kDefBaudRate, kBufText, kIniDialer), "115200");
    EXPECT_EQ(GetProfileInt(kSecBatSound, kKeyNum, kDefBatSound, kIniDialer), 1);
    EXPECT_EQ(GetProfileString(kSecChv1, kKeyNum, kDefPin, kBufPin, kIniDialer), "9352");

    cfg.WriteFile(kIniDialer, "[Top]\r\nnum=1\r\n[chv1]\r\nnum=123456789\r\n");
    ASSERT_TRUE(WriteProfileString("batsound", "num", "0", kIniDialer));
    EXPECT_EQ(GetProfileInt("BATSOUND", "NUM", 1, kIniDialer), 0);
    EXPECT_EQ(GetProfileInt("top", "num", 0, kIniDialer), 1);
    // A buffer of 9 holds at most 8 characters.
    EXPECT_EQ(GetProfileString("chv1", "num", "9352", 9, kIniDialer), "12345678");
    EXPECT_EQ(GetProfileString("chv1", "num", "9352", 1, kIniDialer), "");
    EXPECT_EQ(GetProfileString("chv1", "num", "9352", 0, kIniDialer), "");
    // The file keeps its CR LF line ends and every other line.
    EXPECT_EQ(cfg.ReadFile(kIniDialer),
              "[Top]\r\nnum=1\r\n[chv1]\r\nnum=123456789\r\n[batsound]\r\nnum=0\r\n");
}

TEST(Profile, IntegerReadStopsAtFirstNonDigitAndEmptyMeansDefault)
{
    kvtest::TempSettings cfg;
    cfg.WriteFile("a.ini", "[s]\nplain=42\nneg=-1\nunit=500ms\nnone=abc\nempty=\n"
                           "huge=99999999999999\nspaced =  7 \nquoted=\"12\"\n");
    EXPECT_EQ(GetProfileInt("s", "plain", 0, "a.ini"), 42);
    EXPECT_EQ(GetProfileInt("s", "neg", 0, "a.ini"), -1);
    EXPECT_EQ(GetProfileInt("s", "unit", 0, "a.ini"), 500);
    EXPECT_EQ(GetProfileInt("s", "none", 9, "a.ini"), 0);
    EXPECT_EQ(GetProfileInt("s", "empty", 9, "a.ini"), 9);
    EXPECT_EQ(GetProfileInt("s", "huge", 0, "a.ini"), 2147483647);
    EXPECT_EQ(GetProfileInt("s", "spaced", 0, "a.ini"), 7);
    EXPECT_EQ(GetProfileInt("s", "quoted", 0, "a.ini"), 12);
    EXPECT_EQ(DecimalPrefix("16dBm"), 16);
    EXPECT_EQ(DecimalPrefix(""), 0);
    EXPECT_EQ(DecimalPrefix("-"), 0);
}

TEST(Profile, DuplicatesFirstMatchWinsAndWritesChangeOnlyThatOne)
{
    kvtest::TempSettings cfg;
    cfg.WriteFile("d.ini", "[rssi]\nOne=10\none=11\n[other]\nx=1\n[RSSI]\nOne=12\nEVDO=30\n");
    EXPECT_EQ(GetProfileString("rssi", "one", "16", 64, "d.ini"), "10");
    // A key only in the second section of the name is still found.
    EXPECT_EQ(GetProfileString("rssi", "evdo", "21", 64, "d.ini"), "30");

    ASSERT_TRUE(WriteProfileString("Rssi", "ONE", "20", "d.ini"));
    ASSERT_TRUE(WriteProfileString("rssi", "EVDO", "31", "d.ini"));
    ASSERT_TRUE(WriteProfileString("rssi", "OneEVDO", "5", "d.ini"));
    EXPECT_EQ(cfg.ReadFile("d.ini"),
              "[rssi]\nONE=20\none=11\nOneEVDO=5\n[other]\nx=1\n[RSSI]\nOne=12\nEVDO=31\n");

    ASSERT_TRUE(DeleteProfileKey("rssi", "one", "d.ini"));
    EXPECT_EQ(GetProfileString("rssi", "one", "16", 64, "d.ini"), "11");
    EXPECT_TRUE(DeleteProfileKey("nosuch", "key", "d.ini"));
}

TEST(Profile, GarbageLongLinesAndMissingFinalNewlineLoseNothing)
{
    kvtest::TempSettings cfg;
    std::string longLine(100000, 'x');
    std::string garbage("\x00\xff\x01[\x80]=\x7f\n", 9);
    cfg.WriteFile(kIniDialer, garbage + longLine + "\n[modem]\nesn=" + longLine + "\n[\n]\n=\n" +
                                  "no equals here\n[username]\ntext=bob");
    EXPECT_EQ(GetProfileString("username", "text", "", 64, kIniDialer), "bob");
    EXPECT_EQ(GetProfileString("modem", "esn", "", 64, kIniDialer), std::string(63, 'x'));

    // Adding to a last section that has no final newline.
    ASSERT_TRUE(WriteProfileString("username", "extra", "1", kIniDialer));
    ASSERT_TRUE(WriteProfileString("password", "text", "pa\r\nss\0", kIniDialer));
    EXPECT_EQ(GetProfileString("username", "text", "", 64, kIniDialer), "bob");
    EXPECT_EQ(GetProfileString("username", "extra", "", 64, kIniDialer), "1");
    EXPECT_EQ(GetProfileString("password", "text", "", 64, kIniDialer), "pass");
    std::string after = cfg.ReadFile(kIniDialer);
    EXPECT_EQ(after.substr(0, garbage.size()), garbage);
    EXPECT_NE(after.find("esn=" + longLine + "\n"), std::string::npos);

    // A value cut by a NUL reads up to the NUL.
    cfg.WriteFile("n.ini", std::string("[s]\nk=ab\0cd\n", 12));
    EXPECT_EQ(GetProfileString("s", "k", "", 64, "n.ini"), "ab");
}

TEST(Profile, NamesThatWouldCorruptTheFileAreRefused)
{
    kvtest::TempSettings cfg;
    EXPECT_FALSE(WriteProfileString("a]b", "num", "1", kIniDialer));
    EXPECT_FALSE(WriteProfileString("sec", "k=v", "1", kIniDialer));
    EXPECT_FALSE(WriteProfileString("", "num", "1", kIniDialer));
    EXPECT_FALSE(WriteProfileString("sec", "", "1", kIniDialer));
    EXPECT_FALSE(WriteProfileString("sec\n[x", "num", "1", kIniDialer));
    EXPECT_EQ(cfg.ReadFile(kIniDialer), "");
}

TEST(Profile, FilesAndFolderAreOwnerOnlyAndUnreadableFileIsNeverReplaced)
{
    kvtest::TempSettings cfg;
    ::chmod(cfg.Dir().c_str(), 0755);
    cfg.WriteFile(kIniDialer, "[chv1]\nnum=1234\n");
    ::chmod(cfg.Path(kIniDialer).c_str(), 0644);
    ASSERT_TRUE(WriteProfileString(kSecPassword, kKeyText, "secret", kIniDialer));
    EXPECT_EQ(ModeOf(cfg.Dir()), 0700u);
    EXPECT_EQ(ModeOf(cfg.Path(kIniDialer)), 0600u);

    // A settings folder that does not exist yet is created owner-only.
    std::string nested = cfg.Dir() + "/a/b";
    setenv("KORVIANET_CONFIG_DIR", nested.c_str(), 1);
    ASSERT_TRUE(WriteProfileString("top", "num", "1", kIniDialer));
    EXPECT_EQ(ModeOf(nested), 0700u);
    setenv("KORVIANET_CONFIG_DIR", cfg.Dir().c_str(), 1);

    // A settings "file" that is really a folder cannot be read: defaults
    // apply and a write refuses to replace it.
    ASSERT_EQ(::mkdir(cfg.Path("dir.ini").c_str(), 0700), 0);
    EXPECT_EQ(GetProfileInt("top", "num", 5, "dir.ini"), 5);
    EXPECT_FALSE(WriteProfileString("top", "num", "1", "dir.ini"));

    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    ::chmod(cfg.Path(kIniDialer).c_str(), 0000);
    EXPECT_EQ(GetProfileInt(kSecChv1, kKeyNum, 77, kIniDialer), 77);
    EXPECT_FALSE(WriteProfileString("top", "num", "1", kIniDialer));
    ::chmod(cfg.Path(kIniDialer).c_str(), 0600);
    EXPECT_EQ(GetProfileString(kSecPassword, kKeyText, "", 64, kIniDialer), "secret");
    EXPECT_EQ(GetProfileInt(kSecChv1, kKeyNum, 0, kIniDialer), 1234);

    // A folder we may not write into: the write fails, the file stays whole.
    ::chmod(cfg.Dir().c_str(), 0500);
    EXPECT_FALSE(WriteProfileString("top", "num", "1", kIniDialer));
    ::chmod(cfg.Dir().c_str(), 0700);
    EXPECT_EQ(cfg.ReadFile(kIniDialer), "[chv1]\nnum=1234\n[password]\ntext=secret\n");
}

TEST(Profile, SymlinkedFileStaysALink)
{
    kvtest::TempSettings cfg;
    cfg.WriteFile("real.ini", "[a]\nk=1\n");
    ASSERT_EQ(::symlink(cfg.Path("real.ini").c_str(), cfg.Path(kIniSys).c_str()), 0);
    ASSERT_TRUE(WriteProfileString("sysinf", "slps", "9", kIniSys));
    struct stat st {};
    ASSERT_EQ(::lstat(cfg.Path(kIniSys).c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(cfg.ReadFile("real.ini"), "[a]\nk=1\n[sysinf]\nslps=9\n");
}

TEST(Profile, ConcurrentWritersOfDifferentKeysLoseNone)
{
    kvtest::TempSettings cfg;
    const int kThreads = 4, kKeys = 25;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int k = 0; k < kKeys; ++k) {
                std::string sec = "s" + std::to_string(t);
                WriteProfileString(sec, "k" + std::to_string(k), std::to_string(t * 100 + k), kIniDialer);
                GetProfileInt(sec, "k0", -1, kIniDialer);
            }
        });
    for (auto& th : threads)
        th.join();
    for (int t = 0; t < kThreads; ++t)
        for (int k = 0; k < kKeys; ++k)
            EXPECT_EQ(GetProfileInt("s" + std::to_string(t), "k" + std::to_string(k), -1, kIniDialer),
                      t * 100 + k);
}

TEST(Profile, WritersInSeveralProcessesLoseNone)
{
    kvtest::TempSettings cfg;
    const int kProcs = 3, kKeys = 20;
    std::vector<pid_t> kids;
    for (int p = 0; p < kProcs; ++p) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            for (int k = 0; k < kKeys; ++k)
                WriteProfileString("p" + std::to_string(p), "k" + std::to_string(k), "1", kIniDialer);
            ::_exit(0);
        }
        kids.push_back(pid);
    }
    for (pid_t pid : kids) {
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
    for (int p = 0; p < kProcs; ++p)
        for (int k = 0; k < kKeys; ++k)
            EXPECT_EQ(GetProfileInt("p" + std::to_string(p), "k" + std::to_string(k), 0, kIniDialer), 1);
}

TEST(Profile, FailedWriteOnAFullDiskLeavesTheOldFileWhole)
{
    kvtest::TempSettings cfg;
    std::string before = "[chv1]\nnum=1234\n[filler]\nk=" + std::string(4000, 'f') + "\n";
    cfg.WriteFile(kIniDialer, before);
    // In a child limited to 1 KiB files, as if the disk were full.
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit lim {1024, 1024};
        ::setrlimit(RLIMIT_FSIZE, &lim);
        bool ok = WriteProfileString(kSecPassword, kKeyText, "secret", kIniDialer);
        ::_exit(ok ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the write reported success";
    EXPECT_EQ(cfg.ReadFile(kIniDialer), before);
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(cfg.Dir()),
                            std::filesystem::directory_iterator()), 1);
}
