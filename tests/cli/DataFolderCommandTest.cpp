// Where korvianet-cli keeps its data: the user's database copy in a private
// folder, made from the template, which a run against the modem never
// changes; a missing template and a damaged copy are reported, not papered
// over.
#include "RunCli.h"

#include "sim/ModemSimulator.h"
#include "support/TempSettings.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

using kvtest::RunCli;

namespace {

class CliData : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("KORVIANET_SYSFS_ROOT", (settings.Dir() + "/no-sysfs").c_str(), 1);
        unsetenv("KORVIANET_DOSDEVICES");
        unsetenv("KORVIANET_DB");
        stat(KORVIA_BUILT_DB, &before);
        templateBytes = kvtest::ReadFileBytes(KORVIA_BUILT_DB);
        ASSERT_FALSE(templateBytes.empty());
    }
    void TearDown() override
    {
        unsetenv("KORVIANET_SYSFS_ROOT");
        struct stat now {};
        ASSERT_EQ(stat(KORVIA_BUILT_DB, &now), 0);
        EXPECT_EQ(now.st_mtim.tv_sec, before.st_mtim.tv_sec);
        EXPECT_EQ(now.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
        EXPECT_EQ(kvtest::ReadFileBytes(KORVIA_BUILT_DB), templateBytes) << "the template was written";
    }
    kvtest::CliResult Run(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--config-dir", settings.Dir()});
        return RunCli(args);
    }
    std::string Copy() const { return settings.DataDir() + "/WVL.MDB"; }

    kvtest::TempSettings settings;
    struct stat before {};
    std::string templateBytes;
};

int CountRows(const std::string& path, const char* where)
{
    sqlite3* db = nullptr;
    int n = -1;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        const std::string sql = std::string("SELECT count(*) FROM tealfin_pbook WHERE ") + where;
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
            n = sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return n;
}

mode_t ModeOf(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : mode_t(-1);
}

} // namespace

TEST_F(CliData, ARunAgainstTheModemFillsTheUsersCopyAndNeverTheTemplate)
{
    kv::sim::ModemSimulator::Options o;
    o.unsolicitedPeriodMs = 0;
    kv::sim::ModemSimulator sim(o);
    ASSERT_TRUE(sim.Start());

    const auto r = Run({"run", "--seconds", "6"});
    EXPECT_EQ(r.exitCode, 0) << r.out.substr(0, 4000) << r.err;
    EXPECT_EQ(ModeOf(settings.DataDir()), mode_t(0700));
    EXPECT_EQ(ModeOf(Copy()), mode_t(0600));
    EXPECT_GT(CountRows(Copy(), "storage_type IN (1,2)"), 0) << "the phonebooks were read into the copy";
    EXPECT_EQ(CountRows(KORVIA_BUILT_DB, "storage_type IN (1,2)"), 0);

    // The next start works on the same copy: nothing is copied again.
    const std::string filled = kvtest::ReadFileBytes(Copy());
    const auto again = Run({"db", "path"});
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(again.out, Copy() + "\n");
    EXPECT_EQ(kvtest::ReadFileBytes(Copy()), filled);
}

TEST_F(CliData, WithoutATemplateTheToolSaysSoAndCreatesNothing)
{
    if (std::filesystem::exists("/usr/share/korvianet/WVL.MDB"))
        GTEST_SKIP() << "an installed template exists on this machine";
    // A copy of the tool in a folder that holds no template.
    const std::string lone = kvtest::MakeTempDir("kvlone");
    const std::string tool = lone + "/korvianet-cli";
    std::filesystem::copy_file(KV_CLI_PATH, tool);
    chmod(tool.c_str(), 0755);

    for (const char* cmd : {"history", "db"}) {
        std::vector<std::string> args{"--config-dir", settings.Dir(), cmd};
        if (std::string(cmd) == "db")
            args.push_back("check");
        const auto r = kvtest::RunProgram(tool, args);
        EXPECT_EQ(r.exitCode, 1) << cmd << ": " << r.out << r.err;
        EXPECT_NE(r.err.find("the database template WVL.MDB was not found"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(lone + "/WVL.MDB"), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(Copy()));
    }
    kvtest::RemoveTree(lone);
}

TEST_F(CliData, AChangedOrDamagedCopyIsUsedAsItIsAndNeverReplaced)
{
    std::filesystem::create_directories(settings.DataDir());
    chmod(settings.DataDir().c_str(), 0700);

    kvtest::WriteFileBytes(Copy(), std::string(4096, 'x'));
    auto r = Run({"db", "check"});
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.err.find("korvianet-cli: "), std::string::npos);
    EXPECT_EQ(kvtest::ReadFileBytes(Copy()), std::string(4096, 'x'));

    // A sound copy with the user's own rows: kept and shown.
    std::filesystem::remove(Copy());
    std::filesystem::copy_file(KORVIA_BUILT_DB, Copy());
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(Copy().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "INSERT INTO tealfin_vcall VALUES (3, 7, 'Mine', '5551234', '(2024/01/02/x-03:04)', "
                           "'00:00:09')",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    r = Run({"history"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("5551234\tMine"), std::string::npos) << r.out;
}
