// The phonebooks through the engine's start-up against the simulator, the
// main window's phonebook handlers, and an interrupted read.
#include "SimFixture.h"

#include "contacts/PbTexts.h"
#include "data/DataConstants.h"
#include "data/PbPendingStore.h"
#include "platform/Event.h"

#include <csignal>
#include <poll.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kv;
using kv::sim::ModemModel;

namespace {
void SeedBooks(ModemModel& m, int ruim, int memory)
{
    for (int i = 1; i <= ruim; ++i)
        m.pbRuim.entries[uint32_t(i)] = {"619555" + std::to_string(1000 + i), "Card " + std::to_string(i)};
    for (int i = 1; i <= memory; ++i)
        m.pbMemory.entries[uint32_t(i)] = {"858555" + std::to_string(1000 + i), "Mem " + std::to_string(i)};
}
} // namespace

class PbSession : public kvtest::SimFixture {};

TEST_F(PbSession, BothPhonebooksAreReadAtStartAndOnlyMarkedAtARestart)
{
    Sql("INSERT INTO tealfin_pbook VALUES (2, 1, 'Left over', '111')");
    const int protectedRows = Count("tealfin_pbook", "storage_type IN (888, 999)");
    StartSim([](ModemModel& m) { SeedBooks(m, 12, 3); });
    ASSERT_TRUE(StartSession(true));
    ModemState& st = m_session->Host().State();
    EXPECT_EQ(st.m_ucUiFlags.load() & (UIF_PB_RUIM_LOADED | UIF_PB_MEMORY_LOADED),
              UIF_PB_RUIM_LOADED | UIF_PB_MEMORY_LOADED);
    EXPECT_EQ(st.m_ucPbReadDone.load(), kPbReadRuim | kPbReadMemory);
    EXPECT_EQ(Count("tealfin_pbook", "storage_type=2"), 12);
    EXPECT_EQ(Count("tealfin_pbook", "storage_type=1"), 3);
    EXPECT_EQ(Count("tealfin_pbook", "name='Left over'"), 0);
    EXPECT_EQ(Count("tealfin_pbook", "storage_type IN (888, 999)"), protectedRows);

    // A restart reads neither phonebook again: a change on the modem stays unseen.
    m_sim->WithModel([](ModemModel& m) { m.pbRuim.entries[40] = {"1", "New"}; });
    m_session->Engine().RestartDmEngine();
    ASSERT_TRUE(Until([&] { return m_session->Host().ControlEnabled(IDC_SMS_TOGGLE) && st.m_ucUiFlags.load() & UIF_PB_MEMORY_LOADED; }, 20000));
    EXPECT_EQ(Count("tealfin_pbook", "storage_type=2"), 12);

    // The modem returns: the wipe keeps the protected rows and forgets both reads.
    intptr_t r = -1;
    m_session->Host().SendUserMessage(UM_UI_REQUEST, UI_REQ_WIPE_PHONEBOOK, 0);
    EXPECT_EQ(Count("tealfin_pbook", "storage_type IN (1, 2)"), 0);
    EXPECT_EQ(Count("tealfin_pbook", "storage_type IN (888, 999)"), protectedRows);
    EXPECT_EQ(st.m_ucPbReadDone.load(), 0);
    (void)r;
    m_session->Engine().RestartDmEngine();
    ASSERT_TRUE(Until([&] { return Count("tealfin_pbook", "storage_type=1") == 3; }, 20000));
    EXPECT_EQ(Count("tealfin_pbook", "storage_type=2"), 13);
}

TEST_F(PbSession, LookupAnswersWithTheNameOrNothing)
{
    StartSim([](ModemModel& m) { SeedBooks(m, 2, 0); });
    ASSERT_TRUE(StartSession(true));
    EXPECT_EQ(m_session->Host().LookupName("6195551002"), "Card 2");
    EXPECT_EQ(m_session->Host().LookupName("000"), std::nullopt);
    EXPECT_FALSE(m_session->Db().Pbook().IsOpen());
}

