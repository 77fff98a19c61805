// The traffic files: the record's bytes, appending a session, the totals and
// the last session, missing files, torn tails, and writers that race.
#include "TrafficFixture.h"

#include "settings/Profile.h"
#include "support/AsUser.h"
#include "traffic/TrafficStats.h"

#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kvtraffic;
using kvtest::RecordBytes;

namespace kvtest {
void TrafficTest::MakeDataDir() { std::filesystem::create_directories(cfg.DataDir()); }
} // namespace kvtest

namespace {

class TrafficFiles : public kvtest::TrafficTest {};

TrafficRecord Session(uint32_t duration, uint32_t sent, uint32_t received)
{
    TrafficRecord r;
    r.duration = duration;
    r.bytesSent = sent;
    r.bytesReceived = received;
    return r;
}

mode_t ModeOf(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : mode_t(-1);
}

// Runs fn in a child as an ordinary user (nobody when the test runs as root)
// with settings and data in a folder that user owns; true when fn did.
bool RunAsUser(const std::string& home, const std::function<bool()>& fn)
{
    std::filesystem::create_directories(home);
    if (geteuid() == 0 && chown(home.c_str(), 65534, 65534) != 0)
        return false;
    const pid_t pid = fork();
    if (pid == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(3);
        setenv("KORVIANET_CONFIG_DIR", home.c_str(), 1);
        setenv("KORVIANET_DATA_DIR", home.c_str(), 1);
        _exit(fn() ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

TEST(TrafficRecordBytes, TwentyFourLittleEndianBytesWithoutHeader)
{
    TrafficRecord r;
    r.time = 0x0102030405060708;
    r.duration = 0x11223344;
    r.bytesSent = 0xA1B2C3D4;
    r.bytesReceived = 0xFFFFFFFE;
    uint8_t b[kTrafficRecordSize];
    EncodeTrafficRecord(r, b);
    const uint8_t want[kTrafficRecordSize] = {0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01,  // time
                                              0x00, 0x00, 0x00, 0x00,                          // reserved
                                              0x44, 0x33, 0x22, 0x11,                          // duration
                                              0xD4, 0xC3, 0xB2, 0xA1,                          // sent
                                              0xFE, 0xFF, 0xFF, 0xFF};                         // received
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b), 24), std::string(reinterpret_cast<const char*>(want), 24));

    // A time before 1970 is a negative count; every count is unsigned.
    const uint8_t old[kTrafficRecordSize] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 7, 0, 0, 0,
                                             0x80, 0, 0, 0, 0, 0, 0, 0x80, 1, 0, 0, 0};
    const TrafficRecord d = DecodeTrafficRecord(old);
    EXPECT_EQ(d.time, -1);
    EXPECT_EQ(d.reserved, 7u);
    EXPECT_EQ(d.duration, 0x80u);
    EXPECT_EQ(d.bytesSent, 0x80000000u);
    EXPECT_EQ(d.bytesReceived, 1u);
}

TEST_F(TrafficFiles, ASessionGoesToAllThreeFilesInThePrivateDataFolder)
{
    const int64_t before = int64_t(std::time(nullptr));
    ASSERT_TRUE(AppendTrafficRecord(Session(61000, 300, 4000)));
    const int64_t after = int64_t(std::time(nullptr));
    EXPECT_EQ(ModeOf(cfg.DataDir()), mode_t(0700));
    for (const char* f : {"PktFF.dat", "PktMF.dat", "PktLF.dat"}) {
        const std::string bytes = kvtest::ReadFileBytes(Data(f));
        ASSERT_EQ(bytes.size(), 24u) << f;
        EXPECT_EQ(ModeOf(Data(f)), mode_t(0600)) << f;
        const TrafficRecord r = DecodeTrafficRecord(reinterpret_cast<const uint8_t*>(bytes.data()));
        EXPECT_GE(r.time, before);
        EXPECT_LE(r.time, after);
        EXPECT_EQ(r.reserved, 0u);
        EXPECT_EQ(r.duration, 61000u);
        EXPECT_EQ(r.bytesSent, 300u);
        EXPECT_EQ(r.bytesReceived, 4000u);
    }
    ASSERT_TRUE(AppendTrafficRecord(Session(1000, 5, 6)));
    EXPECT_EQ(SumTrafficTotal(kTotalReceived), 4006);
    EXPECT_EQ(SumTrafficTotal(kTotalSent), 305);
    EXPECT_EQ(LastSessionBytes(kTotalReceived), 6);
    EXPECT_EQ(LastSessionBytes(kTotalSent), 5);
    EXPECT_EQ(LastSessionDuration(), 1000u);
    EXPECT_GE(LastSessionTime(), before);
    EXPECT_EQ(kvtest::ReadFileBytes(Data("PktMF.dat")).size(), 48u);

    // Nothing received: nothing recorded, not even the sent bytes.
    EXPECT_TRUE(AppendTrafficRecord(Session(5000, 900, 0)));
    for (const char* f : {"PktFF.dat", "PktMF.dat", "PktLF.dat"})
        EXPECT_EQ(kvtest::ReadFileBytes(Data(f)).size(), 48u) << f;
}

