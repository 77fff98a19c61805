// The device presence watcher: a worker thread that waits for changes of
// the modem driver's device list (the key that port discovery names, its
// value "Count") and, when the modem goes away, shuts the link down in
// order; when it comes back, starts everything again.
//
// States (m_nRegNotifyState): 0 not running, 1 device present, 253 device
// removed, 255 stop requested. A missing list or a list without "Count"
// counts as no device: the live USB view drops the list of a modem that
// was pulled out, and a machine that never saw the modem has no list yet.
// Only a tree that cannot be watched at all ends the watching.
//
// What the steps do to the window goes through IDeviceWatcherHost; the
// watcher itself has no window. Every wait is bounded and ends early on a
// stop request, so RegDestroy never leaves a thread waiting on a released
// event.
#pragma once

#include "platform/DirWatch.h"
#include "platform/Event.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace kv {

enum : uint8_t {
    REG_NOTIFY_OFF = 0,
    REG_NOTIFY_PRESENT = 1,
    REG_NOTIFY_REMOVED = 253,
    REG_NOTIFY_STOP = 255,
};

// The main window's side of the removal and re-arrival steps. Called from
// the watcher's thread; an implementation that owns windows runs the work on
// its UI thread and waits a bounded time for it.
class IDeviceWatcherHost {
public:
    virtual ~IDeviceWatcherHost() = default;
    // Removal.
    virtual void PostDeviceNull() = 0;   // DM_DEVICE_NULL at the head of the queue
    virtual bool TrayMode() = 0;
    virtual void StartTimer(uint32_t id, uint32_t periodMs) = 0;
    // The status panel shown, the link's buttons (and Exit) disabled,
    // every indicator at its no-device value.
    virtual void ShowDeviceRemoved() = 0;
    virtual bool ModalPageOpen() = 0;
    virtual void CancelModalPage() = 0;  // the page's cancel command
    virtual uint16_t PortState() = 0;
    virtual uint8_t RasState() = 0;
    virtual void RasRequest(uint8_t code, bool atFront) = 0;
    virtual void EnableExit() = 0;
    // Re-arrival.
    virtual void EnableAfterArrival() = 0; // Minimize, Net Connect, Net Disconnect, Setting
    virtual void WipePhonebook() = 0;      // UM_UI_REQUEST (6, 0), waited for
    virtual void ClearPhonebookRead() = 0;
    virtual void UserDmRestart() = 0;
    // RegDestroy's wait for the thread (the UI thread keeps dispatching).
    virtual bool WaitPumping(const std::function<bool()>& done, int64_t timeoutMs) = 0;
};

class CDeviceWatcher {
public:
    // The waits of the steps; tests shorten them.
    struct Timing {
        int64_t waitMs = 2000;             // change wait while present
        int64_t waitAfterRemovalMs = 5000; // change wait after a removal was handled
        int64_t settleMs = 1000;           // after the removal display
        int64_t modalWaitMs = 4000;        // per step, for the modal page to close
        int64_t stepMs = 5000;             // per step, for the engine and the RAS thread
        int steps = 12;
        int64_t arrivalDelayMs = 3000;     // before the engine is started again
        int64_t stopWaitMs = 40000;        // RegDestroy's wait for the thread (above the UI waits)
    };

    explicit CDeviceWatcher(IDeviceWatcherHost& host);
    CDeviceWatcher(IDeviceWatcherHost& host, const Timing& timing);
    ~CDeviceWatcher();
    CDeviceWatcher(const CDeviceWatcher&) = delete;
    CDeviceWatcher& operator=(const CDeviceWatcher&) = delete;

    // Creates the change event and starts the thread in state 1, or in
    // state 253 when there was no modem at start (its arrival then starts
    // the engine). False when the change event cannot be created.
    bool Start(bool devicePresent);
    // Stops the watching: the thread leaves its wait and ends before the
    // change event is released. Safe to call again, and from inside its own
    // wait (a handler run while the first call dispatches events).
    void RegDestroy();
    // The removal event's pulse (the engine or the RAS monitor thread ended).
    void PulseRemoval();

    uint8_t State() const { return m_nRegNotifyState.load(); }
    bool Running() const { return m_bThreadAlive.load(); }
    bool StopRequested() const { return m_bStop.load(); }
    // Removals and re-arrivals handled (for the display of tests and tools).
    unsigned Removals() const { return m_nRemovals.load(); }
    unsigned Arrivals() const { return m_nArrivals.load(); }
    // Reads of "Count" after a wait.
    unsigned Passes() const { return m_nPasses.load(); }

private:
    void ThreadMain();
    // False when the step was cut short by a stop.
    bool HandleRemoval();
    bool HandleArrival();
    // Waits on the removal event in steps until cond() holds; false on a stop.
    bool WaitRemovalSteps(const std::function<bool()>& cond, int64_t stepMs, int steps,
                          const char* eachStepLog);
    // Sleeps, ending early on a stop; false on a stop.
    bool Pause(int64_t ms);
    bool ChangeState(uint8_t from, uint8_t to);

    IDeviceWatcherHost& m_host;
    const Timing m_timing;
    CDirWatch m_watch;
    CEvent m_stopEvent{true, false};
    CEvent m_removal{true, false};
    std::atomic<uint8_t> m_nRegNotifyState{REG_NOTIFY_OFF};
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bThreadAlive{false};
    std::atomic<bool> m_bDestroying{false};
    std::atomic<unsigned> m_nRemovals{0};
    std::atomic<unsigned> m_nArrivals{0};
    std::atomic<unsigned> m_nPasses{0};
    std::thread m_thread;
    int64_t m_nWaitMs = 0; // watcher thread only
};

// The buttons a removal disables. While the modem is away (state 253) none
// of them may be enabled again by anyone but the watcher, which gives Exit
// back once the link has stopped: a page closing or a thread ending during
// the removal would otherwise wake buttons that cannot work.
extern const int kRemovalDisabledControls[13];
bool KeptDisabledWhileRemoved(uint8_t regNotifyState, int id);

} // namespace kv
