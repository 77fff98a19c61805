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

} // namespace kv
