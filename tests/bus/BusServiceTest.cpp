// The service as clients nobody here wrote see it: its introspection is the
// interface description's, every property reads the owner's value and
// announces its changes, every event becomes its signal; a taken name, no
// bus, a stop with a call waiting and a call never answered end as they
// should; another user is refused.
#include "BusFixture.h"

#include "support/AsUser.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

using namespace kvtest;

namespace {

// The interface's members as "method Name in s user, ..." lines: names,
// argument names, types and directions, property types and access.
std::set<std::string> Members(std::string xml, const std::string& iface)
{
    xml = std::regex_replace(xml, std::regex("<!--[\\s\\S]*?-->"), "");
    const size_t from = xml.find("<interface name=\"" + iface + "\"");
    const size_t to = xml.find("</interface>", from);
    if (from == std::string::npos || to == std::string::npos)
        return {};
    const std::string body = xml.substr(from, to - from);
    const std::regex tag("<(method|signal|property|arg)\\b([^>]*?)/?>");
    const std::regex attr("(\\w+)=\"([^\"]*)\"");
    std::set<std::string> out;
    std::string member;
    const auto flush = [&] {
        if (!member.empty())
            out.insert(member);
        member.clear();
    };
    for (auto it = std::sregex_iterator(body.begin(), body.end(), tag); it != std::sregex_iterator(); ++it) {
        std::map<std::string, std::string> a;
        const std::string attrs = (*it)[2];
        for (auto at = std::sregex_iterator(attrs.begin(), attrs.end(), attr); at != std::sregex_iterator(); ++at)
            a[(*at)[1]] = (*at)[2];
        const std::string kind = (*it)[1];
        if (kind == "arg") {
            member += " " + a["direction"] + ":" + a["type"] + ":" + a["name"];
        } else {
            flush();
            member = kind + " " + a["name"];
            if (kind == "property") {
                member += " " + a["type"] + " " + a["access"];
                flush();
            }
        }
    }
    flush();
    return out;
}

std::string FileText(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST_F(BusTest, IntrospectionMatchesTheInterfaceDescription)
{
    StartOwner();
    const ToolResult r = RunTool({"gdbus", "introspect", "--address", address, "--dest", kName, "--object-path",
                                  kPath, "--xml"});
    ASSERT_EQ(r.status, 0) << r.output;
    const std::set<std::string> want = Members(FileText(KV_BUS_XML), kName);
    const std::set<std::string> got = Members(r.output, kName);
    ASSERT_GT(want.size(), 50u); // the description was read
    for (const std::string& m : want)
        EXPECT_TRUE(got.count(m)) << "missing or different: " << m;
    for (const std::string& m : got)
        EXPECT_TRUE(want.count(m)) << "not described: " << m;
}

TEST_F(BusTest, EveryPropertyReadsTheOwnersValue)
{
    Child& owner = StartOwner();
    // property, value given to the hub, busctl's answer
    const std::vector<std::array<std::string, 3>> table{
        {"EngineReady", "true", "b true"},          {"Port", "/dev/ttyUSB2", "s \"/dev/ttyUSB2\""},
        {"ComPort", "7", "i 7"},                    {"DeviceKind", "2", "i 2"},
        {"ServiceState", "in~service", "s \"in service\""}, {"ServiceStateCode", "2", "i 2"},
        {"SystemMode", "EV-DO", "s \"EV-DO\""},     {"SystemModeCode", "4", "i 4"},
        {"Roaming", "true", "b true"},              {"Signal1xDbm", "-81", "i -81"},
        {"Signal1xBars", "3", "u 3"},               {"SignalEvdoDbm", "-93", "i -93"},
        {"SignalEvdoBars", "2", "u 2"},             {"BatteryState", "charging", "s \"charging\""},
        {"BatteryLevel", "4", "i 4"},               {"ChargerConnected", "true", "b true"},
        {"CardState", "ready", "s \"ready\""},      {"PinCheck", "true", "b true"},
        {"PinAttemptsLeft", "3", "i 3"},            {"UnblockAttemptsLeft", "10", "i 10"},
        {"NewMessages", "5", "u 5"},                {"MessagesMemory", "12", "i 12"},
        {"MessagesRuim", "4", "i 4"},               {"ConnectionState", "connected", "s \"connected\""},
        {"ConnectionText", "Connected", "s \"Connected\""}, {"ConnectionDuration", "760", "u 760"},
        {"BytesReceived", "5000000000", "t 5000000000"}, {"BytesSent", "123456", "t 123456"},
        {"CallState", "active", "s \"active\""},    {"CallNumber", "5551234", "s \"5551234\""},
        {"CallName", "Alice", "s \"Alice\""},
    };
    // The defaults first: unknown numbers -1, no modem.
    EXPECT_EQ(GetProperty("ComPort").output, "i -1\n");
    EXPECT_EQ(GetProperty("ConnectionState").output, "s \"disconnected\"\n");
    const ToolResult version = GetProperty("Version");
    EXPECT_EQ(version.status, 0);
    EXPECT_NE(version.output, "s \"\"\n");
    for (const auto& [name, value, shown] : table)
        Tell(owner, "set " + name + " " + value);
    for (const auto& [name, value, shown] : table) {
        const ToolResult r = GetProperty(name);
        EXPECT_EQ(r.status, 0) << name << ": " << r.output;
        EXPECT_EQ(r.output, shown + "\n") << name;
    }
    EXPECT_EQ(owner.Output().find("unknown property"), std::string::npos) << owner.Output();
}

TEST_F(BusTest, ChangesAndEventsReachAMonitor)
{
    Child& owner = StartOwner();
    Child monitor;
    ASSERT_TRUE(monitor.Start({"gdbus", "monitor", "--address", address, "--dest", kName}));
    ASSERT_TRUE(monitor.WaitFor("is owned by")) << monitor.Output();
    // Its match rule is sent with the name's lookup; a moment for the
    // daemon to have it.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    Tell(owner, "set Signal1xBars 4");
    Tell(owner, "set CallState incoming");
    // (Changes the thread had no time to send apart come in one signal.)
    EXPECT_TRUE(monitor.WaitFor("PropertiesChanged ('org.korvianet.Korvianet1', {")) << monitor.Output();
    EXPECT_TRUE(monitor.WaitFor("'Signal1xBars': <uint32 4>")) << monitor.Output();
    EXPECT_TRUE(monitor.WaitFor("'CallState': <'incoming'>")) << monitor.Output();
    // The same value again is no change.
    Tell(owner, "set Signal1xBars 4");

    const std::vector<std::pair<std::string, std::string>> events{
        {"SmsReceived memory 3 393219 5551234 Alice", "SmsReceived ('memory', uint32 3, uint32 393219, '5551234', 'Alice')"},
        {"CallIncoming 5559876 Bob", "CallIncoming ('5559876', 'Bob')"},
        {"CallAnswered 5559876", "CallAnswered ('5559876',)"},
        {"CallEnded 5559876 42", "CallEnded ('5559876', uint32 42)"},
        {"CallMissed 5550000 _", "CallMissed ('5550000', '')"},
        {"ConnectionUp Connected", "ConnectionUp ('Connected',)"},
        {"ConnectionDown Disconnected~by~the~network", "ConnectionDown ('Disconnected by the network',)"},
        {"ConnectionFailed No~carrier", "ConnectionFailed ('No carrier',)"},
        {"ModemAdded /dev/ttyUSB0", "ModemAdded ('/dev/ttyUSB0',)"},
        {"ModemRemoved /dev/ttyUSB0", "ModemRemoved ('/dev/ttyUSB0',)"},
        {"QuotaWarning 80 4000000000 5000000000", "QuotaWarning (uint32 80, uint64 4000000000, uint64 5000000000)"},
    };
    for (const auto& [cmd, seen] : events) {
        Tell(owner, "event " + cmd);
        EXPECT_TRUE(monitor.WaitFor("org.korvianet.Korvianet1." + seen)) << seen << "\n" << monitor.Output();
    }
    const std::string out = monitor.Output();
    size_t bars = 0;
    for (size_t at = out.find("'Signal1xBars'"); at != std::string::npos; at = out.find("'Signal1xBars'", at + 1))
        ++bars;
    EXPECT_EQ(bars, 1u) << out;
    monitor.Kill();
}

// Without an address of its own the service goes to the user's session
// bus, as DBUS_SESSION_BUS_ADDRESS names it, where busctl --user finds it.
TEST_F(BusTest, TheSessionBusIsTheUsersOwn)
{
    owners.push_back(std::make_unique<Child>());
    Child& owner = *owners.back();
    ASSERT_TRUE(owner.Start({"env", "-u", "KORVIANET_SESSION_BUS_ADDRESS", "DBUS_SESSION_BUS_ADDRESS=" + address,
                             KV_TEST_OWNER},
                            true));
    ASSERT_TRUE(owner.WaitFor("state: offered")) << owner.Output();
    Tell(owner, "set CallNumber 5551234");
    const ToolResult r = RunTool({"env", "DBUS_SESSION_BUS_ADDRESS=" + address, "busctl", "--user", "get-property",
                                  kName, kPath, kName, "CallNumber"});
    EXPECT_EQ(r.output, "s \"5551234\"\n");
}

TEST_F(BusTest, ASecondOwnerRunsWithoutTheNameAndSaysSo)
{
    Child& first = StartOwner();
    ASSERT_TRUE(first.WaitFor("state: offered"));
    Child& second = StartOwner();
    EXPECT_TRUE(second.WaitFor("state: name-taken")) << second.Output();
    EXPECT_TRUE(second.WaitFor("org.korvianet.Korvianet1 is taken by another program: running without the bus service"))
        << second.Output();
    // It keeps running, and the first owner still answers.
    Tell(second, "set Signal1xBars 2");
    EXPECT_TRUE(second.WaitFor("done set"));
    EXPECT_EQ(Call("Hangup").status, 0);
    EXPECT_TRUE(first.WaitFor("call: Hangup"));
    EXPECT_EQ(second.Output().find("call: "), std::string::npos);
}

TEST_F(BusTest, WithoutABusTheOwnerRunsOnAndSaysSo)
{
    Child& owner = StartOwner({}, "unix:path=" + dir + "/no-such-bus");
    EXPECT_TRUE(owner.WaitFor("state: no-bus")) << owner.Output();
    EXPECT_TRUE(owner.WaitFor("running without the bus service")) << owner.Output();
    Tell(owner, "set Signal1xBars 2");
    Tell(owner, "event CallIncoming 555 _");
    EXPECT_TRUE(owner.WaitFor("done event"));
}

TEST_F(BusTest, StopAnswersTheCallStillWaiting)
{
    Child& owner = StartOwner();
    Tell(owner, "hold SendSms");
    Child client;
    ASSERT_TRUE(client.Start({"gdbus", "call", "--address", address, "--dest", kName, "--object-path", kPath,
                              "--method", std::string(kName) + ".SendSms", "['5551234']", "'hello'", "''",
                              "false"}));
    ASSERT_TRUE(owner.WaitFor("call: SendSms"));
    const auto t0 = std::chrono::steady_clock::now();
    Tell(owner, "stop");
    EXPECT_NE(client.Wait(5000), 0);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0);
    EXPECT_LT(ms.count(), 2000);
    EXPECT_NE(client.Output().find("org.korvianet.Korvianet1.Error.Failed: Korvianet is closing"), std::string::npos)
        << client.Output();
    EXPECT_TRUE(owner.WaitFor("left the session bus"));
    // The name went with it.
    const ToolResult r = Call("Hangup");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.output.find("ServiceUnknown"), std::string::npos) << r.output;
}

