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

bool HostWaitLoop(const std::function<bool()>& done, int64_t timeoutMs, bool ownThread,
                  const std::function<void(int64_t)>& pumpFor,
                  const std::function<void(int64_t)>& idleWait, int64_t idleStepMs)
{
    constexpr int64_t kPumpSliceMs = 50;
    const int64_t start = TickMs();
    for (;;) {
        if (done())
            return true;
        const int64_t left = timeoutMs < 0 ? kPumpSliceMs : timeoutMs - (TickMs() - start);
        if (left <= 0)
            return false;
        if (ownThread)
            pumpFor(left < kPumpSliceMs ? left : kPumpSliceMs);
        else
            idleWait(left < idleStepMs ? left : idleStepMs);
    }
}

} // namespace kv
