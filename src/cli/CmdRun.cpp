// "run": the DM engine headless against the modem: the start-up chain, then
// status polling, with the diagnostic log and every indicator change and
// message-line text on standard output, until the time is up or a signal
// (SIGINT, SIGTERM, SIGHUP) asks to stop; then the engine ends with DM_END_WORK.
// When the modem is pulled out the engine ends at once; the command then
// looks for the modem every two seconds and restarts the engine when it is
// back.
#include "cli/CliArgs.h"
#include "cli/CliBus.h"
#include "cli/CliCommand.h"
#include "cli/CliModem.h"
#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "data/AppDatabase.h"
#include "engine/CommPortLink.h"
#include "engine/DeviceRecovery.h"
#include "engine/DmEngine.h"
#include "host/HeadlessHost.h"
#include "log/DebugLog.h"
#include "messaging/MessagingServices.h"
#include "net/AtPoll.h"
#include "owner/Owner.h"
#include "owner/OwnerServices.h"
#include "platform/Event.h"
#include "settings/Profile.h"
#include "usage/SignalHistory.h"

#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace {

std::atomic<bool> g_stop{false};

void OnSignal(int) { g_stop = true; }

constexpr long long kMaxSeconds = 366LL * 24 * 3600;

std::mutex g_outLock;
kvcli::Json g_events = kvcli::Json::array(); // with --json: what would have been printed

// One indicator change or message line: one output line, texts escaped.
void Say(const std::string& what)
{
    std::lock_guard<std::mutex> g(g_outLock);
    if (kvcli::JsonMode()) {
        g_events.push_back(kvcli::Utf8Text(what));
        return;
    }
    std::printf("[run] %s\n", kvcli::Shown(what).c_str());
    std::fflush(stdout);
}