TEST_F(PbSession, WritesAndDeletesReachTheTableOnlyWhenTheModemAccepts)
{
    StartSim([](ModemModel& m) {
        SeedBooks(m, 2, 0);
        m.pbRuim.capacity = 5;
    });
    ASSERT_TRUE(StartSession(true));
    CPbookEngine& pb = m_session->Pbook();
    auto c = pb.WriteEntry(kPbookRuim, 0, "Zoe", "+15551230000");
    EXPECT_TRUE(c.ok());
    EXPECT_EQ(Count("tealfin_pbook", "storage_type=2 AND \"index\"=3 AND name='Zoe' AND phone_number='+15551230000'"), 1);
    EXPECT_TRUE(m_sim->WithModel([](ModemModel& m) { return m.pbRuim.entries.count(3) == 1; }));

    c = pb.WriteEntry(kPbookRuim, 99, "Too far", "123"); // beyond the card's capacity
    EXPECT_EQ(c.result, DM_RESULT_MODEM_REFUSED);
    EXPECT_EQ(Count("tealfin_pbook", "name='Too far'"), 0);

    c = pb.WriteEntry(kPbookRuim, 0, "Bad", "12pp3");
    EXPECT_EQ(c.refusal, "Input Dial Number Fail.(P)");

    c = pb.DeleteEntry(kPbookRuim, 1);
    EXPECT_TRUE(c.ok());
    EXPECT_EQ(Count("tealfin_pbook", "storage_type=2 AND \"index\"=1"), 0);
    c = pb.DeleteEntry(kPbookRuim, 4); // no such entry on the card
    EXPECT_EQ(c.result, DM_RESULT_MODEM_REFUSED);
}

// A process killed in the middle of a phonebook read leaves the table as it
// was before the read began.
TEST_F(PbSession, ALostReadAnswerIsMadeGoodWhetherOrNotTheModemRewinds)
{
    StartSim([](ModemModel& m) { SeedBooks(m, 25, 0); });
    ASSERT_TRUE(StartSession(false));
    CDmEngine& e = m_session->Engine();
    for (const char* rewind : {"on", "off"}) {
        SCOPED_TRACE(std::string("pb-rewind ") + rewind);
        ASSERT_EQ(m_sim->Command(std::string("pb-rewind ") + rewind).substr(0, 2), "OK");
        // Start from the first entry, then lose the second batch's answer.
        m_sim->WithModel([](ModemModel& m) { m.pbRuim.cursor = 0; });
        ASSERT_EQ(m_sim->Command("pb-lose ruim 1 1").substr(0, 2), "OK");
        EXPECT_EQ(e.DmSubRequest(DM_PBOOK_READ, kPbWordRuim, false), DM_PBOOK_READ);
        EXPECT_EQ(Count("tealfin_pbook", "storage_type=2"), 25);
        EXPECT_EQ(Count("(SELECT DISTINCT \"index\" FROM tealfin_pbook WHERE storage_type=2)"), 25);
        EXPECT_EQ(Count("tealfin_pbook", "storage_type=2 AND name='Card 14' AND phone_number='6195551014'"), 1);
    }
}

TEST_F(PbSession, KilledDuringAReadLeavesAConsistentTable)
{
    Sql("INSERT INTO tealfin_pbook VALUES (2, 1, 'Before', '111')");
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(ready[0]);
        kv::sim::ModemSimulator::Options o;
        o.registerDevice = false;
        o.demoState = false;
        o.unsolicitedPeriodMs = 0;
        kv::sim::ModemSimulator sim(o);
        sim.WithModel([](ModemModel& m) {
            SeedBooks(m, 250, 0);
            m.pbRuim.capacity = 250;
        });
        if (!sim.Start())
            _exit(2);
        sim.Command("delay 150"); // a slow modem: the read takes seconds
        kv::CMessagingSession::Options so;
        so.device = sim.SlavePath();
        so.dbPath = DbPath();
        kv::CMessagingSession s(so);
        s.Pbook().SetBatchObserver([&](int position, int) {
            if (position == 50) {
                const char c = 1;
                (void)!write(ready[1], &c, 1);
            }
        });
        s.Start();
        _exit(0);
    }
    close(ready[1]);
    char c = 0;
    pollfd p{ready[0], POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 60000), 1) << "the child never got half-way";
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    close(ready[0]);

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(DbPath().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "ok");
    sqlite3_finalize(st);
    sqlite3_close(db);
    // The opening above rolled the interrupted read back.
    EXPECT_EQ(Count("tealfin_pbook", "storage_type=2"), 1);
    EXPECT_EQ(Count("tealfin_pbook", "name='Before'"), 1);
}

// Without a readable table there is no knowing which index is free: the
// first free one must not become 1 and overwrite the modem's first entry.
TEST_F(PbSession, AnUnreadableTableNeverTurnsIntoIndexOne)
{
    StartSim([](ModemModel& m) { SeedBooks(m, 2, 0); });
    ASSERT_TRUE(StartSession(true));
    Sql("ALTER TABLE tealfin_pbook RENAME TO tealfin_pbook_gone");
    const auto c = m_session->Pbook().WriteEntry(kPbookRuim, 0, "Zoe", "123");
    EXPECT_EQ(c.result, DM_RESULT_DB_ERROR);
    EXPECT_FALSE(c.dbError.empty());
    EXPECT_TRUE(m_sim->WithModel([](ModemModel& m) { return m.pbRuim.entries[1].name == "Card 1"; }));
    const auto mod = m_session->Pbook().ModifyEntry(kPbookRuim, 1, "Zoe", "123");
    EXPECT_EQ(mod.result, DM_RESULT_DB_ERROR);
    EXPECT_TRUE(m_sim->WithModel([](ModemModel& m) { return m.pbRuim.entries.count(1) == 1; }));
}

