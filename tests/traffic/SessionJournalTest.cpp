// The running session's journal: a session whose writer died is folded into
// the traffic files once, a live writer's journal is never touched, and a
// journal that is not ours to read is refused without writing anything.
#include "TrafficFixture.h"

#include "traffic/SessionJournal.h"
#include "traffic/TrafficRecords.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include "settings/FileUtil.h"
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kvtraffic;

namespace {

class Journal : public kvtest::TrafficTest {
protected:
    std::string Dir() const { return SessionJournalDir(); }
    size_t FilesIn(const std::string& dir) const
    {
        size_t n = 0;
        if (DIR* d = ::opendir(dir.c_str())) {
            while (const dirent* e = ::readdir(d))
                n += e->d_name[0] != '.';
            ::closedir(d);
        }
        return n;
    }
    std::vector<TrafficRecord> RecordsOf(const char* file) const
    {
        const std::string bytes = kvtest::ReadFileBytes(TrafficFilePath(file));
        std::vector<TrafficRecord> out;
        for (size_t at = 0; at + kTrafficRecordSize <= bytes.size(); at += kTrafficRecordSize)
            out.push_back(DecodeTrafficRecord(reinterpret_cast<const uint8_t*>(bytes.data() + at)));
        return out;
    }
    // A journal as a dead writer leaves it: the file and a lock no one holds.
    void PlantJournal(const std::string& name, const std::string& text) const
    {
        ASSERT_TRUE(kv::MakeOwnerDirs(Dir()));
        kvtest::WriteFileBytes(Dir() + "/" + name + ".journal", text);
        kvtest::WriteFileBytes(Dir() + "/" + name + ".lock", "");
    }
};

JournalCounters Counters(int64_t written, uint32_t duration, uint32_t sent, uint32_t received)
{
    JournalCounters c;
    c.written = written;
    c.duration = duration;
    c.sent = sent;
    c.received = received;
    return c;
}

} // namespace

TEST(SessionJournalText, ReadsOnlyExactlyWhatItWrites)
{
    const JournalCounters c = Counters(1700000000, 4294967295u, 12, 4000000000u);
    JournalCounters back;
    ASSERT_TRUE(DecodeSessionJournal(EncodeSessionJournal(c), back));
    EXPECT_EQ(back.written, c.written);
    EXPECT_EQ(back.duration, c.duration);
    EXPECT_EQ(back.sent, c.sent);
    EXPECT_EQ(back.received, c.received);

    const std::string head = "korvianet session journal 1\nwritten 1700000000\nduration 5\nsent 6\n";
    for (const std::string& bad : std::vector<std::string>{
             std::string(),                                   // empty
             std::string("\x7f" "ELF\x02\x01\x01garbage\n"),  // garbage
             head + "received 4294967296\n",                  // beyond 32 bits
             head + "received 99999999999999999999999\n",     // beyond 64 bits
             head + "received -1\n",                          // a sign
             head + "received  7\n",                          // a blank too many
             head + "received 7",                             // a line not ended
             head + "received 7\nextra 1\n",                  // a line too many
             head + "received 0x10\n",                        // not decimal
             std::string("korvianet session journal 2\nwritten 1\nduration 5\nsent 6\nreceived 7\n"), // another format
         }) {
        std::string why;
        EXPECT_FALSE(DecodeSessionJournal(bad, back, &why)) << bad;
        EXPECT_FALSE(why.empty());
    }
}

TEST_F(Journal, AKilledWritersJournalBecomesOneRecordInEachFileAndIsRemoved)
{
    const int64_t written = int64_t(std::time(nullptr)) - 3600;
    {
        CSessionJournal j;
        ASSERT_TRUE(j.Begin());
        ASSERT_TRUE(j.Checkpoint(Counters(written - 60, 1000, 10, 20)));
        ASSERT_TRUE(j.Checkpoint(Counters(written, 61000, 3000, 90000)));
        // The writer's process ends here without its record: the lock goes
        // with the descriptor, the journal stays.
    }
    const FoldReport r = FoldEndedSessionJournals();
    EXPECT_EQ(r.folded, 1);
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_EQ(r.lines[0], "traffic journal of an ended session folded: 61000 ms, received 90000 bytes, sent 3000 bytes");
    for (const char* file : {kTrafficFileAll, kTrafficFileMirror, kTrafficFileLast}) {
        const auto recs = RecordsOf(file);
        ASSERT_EQ(recs.size(), 1u) << file;
        EXPECT_EQ(recs[0].bytesReceived, 90000u);
        EXPECT_EQ(recs[0].bytesSent, 3000u);
        EXPECT_EQ(recs[0].duration, 61000u);
        EXPECT_EQ(recs[0].time, written); // the month the session ran in
        EXPECT_EQ(recs[0].reserved, 0u);
    }
    EXPECT_EQ(FilesIn(Dir()), 0u);
    // Folded once only.
    EXPECT_EQ(FoldEndedSessionJournals().folded, 0);
    EXPECT_EQ(RecordsOf(kTrafficFileAll).size(), 1u);
}

