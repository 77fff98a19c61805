// A thread that must wait for another thread while it owns windows (the UI
// thread) keeps dispatching its events while it waits. The UI installs a
// pump for its thread; everywhere else waiting is a plain bounded sleep.
#pragma once

#include <cstdint>
#include <functional>

namespace kv {

class IPumpHook {
public:
    virtual ~IPumpHook() = default;
    // Dispatches pending events of the calling thread for at most maxMs.
    virtual void PumpFor(int64_t maxMs) = 0;
};

// The pump of the calling thread, or nullptr when it has none.
IPumpHook* CurrentPump();
// Installs (or with nullptr removes) the pump of the calling thread.
void SetCurrentPump(IPumpHook* pump);

// Waits until done() is true or timeoutMs has passed (negative: no limit),
// pumping the calling thread's events meanwhile. Checks every stepMs.
// Holds no lock while it waits. True when done() became true.
bool WaitPumping(const std::function<bool()>& done, int64_t timeoutMs, int64_t stepMs = 10);

// The wait loop of a host object (the main window, the headless host): until
// done() holds or timeoutMs has passed (negative: no limit), the host's own
// thread dispatches its events through pumpFor(ms) in slices of at most
// 50 ms; any other thread has nothing to dispatch and sleeps in idleWait(ms),
// slices of at most idleStepMs, which the host's wake-up may cut short.
// Holds no lock while it waits. True when done() became true.
bool HostWaitLoop(const std::function<bool()>& done, int64_t timeoutMs, bool ownThread,
                  const std::function<void(int64_t)>& pumpFor,
                  const std::function<void(int64_t)>& idleWait, int64_t idleStepMs);

} // namespace kv
