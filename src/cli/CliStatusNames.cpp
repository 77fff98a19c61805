#include "cli/CliStatusNames.h"

#include "engine/PinCheck.h"
#include "host/HostIds.h"

namespace kvcli {

const char* ServiceName(int v)
{
    switch (v) {
    case kv::SERVICE_1X_HYBRID: return "1x (hybrid with EV-DO)";
    case kv::SERVICE_1X: return "1x";
    case kv::SERVICE_NONE: return "no service";
    case kv::SERVICE_EVDO: return "EV-DO";
    default: return "unknown";
    }
}

const char* SystemModeName(int v)
{
    switch (v) {
    case 0: return "none";
    case 2: return "CDMA 1x";
    case 4: return "EV-DO";
    default: return "unknown";
    }
}

std::string BatteryName(int level)
{
    if (level >= 0 && level <= 5)
        return "level " + std::to_string(level) + " of 5";
    if (level == 6)
        return "charged";
    if (level == 7)
        return "charging";
    return "unknown";
}

std::string CardState(const kv::ModemState& st)
{
    const uint8_t flags = st.m_ucCardFlags.load();
    if ((flags & kv::CARDF_NO_CARD) || st.m_ucCardRetry.load() == kv::kCardRetryAbsent)
        return "absent";
    if (flags & kv::CARDF_BLOCKED)
        return "PUK required";
    if (flags & kv::CARDF_PIN_CANCELLED)
        return "PIN required";
    if (flags & kv::CARDF_NOT_READY)
        return "not ready";
    return "ready";
}

} // namespace kvcli
