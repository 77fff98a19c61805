// Texts from the network and the card reach the terminal escaped, one
// record per line, in the listings and in the diagnostic log; JSON carries
// them exactly; the log goes where the global options say, for every command.
#include "CliFixture.h"

#include <algorithm>

using kvtest::CliFixture;
using kvtest::Lines;
using kvtest::OnlyPrintable;

namespace {

const std::string kHostile = "evil\x1b]0;pwned\x07\x1b[2Jdone\xc2\x9b";
const std::string kHostileShown = "evil\\x1b]0;pwned\\x07\\x1b[2Jdone\\u009b";

} // namespace

TEST_F(CliFixture, HostileMessageAndNameAreShownEscapedOneRecordPerLine)
{
    StartSim();
    ASSERT_NE(sim->Command("sms 6195550100 " + kHostile).find("OK"), std::string::npos);
    sim->WithModel([](kv::sim::ModemModel& m) {
        m.pbRuim.entries[4] = {"5550004", "Mal\nlory\x1b[31m"};
    });

    auto r = Run({"-v", "sms", "list"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(OnlyPrintable(r.out)) << r.out;
    EXPECT_TRUE(OnlyPrintable(r.err)); // the log's "data=%s" line carries the text too
    EXPECT_NE(r.out.find("6195550100\t" + kHostileShown + "\n"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find(kHostileShown), std::string::npos);
    for (const std::string& line : Lines(r.out)) {
        if (line.rfind("memory=", 0) != 0) {
            EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 5) << line;
        }
    }

    r = Run({"sms", "read", "memory:4"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(OnlyPrintable(r.out));
    EXPECT_NE(r.out.find("\n" + kHostileShown + "\n"), std::string::npos) << r.out;

    r = Run({"pb", "list", "ruim"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(OnlyPrintable(r.out));
    EXPECT_NE(r.out.find("ruim\t4\t5550004\tMal\\nlory\\x1b[31m\n"), std::string::npos) << r.out;
    EXPECT_EQ(Lines(r.out).size(), 4u) << r.out;

    // JSON keeps the exact texts (escaped by the writer, parsed back here)
    const auto sms = RunJson({"sms", "list", "memory"});
    bool found = false;
    for (const auto& m : sms["messages"])
        if (m["number"] == "6195550100") {
            found = true;
            EXPECT_EQ(m["text"], kHostile);
            EXPECT_EQ(m["store"], "memory");
            EXPECT_EQ(m["box"], "read"); // "sms read" above marked it read
        }
    EXPECT_TRUE(found) << sms.dump();
    const auto pb = RunJson({"pb", "list", "ruim"});
    ASSERT_EQ(pb["entries"].size(), 4u) << pb.dump();
    EXPECT_EQ(pb["entries"][3]["name"], "Mal\nlory\x1b[31m");
    EXPECT_EQ(pb["ruim"]["used"], 4);
    EXPECT_FALSE(pb.contains("memory"));
}

TEST_F(CliFixture, LogFileAndVerboseWorkWithRun)
{
    StartSim();
    const std::string logFile = settings.Path("diag.log");
    auto r = Run({"--log-file", logFile, "run", "--seconds", "2"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string log = kvtest::ReadFileBytes(logFile);
    EXPECT_NE(log.find("UserDmRestart()"), std::string::npos) << log;
    ASSERT_FALSE(r.out.empty());
    for (const std::string& line : Lines(r.out))
        EXPECT_EQ(line.rfind("[run] ", 0), 0u) << line; // no log line on standard output

    r = Run({"-v", "run", "--seconds", "1"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.err.find("UserDmRestart()"), std::string::npos);
    EXPECT_EQ(r.out.find("UserDmRestart()"), std::string::npos);

    const auto doc = RunJson({"run", "--seconds", "1"});
    EXPECT_EQ(doc["ended"], "stopped");
    EXPECT_FALSE(doc["events"].empty());
}