TEST_F(TrafficFiles, TheCurdirPrefixIsJoinedToTheNamesAsItIs)
{
    kv::WriteProfileString("Curdir", "dir", "net/", "teal_dialer.ini");
    EXPECT_EQ(TrafficFilePath("PktFF.dat"), Data("net/PktFF.dat"));
    // A missing folder is not made: every file is skipped, and said so.
    EXPECT_FALSE(AppendTrafficRecord(Session(1, 1, 1)));
    EXPECT_FALSE(std::filesystem::exists(Data("net")));
    std::filesystem::create_directories(Data("net"));
    EXPECT_TRUE(AppendTrafficRecord(Session(1, 1, 1)));
    EXPECT_EQ(kvtest::ReadFileBytes(Data("net/PktLF.dat")).size(), 24u);

    // Without a trailing slash the last part becomes a name prefix.
    kv::WriteProfileString("Curdir", "dir", "stats", "teal_dialer.ini");
    EXPECT_TRUE(AppendTrafficRecord(Session(1, 1, 1)));
    EXPECT_EQ(kvtest::ReadFileBytes(Data("statsPktFF.dat")).size(), 24u);

    // An absolute prefix is used as it is.
    const std::string abs = kvtest::MakeTempDir("kvtraf");
    kv::WriteProfileString("Curdir", "dir", abs + "/", "teal_dialer.ini");
    EXPECT_TRUE(AppendTrafficRecord(Session(1, 1, 1)));
    EXPECT_EQ(kvtest::ReadFileBytes(abs + "/PktMF.dat").size(), 24u);
    kvtest::RemoveTree(abs);
}

TEST_F(TrafficFiles, MissingOrUnreadableFilesReadAsNoRecords)
{
    EXPECT_EQ(SumTrafficTotal(kTotalReceived), 0);
    EXPECT_EQ(SumTrafficTotal(kTotalSent), 0);
    EXPECT_EQ(LastSessionBytes(kTotalReceived), 0);
    EXPECT_EQ(LastSessionDuration(), 0u);
    EXPECT_EQ(LastSessionTime(), 0);
    EXPECT_EQ(SumTrafficSince(0, kMonthReceived), 0);
    EXPECT_EQ(SumTrafficBetween(0, 1LL << 40, kMonthSent), 0);
    const TrafficOverview o = ReadTrafficOverview(int64_t(std::time(nullptr)));
    EXPECT_FALSE(o.hasLast);
    EXPECT_EQ(o.totalReceived + o.totalSent + o.current.Total() + o.previous.Total(), 0);

    // A folder or a FIFO where a file should be reads as no records too,
    // without waiting for a writer that never comes; appending skips them.
    std::filesystem::create_directories(Data("PktFF.dat"));
    ASSERT_EQ(mkfifo(Data("PktLF.dat").c_str(), 0600), 0);
    EXPECT_EQ(SumTrafficTotal(kTotalReceived), 0);
    EXPECT_EQ(LastSessionTime(), 0);
    EXPECT_FALSE(AppendTrafficRecord(Session(1, 1, 1)));
    EXPECT_EQ(kvtest::ReadFileBytes(Data("PktMF.dat")).size(), 24u);
}

