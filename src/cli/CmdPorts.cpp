// "ports": what port discovery finds, the way the program would find it.
//
// Output, one fact per line:
//   given <tty>                           with --device: the tty given (instead of COM)
//   COM<n> <device path> <instance path>   the diagnostic port that was taken
//                                         (device path: the dosdevices link,
//                                         then "->" and the tty it points at)
//   driver <new|old|none>                 which driver's list was used
//   kind <0|2>                            the device kind stored at start-up
//   device <instance path>                every instance listed by the driver
//   watch <registry key>                  the key the presence watcher watches
// A line starting with "COM" appears only when a port was found; the exit
// code is then 0 when the port can be opened, else 3 with the reason on
// standard error; 3 also when no port was found (and why, when the driver
// lists devices).
#include "cli/CliCommand.h"
#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "engine/DrvComm.h"
#include "link/CommPort.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <unistd.h>

namespace {

std::string Upper(std::string s)
{
    for (char& c : s)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

int RunPorts(const kvcli::GlobalOptions& opts, const std::vector<std::string>& args)
{
    if (!args.empty())
        return kvcli::UsageError("usage: ports");
    kv::PortDiscovery disc;
    const int port = disc.FindComPort();

    std::vector<std::string> all;
    const int newType = disc.DriverNewType();
    if (newType >= 0)
        disc.EnumDriverDevices(all, newType);

    kvcli::Json doc;
    kvcli::Json portJson = nullptr;
    std::string text, problem;
    if (!opts.device.empty()) {
        // --device: the given tty is the port; discovery is shown beside it.
        problem = kvcli::PortProblem(opts.device);
        text += "given " + kvcli::Shown(opts.device) + "\n";
        portJson = {{"com", nullptr},
                    {"path", kvcli::Utf8Text(opts.device)},
                    {"target", ""},
                    {"instance", ""},
                    {"usable", problem.empty()},
                    {"problem", problem.empty() ? kvcli::Json(nullptr) : kvcli::Json(problem)}};
        if (!problem.empty())
            problem = kvcli::Shown(opts.device) + " cannot be used: " + problem;
    } else if (port > 0) {
        const std::string link = kv::CCommPort::ComDevicePath(uint32_t(port));
        char target[PATH_MAX];
        const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
        const std::string to = n > 0 ? std::string(target, size_t(n)) : std::string();
        problem = kvcli::PortProblem(link);
        const std::string shown = kvcli::Shown(link) + (to.empty() ? "" : " -> " + kvcli::Shown(to));
        text += "COM" + std::to_string(port) + " " + shown + " " + kvcli::Shown(disc.TakenInstance()) + "\n";
        portJson = {{"com", port},
                    {"path", kvcli::Utf8Text(link)},
                    {"target", kvcli::Utf8Text(to)},
                    {"instance", kvcli::Utf8Text(disc.TakenInstance())},
                    {"usable", problem.empty()},
                    {"problem", problem.empty() ? kvcli::Json(nullptr) : kvcli::Json(problem)}};
        if (!problem.empty())
            problem = "COM" + std::to_string(port) + " (" + shown + ") was found but cannot be used: " + problem;
    } else if (all.empty()) {
        problem = "no modem found: the driver lists no device";
    } else {
        problem = "no modem port found:";
        for (const std::string& d : all) {
            const bool diag = kv::IsDiagInterface(Upper(d));
            problem += " " + kvcli::Shown(d)
                       + (!diag                          ? " is not the diagnostic interface;"
                          : disc.PortFromDevice(d) <= 0 ? " has no port name;"
                                                        : " has a port that cannot be taken;");
        }
        problem.pop_back();
    }
    const char* driver = newType == 1 ? "new" : newType == 0 ? "old" : "none";
    text += std::string("driver ") + driver + "\nkind " + std::to_string(disc.DeviceKind()) + "\n";
    kvcli::Json devices = kvcli::Json::array();
    for (const std::string& d : all) {
        text += "device " + kvcli::Shown(d) + "\n";
        devices.push_back({{"instance", kvcli::Utf8Text(d)},
                           {"com", disc.PortFromDevice(d)},
                           {"diagnostic", kv::IsDiagInterface(Upper(d))}});
    }
    text += "watch " + kvcli::Shown(disc.GetRegName()) + "\n";
    if (kvcli::JsonMode()) {
        doc["port"] = portJson;
        doc["driver"] = driver;
        doc["kind"] = disc.DeviceKind();
        doc["devices"] = devices;
        doc["watch"] = kvcli::Utf8Text(disc.GetRegName());
        doc["problem"] = problem.empty() ? kvcli::Json(nullptr) : kvcli::Json(problem);
        kvcli::PrintJson(doc);
    } else {
        std::fputs(text.c_str(), stdout);
    }
    if (problem.empty())
        return kvcli::kExitOk;
    return kvcli::Fail(kvcli::kExitNoDevice, problem);
}

} // namespace

KV_CLI_COMMAND("ports", "ports",
               "run port discovery: prints \"COM<n> <dosdevices link> -> <tty> <instance>\" for the modem's\n"
               "      diagnostic port when one is found, then the driver list used (new/old/none), the device\n"
               "      kind, every listed device instance and the registry key to watch. Exit status 3: no\n"
               "      port, or a port that cannot be opened (the reason goes to standard error). With --device\n"
               "      the given tty is checked instead (\"given <tty>\" replaces the COM line)",
               RunPorts,
               "  {\"port\": {\"com\": N, \"path\": TEXT, \"target\": TEXT, \"instance\": TEXT, \"usable\": true|false,\n"
               "            \"problem\": TEXT|null} | null,\n"
               "   \"driver\": \"new\"|\"old\"|\"none\", \"kind\": N,\n"
               "   \"devices\": [{\"instance\": TEXT, \"com\": N, \"diagnostic\": true|false}],\n"
               "   \"watch\": TEXT, \"problem\": TEXT|null}");
