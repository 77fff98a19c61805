// korvianet-cli while another process owns the modem: the commands ask the
// owner on the session bus (a stub here, on a private dbus-daemon) and print
// what they print when they open the port themselves.
#include "CliFixture.h"

#include "support/FakeOwner.h"
#include "support/PrivateBus.h"

#include <chrono>
#include <cstdlib>
#include <future>
#include <thread>

namespace {

using kvtest::FakeOwner;
using nlohmann::json;

// The status document as the owner sends it: paths joined by dots, no nulls.
void Flatten(const json& doc, const std::string& prefix, json& out)
{
    for (auto it = doc.begin(); it != doc.end(); ++it) {
        const std::string key = prefix.empty() ? it.key() : prefix + "." + it.key();
        if (it->is_object())
            Flatten(*it, key, out);
        else if (!it->is_null())
            out[key] = *it;
    }
}

bool Contains(const std::vector<std::string>& calls, const std::string& call)
{
    for (const std::string& c : calls)
        if (c == call)
            return true;
    return false;
}

class OwnerBusTest : public kvtest::CliFixture {
protected:
    void SetUp() override
    {
        CliFixture::SetUp();
        if (const char* old = std::getenv("DBUS_SESSION_BUS_ADDRESS"))
            m_oldAddress = old;
        ASSERT_TRUE(bus.Start()) << "dbus-daemon did not start";
        UseBus(bus.Address());
        owner = std::make_unique<FakeOwner>(bus.Address());
    }
    void TearDown() override
    {
        owner.reset();
        bus.Stop();
        if (m_oldAddress.empty())
            unsetenv("DBUS_SESSION_BUS_ADDRESS");
        else
            setenv("DBUS_SESSION_BUS_ADDRESS", m_oldAddress.c_str(), 1);
        CliFixture::TearDown();
    }
    static void UseBus(const std::string& address) { setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1); }

    kvtest::PrivateBus bus{settings.Dir()};
    std::unique_ptr<FakeOwner> owner;

private:
    std::string m_oldAddress;
};

TEST_F(OwnerBusTest, StatusFromTheOwnerReadsAsAReportTakenHere)
{
    // Taken here: no bus at that address, so the tool opens the port itself.
    StartSim();
    UseBus("unix:path=" + settings.Dir() + "/no-bus");
    const auto directJson = Run({"--json", "status"});
    ASSERT_EQ(directJson.exitCode, 0) << directJson.err;
    const json direct = json::parse(directJson.out);
    const auto directText = Run({"status"});
    ASSERT_EQ(directText.exitCode, 0) << directText.err;
    ASSERT_NE(directText.out.find("| ESN:"), std::string::npos);
    sim.reset(); // from now on the port is the owner's business

    json flat = json::object();
    Flatten(direct, "", flat);
    owner->SetStatus(flat);
    ASSERT_TRUE(owner->Start());
    UseBus(bus.Address());
    const auto viaJson = Run({"--json", "status"});
    const auto viaText = Run({"status"});
    EXPECT_EQ(viaJson.exitCode, 0) << viaJson.err;
    EXPECT_EQ(viaText.exitCode, 0) << viaText.err;
    EXPECT_EQ(json::parse(viaJson.out), direct); // the nulls are back in place
    EXPECT_EQ(viaJson.out, directJson.out); // byte for byte, in the same order
    EXPECT_EQ(viaText.out, directText.out);
    EXPECT_TRUE(Contains(owner->Calls(), "GetStatus"));

    // A value of the wrong kind is not trusted: it reads as unknown.
    flat["signal.1x.bars"] = "four";
    owner->SetStatus(flat);
    const json odd = RunJson({"status"});
    EXPECT_TRUE(odd["signal"]["1x"]["bars"].is_null());
}

