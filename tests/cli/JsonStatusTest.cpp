// The one-shot status report and the JSON documents of the listing commands,
// parsed with the JSON library; values from the modem arrive range checked.
#include "CliFixture.h"

#include <sqlite3.h>

using kvtest::CliFixture;

TEST_F(CliFixture, StatusReportsTheModemAsTheWindowShowsIt)
{
    StartSim();
    sim->Command("signal -95 -110");
    sim->Command("battery 3650 0");
    sim->Command("roaming 1");
    const auto doc = RunJson({"status"});
    EXPECT_EQ(doc["port"]["com"], sim->ComNumber());
    EXPECT_EQ(doc["port"]["device_kind"], 2);
    EXPECT_EQ(doc["service"]["state"], "1x (hybrid with EV-DO)");
    EXPECT_EQ(doc["service"]["system_mode"], "CDMA 1x");
    EXPECT_EQ(doc["roaming"]["roaming"], true);
    EXPECT_EQ(doc["signal"]["1x"]["dbm"], -95);
    EXPECT_EQ(doc["signal"]["1x"]["bars"], 2);
    EXPECT_EQ(doc["signal"]["evdo"]["dbm"], -110); // below the weakest bar: no bars
    EXPECT_EQ(doc["signal"]["evdo"]["bars"], 0);
    EXPECT_EQ(doc["battery"]["millivolts"], 3650);
    EXPECT_EQ(doc["battery"]["level_code"], 2);
    EXPECT_EQ(doc["battery"]["charger_connected"], false);
    EXPECT_EQ(doc["card"]["state"], "ready");
    EXPECT_EQ(doc["card"]["pin_attempts_left"], 3);
    EXPECT_EQ(doc["numbers"]["esn"], "9F2A61C4");
    EXPECT_EQ(doc["numbers"]["min"], "(858) 555-0123");
    EXPECT_FALSE(doc["firmware"]["info"].get<std::string>().empty());
    EXPECT_EQ(doc["messages"]["memory"], 4);
    EXPECT_EQ(doc["messages"]["ruim"], 2);
    EXPECT_EQ(doc["phonebook"]["memory"]["used"], 4);
    EXPECT_EQ(doc["phonebook"]["ruim"]["used"], 3);
    EXPECT_GT(doc["phonebook"]["ruim"]["capacity"].get<int>(), 0);

    const auto r = Run({"status"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("| signal 1x:             2 of 5 bars (-95 dBm)\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("| ESN:                   9F2A61C4\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("| ruim:                  3 of "), std::string::npos) << r.out;
}

TEST_F(CliFixture, StatusReportsACardWaitingForItsPin)
{
    // the start-up chain stops at the card: the report still comes
    StartSim(true, true);
    const auto doc = RunJson({"status"});
    EXPECT_EQ(doc["card"]["state"], "PIN required");
    EXPECT_EQ(doc["card"]["pin_check"], true);
    EXPECT_EQ(doc["card"]["pin_attempts_left"], 3);
    EXPECT_EQ(doc["signal"]["1x"]["dbm"], -79);
    EXPECT_TRUE(doc["phonebook"]["ruim"]["capacity"].is_null());
}

// A card that wants its unblock code: the report names it (the command line
// asks no code), and a command that needs the card says why it cannot run.
TEST_F(CliFixture, ABlockedCardIsReportedAsSuch)
{
    StartSim();
    ASSERT_EQ(sim->Command("card puk-locked"), "OK\n");
    const auto doc = RunJson({"status"});
    EXPECT_EQ(doc["card"]["state"], "PUK required");
    EXPECT_TRUE(doc["card"]["unblock_attempts_left"].is_number()) << doc["card"];
    EXPECT_EQ(doc["signal"]["1x"]["dbm"], -79);
    auto r = Run({"status"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("| state:                 blocked: it needs its unblock code (PUK)\n"), std::string::npos)
        << r.out;
    r = Run({"sms", "list"});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_NE(r.err.find("is blocked: it needs its unblock code (PUK)"), std::string::npos) << r.err;
    const bool stillBlocked = sim->WithModel([](kv::sim::ModemModel& m) { return m.card.Blocked(); });
    EXPECT_TRUE(stillBlocked);
}

TEST_F(CliFixture, ModemValuesOutOfRangeNeverReachTheTableOrTheScreen)
{
    StartSim();
    sim->Command("layout long");
    sim->WithModel([](kv::sim::ModemModel& m) {
        m.rssi1x = 50266033;
        m.pbMemory.entries[9896191] = {"5551111", "Far Away"};
        m.pbMemory.entries[6] = {"55x5;2#", "Odd Digits"};
        m.newSmsCountOverride = 0x8002; // -32766 as the signed count
    });
    const auto status = RunJson({"status"});
    EXPECT_TRUE(status["signal"]["1x"]["dbm"].is_null()) << status["signal"].dump();
    EXPECT_EQ(status["signal"]["1x"]["bars"], 0);
    EXPECT_EQ(status["signal"]["evdo"]["dbm"], -84);
    EXPECT_EQ(status["messages"]["new"], 0);
    // the poll took the count as none: it wrote 0, not 32770 or -32766
    EXPECT_EQ(Run({"config", "get", "teal_dialer.ini", "SmsC", "smscnt"}).out, "0\n");

    const auto pb = RunJson({"pb", "list", "memory"});
    bool odd = false;
    for (const auto& e : pb["entries"]) {
        EXPECT_NE(e["index"], 9896191);
        if (e["index"] == 6) {
            odd = true;
            EXPECT_EQ(e["number"], "5552#");
        }
    }
    EXPECT_TRUE(odd) << pb.dump();
}

TEST_F(CliFixture, ListingCommandsPrintOneJsonDocument)
{
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(DbPath().c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db,
                               "INSERT INTO tealfin_vcall VALUES (3, 1, 'Alice', '6195550199', "
                               "'(2026/12/01/Tuesday-09:15)', '00:00:00');"
                               "INSERT INTO tealfin_vcall VALUES (1, 2, 'Bo' || char(27) || '[2J', '5551234', "
                               "'(2026/12/02/Wednesday-10:00)', '00:01:05');"
                               "INSERT INTO tealfin_pbook VALUES (1, 1, 'Alice', '6195550199');",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
    }
    auto doc = RunJson({"history"});
    ASSERT_EQ(doc["calls"].size(), 2u) << doc.dump();
    EXPECT_EQ(doc["calls"][0]["index"], 2);
    EXPECT_EQ(doc["calls"][0]["kind"], "outgoing");
    EXPECT_EQ(doc["calls"][0]["name"], "Bo\x1b[2J");
    EXPECT_EQ(doc["calls"][0]["duration"], "00:01:05");
    EXPECT_EQ(doc["calls"][1]["kind"], "missed");
    const auto r = Run({"history"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("2\toutgoing\t5551234\tBo\\x1b[2J\t"), std::string::npos) << r.out;

    doc = RunJson({"db", "check"});
    EXPECT_EQ(doc["call_records"], 2);
    EXPECT_EQ(doc["phonebook_rows"], 5); // with the four protected rows of the supplied file
    doc = RunJson({"db", "lookup", "6195550199"});
    EXPECT_EQ(doc["found"], true);
    EXPECT_EQ(doc["name"], "Alice");
    doc = RunJson({"db", "lookup", "000"});
    EXPECT_EQ(doc["found"], false);
    EXPECT_TRUE(doc["name"].is_null());
    doc = RunJson({"db", "history"});
    EXPECT_EQ(doc["calls"].size(), 2u);

    // a failure is a document too, and a command without output says ok
    doc = RunJson({"pb", "add", "memory", "--index", "1abc", "X", "1"}, 2);
    EXPECT_EQ(doc["error"]["exit_status"], 2);
    EXPECT_NE(doc["error"]["message"].get<std::string>().find("--index"), std::string::npos);
    doc = RunJson({"config", "set", "teal_dialer.ini", "top", "num", "1"});
    EXPECT_EQ(doc["ok"], true);
    doc = RunJson({"config", "get", "teal_dialer.ini", "top", "num"});
    EXPECT_EQ(doc["value"], "1");
    doc = RunJson({"traffic"});
    EXPECT_TRUE(doc["last_session"].is_null()) << doc.dump(); // no session yet
    EXPECT_EQ(doc["total_sent_bytes"], 0);
    EXPECT_TRUE(doc["current_month"].contains("download"));
    doc = RunJson({"at", "apn", "460030912345678"});
    EXPECT_EQ(doc["apn"], "3GNET");
    EXPECT_EQ(doc["key"], "46003");
    // each command's help names the fields of its document
    EXPECT_NE(Run({"status", "--help"}).out.find("\"pin_attempts_left\""), std::string::npos);
    EXPECT_NE(Run({"sms", "--help"}).out.find("\"memory_count\""), std::string::npos);

    StartSim();
    doc = RunJson({"ports"});
    EXPECT_EQ(doc["port"]["com"], sim->ComNumber());
    EXPECT_EQ(doc["port"]["usable"], true);
    EXPECT_EQ(doc["driver"], "new");
    ASSERT_FALSE(doc["devices"].empty());
    EXPECT_EQ(doc["devices"][0]["diagnostic"], true);
    EXPECT_TRUE(doc["problem"].is_null());
}
