// Each failure is named for what it is, with its code and the exit status
// of the table: database errors, a modem change the table could not follow
// (and its repair by the next read), an unusable port, no modem, a refused
// delivery.
#include "CliFixture.h"

#include <chrono>
#include <future>
#include <sqlite3.h>
#include <thread>
#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>

using kvtest::CliFixture;

TEST_F(CliFixture, CorruptDatabaseExits1WithTheDatabaseError)
{
    kvtest::WriteFileBytes(DbPath(), std::string(4096, '\x5a'));
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"db", "lookup", "6195550199"}, {"db", "check"}, {"db", "history"}, {"history"}}) {
        const auto r = Run(args);
        EXPECT_EQ(r.exitCode, 1) << args[1 % args.size()];
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("database error: "), std::string::npos) << r.err;
    }
    const auto doc = RunJson({"db", "lookup", "6195550199"}, 1);
    EXPECT_EQ(doc["error"]["exit_status"], 1);
    EXPECT_NE(doc["error"]["message"].get<std::string>().find("database error"), std::string::npos);
}

TEST_F(CliFixture, ModemChangeTheDatabaseCannotFollowIsNamedAndRepairedByTheNextRead)
{
    StartSim();
    {
        // Another program holds the write lock: reads go on, writes fail.
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(DbPath().c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        const auto r = Run({"pb", "add", "memory", "--index", "7", "Eve", "5551234"});
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_NE(r.err.find("the modem stored memory entry 7, but the database could not follow"), std::string::npos)
            << r.err;
        EXPECT_NE(r.err.find("(0x7003)"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("refused"), std::string::npos) << r.err;
    }
    EXPECT_NE(sim->Command("list-pb memory").find("9:7 number=5551234 name=Eve"), std::string::npos);
    const auto r = Run({"pb", "list", "memory"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("memory\t7\t5551234\tEve\n"), std::string::npos) << r.out;
}

TEST_F(CliFixture, PortFoundButInUseIsNamedWithItsReason)
{
    StartSim();
    const int fd = ::open(sim->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    auto r = Run({"ports"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.out.rfind("COM" + std::to_string(sim->ComNumber()) + " ", 0), 0u) << r.out;
    EXPECT_NE(r.err.find("was found but cannot be used: another program is using it"), std::string::npos) << r.err;
    r = Run({"sms", "list"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("cannot be used: another program is using it"), std::string::npos) << r.err;
    const auto doc = RunJson({"ports"}, 3);
    EXPECT_EQ(doc["port"]["com"], sim->ComNumber());
    EXPECT_EQ(doc["port"]["usable"], false);
    EXPECT_EQ(doc["port"]["problem"], "another program is using it");
    ::close(fd);

    sim.reset(); // gone: no modem at all
    r = Run({"status"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("no modem found"), std::string::npos) << r.err;
}

TEST_F(CliFixture, UndeliveredMessageIsReportedWithItsReport)
{
    StartSim();
    sim->Command("send-report 7");
    const auto doc = RunJson({"sms", "send", "--timeout", "5", "6195550199", "--", "hello"}, 1);
    EXPECT_EQ(doc["total"], 1);
    EXPECT_EQ(doc["failed"], 1);
    ASSERT_EQ(doc["results"].size(), 1u);
    EXPECT_EQ(doc["results"][0]["outcome"], "failed");
    EXPECT_EQ(doc["results"][0]["code"], 7);
    sim->Command("send-report 0");
    const auto r = Run({"sms", "send", "--timeout", "5", "--save", "6195550199", "--", "hello again"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "saved on the card\n6195550199\tdelivered\nSending messages have successful.\n");
    const bool onCard = sim->WithModel([](kv::sim::ModemModel& m) {
        for (const auto& [slot, msg] : m.ruim.slots)
            if (msg.tag >= kv::sim::kTagOutbox && msg.text == "hello again")
                return true;
        return false;
    });
    EXPECT_TRUE(onCard);
}

TEST_F(CliFixture, DeleteAllEmptiesOneBoxAndLeavesTheOther)
{
    StartSim();
    // The demo stores hold five received messages and one stored one.
    auto doc = RunJson({"sms", "delete-all", "inbox"});
    EXPECT_EQ(doc["deleted"], 5);
    EXPECT_EQ(doc["left"], 0);
    const int left = sim->WithModel([](kv::sim::ModemModel& m) {
        int n = 0;
        for (const kv::sim::SmsStore* st : {&m.memory, &m.ruim})
            for (const auto& [slot, msg] : st->slots)
                n += msg.tag <= kv::sim::kTagUnread ? 100 : 1;
        return n;
    });
    EXPECT_EQ(left, 1) << "only the outbox message is left on the modem";
    const auto r = Run({"sms", "delete-all", "inbox"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "deleted 0 of 0 messages in the inbox\n");
    EXPECT_EQ(Run({"sms", "delete-all", "sent"}).exitCode, 2);
}

// The modem unplugged while the first of five messages waits for its
// report: that one is named as taken by the modem, the others are not
// tried, and the status is the one of a modem that went away.
TEST_F(CliFixture, AnUnplugDuringASendStopsTheSendsAsTheModemGone)
{
    StartSim();
    ASSERT_EQ(sim->Command("report-delay 20000"), "OK\n");
    auto cli = std::async(std::launch::async, [&] {
        return Run({"sms", "send", "5550001", "5550002", "5550003", "5550004", "5550005", "--", "hello"});
    });
    bool taken = false;
    for (int i = 0; i < 200 && !taken; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        taken = sim->WithModel([](kv::sim::ModemModel& m) { return !m.sent.empty(); });
    }
    ASSERT_TRUE(taken);
    ASSERT_EQ(sim->Command("unplug"), "OK\n");
    const auto r = cli.get();
    EXPECT_EQ(r.exitCode, 3) << r.out << r.err;
    const auto lines = kvtest::Lines(r.out);
    ASSERT_GE(lines.size(), 5u) << r.out;
    EXPECT_EQ(lines[0], "5550001\tfailed: the modem went away after it took the message, before its delivery report");
    for (size_t i = 1; i < 5; ++i)
        EXPECT_EQ(lines[i], "555000" + std::to_string(i + 1) + "\tnot sent: the modem went away");
    EXPECT_NE(r.err.find("the modem went away"), std::string::npos) << r.err;
    EXPECT_EQ(sim->WithModel([](kv::sim::ModemModel& m) { return m.sent.size(); }), 1u);
}
