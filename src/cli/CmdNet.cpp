// The data connection from the command line:
//   connect [--seconds N] [--user NAME (--password-file FILE | --password -)]
//       dials as Net Connect does (the modem engine runs beside it when a
//       port is found, for the service and the data rate), prints the dial
//       progress, then one line a second with the duration and the counters,
//       until it has been connected N seconds or SIGINT/SIGTERM/SIGHUP (or `disconnect`)
//       asks to stop; then it hangs up as Net Disconnect does and the
//       session's record goes to the traffic files.
//   disconnect
//       ends a running `connect` (it hangs up itself); without one, hangs up
//       a ppp link over the modem that another dialler opened.
//   net status
//       what the running `connect` last saw, or "not connected".
// A running connect holds a lock on korvianet-connect.lock in the private
// runtime folder (platform/RuntimeDir.h) and keeps its status beside it in
// korvianet-connect.status. Only the lock's holder, as the kernel names it,
// is ever signalled; a pid written in a file is never trusted.
#include "cli/CliArgs.h"
#include "cli/CliBus.h"
#include "cli/CliOwnerWatch.h"
#include "cli/CliCommand.h"
#include "cli/CliJournal.h"
#include "cli/CliModem.h"
#include "cli/CliOutput.h"
#include "cli/CliPassword.h"
#include "data/DbPath.h"
#include "engine/CommPortLink.h"
#include "engine/DmEngine.h"
#include "host/HeadlessHost.h"
#include "log/NumberParse.h"
#include "net/AtPoll.h"
#include "net/ConnectionManager.h"
#include "net/SessionSleep.h"
#include "platform/Event.h"
#include "platform/OwnerFiles.h"
#include "platform/RuntimeDir.h"
#include "settings/FileUtil.h"
#include "settings/Profile.h"
#include "usage/UsageMeter.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace {

std::atomic<bool> g_stop{false};
void OnSignal(int) { g_stop = true; }

constexpr const char* kConnectLock = "korvianet-connect.lock";
constexpr const char* kConnectStatus = "korvianet-connect.status";

std::string StatusFile() { return kv::CRunLock::PathOf(kConnectStatus); }

// The pid of a running connect, 0 when none.
pid_t RunningConnect() { return kv::CRunLock::HolderPid(kConnectLock); }

// The status a running connect last wrote, each line escaped as modem text
// is: it is a file, and a file can hold anything.
bool ReadStatus(std::string& shown)
{
    std::string text;
    if (!kv::ReadOwnedFile(StatusFile(), text))
        return false;
    shown.clear();
    size_t at = 0;
    while (at < text.size()) {
        size_t nl = text.find('\n', at);
        if (nl == std::string::npos)
            nl = text.size();
        shown += kvcli::Shown(std::string_view(text).substr(at, nl - at)) + "\n";
        at = nl + 1;
    }
    return true;
}

std::mutex g_outLock;
void Say(const std::string& what)
{
    std::lock_guard<std::mutex> g(g_outLock);
    std::string flat = what;
    for (char& c : flat)
        if (c == '\n' || c == '\r' || c == '\t')
            c = ' ';
    std::printf("[net] %s\n", flat.c_str());
    std::fflush(stdout);
}

// An indicator value of the data-rate bars ("-" when never set).
std::string Rate(int value) { return value < 0 ? "-" : std::to_string(value); }

const char* StateName(uint8_t s)
{
    switch (s) {
    case kvnet::RAS_REQ_CONNECT: return "connecting";
    case kvnet::RAS_REQ_MONITOR: return "connected";
    case kvnet::RAS_REQ_LOOK: return "idle";
    case kvnet::RAS_REQ_DISCONNECT: return "disconnecting";
    case kvnet::RAS_REQ_RESET: return "resetting";
    case kvnet::RAS_REQ_TERMINATE: return "ending";
    default: return "stopped";
    }
}