TEST_F(TrafficFiles, SumsTakeEveryCountUnsignedAndKindsSelectTheirColumn)
{
    std::string all;
    all += RecordBytes(100, 1, 0xFFFFFFFF, 0xFFFFFFFF);
    all += RecordBytes(200, 2, 0xFFFFFFFF, 0xFFFFFFFF);
    all += RecordBytes(300, 3, 10, 20);
    WriteTraffic("PktFF.dat", all);
    WriteTraffic("PktLF.dat", RecordBytes(300, 3, 10, 20));
    EXPECT_EQ(SumTrafficTotal(kTotalReceived), 8589934610.0);
    EXPECT_EQ(SumTrafficTotal(kTotalSent), 8589934600.0);
    EXPECT_EQ(SumTrafficTotal(7), 0);
    EXPECT_EQ(SumTrafficSince(200, kMonthReceived), 4294967315.0);
    EXPECT_EQ(SumTrafficSince(200, kMonthSent), 4294967305.0);
    EXPECT_EQ(SumTrafficSince(200, 0), 0) << "the month kinds start at 1";
    EXPECT_EQ(SumTrafficBetween(100, 200, kMonthReceived), 8589934590.0);
    EXPECT_EQ(SumTrafficBetween(101, 299, kMonthSent), 4294967295.0);
    EXPECT_EQ(SumTrafficBetween(300, 100, kMonthSent), 0);
    EXPECT_EQ(LastSessionBytes(kTotalReceived), 20);
    EXPECT_EQ(LastSessionBytes(kTotalSent), 10);
    EXPECT_EQ(LastSessionDuration(), 3u);
    EXPECT_EQ(LastSessionTime(), 300);
}

TEST_F(TrafficFiles, ATornTailReadsAsAbsentAndTheNextAppendRestoresTheAlignment)
{
    // A crash in the middle of the third append left 10 of its 24 bytes.
    const std::string two = RecordBytes(1000, 5, 1, 100) + RecordBytes(2000, 6, 2, 200);
    const std::string torn = RecordBytes(3000, 7, 3, 300).substr(0, 10);
    for (const char* f : {"PktFF.dat", "PktMF.dat", "PktLF.dat"})
        WriteTraffic(f, two + torn);
    EXPECT_EQ(SumTrafficTotal(kTotalReceived), 300);
    EXPECT_EQ(LastSessionBytes(kTotalReceived), 200);
    EXPECT_EQ(LastSessionTime(), 2000);

    ASSERT_TRUE(AppendTrafficRecord(Session(9, 4, 400)));
    for (const char* f : {"PktFF.dat", "PktMF.dat", "PktLF.dat"}) {
        const std::string bytes = kvtest::ReadFileBytes(Data(f));
        ASSERT_EQ(bytes.size(), 72u) << f << ": the new record starts where the torn piece did";
        EXPECT_EQ(bytes.substr(0, 48), two) << f;
        EXPECT_EQ(DecodeTrafficRecord(reinterpret_cast<const uint8_t*>(bytes.data()) + 48).bytesReceived, 400u);
    }
    EXPECT_EQ(SumTrafficTotal(kTotalReceived), 700);
    EXPECT_EQ(LastSessionBytes(kTotalReceived), 400);

    // Only a torn piece, and nothing whole: no records, and the first append
    // lands at offset 0.
    WriteTraffic("PktLF.dat", torn.substr(0, 23));
    EXPECT_EQ(LastSessionTime(), 0);
    ASSERT_TRUE(AppendTrafficRecord(Session(9, 4, 500)));
    EXPECT_EQ(kvtest::ReadFileBytes(Data("PktLF.dat")).size(), 24u);
    EXPECT_EQ(LastSessionBytes(kTotalReceived), 500);
}

TEST_F(TrafficFiles, AFileThatCannotBeWrittenIsSkippedAndTheOthersGetTheRecord)
{
    const std::string home = kvtest::MakeTempDir("kvtrafuser");
    EXPECT_TRUE(RunAsUser(home, [] {
        // PktMF.dat refuses writing: the other two still get the session.
        const std::string mf = std::string(getenv("KORVIANET_DATA_DIR")) + "/PktMF.dat";
        kvtest::WriteFileBytes(mf, "");
        chmod(mf.c_str(), 0444);
        if (AppendTrafficRecord(Session(1, 2, 3)))
            return false; // the failure is reported
        return kvtest::ReadFileBytes(mf).empty() && SumTrafficTotal(kTotalReceived) == 3
               && LastSessionBytes(kTotalSent) == 2;
    }));
    kvtest::RemoveTree(home);
}

TEST_F(TrafficFiles, WritersThatRaceKeepEveryRecordWhole)
{
    MakeDataDir();
    constexpr int kEach = 150;
    std::vector<pid_t> kids;
    for (int k = 0; k < 2; ++k) {
        const pid_t pid = fork();
        if (pid == 0) {
            bool ok = true;
            for (int i = 0; i < kEach; ++i)
                ok = AppendTrafficRecord(Session(1, uint32_t(k + 1), 1000)) && ok;
            _exit(ok ? 0 : 1);
        }
        kids.push_back(pid);
    }
    for (pid_t pid : kids) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(kvtest::ReadFileBytes(Data("PktFF.dat")).size(), size_t(2 * kEach * 24));
    EXPECT_EQ(SumTrafficTotal(kTotalReceived), 2 * kEach * 1000);
    EXPECT_EQ(SumTrafficTotal(kTotalSent), kEach * 1 + kEach * 2);
}