// A change cut short leaves a record; the next start settles each entry by
// what the modem has at its index.
TEST_F(PbSession, ChangesCutShortAreSettledByTheNextStart)
{
    StartSim([](ModemModel& m) {
        SeedBooks(m, 3, 3);
        m.pbRuim.entries[1] = {"555", "New one"}; // the new write came through
        m.pbMemory.entries.erase(2);               // the delete came, the write never did
    });
    CPbPendingStore pending(DbPath());
    std::string err;
    ASSERT_TRUE(pending.Record({kPbookRuim, 1, "Card 1", "6195551001", "New one", "555"}, err)) << err;
    ASSERT_TRUE(pending.Record({kPbookRuim, 2, "Card 2", "6195551002", "Other", "777"}, err)) << err; // delete never came
    ASSERT_TRUE(pending.Record({kPbookMemory, 2, "Mem 2", "8585551002", "Gone", "999"}, err)) << err;

    ASSERT_TRUE(StartSession(true));
    EXPECT_TRUE(m_sim->WithModel([](ModemModel& m) {
        return m.pbRuim.entries[1].name == "New one" && m.pbRuim.entries[2].name == "Card 2"
               && m.pbMemory.entries.count(2) == 1 && m.pbMemory.entries[2].name == "Mem 2"
               && m.pbMemory.entries[2].number == "8585551002";
    }));
    EXPECT_EQ(Count("tealfin_pbook", "storage_type=2 AND \"index\"=1 AND name='New one'"), 1);
    EXPECT_EQ(Count("tealfin_pbook", "storage_type=2 AND \"index\"=2 AND name='Card 2'"), 1);
    // The memory phonebook is read although the card's was read first.
    EXPECT_EQ(Count("tealfin_pbook", "storage_type=1"), 3);
    EXPECT_EQ(Count("tealfin_pbook", "storage_type=1 AND \"index\"=2 AND name='Mem 2' AND phone_number='8585551002'"), 1);
    EXPECT_EQ(Count("pb_pending"), 0);
}

TEST_F(PbSession, AModifyKeepsItsRecordOnlyWhileTheModemMayLackTheEntry)
{
    StartSim([](ModemModel& m) { SeedBooks(m, 3, 0); });
    ASSERT_TRUE(StartSession(true));
    CPbookEngine& pb = m_session->Pbook();
    EXPECT_TRUE(pb.ModifyEntry(kPbookRuim, 1, "Zed", "555").ok());
    EXPECT_EQ(Count("pb_pending"), 0);

    // Neither the new entry nor the old one is taken back: the record stays.
    ASSERT_EQ(m_sim->Command("pb-refuse-write ruim 2").substr(0, 2), "OK");
    const auto c = pb.ModifyEntry(kPbookRuim, 2, "Yves", "556");
    EXPECT_TRUE(c.lost);
    EXPECT_EQ(Count("pb_pending", "storage_type=2 AND \"index\"=2 AND old_name='Card 2'"), 1);
    EXPECT_EQ(Count("tealfin_pbook", "storage_type=2 AND \"index\"=2"), 0);

    StopSession();
    ASSERT_TRUE(StartSession(true));
    EXPECT_TRUE(m_sim->WithModel([](ModemModel& m) { return m.pbRuim.entries[2].name == "Card 2"; }));
    EXPECT_EQ(Count("tealfin_pbook", "storage_type=2 AND \"index\"=2 AND name='Card 2'"), 1);
    EXPECT_EQ(Count("pb_pending"), 0);

    // A change that cannot be recorded is not started on the modem.
    Sql("CREATE TRIGGER no_pending BEFORE INSERT ON pb_pending BEGIN SELECT RAISE(FAIL, 'disk full'); END");
    const auto refused = m_session->Pbook().ModifyEntry(kPbookRuim, 3, "Xena", "557");
    EXPECT_EQ(refused.result, DM_RESULT_DB_ERROR);
    EXPECT_TRUE(refused.beforeModem);
    EXPECT_TRUE(m_sim->WithModel([](ModemModel& m) { return m.pbRuim.entries[3].name == "Card 3"; }));
    EXPECT_EQ(Count("tealfin_pbook", "storage_type=2 AND \"index\"=3 AND name='Card 3'"), 1);
}
