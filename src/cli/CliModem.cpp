#include "cli/CliModem.h"

namespace kvcli {

HeadlessModem::HeadlessModem(const GlobalOptions& opts)
{
    kv::UseModemPort(engine, port, opts.device);
    host.SetTimerHandler([this](uint32_t id) {
        if (id != kv::TIMER_AT_POLL)
            return false;
        atPoll.Tick();
        return true;
    });
}

} // namespace kvcli
