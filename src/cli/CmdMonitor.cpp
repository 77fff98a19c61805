// "monitor" (also "status --watch"): one line per change of the modem's
// state, for status bars and scripts. With an owner of the modem on the
// session bus it follows the owner's property changes and signals; without
// one it runs the engine itself, as "run" does, and prints the same lines
// from its own status. Ends on SIGINT, SIGTERM, SIGHUP or after --seconds.
#include "cli/CliArgs.h"
#include "cli/CliBus.h"
#include "cli/CliCommand.h"
#include "cli/CliModem.h"
#include "cli/CliMonitor.h"
#include "cli/CliMonitorLines.h"
#include "cli/CliSession.h"
#include "cli/CliStatusNames.h"
#include "bus/BusNames.h"
#include "engine/PinCheck.h"
#include "host/HostIds.h"
#include "host/StatusModel.h"
#include "platform/Event.h"
#include "settings/Profile.h"

#include <csignal>
#include <cstring>
#include <mutex>

namespace kvcli {

namespace {

std::atomic<bool> g_stop{false};
void OnSignal(int) { g_stop = true; }

constexpr long long kMaxSeconds = 366LL * 24 * 3600;

// ---- through the owner on the bus ----

struct Watch {
    OwnerBus* bus = nullptr;
    std::string owner; // the owner's unique name ("" while none)
    Json status = Json::object();
};

std::string OwnerOf(sd_bus* bus)
{
    sd_bus_error e = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    std::string out;
    if (sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                           "GetNameOwner", &e, &reply, "s", kv::bus::kServiceName)
        >= 0) {
        const char* name = nullptr;
        if (sd_bus_message_read(reply, "s", &name) >= 0 && name)
            out = name;
    }
    sd_bus_message_unref(reply);
    sd_bus_error_free(&e);
    return out;
}

bool FromOwner(const Watch& w, sd_bus_message* m)
{
    const char* sender = sd_bus_message_get_sender(m);
    return !w.owner.empty() && sender && w.owner == sender;
}

// Every property the owner has now; the lines name those that differ from
// what was printed before (all of them the first time).
void Refresh(Watch& w)
{
    Json now;
    if (w.bus->GetAll(now) != kExitOk)
        return;
    std::vector<std::string> changed;
    for (auto it = now.begin(); it != now.end(); ++it)
        if (!w.status.contains(it.key()) || w.status[it.key()] != *it)
            changed.push_back(it.key());
    w.status = std::move(now);
    PrintChanges(w.status, changed);
}

int OnPropertiesChanged(sd_bus_message* m, void* userdata, sd_bus_error*)
{
    Watch& w = *static_cast<Watch*>(userdata);
    const char* iface = nullptr;
    if (!FromOwner(w, m) || sd_bus_message_read(m, "s", &iface) < 0 || !iface
        || std::strcmp(iface, kv::bus::kInterface) != 0)
        return 0;
    Json values = Json::object();
    if (ReadDict(m, values) < 0)
        return 0;
    std::vector<std::string> changed;
    for (auto it = values.begin(); it != values.end(); ++it) {
        w.status[it.key()] = *it;
        changed.push_back(it.key());
    }
    char** invalidated = nullptr;
    if (sd_bus_message_read_strv(m, &invalidated) >= 0 && invalidated) {
        bool any = false;
        for (char** p = invalidated; *p; ++p) {
            any = true;
            free(*p);
        }
        free(invalidated);
        if (any) {
            Refresh(w); // prints those that changed
        }
    }
    PrintChanges(w.status, changed);
    return 0;
}

int OnOwnerSignal(sd_bus_message* m, void* userdata, sd_bus_error*)
{
    Watch& w = *static_cast<Watch*>(userdata);
    const char* member = sd_bus_message_get_member(m);
    if (!FromOwner(w, m) || !member)
        return 0;
    const Json args = ReadSignalArgs(m, member);
    PrintEvent(member, args);
    return 0;
}

int OnNameOwnerChanged(sd_bus_message* m, void* userdata, sd_bus_error*)
{
    Watch& w = *static_cast<Watch*>(userdata);
    const char *name = nullptr, *before = nullptr, *after = nullptr;
    if (sd_bus_message_read(m, "sss", &name, &before, &after) < 0 || !name
        || std::strcmp(name, kv::bus::kServiceName) != 0)
        return 0;
    w.owner = after ? after : "";
    if (w.owner.empty()) {
        PrintEvent("OwnerGone", Json::object());
    } else {
        PrintEvent("OwnerBack", Json::object());
        Refresh(w);
    }
    return 0;
}

int MonitorThroughOwner(OwnerBus& bus, long long seconds)
{
    Watch w;
    w.bus = &bus;
    w.owner = OwnerOf(bus.Bus());
    sd_bus_slot* slots[3] = {};
    if (sd_bus_match_signal(bus.Bus(), &slots[0], nullptr, kv::bus::kObjectPath, "org.freedesktop.DBus.Properties",
                            "PropertiesChanged", OnPropertiesChanged, &w)
            < 0
        || sd_bus_match_signal(bus.Bus(), &slots[1], nullptr, kv::bus::kObjectPath, kv::bus::kInterface, nullptr,
                               OnOwnerSignal, &w)
               < 0
        || sd_bus_match_signal(bus.Bus(), &slots[2], "org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus", "NameOwnerChanged", OnNameOwnerChanged, &w)
               < 0) {
        for (sd_bus_slot* s : slots)
            sd_bus_slot_unref(s);
        return Fail(kExitFailure, "cannot follow the owner of the modem on the session bus");
    }
    // Subscribed first, then read: a change in between is not lost.
    Json first;
    if (const int st = bus.GetAll(first); st != kExitOk) {
        for (sd_bus_slot* s : slots)
            sd_bus_slot_unref(s);
        return st;
    }
    w.status = first;
    std::vector<std::string> all;
    for (auto it = first.begin(); it != first.end(); ++it)
        all.push_back(it.key());
    PrintChanges(w.status, all);

    const int64_t start = kv::TickMs();
    int status = kExitOk;
    while (!g_stop.load() && (seconds < 0 || kv::TickMs() - start < seconds * 1000)) {
        const int r = sd_bus_process(bus.Bus(), nullptr);
        if (r < 0) {
            status = Fail(kExitNoDevice, "the session bus went away");
            break;
        }
        if (r > 0)
            continue;
        sd_bus_wait(bus.Bus(), 200'000);
    }
    for (sd_bus_slot* s : slots)
        sd_bus_slot_unref(s);
    return status;
}

// ---- the modem run here ----

kv::OwnerSnapshot LocalSnapshot(const GlobalOptions& opts, HeadlessModem& modem, const kv::PollSignal* poll)
{
    kv::CHeadlessHost& host = modem.host;
    const kv::ModemState& st = host.State();
    kv::OwnerSnapshot s;
    s.engineReady = modem.engine.ThreadRunning() && host.Indicator(kv::IND_ROAMING) != -1;
    const int com = st.m_nComPort.load();
    s.port = !opts.device.empty() ? opts.device : com > 0 ? kv::CCommPort::ComDevicePath(uint32_t(com)) : "";
    s.comPort = opts.device.empty() && com > 0 ? com : -1;
    s.deviceKind = st.m_nDeviceKind.load();
    s.serviceStateCode = host.Indicator(kv::IND_SERVICE);
    s.serviceState = s.serviceStateCode < 0 ? "" : ServiceName(s.serviceStateCode);
    if (poll) {
        s.systemModeCode = poll->sysMode;
        s.systemMode = SystemModeName(poll->sysMode);
        const auto signal = [](int dbm, int& outDbm, uint32_t& bars) {
            const int level = kv::CStatusModel::SignalLevelOf(dbm);
            outDbm = dbm == kv::kSignalNone ? 0 : dbm;
            bars = dbm == kv::kSignalNone || level == kv::CStatusModel::kLevelNoSignal || level < 0 ? 0
                                                                                                 : uint32_t(level);
        };
        signal(poll->oneXDbm, s.signal1xDbm, s.signal1xBars);
        signal(poll->evdoDbm, s.signalEvdoDbm, s.signalEvdoBars);
    }
    s.roaming = host.Indicator(kv::IND_ROAMING) > 0;
    s.batteryLevel = host.Indicator(kv::IND_BATTERY);
    s.batteryState = s.batteryLevel < 0 ? "" : BatteryName(s.batteryLevel);
    if (s.engineReady) {
        s.cardState = CardState(st);
        s.pinCheck = kv::PinCheckOn(st);
    }
    return s;
}

int MonitorHere(const GlobalOptions& opts, long long seconds)
{
    const PortCheck pc = CheckModemPort(opts);
    if (pc.path.empty())
        return Fail(kExitNoDevice, "no modem found (see 'korvianet-cli ports')");
    if (!pc.problem.empty())
        return Fail(kExitNoDevice, PortUnusableText(pc, Shown(pc.path)));
    kv::EnsureSettingsDir();
    HeadlessModem modem(opts);
    std::mutex lock;
    kv::PollSignal poll;
    bool polled = false;
    modem.engine.SetSignalSink([&](const kv::PollSignal& p) {
        std::lock_guard<std::mutex> g(lock);
        poll = p;
        polled = true;
    });
    if (!modem.engine.UserDmRestart())
        return Fail(kExitNoDevice, "cannot open the modem's port");
    const int64_t start = kv::TickMs();
    const auto stopAsked = [&] {
        return g_stop.load() || modem.host.CloseRequested() || (seconds >= 0 && kv::TickMs() - start >= seconds * 1000);
    };
    modem.engine.SetStopCheck(stopAsked);
    kv::OwnerSnapshot before;
    Json printed = Json::object();
    bool first = true;
    for (;;) {
        modem.host.RunUntil([&] { return stopAsked() || !modem.engine.ThreadRunning(); }, 500);
        kv::OwnerSnapshot now;
        {
            std::lock_guard<std::mutex> g(lock);
            const kv::PollSignal p = poll;
            now = LocalSnapshot(opts, modem, polled ? &p : nullptr);
        }
        const std::vector<std::string> changed = first ? PropertyNames() : kv::ChangedProperties(before, now);
        PrintChanges(SnapshotJson(now), changed);
        before = now;
        first = false;
        if (stopAsked() || !modem.engine.ThreadRunning())
            break;
    }
    const bool died = !stopAsked() && !modem.engine.ThreadRunning();
    modem.engine.StopDmEngine();
    modem.engine.SetStopCheck(nullptr);
    if (modem.engine.ThreadRunning()) {
        std::fflush(stdout);
        std::_Exit(kExitFailure);
    }
    return died ? Fail(kExitTimedOut, "the modem stopped answering") : kExitOk;
}

} // namespace

int RunMonitor(const GlobalOptions& opts, const std::vector<std::string>& args)
{
    long long seconds = -1;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--seconds" && i + 1 < args.size()) {
            const auto v = NumberArg("--seconds", args[++i], 0, kMaxSeconds);
            if (!v)
                return kExitUsage;
            seconds = *v;
        } else {
            return UsageError("usage: monitor [--seconds N]");
        }
    }
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    if (auto bus = OwnerBus::Find())
        return MonitorThroughOwner(*bus, seconds);
    return MonitorHere(opts, seconds);
}

} // namespace kvcli

KV_CLI_COMMAND("monitor", "monitor [--seconds N]  (also: status --watch)",
               "one line per change of the modem's state (time, property, value in words) until\n"
               "      SIGINT/SIGTERM/SIGHUP or N seconds (0 to 31622400); follows the owner of the modem\n"
               "      (the window or 'korvianet-cli run') on the session bus, or runs the modem itself\n"
               "      when none runs. The first lines give every property",
               kvcli::RunMonitor,
               "  one document per line, flushed at once:\n"
               "  {\"time\": \"YYYY-MM-DDTHH:MM:SSZ\", \"changed\": [NAME...], \"status\": {NAME: VALUE...}}\n"
               "  {\"time\": ..., \"event\": \"SmsReceived\"|\"CallIncoming\"|...|\"OwnerGone\"|\"OwnerBack\", ARG: VALUE...}\n"
               "  (NAME: the bus service's property names, e.g. \"Signal1xDbm\"; ARG: the signal's arguments)");