// The exit status of a dial that never came up, by what the dial-up service
// reported: the modem's data port was the trouble, the modem did not
// answer, or anything else that refused the dial.
int DialFailureExit(int error)
{
    switch (error) {
    case kvnet::RAS_ERR_PORT_IN_USE:
    case kvnet::RAS_ERR_PORT_NOT_AVAILABLE: return kvcli::kExitNoDevice;
    case kvnet::RAS_ERR_NO_ANSWER: return kvcli::kExitTimedOut;
    default: return kvcli::kExitFailure;
    }
}

// ---- through the owner of the modem on the session bus ----

std::string Clock(long long seconds)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
    return buf;
}

// The owner's connection states as this command names them.
std::string OwnerStateName(const std::string& s) { return s == "disconnected" ? "idle" : kvcli::Shown(s); }

// The owner dials; this command prints its progress and the counters each
// second, and asks it to hang up after N connected seconds or on a signal.
int ConnectThroughOwner(kvcli::OwnerBus& bus, long seconds, const std::string& user, const std::string& password)
{
    kvcli::OwnerWatch w(bus);
    if (const int st = w.Start(); st != kvcli::kExitOk)
        return st;
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    if (w.Text("ConnectionState") == "connected")
        return kvcli::Fail(kvcli::kExitFailure, "the modem's owner (Korvianet) is connected already");
    {
        kvcli::BusMessage reply;
        if (const int st = bus.Call("Connect", kvcli::kBusCallMs * 3, reply, "ss", user.c_str(), password.c_str());
            st != kvcli::kExitOk)
            return st;
    }
    Say("dialling through Korvianet (the owner of the modem)");
    const int64_t start = kv::TickMs();
    int64_t connectedAt = 0, nextLine = 0;
    bool wasConnected = false, failed = false, linkLost = false, asked = false;
    std::string lastState, lastText;
    for (;;) {
        w.Until([] { return g_stop.load(); }, 200);
        for (const auto& [name, args] : w.TakeEvents()) {
            const std::string text = kvcli::TextOf(args, "text");
            if (name == "ConnectionFailed") {
                failed = true;
                Say("dial failed: " + kvcli::Shown(text));
            } else if (name == "ConnectionDown" && wasConnected) {
                linkLost = !asked;
            }
        }
        const std::string s = w.Text("ConnectionState");
        if (s != lastState) {
            Say("state: " + OwnerStateName(s));
            lastState = s;
        }
        const std::string text = w.Text("ConnectionText");
        if (text != lastText && !text.empty() && s == "connecting")
            Say("dial: " + kvcli::Shown(text));
        lastText = text;
        if (s == "connected") {
            if (!wasConnected)
                connectedAt = kv::TickMs();
            wasConnected = true;
            if (kv::TickMs() >= nextLine) {
                nextLine = kv::TickMs() + 1000;
                Say("duration " + Clock(std::max(0LL, w.Number("ConnectionDuration"))) + "  received "
                    + std::to_string(std::max(0LL, w.Number("BytesReceived"))) + "  sent "
                    + std::to_string(std::max(0LL, w.Number("BytesSent"))) + "  data rate -/-");
            }
        }
        const bool timeUp = seconds >= 0
                            && (wasConnected ? kv::TickMs() - connectedAt >= seconds * 1000
                                             : kv::TickMs() - start >= (seconds + 90) * 1000);
        const bool dialEnded = s == "disconnected" && (failed || wasConnected || kv::TickMs() - start > 90000);
        linkLost = linkLost || (wasConnected && s == "disconnected" && !asked);
        if (g_stop.load() || timeUp || dialEnded || w.OwnerGone())
            break;
    }
    if (!w.OwnerGone() && (lastState == "connected" || lastState == "connecting")) {
        Say("hanging up");
        asked = true;
        kvcli::BusMessage reply;
        bus.Call("Disconnect", kvcli::kBusCallMs * 3, reply);
        w.Until([&] { return w.Text("ConnectionState") == "disconnected"; }, 15000);
    }
    if (w.OwnerGone())
        return kvcli::Fail(kvcli::kExitNoDevice, "Korvianet (the owner of the modem) left the session bus");
    if (linkLost) {
        Say("link lost");
        return kvcli::kExitFailure;
    }
    Say(wasConnected ? "disconnected" : "not connected");
    return wasConnected ? kvcli::kExitOk : kvcli::kExitFailure;
}