TEST_F(BusTest, ACallNeverAnsweredTimesOut)
{
    Child& owner = StartOwner({"--timeout-ms", "400", "--sms-timeout-ms", "800"});
    Tell(owner, "hold Dial");
    Tell(owner, "hold SendSms");
    auto t0 = std::chrono::steady_clock::now();
    ToolResult r = Call("Dial", {"'5551234'"});
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_NE(r.output.find("org.korvianet.Korvianet1.Error.TimedOut: the modem did not answer in time"),
              std::string::npos)
        << r.output;
    EXPECT_GE(ms, 350);
    EXPECT_LT(ms, 3000);
    t0 = std::chrono::steady_clock::now();
    r = Call("SendSms", {"['5551234']", "'hello'", "''", "false"});
    ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_NE(r.output.find("Error.TimedOut"), std::string::npos) << r.output;
    EXPECT_GE(ms, 750); // the longer limit of a send
    // The service goes on answering.
    Tell(owner, "ok Dial");
    EXPECT_EQ(Call("Dial", {"'5551234'"}).status, 0);
}

// Another user on a bus that lets every user connect: refused by the
// service itself, and the owner is never asked.
TEST_F(BusTest, AnotherUsersCallIsRefused)
{
    if (::geteuid() != 0 || !CanRunAsNormalUser() || !HaveProgram("setpriv"))
        GTEST_SKIP() << "needs root (to run a client as uid 65534) and setpriv";
    const std::string open = MakeTempDir("kvbusopen");
    ::chmod(open.c_str(), 0755);
    const std::string conf = open + "/bus.conf";
    {
        std::ofstream c(conf);
        c << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
             " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
             "<busconfig><type>session</type><listen>unix:path=" << open << "/bus</listen>"
             "<auth>EXTERNAL</auth><policy context=\"default\"><allow user=\"*\"/>"
             "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
             "<allow own=\"*\"/></policy></busconfig>\n";
    }
    Child daemon;
    ASSERT_TRUE(daemon.Start({"dbus-daemon", "--config-file=" + conf, "--nofork", "--nopidfile", "--print-address=1"}));
    ASSERT_TRUE(daemon.WaitFor("guid=")) << daemon.Output();
    const std::string out = daemon.Output();
    const size_t at = out.find("unix:path=");
    ASSERT_NE(at, std::string::npos);
    const std::string openAddress = out.substr(at, out.find('\n', at) - at);

    Child& owner = StartOwner({}, openAddress);
    ASSERT_TRUE(owner.WaitFor("state: offered")) << owner.Output();
    const std::vector<std::string> asNobody{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                            "env", "HOME=/nonexistent"};
    const auto call = [&](const std::string& method, std::vector<std::string> args) {
        std::vector<std::string> argv = asNobody;
        for (const char* a : {"gdbus", "call", "--address", openAddress.c_str(), "--dest", kName,
                                     "--object-path", kPath, "--method"})
            argv.push_back(a);
        argv.push_back(std::string(kName) + "." + method);
        argv.insert(argv.end(), args.begin(), args.end());
        return RunTool(argv);
    };
    for (const auto& [method, args] : std::vector<std::pair<std::string, std::vector<std::string>>>{
             {"Hangup", {}}, {"SendSms", {"['5551234']", "'hi'", "''", "false"}}, {"GetStatus", {}}}) {
        const ToolResult r = call(method, args);
        EXPECT_NE(r.status, 0) << method;
        EXPECT_NE(r.output.find("org.korvianet.Korvianet1.Error.AccessDenied: only the user running Korvianet may "
                                "use its modem"),
                  std::string::npos)
            << method << ": " << r.output;
    }
    // The same call from the owner's own user goes through.
    EXPECT_EQ(Call("Hangup", {}, openAddress).status, 0);
    EXPECT_EQ(owner.Output().find("call: SendSms"), std::string::npos);
    EXPECT_EQ(owner.Output().find("call: GetStatus"), std::string::npos);
    owner.Kill();
    daemon.Kill();
    RemoveTree(open);
}

} // namespace