TEST_F(OwnerBusTest, NamedErrorsOfTheOwnerBecomeTheExitStatusAndItsText)
{
    ASSERT_TRUE(owner->Start());
    const struct {
        const char* error;
        const char* text;
        int exit;
    } cases[] = {
        {"org.korvianet.Korvianet1.Error.NotReady", "The modem is starting.", 3},
        {"org.korvianet.Korvianet1.Error.InvalidArgument", "NUMBER: too long", 2},
        {"org.korvianet.Korvianet1.Error.TimedOut", "No answer from the modem.", 4},
        {"org.korvianet.Korvianet1.Error.Refused", "The modem refused it.", 1},
        {"org.example.Unheard.Of", "whatever", 1},
    };
    for (const auto& c : cases) {
        owner->FailMethod("GetStatus", c.error, c.text);
        const auto r = Run({"status"});
        EXPECT_EQ(r.exitCode, c.exit) << c.error << r.err;
        EXPECT_NE(r.err.find(c.text), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
    owner->FailMethod("GetStatus", "org.korvianet.Korvianet1.Error.NotReady", "The modem is starting.");
    const json doc = RunJson({"status"}, 3);
    EXPECT_EQ(doc["error"]["exit_status"], 3);
    EXPECT_EQ(doc["error"]["message"], "The modem is starting.");
}

TEST_F(OwnerBusTest, SmsSendThroughTheOwnerTellsEachRecipient)
{
    owner->SetSmsResults({{"5550101", "delivered", 0}, {"5550102", "refused", 0x7ff0}});
    ASSERT_TRUE(owner->Start());
    const auto r = Run({"sms", "send", "5550101", "5550102", "--", "hello", "there"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.out.find("5550101\tdelivered\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("5550102\tfailed: the modem refused to send it (0x7ff0)\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Sending messages have 1 failed of 2 total.\n"), std::string::npos) << r.out;
    EXPECT_TRUE(Contains(owner->Calls(), "SendSms [5550101,5550102] hello there  false")) << owner->Calls().back();

    owner->SetSmsResults({{"5550101", "no report", 0}});
    const json doc = RunJson({"sms", "send", "5550101", "--", "hi"}, 4);
    EXPECT_EQ(doc["total"], 1);
    EXPECT_EQ(doc["failed"], 1);
    EXPECT_EQ(doc["results"][0]["outcome"], "no report");

    // Arguments are checked here first, as without an owner: nothing is sent.
    const size_t before = owner->Calls().size();
    const auto bad = Run({"sms", "send", "55501x1", "--", "hi"});
    EXPECT_EQ(bad.exitCode, 2);
    const auto six = Run({"sms", "send", "1", "2", "3", "4", "5", "6", "--", "hi"});
    EXPECT_EQ(six.exitCode, 2);
    EXPECT_EQ(owner->Calls().size(), before);
}

TEST_F(OwnerBusTest, CommandsThatNeedThePortItselfAreRefusedPlainly)
{
    ASSERT_TRUE(owner->Start());
    for (const std::vector<std::string>& args : {std::vector<std::string>{"at", "status"},
                                                 std::vector<std::string>{"run", "--seconds", "1"}}) {
        const auto r = Run(args);
        EXPECT_EQ(r.exitCode, 3) << args[0];
        EXPECT_NE(r.err.find("the modem is in use by Korvianet (the window or 'korvianet-cli run'): '" + args[0]
                             + "' needs the port itself; close it first"),
                  std::string::npos)
            << r.err;
    }
}

TEST_F(OwnerBusTest, MonitorPrintsALinePerChangeAndPerSignal)
{
    ASSERT_TRUE(owner->Start());
    for (const bool asJson : {false, true}) {
        std::vector<std::string> args = {"monitor", "--seconds", "4"};
        if (asJson)
            args.insert(args.begin(), "--json");
        const size_t seen = owner->Calls().size();
        auto run = std::async(std::launch::async, [&] { return Run(args); });
        // Once it has read the properties it is subscribed.
        for (int i = 0; i < 300 && owner->Calls().size() == seen; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        owner->SetProperty("Signal1xDbm", asJson ? -91 : -90);
        ASSERT_TRUE(owner->Emit({"SmsReceived", "suuss", json::array({"memory", 3, 393219, "+15550100", "Alice"})}));
        const kvtest::CliResult r = run.get();
        EXPECT_EQ(r.exitCode, 0) << r.err;
        const auto lines = kvtest::Lines(r.out);
        if (!asJson) {
            EXPECT_NE(r.out.find(" Signal1xBars: 4 of 5 bars\n"), std::string::npos) << r.out; // the first state
            EXPECT_NE(r.out.find(" Signal1xDbm: -90 dBm\n"), std::string::npos) << r.out;
            EXPECT_NE(r.out.find(" SmsReceived: a new message from Alice (+15550100) in memory:3\n"),
                      std::string::npos)
                << r.out;
            continue;
        }
        bool change = false, event = false;
        for (const std::string& line : lines) {
            json doc;
            ASSERT_NO_THROW(doc = json::parse(line)) << line;
            ASSERT_TRUE(doc.contains("time"));
            if (doc.contains("changed") && doc["changed"] == json::array({"Signal1xDbm"})) {
                change = true;
                EXPECT_EQ(doc["status"]["Signal1xDbm"], -91);
                EXPECT_EQ(doc["status"]["CardState"], "ready");
            }
            if (doc.value("event", "") == "SmsReceived") {
                event = true;
                EXPECT_EQ(doc["sender"], "+15550100");
                EXPECT_EQ(doc["slot"], 3);
            }
        }
        EXPECT_TRUE(change) << r.out;
        EXPECT_TRUE(event) << r.out;
    }
}

} // namespace

namespace {

TEST_F(OwnerBusTest, PhonebookAndMessagesThroughTheOwner)
{
    owner->SetMessages({{393219, "memory", 3, "unread", "2026-01-02 03:04:05", "+15550100", "hi\nthere"}});
    ASSERT_TRUE(owner->Start());
    const auto list = Run({"sms", "list"});
    EXPECT_EQ(list.exitCode, 0) << list.err;
    EXPECT_EQ(list.out, "393219\tmemory:3\tunread\t2026-01-02 03:04:05\t+15550100\thi\\nthere\nmemory=2 ruim=1\n");
    const json read = RunJson({"sms", "read", "memory:3"});
    EXPECT_EQ(read["text"], "hi\nthere");
    EXPECT_TRUE(Contains(owner->Calls(), "ReadSms 393219"));
    const auto missing = Run({"sms", "read", "memory:4"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("no such message"), std::string::npos) << missing.err;

    const json pb = RunJson({"pb", "list", "memory"});
    EXPECT_EQ(pb["memory"]["capacity"], 300);
    EXPECT_EQ(pb["entries"][0]["name"], "Alice");
    const auto added = Run({"pb", "add", "memory", "Bob", "5550102"});
    EXPECT_EQ(added.exitCode, 0) << added.err;
    EXPECT_EQ(added.out, "stored memory entry 7\n");
    EXPECT_TRUE(Contains(owner->Calls(), "AddPhonebookEntry memory -1 Bob 5550102"));
    EXPECT_EQ(Run({"pb", "delete", "ruim", "2"}).out, "deleted ruim entry 2\n");
}

TEST_F(OwnerBusTest, CallStepsAndTheDataConnectionThroughTheOwner)
{
    ASSERT_TRUE(owner->Start());
    const auto call = Run({"call", "--timeout", "5", "dial", "5550100", "dtmf", "12#", "hangup"});
    EXPECT_EQ(call.exitCode, 0) << call.err;
    EXPECT_EQ(call.out, "dialling 5550100\nconnected\nsent dtmf 12#\nended\n");
    const auto calls = owner->Calls();
    EXPECT_TRUE(Contains(calls, "Dial 5550100"));
    EXPECT_TRUE(Contains(calls, "SendDtmf 12#"));
    EXPECT_TRUE(Contains(calls, "Hangup"));
    // answer waits for a call that never comes
    const auto answer = Run({"call", "--timeout", "1", "answer"});
    EXPECT_EQ(answer.exitCode, 1);
    EXPECT_NE(answer.err.find("no incoming call"), std::string::npos);

    const auto connect = Run({"connect", "--seconds", "1"});
    EXPECT_EQ(connect.exitCode, 0) << connect.err << connect.out;
    EXPECT_NE(connect.out.find("[net] state: connected\n"), std::string::npos) << connect.out;
    EXPECT_NE(connect.out.find("[net] duration 00:00:05  received 1000  sent 200"), std::string::npos) << connect.out;
    EXPECT_NE(connect.out.find("[net] hanging up\n[net] disconnected\n"), std::string::npos)
        << connect.out;
    EXPECT_TRUE(Contains(owner->Calls(), "Connect  "));
    EXPECT_TRUE(Contains(owner->Calls(), "Disconnect"));
    EXPECT_EQ(Run({"net", "status"}).out, "state not connected\n");
    EXPECT_EQ(Run({"disconnect"}).exitCode, 1); // not connected
}

// Without an owner, monitor runs the modem itself and prints the same kind
// of lines.
TEST_F(OwnerBusTest, MonitorWithoutAnOwnerWatchesTheModemItself)
{
    StartSim();
    const auto r = Run({"--json", "monitor", "--seconds", "6"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    bool ready = false;
    for (const std::string& line : kvtest::Lines(r.out)) {
        json doc;
        ASSERT_NO_THROW(doc = json::parse(line)) << line;
        ASSERT_TRUE(doc["status"].is_object()) << line;
        ready = ready || doc["status"]["EngineReady"] == true;
    }
    EXPECT_TRUE(ready) << r.out;
}

} // namespace

namespace {

TEST_F(OwnerBusTest, StatusWatchTellsWhenTheOwnerLeavesTheBus)
{
    ASSERT_TRUE(owner->Start());
    auto run = std::async(std::launch::async, [&] { return Run({"--json", "status", "--watch", "--seconds", "3"}); });
    for (int i = 0; i < 300 && owner->Calls().empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    owner->Stop();
    const kvtest::CliResult r = run.get();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const auto lines = kvtest::Lines(r.out);
    ASSERT_GE(lines.size(), 2u) << r.out;
    EXPECT_EQ(json::parse(lines.front())["changed"].size(), 32u); // every property first
    EXPECT_EQ(json::parse(lines.back())["event"], "OwnerGone") << r.out;
}

} // namespace