int RunConnect(const kvcli::GlobalOptions& opts, const std::vector<std::string>& args)
{
    long seconds = -1;
    std::string user, password;
    bool account = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--seconds" && i + 1 < args.size()) {
            const auto v = kvcli::ParseNumber(args[++i], 0, 86400 * 366);
            if (!v)
                return kvcli::UsageError("--seconds needs a number");
            seconds = long(*v);
        } else if (args[i] == "--user" && i + 1 < args.size()) {
            user = args[++i];
            account = true;
        } else if (args[i] == "--password-file" && i + 1 < args.size()) {
            std::string why;
            if (!kvcli::ReadPasswordFile(args[++i], password, why))
                return kvcli::UsageError(kvcli::Shown(why));
            account = true;
        } else if (args[i] == "--password" && i + 1 < args.size()) {
            if (args[++i] != "-")
                return kvcli::UsageError(kvcli::kPasswordArgRefused);
            std::string why;
            if (!kvcli::ReadPasswordInput(password, why))
                return kvcli::Fail(kvcli::kExitFailure, why);
            account = true;
        } else {
            return kvcli::UsageError(
                "usage: connect [--seconds N] [--user NAME (--password-file FILE | --password -)]");
        }
    }
    if (auto bus = kvcli::OwnerBus::Find())
        return ConnectThroughOwner(*bus, seconds, account ? user : std::string(), account ? password : std::string());
    kv::CRunLock running(kConnectLock);
    switch (running.Acquire()) {
    case kv::CRunLock::Result::Held:
        break;
    case kv::CRunLock::Result::Busy:
        return kvcli::Fail(kvcli::kExitFailure,
                           "a connect is running already (pid " + std::to_string(RunningConnect()) + ")");
    case kv::CRunLock::Result::Failed:
        return kvcli::Fail(kvcli::kExitFailure, running.FailureText());
    }
    ::unlink(StatusFile().c_str()); // what an earlier run left is not ours to show
    kv::EnsureSettingsDir();
    kvcli::FoldSessionJournals();

    kvcli::HeadlessModem modem(opts);
    kv::CHeadlessHost& host = modem.host;
    kv::CDmEngine& engine = modem.engine;
    kv::CAtPoll& atPoll = modem.atPoll; // its IMSI picks the dial string
    host.SetObserver([](const std::string& what) {
        if (what.rfind("message box: ", 0) == 0)
            Say(what);
    });

    kvnet::ConnectionUi ui;
    ui.imsi = [&atPoll] { return atPoll.CurrentImsiText(); };
    ui.appendTraffic = [](const kvtraffic::TrafficRecord& r) {
        std::string why;
        const bool ok = kvtraffic::AppendTrafficRecord(r, &why);
        Say("session ended: " + std::to_string(r.duration) + " ms, received " + std::to_string(r.bytesReceived)
            + " bytes, sent " + std::to_string(r.bytesSent) + " bytes; traffic record "
            + (ok ? "appended" : "NOT written: " + kvcli::Shown(why)));
        return ok;
    };
    // The records go to the traffic files, so a kill mid-session must not
    // lose the session: its journal is kept as the window keeps it.
    ui.journal = std::make_shared<kvtraffic::CSessionJournal>();
    // The session counts toward the usage history and the quota, live.
    std::shared_ptr<kvusage::CUsageMeter> meter;
    if (kv::PrepareUserDatabase().Ok()) {
        meter = std::make_shared<kvusage::CUsageMeter>(kv::DatabasePath(), kvusage::ReadUsageSettings, kvusage::CUsageMeter::Clock{},
                                                       [](const std::string& text) { Say(text); });
        ui.countersRead = [meter](uint32_t rx, uint32_t tx, uint32_t ms) { return meter->Counters(rx, tx, ms); };
        ui.countersCleared = [meter] { meter->CountersCleared(); };
        ui.sessionEnded = [meter] { meter->SessionEnded(); };
        // No one to ask here: after a quota hang-up the dial waits for the
        // user to change the plan (config usage).
        ui.confirmDial = [meter] {
            if (!meter->DialNeedsConfirmation())
                return true;
            Say("the quota of this billing cycle is reached and quota-hangup is on: not dialling "
                "(korvianet-cli config usage quota-hangup off, or raise quota-mb)");
            return false;
        };
    }
    kvnet::CConnectionManager manager(host, ui);
    manager.ReadAccount();
    if (account)
        manager.SetAccount(user, password, manager.DialString());
    // A suspend hangs up and records the session; the resume dials again.
    kvnet::CSessionSleep sleepWatch(manager, [](const std::string& line) { Say("sleep: " + line); });

    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr); // the terminal closed, the user logged out

    // The engine gives the service (which dial string) and the data rate;
    // without a modem port the dial still runs.
    const bool engineUp = engine.UserDmRestart();
    if (engineUp) {
        Say("modem engine started; waiting for its start-up");
        host.RunUntil([&] { return g_stop.load() || host.ControlEnabled(kv::IDC_NET_CONNECT); }, 20000);
        // The first status poll tells the service, which picks the dial string.
        host.RunUntil([&] { return g_stop.load() || host.State().m_ucSysMode.load() != 0; }, 5000);
    }
    if (!manager.Start()) {
        std::fprintf(stderr, "korvianet-cli: the dial-up client cannot be created\n");
        engine.StopDmEngine();
        return kvcli::kExitFailure;
    }
    if (manager.DeviceName().empty()) {
        // No maker modem among the dial-up devices: nothing to dial over,
        // said once (Net Connect would say the same in a box).
        std::string text = kvnet::rastext::kNoModem;
        std::replace(text.begin(), text.end(), '\n', ' ');
        std::fprintf(stderr, "korvianet-cli: %s\n", text.c_str());
        manager.StopThread();
        if (engineUp)
            engine.StopDmEngine();
        return kvcli::kExitNoDevice;
    }
    if (!engineUp)
        Say("no modem port: dialling without the modem engine");
    Say("device: " + (manager.DeviceName().empty() ? std::string("(no maker modem found)") : manager.DeviceName()));
    manager.NetConnect();
    if (manager.RasRequestPending(kvnet::RAS_REQ_CONNECT))
        Say("dialling \"" + std::string(kvnet::kEntryLabel) + "\" with " + manager.DialString());
    else
        Say("Net Connect refused (card state, a call, or no account for a CDMA card)");

    // N seconds of connection; the dial itself ends on its own (the dial-up
    // services give up on a silent modem), bounded here too.
    const int64_t start = kv::TickMs();
    int64_t connectedAt = 0;
    bool wasConnected = false;
    uint8_t lastState = 0;
    std::string lastText;
    int64_t nextLine = 0;
    bool linkLost = false;
    int lastAttempt = 0;
    for (;;) {
        host.RunUntil([] { return g_stop.load(); }, 200);
        if (const int attempt = manager.ReconnectAttempts(); attempt != lastAttempt && manager.ReconnectPending()) {
            Say("link lost: " + kvnet::CReconnectPlan::AttemptText(attempt));
            lastAttempt = attempt;
        }
        const uint8_t s = manager.State();
        if (s != lastState) {
            Say(std::string("state: ") + StateName(s));
            lastState = s;
        }
        const std::string text = manager.EntryErrorText();
        if (text != lastText && !text.empty() && s == kvnet::RAS_REQ_CONNECT)
            Say("dial: " + text);
        lastText = text;
        if (s == kvnet::RAS_REQ_MONITOR && !manager.DurationText().empty()) {
            if (!wasConnected)
                connectedAt = kv::TickMs();
            wasConnected = true;
            if (kv::TickMs() >= nextLine) {
                nextLine = kv::TickMs() + 1000;
                const std::string status = "state connected\nduration " + manager.DurationText() + "\nreceived "
                                           + std::to_string(manager.ReceivedBytes()) + "\nsent "
                                           + std::to_string(manager.SentBytes()) + "\ndevice "
                                           + manager.DeviceName() + "\n";
                kv::ReplaceFileAtomically(StatusFile(), status);
                Say("duration " + manager.DurationText() + "  received " + std::to_string(manager.ReceivedBytes())
                    + "  sent " + std::to_string(manager.SentBytes()) + "  data rate "
                    + Rate(host.Indicator(kv::IND_DATA_RATE_A)) + "/" + Rate(host.Indicator(kv::IND_DATA_RATE_B)));
            }
        }
        const bool timeUp = seconds >= 0
                            && (wasConnected ? kv::TickMs() - connectedAt >= seconds * 1000
                                             : kv::TickMs() - start >= (seconds + 90) * 1000);
        // A lost link that will be dialled again, or a session hung up for
        // a sleep, keeps the command running.
        const bool dialEnded = s == kvnet::RAS_REQ_LOOK && !manager.RasRequestPending(kvnet::RAS_REQ_CONNECT)
                               && !manager.ReconnectPending() && !manager.SleepDialPending()
                               && kv::TickMs() - start > 1500;
        // Back to looking while connected, and not because we hung up: the
        // link went down under us (pppd ended, the modem hung up) and no
        // reconnect is left to try.
        linkLost = wasConnected && dialEnded && !g_stop.load() && !timeUp;
        if (g_stop.load() || timeUp || dialEnded || !manager.ThreadRunning())
            break;
    }
    if (manager.State() == kvnet::RAS_REQ_MONITOR || manager.State() == kvnet::RAS_REQ_CONNECT) {
        Say("hanging up");
        manager.NetDisconnect();
        host.RunUntil([&] { return manager.State() == kvnet::RAS_REQ_LOOK || !manager.ThreadRunning(); }, 15000);
    }
    manager.StopThread();
    if (engineUp)
        engine.StopDmEngine();
    ::unlink(StatusFile().c_str());
    running.Release();
    if (linkLost) {
        Say("link lost");
        return kvcli::kExitFailure;
    }
    Say(wasConnected ? "disconnected" : "not connected");
    return wasConnected ? kvcli::kExitOk : DialFailureExit(kvnet::CRasClient::DialError());
}