TEST(TrafficBuffer, WholeRecordsAcrossAnyReadSplitSumAsOne)
{
    std::string all;
    for (int i = 0; i < 1000; ++i)
        all += RecordBytes(i, uint32_t(i), uint32_t(i * 3), uint32_t(i * 7));
    kvtraffic::TrafficQuery q;
    q.since = 500;
    q.from = 100;
    q.to = 199;
    const auto* p = reinterpret_cast<const uint8_t*>(all.data());
    const TrafficSums s = SumTrafficBuffer(p, all.size() + 0, q);
    EXPECT_EQ(s.records, 1000u);
    EXPECT_EQ(s.received, 7u * 999 * 1000 / 2);
    EXPECT_EQ(s.sinceSent, 3u * (500 + 999) * 500 / 2);
    EXPECT_EQ(s.betweenReceived, 7u * (100 + 199) * 100 / 2);
    EXPECT_EQ(s.last.time, 999);
    const TrafficSums cut = SumTrafficBuffer(p, all.size() - 1, q);
    EXPECT_EQ(cut.records, 999u);
    EXPECT_EQ(cut.last.time, 998);
}

TEST_F(TrafficFiles, ALinkInATrafficFilesPlaceIsNotFollowed)
{
    MakeDataDir();
    // Someone's link in PktFF.dat's place names a file of the user's own.
    const std::string notes = cfg.Path("notes.txt");
    kvtest::WriteFileBytes(notes, "my own notes\n");
    ASSERT_EQ(::symlink(notes.c_str(), Data("PktFF.dat").c_str()), 0);
    std::string why;
    EXPECT_FALSE(AppendTrafficRecord(Session(1, 2, 3), &why));
    EXPECT_NE(why.find("symbolic link"), std::string::npos) << why;
    EXPECT_EQ(kvtest::ReadFileBytes(notes), "my own notes\n");
    // The link is neither read through; the other files still got the record.
    EXPECT_EQ(SumTrafficTotal(kTotalReceived), 0);
    EXPECT_EQ(kvtest::ReadFileBytes(Data("PktMF.dat")).size(), 24u);
    EXPECT_EQ(LastSessionBytes(kTotalReceived), 3);
}

TEST_F(TrafficFiles, ADataFolderOfAnotherUserGetsNoRecord)
{
    if (!kvtest::CanRunAsTwoUsers())
        GTEST_SKIP() << "acting as two users needs root";
    // The attacker made the data folder, open to all, with a traffic file
    // anyone may write.
    const std::string base = kvtest::MakeTempDir("kvtrafowner");
    ::chmod(base.c_str(), 0755);
    const std::string theirs = base + "/theirs";
    ASSERT_EQ(::mkdir(theirs.c_str(), 0777), 0);
    ::chmod(theirs.c_str(), 0777);
    ASSERT_EQ(::chown(theirs.c_str(), kvtest::kAttackerUid, kvtest::kAttackerUid), 0);
    for (const char* f : {"PktFF.dat", "PktMF.dat", "PktLF.dat"}) {
        kvtest::WriteFileBytes(theirs + "/" + f, "");
        ::chmod((theirs + "/" + f).c_str(), 0666);
        ASSERT_EQ(::chown((theirs + "/" + f).c_str(), kvtest::kAttackerUid, kvtest::kAttackerUid), 0);
    }
    const std::string mine = base + "/mine";
    ASSERT_EQ(::mkdir(mine.c_str(), 0700), 0);
    ASSERT_EQ(::chown(mine.c_str(), kvtest::kVictimUid, kvtest::kVictimUid), 0);
    setenv("KORVIANET_CONFIG_DIR", mine.c_str(), 1);
    setenv("KORVIANET_DATA_DIR", theirs.c_str(), 1);
    const std::string err = kvtest::RunAsUser(kvtest::kVictimUid, []() -> std::string {
        std::string why;
        if (AppendTrafficRecord(Session(1, 2, 3), &why))
            return "the record was written into the other user's folder";
        if (why.find("another user") == std::string::npos)
            return "the refusal does not say why: " + why;
        return "";
    });
    EXPECT_EQ(err, "");
    for (const char* f : {"PktFF.dat", "PktMF.dat", "PktLF.dat"})
        EXPECT_EQ(kvtest::ReadFileBytes(theirs + "/" + f).size(), 0u) << f;
    kvtest::RemoveTree(base);
}
