#include "engine/DeviceRecovery.h"

#include "log/DebugLog.h"
#include "platform/Event.h"

namespace kv {

CDeviceRecovery::CDeviceRecovery(CDmEngine& engine, int64_t intervalMs)
    : m_engine(engine), m_nIntervalMs(intervalMs > 0 ? intervalMs : kDefaultIntervalMs),
      m_present([](const PortChoice& pc) { return pc.comPort > 0; })
{
}

CDeviceRecovery::Step CDeviceRecovery::Poll()
{
    if (m_engine.ThreadRunning()) {
        m_bWaiting = false;
        return Step::EngineRunning;
    }
    if (!m_engine.EndedByHangup()) {
        m_bWaiting = false;
        return Step::NotRecovering;
    }
    const int64_t now = TickMs();
    if (!m_bWaiting) {
        // The device node may linger a moment after a pull: first look one
        // interval later.
        m_bWaiting = true;
        m_tNextTry = now + m_nIntervalMs;
        DEBUG_LOG(LEVEL_ST, "modem gone: looking for it every %d ms", int(m_nIntervalMs));
        return Step::Waiting;
    }
    if (now < m_tNextTry)
        return Step::Waiting;
    m_tNextTry = now + m_nIntervalMs;
    ++m_nAttempts;
    const PortChoice pc = m_engine.Discover();
    if (!m_present(pc))
        return Step::Waiting;
    DEBUG_LOG(LEVEL_ST, "modem back on COM%d: restarting", pc.comPort);
    if (!m_engine.UserDmRestart())
        return Step::Waiting; // not ready yet: the next interval tries again
    m_bWaiting = false;
    ++m_nRestarts;
    return Step::Restarted;
}

} // namespace kv