int RunDisconnect(const kvcli::GlobalOptions&, const std::vector<std::string>& args)
{
    if (!args.empty())
        return kvcli::UsageError("usage: disconnect");
    if (auto bus = kvcli::OwnerBus::Find()) {
        kvcli::OwnerWatch w(*bus);
        if (const int st = w.Start(); st != kvcli::kExitOk)
            return st;
        if (w.Text("ConnectionState") == "disconnected") {
            std::printf("not connected\n");
            return kvcli::kExitFailure;
        }
        kvcli::BusMessage reply;
        if (const int st = bus->Call("Disconnect", kvcli::kBusCallMs * 3, reply); st != kvcli::kExitOk)
            return st;
        if (!w.Until([&] { return w.Text("ConnectionState") == "disconnected"; }, 20000)) {
            std::fprintf(stderr, "korvianet-cli: the owner of the modem did not hang up in time\n");
            return kvcli::kExitFailure;
        }
        std::printf("disconnected\n");
        return kvcli::kExitOk;
    }
    // Only the process the kernel names as the holder of the connect's lock
    // is signalled: a stale or planted pid never is.
    if (pid_t pid = RunningConnect()) {
        ::kill(pid, SIGINT);
        const int64_t end = kv::TickMs() + 20000;
        while (RunningConnect() == pid && kv::TickMs() < end)
            kv::SleepMs(100);
        if (RunningConnect() == pid) {
            std::fprintf(stderr, "korvianet-cli: connect (pid %d) did not end\n", int(pid));
            return kvcli::kExitFailure;
        }
        std::printf("disconnected\n");
        return kvcli::kExitOk;
    }
    kvnet::CRasClient client;
    kvnet::RasHandle h = 0;
    if (!client.Init() || !client.FindConnection(kvnet::kEntryLabel, h)) {
        std::printf("not connected\n");
        return kvcli::kExitFailure;
    }
    client.SetHandle(h);
    if (!client.HangUp(kvnet::kEntryLabel)) {
        std::fprintf(stderr, "korvianet-cli: hang-up failed\n");
        return kvcli::kExitFailure;
    }
    std::printf("disconnected\n");
    return kvcli::kExitOk;
}

