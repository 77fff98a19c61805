// Bringing the engine back when the modem returns. After the engine ended
// because its port hung up (the modem was pulled out), port discovery runs
// again every interval; once it finds the modem's port and the port is
// present, UserDmRestart starts the engine again. Cycle after cycle: the
// next hang-up is recovered the same way.
//
// The object has no thread and never waits: its owner calls Poll() from the
// thread that owns the engine (the UI thread, or the command-line tool's
// main loop) between its own bounded waits, so the owner's stop requests
// keep working while the modem is away.
#pragma once

#include "engine/DmEngine.h"

#include <cstdint>
#include <functional>

namespace kv {

class CDeviceRecovery {
public:
    enum class Step {
        EngineRunning, // nothing to recover
        NotRecovering, // the engine ended for another reason: left alone
        Waiting,       // the modem is away; discovery runs every interval
        Restarted,     // the modem is back and the engine runs again
    };
    static constexpr int64_t kDefaultIntervalMs = 2000;

    explicit CDeviceRecovery(CDmEngine& engine, int64_t intervalMs = kDefaultIntervalMs);

    // Whether a port that discovery found is really there (default: any
    // port number above 0).
    void SetPresenceCheck(std::function<bool(const PortChoice&)> present)
    {
        m_present = std::move(present);
    }
    // One step; cheap when nothing is due.
    Step Poll();

    unsigned Restarts() const { return m_nRestarts; }
    unsigned Attempts() const { return m_nAttempts; }
    bool Waiting() const { return m_bWaiting; }

private:
    CDmEngine& m_engine;
    int64_t m_nIntervalMs;
    std::function<bool(const PortChoice&)> m_present;
    bool m_bWaiting = false;
    int64_t m_tNextTry = 0;
    unsigned m_nRestarts = 0;
    unsigned m_nAttempts = 0;
};

} // namespace kv
