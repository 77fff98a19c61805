#include "platform/PumpHook.h"

#include "platform/Event.h"

namespace kv {

namespace {
thread_local IPumpHook* t_pump = nullptr;
}

IPumpHook* CurrentPump() { return t_pump; }
void SetCurrentPump(IPumpHook* pump) { t_pump = pump; }

bool WaitPumping(const std::function<bool()>& done, int64_t timeoutMs, int64_t stepMs)
{
    const int64_t start = TickMs();
    for (;;) {
        if (done())
            return true;
        if (timeoutMs >= 0 && TickMs() - start >= timeoutMs)
            return false;
        if (IPumpHook* pump = CurrentPump())
            pump->PumpFor(stepMs);
        else
            SleepMs(stepMs);
    }
}

} // namespace kv