int RunNet(const kvcli::GlobalOptions&, const std::vector<std::string>& args)
{
    if (args.size() != 1 || args[0] != "status")
        return kvcli::UsageError("usage: net status");
    if (auto bus = kvcli::OwnerBus::Find()) {
        kvcli::Json p;
        if (const int st = bus->GetAll(p); st != kvcli::kExitOk)
            return st;
        const std::string state = kvcli::TextOf(p, "ConnectionState");
        if (state == "connected")
            std::printf("state connected\nduration %s\nreceived %lld\nsent %lld\ndevice %s\n",
                        Clock(kvcli::NumberOf(p, "ConnectionDuration", 0)).c_str(),
                        kvcli::NumberOf(p, "BytesReceived", 0), kvcli::NumberOf(p, "BytesSent", 0),
                        kvcli::Shown(kvcli::TextOf(p, "Port")).c_str());
        else
            std::printf(state == "connecting" ? "state connecting\n" : "state not connected\n");
        return kvcli::kExitOk;
    }
    std::string status;
    if (RunningConnect() && ReadStatus(status)) {
        std::printf("%s", status.c_str());
        return kvcli::kExitOk;
    }
    kvnet::CRasClient client;
    kvnet::RasHandle h = 0;
    if (client.Init() && client.FindConnection(kvnet::kEntryLabel, h)) {
        std::printf("state connected (outside this program)\n");
        return kvcli::kExitOk;
    }
    std::printf(RunningConnect() ? "state connecting\n" : "state not connected\n");
    return kvcli::kExitOk;
}

} // namespace

KV_CLI_COMMAND("connect", "connect [--seconds N] [--user NAME (--password-file FILE | --password -)]",
               "dial the data connection as Net Connect does, print the progress and each second the\n"
               "duration, counters and data rate; after N connected seconds or on SIGINT/SIGTERM/SIGHUP or\n"
               "`disconnect`, hang up and append the session to the traffic files. The password comes\n"
               "from FILE (first line; the file must be yours and owner-only) or, with `-`, from\n"
               "standard input (asked for without echo on a terminal), never from the command line,\n"
               "which every user can read. Exit code 1: it never connected, or the link was lost before\n"
               "the N seconds were up (\"link lost\"); 3: no modem, or the modem's data port could not\n"
               "be used; 4: the modem did not answer the dial.",
               RunConnect);
KV_CLI_COMMAND("disconnect", "disconnect",
               "end a running `connect` (which hangs up and records the session), or hang up a ppp\n"
               "link over the modem that another dialler opened",
               RunDisconnect);
KV_CLI_COMMAND("net", "net status",
               "the data connection's state, duration and counters as the running `connect` sees them",
               RunNet);