// Reads one line from the terminal, giving up when ended() turns true.
bool ReadLine(const std::string& prompt, const std::function<bool()>& ended, std::string& out)
{
    if (!isatty(STDIN_FILENO))
        return false;
    Say(prompt);
    out.clear();
    while (!ended() && !g_stop.load()) {
        pollfd p{STDIN_FILENO, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        char c = 0;
        if (read(STDIN_FILENO, &c, 1) != 1)
            return false;
        if (c == '\n')
            return !out.empty();
        out += c;
    }
    return false;
}

int RunRun(const kvcli::GlobalOptions& opts, const std::vector<std::string>& args)
{
    long seconds = -1;
    std::string pin;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--seconds" && i + 1 < args.size()) {
            const auto v = kvcli::NumberArg("--seconds", args[++i], 0, kMaxSeconds);
            if (!v)
                return kvcli::kExitUsage;
            seconds = long(*v);
        } else if (args[i] == "--pin" && i + 1 < args.size()) {
            pin = args[++i];
        } else {
            return kvcli::UsageError("usage: run [--seconds N] [--pin CODE]");
        }
    }

    // The log goes where the global options say; without them to standard
    // output between the indicator lines (never into a JSON document).
    if (opts.logFile.empty() && !opts.verbose && !kvcli::JsonMode())
        kv::EnableDiagnosticSink(stdout);
    kv::EnsureSettingsDir();

    kvcli::HeadlessModem modem(opts);
    kv::CHeadlessHost& host = modem.host;
    kv::CDmEngine& engine = modem.engine;
    host.SetObserver(Say);

    // The SMS and phonebook families, as the main window has them: the
    // start-up reads both phonebooks into the database and the poll runs
    // its message checks.
    std::string dbPath;
    if (!kvcli::PrepareDatabase(dbPath))
        return kvcli::kExitFailure;
    kv::CAppDatabase db(dbPath);
    kv::CSmsVectorList smsList;
    kv::CMessagingServices services(engine, db, &smsList);
    // The owner of the modem, as the services that watch it see it: created
    // here once the host core and the engine exist, before the engine starts.
    kv::OwnerParts parts;
    parts.host = &host;
    parts.core = &host.Core();
    parts.engine = &engine;
    parts.services = &services;
    parts.db = &db;
    parts.post = [&host](std::function<void()> fn) { host.RunOnUi(std::move(fn)); };
    parts.startupDone = [&host] { return host.ControlEnabled(kv::IDC_SMS_TOGGLE); };
    parts.device = opts.device;
    kv::COwner owner(parts);
    // The bus service, the notifications and the hooks, started once it is
    // sure that no other owner runs.
    kv::COwnerServices desktop(owner);
    host.SetMessageHandler([&services, &owner](kv::MsgTarget target, uint32_t msg, uintptr_t w, intptr_t l,
                                               intptr_t& result) {
        if (target == kv::MsgTarget::SmsPage && msg == kv::UM_SMS_SEND_STATUS && owner.OnSmsSendStatus(w, l)) {
            result = 0;
            return true;
        }
        return target == kv::MsgTarget::MainWindow
               && services.HandleMainWindowMessage(msg, w, l, result);
    });
    host.SetLookupNameHandler([&services](const std::string& number) { return services.LookupName(number); });
    db.OpenSmsCursor();

    auto pinTold = std::make_shared<bool>(false);
    host.SetPinProvider([pin, pinTold](int mode, const std::function<bool()>& ended) {
        std::string code;
        if (mode == kv::PIN_MODE_ENTER) {
            if (!pin.empty() && !*pinTold) {
                *pinTold = true; // given once: a wrong one is asked for on the terminal
                code = pin;
            } else if (!ReadLine("PIN: ", ended, code)) {
                return kv::PinResult::Cancel;
            }
            kv::WriteProfileString("chv1", "num", code, kv::kMainIni);
            return kv::PinResult::Ok;
        }
        std::string newPin;
        if (!ReadLine("unblock code: ", ended, code) || !ReadLine("new PIN: ", ended, newPin))
            return kv::PinResult::Cancel;
        kv::WriteProfileString("chv1_temp", "num", code, kv::kMainIni);
        kv::WriteProfileString("chv1", "num", newPin, kv::kMainIni);
        return kv::PinResult::Ok;
    });

    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr); // the terminal closed, the user logged out

    // A second owner would fight the first for the port.
    if (kvcli::OwnerBus::Find())
        return kvcli::NeedsPortItself("'run'");
    desktop.Start();
    {
        const kvcli::PortCheck pc = kvcli::CheckModemPort(opts);
        if (pc.path.empty())
            return kvcli::Fail(kvcli::kExitNoDevice, "no modem found (see 'korvianet-cli ports')");
        if (!pc.problem.empty())
            return kvcli::Fail(kvcli::kExitNoDevice,
                               kvcli::PortUnusableText(pc, kvcli::Shown(pc.path)));
    }
    // The signal history grows while the tool owns the modem, as in the window.
    kvusage::CSignalHistory signal(dbPath);
    engine.SetSignalSink([&signal](const kv::PollSignal& p) {
        signal.Add(kvusage::SignalSample{p.oneXDbm, p.evdoDbm, p.sysMode, p.roaming});
    });
    if (!engine.UserDmRestart())
        return kvcli::Fail(kvcli::kExitNoDevice, "cannot open the modem's port");
    const int64_t start = kv::TickMs();
    auto stopAsked = [&] {
        return g_stop.load() || host.CloseRequested()
            || (seconds >= 0 && kv::TickMs() - start >= seconds * 1000);
    };
    // Long reads served inside the loop (a phonebook at start-up) ask this
    // between their exchanges, so a signal or the end of the time stops them.
    engine.SetStopCheck(stopAsked);

    // A modem pulled out ends the engine; it is looked for every two seconds
    // and the engine restarted when it is back, as often as that happens.
    kv::CDeviceRecovery recovery(engine);
    const std::string device = opts.device;
    recovery.SetPresenceCheck([device](const kv::PortChoice& pc) {
        if (pc.comPort <= 0)
            return false;
        if (device.empty())
            return ::access(kv::CCommPort::ComDevicePath(uint32_t(pc.comPort)).c_str(), R_OK | W_OK) == 0;
        // A given tty comes back under its name (a USB serial port does). A
        // pseudo-terminal's number goes to whoever opens the next one: never
        // take a reused one for the modem.
        struct stat st {};
        if (::stat(device.c_str(), &st) != 0 || !S_ISCHR(st.st_mode))
            return false;
        const unsigned maj = major(st.st_rdev);
        return !(maj >= 136 && maj <= 143) && ::access(device.c_str(), R_OK | W_OK) == 0;
    });
    bool died = false;
    for (;;) {
        host.RunUntil([&] { return stopAsked() || !engine.ThreadRunning(); }, -1);
        if (stopAsked())
            break;
        if (!engine.EndedByHangup()) {
            died = true;
            break;
        }
        Say("the modem is gone: waiting for it to come back");
        owner.ModemRemoved();
        bool back = false;
        while (!back && !stopAsked()) {
            host.RunUntil(stopAsked, 100);
            back = recovery.Poll() == kv::CDeviceRecovery::Step::Restarted;
        }
        if (back) {
            Say("the modem is back: engine restarted");
            owner.ModemAdded();
        }
    }
    desktop.Stop();
    owner.Close();
    engine.StopDmEngine();
    engine.SetStopCheck(nullptr);
    if (engine.ThreadRunning()) {
        // Still inside one exchange that ignores the closed port: do not
        // wait out its time-out, the stop was asked for now.
        Say("engine did not end in time: leaving without it");
        std::fflush(stdout);
        std::_Exit(kvcli::kExitFailure);
    }
    Say(died ? "engine ended: the modem stopped answering" : "engine stopped");
    if (kvcli::JsonMode()) {
        std::lock_guard<std::mutex> g(g_outLock);
        kvcli::PrintJson({{"ended", died ? "modem stopped answering" : "stopped"}, {"events", g_events}});
    }
    if (died)
        return kvcli::Fail(kvcli::kExitTimedOut, "the modem stopped answering");
    return kvcli::kExitOk;
}

} // namespace

KV_CLI_COMMAND("run", "run [--seconds N] [--pin CODE]",
               "run the modem engine headless (start-up, status polling), printing the log and "
               "each indicator change; restarts the engine when an unplugged modem returns; ends on\n"
               "      SIGINT/SIGTERM/SIGHUP or after N seconds (0 to 31622400). The log goes to standard output\n"
               "      unless -v (standard error) or --log-file FILE says otherwise",
               RunRun,
               "  {\"ended\": \"stopped\"|\"modem stopped answering\", \"events\": [TEXT...]}\n"
               "  (no log on standard output; each event is one indicator change or message-line text)");
