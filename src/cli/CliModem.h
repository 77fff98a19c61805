// The modem as the long-running commands ("run", "connect") drive it: the
// serial port, the DM engine on a headless host, and the AT poll on the
// engine's timer 100003 as the main window runs it. The members are built
// and torn down in the window's order: the engine stops before its port
// goes.
#pragma once

#include "cli/CliCommand.h"
#include "engine/CommPortLink.h"
#include "engine/DmEngine.h"
#include "host/HeadlessHost.h"
#include "net/AtChannel.h"
#include "net/AtPoll.h"

namespace kvcli {

struct HeadlessModem {
    // --device names the modem's diagnostic tty; without it discovery runs.
    explicit HeadlessModem(const GlobalOptions& opts);
    HeadlessModem(const HeadlessModem&) = delete;
    HeadlessModem& operator=(const HeadlessModem&) = delete;

    kv::CCommPort port;
    kv::CCommPortLink link{port};
    kv::CHeadlessHost host;
    kv::CDmEngine engine{host, link};
    kv::CCommPortAt atPort{port};
    kv::CAtPoll atPoll{host, atPort};
};

} // namespace kvcli
