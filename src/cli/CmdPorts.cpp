// "ports": what port discovery finds, the way the program would find it.
//
// Output, one fact per line:
//   COM<n> <device path> <instance path>   the diagnostic port that was taken
//                                         (device path: the dosdevices link,
//                                         then "->" and the tty it points at)
//   driver <new|old|none>                 which driver's list was used
//   kind <0|2>                            the device kind stored at start-up
//   device <instance path>                every instance listed by the driver
//   watch <registry key>                  the key the presence watcher watches
// A line starting with "COM" appears only when a port was found; the exit
// code is then 0, else 3 (no device).
#include "cli/CliCommand.h"
#include "engine/DrvComm.h"

#include <climits>
#include <cstdio>
#include <unistd.h>

namespace {

int RunPorts(const kvcli::GlobalOptions&, const std::vector<std::string>& args)
{
    if (!args.empty())
        return kvcli::UsageError("usage: ports");
    kv::PortDiscovery disc;
    const int port = disc.FindComPort();

    std::vector<std::string> all;
    const int newType = disc.DriverNewType();
    if (newType >= 0)
        disc.EnumDriverDevices(all, newType);

    if (disc.DeviceKind() == kv::kDeviceKindInstance && port > 0) {
        std::string link = kv::DosDevicesDir() + "/com" + std::to_string(port);
        char target[PATH_MAX];
        ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
        std::string shown = n > 0 ? link + " -> " + std::string(target, size_t(n)) : link;
        std::printf("COM%d %s %s\n", port, shown.c_str(), disc.TakenInstance().c_str());
    }
    std::printf("driver %s\n", newType == 1 ? "new" : newType == 0 ? "old" : "none");
    std::printf("kind %d\n", disc.DeviceKind());
    for (const std::string& d : all)
        std::printf("device %s\n", d.c_str());
    std::printf("watch %s\n", disc.GetRegName().c_str());
    return port > 0 ? kvcli::kExitOk : kvcli::kExitNoDevice;
}

} // namespace

KV_CLI_COMMAND("ports", "ports",
               "run port discovery: prints \"COM<n> <dosdevices link> -> <tty> <instance>\" for the modem's\n"
               "diagnostic port when one is found, then the driver list used (new/old/none), the device\n"
               "kind, every listed device instance and the registry key to watch. Exit code 3: no port.",
               RunPorts);
