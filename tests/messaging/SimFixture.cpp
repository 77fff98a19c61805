#include "SimFixture.h"

#include "platform/Event.h"

#include <sqlite3.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace kvtest {

void SimFixture::SetUp()
{
    m_dir = MakeTempDir("kvmsg");
    WriteFileBytes(DbPath(), ReadFileBytes(KORVIA_BUILT_DB));
    ASSERT_FALSE(ReadFileBytes(DbPath()).empty()) << "the build did not produce " << KORVIA_BUILT_DB;
    setenv("KORVIANET_DB", DbPath().c_str(), 1);
    // No extra pause after each exchange: the tests time nothing.
    m_cfg.WriteFile("syskor.ini", "[sysinf]\nslps=0\n");
}

void SimFixture::TearDown()
{
    StopSession();
    if (m_sim)
        m_sim->Stop();
    m_sim.reset();
    unsetenv("KORVIANET_DB");
    chmod(m_dir.c_str(), 0700);
    RemoveTree(m_dir);
}

void SimFixture::StartSim(const std::function<void(kv::sim::ModemModel&)>& seed)
{
    kv::sim::ModemSimulator::Options o;
    o.registerDevice = false;
    o.demoState = false;
    o.unsolicitedPeriodMs = 0;
    m_sim = std::make_unique<kv::sim::ModemSimulator>(o);
    if (seed)
        m_sim->WithModel([&](kv::sim::ModemModel& m) { seed(m); });
    ASSERT_TRUE(m_sim->Start());
}

bool SimFixture::StartSession(bool readPhonebooks)
{
    kv::CMessagingSession::Options o;
    o.device = m_sim->SlavePath();
    o.dbPath = DbPath();
    o.readPhonebooks = readPhonebooks;
    o.startTimeoutMs = 20000;
    m_session = std::make_unique<kv::CMessagingSession>(o);
    return m_session->Start();
}

void SimFixture::StopSession()
{
    if (m_session)
        m_session->Stop();
    m_session.reset();
}

int SimFixture::Count(const std::string& table, const std::string& where)
{
    sqlite3* db = nullptr;
    int n = -1;
    if (sqlite3_open_v2(DbPath().c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        const std::string sql = "SELECT count(*) FROM " + table + " WHERE " + where;
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
            n = sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return n;
}

void SimFixture::Sql(const std::string& statement)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(DbPath().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    char* err = nullptr;
    const int rc = sqlite3_exec(db, statement.c_str(), nullptr, nullptr, &err);
    EXPECT_EQ(rc, SQLITE_OK) << (err ? err : "") << " in " << statement;
    sqlite3_free(err);
    sqlite3_close(db);
}

bool SimFixture::Until(const std::function<bool()>& pred, int64_t ms)
{
    if (!m_session)
        return pred();
    return m_session->Host().RunUntil(pred, ms) || pred();
}

int ScriptLink::Transact(const kv::DiagRequest& request, uint8_t* reply, size_t replySize,
                         size_t& replyLength)
{
    m_requests.emplace_back(request.Data(), request.Data() + request.length);
    const std::vector<uint8_t> answer = m_handler(request);
    replyLength = 0;
    if (answer.empty())
        return kv::DIAG_TIMEOUT;
    replyLength = std::min(answer.size(), replySize);
    std::copy_n(answer.begin(), replyLength, reply);
    return kv::DIAG_OK;
}

} // namespace kvtest