TEST_F(Journal, ALiveWritersJournalIsLeftAloneAndItsEndLeavesNothing)
{
    CSessionJournal j;
    ASSERT_TRUE(j.Begin());
    ASSERT_TRUE(j.Checkpoint(Counters(std::time(nullptr), 5000, 100, 200)));
    FoldReport r = FoldEndedSessionJournals();
    EXPECT_EQ(r.live, 1);
    EXPECT_EQ(r.folded, 0);
    EXPECT_TRUE(RecordsOf(kTrafficFileAll).empty());
    // Also from another process (the lock is the kernel's, not a pid).
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(FoldEndedSessionJournals().live == 1 ? 0 : 1);
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(RecordsOf(kTrafficFileAll).empty());

    // A traffic reset recorded the counters: the journal goes, the lock stays.
    j.Clear();
    EXPECT_EQ(FilesIn(Dir()), 1u);
    EXPECT_EQ(FoldEndedSessionJournals().folded, 0);
    // The session's record is in the files: nothing is left to fold.
    ASSERT_TRUE(j.Checkpoint(Counters(std::time(nullptr), 6000, 100, 300)));
    j.End();
    EXPECT_EQ(FilesIn(Dir()), 0u);
    EXPECT_EQ(FoldEndedSessionJournals().folded, 0);
    EXPECT_TRUE(RecordsOf(kTrafficFileAll).empty());
}

TEST_F(Journal, HostileOrBrokenJournalsAreRefusedAndNothingIsWritten)
{
    ASSERT_TRUE(kv::MakeOwnerDirs(Dir()));
    const std::string victim = cfg.Path("victim");
    kvtest::WriteFileBytes(victim, EncodeSessionJournal(Counters(1700000000, 1, 2, 3)));
    ASSERT_EQ(::symlink(victim.c_str(), (Dir() + "/s1-1.journal").c_str()), 0);
    PlantJournal("s2-2", "korvianet session journal 1\nwritten 1\nduration 1\nsent 1\nreceived 99999999999\n");
    PlantJournal("s3-3", std::string(100000, 'x'));
    PlantJournal("s4-4", "\x01\x02garbage");
    ASSERT_EQ(::mkfifo((Dir() + "/s5-5.journal").c_str(), 0600), 0); // must not hang the reader
    ASSERT_EQ(::symlink(victim.c_str(), (Dir() + "/s6-6.lock").c_str()), 0);
    kvtest::WriteFileBytes(Dir() + "/s6-6.journal", EncodeSessionJournal(Counters(1700000000, 1, 2, 3)));

    const FoldReport r = FoldEndedSessionJournals();
    EXPECT_EQ(r.folded, 0);
    EXPECT_EQ(r.refused, 6);
    EXPECT_EQ(r.lines.size(), 6u);
    for (const std::string& line : r.lines)
        EXPECT_NE(line.find(" refused: "), std::string::npos) << line;
    EXPECT_TRUE(RecordsOf(kTrafficFileAll).empty());
    EXPECT_TRUE(RecordsOf(kTrafficFileLast).empty());
    // The links' target is untouched; the refused names are gone.
    EXPECT_EQ(kvtest::ReadFileBytes(victim), EncodeSessionJournal(Counters(1700000000, 1, 2, 3)));
    EXPECT_EQ(FilesIn(Dir()), 0u);
}

TEST_F(Journal, ImplausibleTimesAndEmptySessionsAreHandledAsRecordsWouldBe)
{
    const int64_t now = int64_t(std::time(nullptr));
    PlantJournal("s7-7", EncodeSessionJournal(Counters(now + 86400 * 400, 10, 20, 30))); // a clock far ahead
    PlantJournal("s8-8", EncodeSessionJournal(Counters(now, 10, 20, 0)));                // received nothing
    const FoldReport r = FoldEndedSessionJournals();
    EXPECT_EQ(r.folded, 1);
    const auto recs = RecordsOf(kTrafficFileAll);
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].bytesReceived, 30u);
    EXPECT_NEAR(double(recs[0].time), double(now), 5.0);
    EXPECT_EQ(FilesIn(Dir()), 0u);
}

TEST_F(Journal, TheIntervalComesFromTheEnvironmentOnlyWhenItIsSane)
{
    unsetenv(kJournalSecondsEnv);
    EXPECT_EQ(JournalIntervalSeconds(), 60);
    for (const char* bad : {"0", "-5", "3601", "1e3", "", "99999999999999999999"}) {
        setenv(kJournalSecondsEnv, bad, 1);
        EXPECT_EQ(JournalIntervalSeconds(), 60) << bad;
    }
    setenv(kJournalSecondsEnv, "2", 1);
    EXPECT_EQ(JournalIntervalSeconds(), 2);
    unsetenv(kJournalSecondsEnv);
}
