// The owner of the modem on a private session bus: "korvianet-cli run" and
// the window offer the service, and clients nobody here wrote (gdbus) and
// korvianet-cli itself reach the modem through it while the port is held.
#include "CliFixture.h"

#include "platform/Event.h"
#include "support/PrivateBus.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <fcntl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using kvtest::CliResult;

bool Have(const char* program)
{
    return ::access(program, X_OK) == 0;
}

// A program started in the background, ended (SIGTERM, then SIGKILL) with
// the object.
class Background {
public:
    Background(const std::string& program, std::vector<std::string> args)
    {
        m_pid = ::fork();
        if (m_pid == 0) {
            ::setpgid(0, 0);
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>(program.c_str()));
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            const int devnull = ::open("/dev/null", O_RDWR);
            ::dup2(devnull, 0);
            ::dup2(devnull, 1);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
    }
    ~Background() { Stop(); }
    // The exit status (-1: killed or not started).
    int Stop()
    {
        if (m_pid <= 0)
            return m_status;
        ::kill(m_pid, SIGTERM);
        int st = 0;
        for (int i = 0; i < 200; ++i) {
            if (::waitpid(m_pid, &st, WNOHANG) == m_pid) {
                m_pid = -1;
                m_status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
                return m_status;
            }
            kv::SleepMs(50);
        }
        ::kill(-m_pid, SIGKILL);
        ::waitpid(m_pid, &st, 0);
        m_pid = -1;
        return -1;
    }
    bool Running() const { return m_pid > 0 && ::kill(m_pid, 0) == 0; }

private:
    pid_t m_pid = -1;
    int m_status = -1;
};

CliResult Gdbus(std::vector<std::string> args)
{
    return kvtest::RunProgram("/usr/bin/gdbus", args);
}

CliResult CallOwner(const std::string& method, std::vector<std::string> args = {})
{
    std::vector<std::string> a = {"call", "--session", "--dest", "org.korvianet.Korvianet1", "--object-path",
                                  "/org/korvianet/Korvianet1", "--method", "org.korvianet.Korvianet1." + method};
    a.insert(a.end(), args.begin(), args.end());
    return Gdbus(a);
}

std::string OwnerProperty(const std::string& name)
{
    const CliResult p = Gdbus({"call", "--session", "--dest", "org.korvianet.Korvianet1", "--object-path",
                               "/org/korvianet/Korvianet1", "--method", "org.freedesktop.DBus.Properties.Get",
                               "org.korvianet.Korvianet1", name});
    return p.exitCode == 0 ? p.out : std::string();
}

bool WaitFor(const std::function<bool()>& done, int64_t ms)
{
    const int64_t end = kv::TickMs() + ms;
    while (!done()) {
        if (kv::TickMs() > end)
            return false;
        kv::SleepMs(100);
    }
    return true;
}

// The member names of our interface in an introspection document.
std::set<std::string> Members(const std::string& doc, const std::string& kind)
{
    const size_t from = doc.find("<interface name=\"org.korvianet.Korvianet1\">");
    const size_t to = doc.find("</interface>", from);
    const std::string xml = from == std::string::npos ? std::string() : doc.substr(from, to - from);
    std::set<std::string> out;
    const std::regex re("<" + kind + " name=\"([A-Za-z0-9]+)\"");
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), re); it != std::sregex_iterator(); ++it)
        out.insert((*it)[1]);
    return out;
}

class OwnerRun : public kvtest::CliFixture {
protected:
    void SetUp() override
    {
        CliFixture::SetUp();
        if (!Have("/usr/bin/dbus-daemon") || !Have("/usr/bin/gdbus"))
            GTEST_SKIP() << "needs dbus-daemon and gdbus (Debian's dbus and libglib2.0-bin)";
        bus = std::make_unique<kvtest::PrivateBus>(settings.Dir());
        ASSERT_TRUE(bus->Start());
        setenv("DBUS_SESSION_BUS_ADDRESS", bus->Address().c_str(), 1);
        unsetenv("KORVIANET_SESSION_BUS_ADDRESS");
        StartSim();
    }
    void TearDown() override
    {
        owner.reset();
        bus.reset();
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
        CliFixture::TearDown();
    }
    // Waits for the owner's name and its engine to be ready.
    bool OwnerReady()
    {
        return WaitFor([] { return OwnerProperty("EngineReady").find("true") != std::string::npos; }, 40000);
    }

    std::unique_ptr<kvtest::PrivateBus> bus;
    std::unique_ptr<Background> owner;
};

TEST_F(OwnerRun, RunOffersTheServiceAndTheToolGoesThroughIt)
{
    owner = std::make_unique<Background>(KV_CLI_PATH, std::vector<std::string>{"--config-dir", settings.Dir(), "run", "--seconds", "120"});
    ASSERT_TRUE(OwnerReady());

    // Introspection lists what the package's description lists.
    std::ifstream f(KV_BUS_XML);
    std::stringstream ss;
    ss << f.rdbuf();
    const std::string shipped = ss.str();
    const CliResult intro = Gdbus({"introspect", "--session", "--dest", "org.korvianet.Korvianet1",
                                   "--object-path", "/org/korvianet/Korvianet1", "--xml"});
    ASSERT_EQ(intro.exitCode, 0) << intro.err;
    for (const char* kind : {"method", "property", "signal"})
        EXPECT_EQ(Members(intro.out, kind), Members(shipped, kind)) << kind;

    // The tool's status through the owner: no "port busy", the same report.
    nlohmann::json viaOwner = RunJson({"status"});
    EXPECT_TRUE(viaOwner.contains("service")) << viaOwner.dump();

    // Bad arguments get named errors.
    const CliResult six = CallOwner("SendSms", {"['1','2','3','4','5','6']", "hi", "", "false"});
    EXPECT_NE(six.exitCode, 0);
    EXPECT_NE(six.err.find("org.korvianet.Korvianet1.Error.InvalidArgument"), std::string::npos) << six.err;
    const CliResult letters = CallOwner("Dial", {"12ab"});
    EXPECT_NE(letters.err.find("org.korvianet.Korvianet1.Error.InvalidArgument"), std::string::npos) << letters.err;
    const CliResult list = CallOwner("ListSms", {""});
    EXPECT_EQ(list.exitCode, 0) << list.err;

    // The monitor prints documents while the signal changes.
    std::thread change([this] {
        for (int i = 0; i < 6; ++i) {
            kv::SleepMs(700);
            sim->WithModel([i](kv::sim::ModemModel& m) { m.rssi1x = -80 - 5 * (i % 3); });
        }
    });
    const CliResult mon = Run({"--json", "monitor", "--seconds", "6"});
    change.join();
    EXPECT_EQ(mon.exitCode, 0) << mon.err;
    const auto lines = kvtest::Lines(mon.out);
    EXPECT_FALSE(lines.empty());
    for (const auto& l : lines)
        EXPECT_TRUE(nlohmann::json::accept(l)) << l;

    // The owner's report follows the modem: the last signal shows.
    nlohmann::json latest;
    EXPECT_TRUE(WaitFor([&] {
        latest = RunJson({"status"});
        return latest["signal"]["1x"]["dbm"] == -90;
    }, 20000)) << latest.dump();

    // Without the owner the tool opens the port itself: the same document.
    EXPECT_EQ(owner->Stop(), 0);
    const nlohmann::json direct = RunJson({"status"});
    EXPECT_EQ(latest, direct);
    viaOwner.erase("signal");
    latest.erase("signal");
    EXPECT_EQ(viaOwner, latest);
}

#ifdef KV_APP_PATH
TEST_F(OwnerRun, TheToolWorksWhileTheWindowRuns)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("KORVIANET_CONFIG_DIR", settings.Dir().c_str(), 1);
    owner = std::make_unique<Background>(KV_APP_PATH, std::vector<std::string>{});
    const bool ready = OwnerReady();
    unsetenv("KORVIANET_CONFIG_DIR");
    ASSERT_TRUE(ready);
    const CliResult r = Run({"status"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(r.err.find("another program"), std::string::npos) << r.err;
}
#endif

} // namespace
