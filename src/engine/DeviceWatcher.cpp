#include "engine/DeviceWatcher.h"

#include "engine/DmCodes.h"
#include "engine/DrvComm.h"
#include "host/HostIds.h"
#include "log/DebugLog.h"
#include "settings/Reg.h"

// The watcher is a part of the main window: its lines carry the window's
// source name.
#define WATCH_LOG(...)                                                                        \
    do {                                                                                      \
        if (::kv::CDebugLog::Instance().WouldRecord(LEVEL_ST))                               \
            ::kv::CDebugLog::Instance().Record(__LINE__, "Dialer_oneDlg.cpp", LEVEL_ST, __VA_ARGS__); \
    } while (0)

namespace kv {

namespace {
constexpr uint8_t kRasTerminate = 240;
constexpr DWORD kNoCount = 0;
} // namespace

CDeviceWatcher::CDeviceWatcher(IDeviceWatcherHost& host) : CDeviceWatcher(host, Timing{}) {}

CDeviceWatcher::CDeviceWatcher(IDeviceWatcherHost& host, const Timing& timing)
    : m_host(host), m_timing(timing)
{
}

CDeviceWatcher::~CDeviceWatcher()
{
    RegDestroy();
    if (m_thread.joinable()) {
        // Only a thread that outlived RegDestroy's wait is left here; it
        // sees the stop after its current bounded wait.
        m_thread.join();
        m_watch.Close();
    }
}

bool CDeviceWatcher::Start(bool devicePresent)
{
    if (m_bThreadAlive.load() || m_thread.joinable())
        return false;
    if (!m_watch.Create())
        return false;
    m_bStop = false;
    m_bDestroying = false;
    m_stopEvent.Reset();
    m_nWaitMs = m_timing.waitMs;
    m_nRegNotifyState = devicePresent ? REG_NOTIFY_PRESENT : REG_NOTIFY_REMOVED;
    m_bThreadAlive = true;
    m_thread = std::thread(&CDeviceWatcher::ThreadMain, this);
    return true;
}

void CDeviceWatcher::RegDestroy()
{
    // A second call while the first one dispatches events returns: the first
    // one finishes the work.
    if (m_bDestroying.exchange(true))
        return;
    WATCH_LOG("RegDestroy: 01 ");
    for (uint8_t s : {REG_NOTIFY_PRESENT, REG_NOTIFY_REMOVED}) {
        uint8_t expected = s;
        if (m_nRegNotifyState.compare_exchange_strong(expected, REG_NOTIFY_STOP))
            break;
    }
    m_bStop = true;
    m_stopEvent.Set();
    m_removal.Set();
    m_watch.Wake();
    if (m_thread.joinable()) {
        // The thread may be waiting for the UI thread, which keeps
        // dispatching here.
        if (m_bThreadAlive.load())
            m_host.WaitPumping([this] { return !m_bThreadAlive.load(); }, m_timing.stopWaitMs);
        if (m_bThreadAlive.load()) {
            // Inside a step the window is slow to run; every wait of the
            // thread is bounded, so the destructor's join ends.
            WATCH_LOG("RegDestroy: the watcher did not end in time");
            return; // the event stays with the thread until then
        }
        m_thread.join();
    }
    // Nobody waits on the change event any more: released.
    m_watch.Close();
}

void CDeviceWatcher::PulseRemoval() { m_removal.Set(); }

bool CDeviceWatcher::ChangeState(uint8_t from, uint8_t to)
{
    return m_nRegNotifyState.compare_exchange_strong(from, to);
}

bool CDeviceWatcher::Pause(int64_t ms)
{
    if (ms > 0)
        m_stopEvent.Wait(ms);
    return !m_bStop.load();
}

bool CDeviceWatcher::WaitRemovalSteps(const std::function<bool()>& cond, int64_t stepMs, int steps,
                                      const char* eachStepLog)
{
    for (int i = 0; i < steps; ++i) {
        // Cleared before the test: a pulse after it ends the wait.
        m_removal.Reset();
        if (m_bStop.load())
            return false;
        if (cond())
            return true;
        if (eachStepLog)
            WATCH_LOG("%s", eachStepLog);
        m_removal.Wait(stepMs);
    }
    return !m_bStop.load();
}

void CDeviceWatcher::ThreadMain()
{
    for (;;) {
        if (m_nRegNotifyState.load() == REG_NOTIFY_STOP || m_bStop.load()) {
            WATCH_LOG("REG_NOTIFY_END: 01 ");
            m_nRegNotifyState = REG_NOTIFY_OFF;
            break;
        }
        // A discovery of its own each time: the list to watch follows the
        // driver the modem is on.
        PortDiscovery discovery;
        discovery.FindComPort();
        const std::string key = discovery.GetRegName();
        const std::string folder = RegistryKeyFolder(HKEY_LOCAL_MACHINE, key);
        // A watch that had to move (the key was created, or removed) may
        // have missed the change that moved it: "Count" is read at once.
        int waited = -1;
        if (m_watch.Arm(folder))
            waited = m_watch.Wait(m_watch.Moved() ? 0 : m_nWaitMs);
        CReg reg;
        reg.SetKey(HKEY_LOCAL_MACHINE, key);
        const DWORD count = reg.ReadDword(kDrvCountValue, kNoCount);
        if (waited < 0) {
            // The tree cannot be watched: the rest of the run goes without.
            WATCH_LOG("notifychangeregkey error");
            m_nRegNotifyState = REG_NOTIFY_OFF;
            break;
        }
        const uint8_t state = m_nRegNotifyState.load();
        if (state == REG_NOTIFY_PRESENT && count == 0) {
            if (HandleRemoval())
                ++m_nRemovals;
        } else if (state == REG_NOTIFY_REMOVED && count != 0) {
            if (HandleArrival())
                ++m_nArrivals;
        }
        // Every other combination ("Count" unchanged): the next wait.
        ++m_nPasses;
    }
    m_bThreadAlive = false;
}

bool CDeviceWatcher::HandleRemoval()
{
    if (!ChangeState(REG_NOTIFY_PRESENT, REG_NOTIFY_REMOVED))
        return false; // stopping
    m_host.PostDeviceNull();
    m_removal.Reset();
    if (m_host.TrayMode())
        m_host.StartTimer(TIMER_RESTORE_FROM_TRAY, 500);
    m_host.ShowDeviceRemoved();
    if (!Pause(m_timing.settleMs))
        return false;
    if (m_host.ModalPageOpen()) {
        WATCH_LOG("REG_NOTIFY_ING: 02 ");
        m_host.CancelModalPage();
        if (!WaitRemovalSteps([this] { return !m_host.ModalPageOpen(); }, m_timing.modalWaitMs,
                              m_timing.steps, "REG_NOTIFY_ING: 03 "))
            return false;
    }
    // The engine ends on DM_DEVICE_NULL (or already did, on the hang-up).
    WATCH_LOG("REG_NOTIFY_ING: 04 ");
    if (!WaitRemovalSteps([this] { return m_host.PortState() == DM_STOPPED; }, m_timing.stepMs,
                          m_timing.steps, nullptr))
        return false;
    // The RAS monitor thread ends on its request 240.
    if (!WaitRemovalSteps(
            [this] {
                const uint8_t ras = m_host.RasState();
                if (ras == 0)
                    return true;
                if (ras != kRasTerminate)
                    m_host.RasRequest(kRasTerminate, true);
                return false;
            },
            m_timing.stepMs, m_timing.steps, nullptr))
        return false;
    WATCH_LOG("REG_NOTIFY_ING: 05 ");
    m_nWaitMs = m_timing.waitAfterRemovalMs;
    m_host.EnableExit();
    return true;
}

bool CDeviceWatcher::HandleArrival()
{
    WATCH_LOG("REG_NOTIFY_RELOAD: 01 ");
    // Present before the buttons come back: the window keeps Net Connect
    // off while the modem is away.
    if (!ChangeState(REG_NOTIFY_REMOVED, REG_NOTIFY_PRESENT))
        return false;
    m_nWaitMs = m_timing.waitMs;
    m_host.EnableAfterArrival();
    m_host.WipePhonebook();
    // The RAS monitor thread starts again a second after the engine.
    if (!Pause(m_timing.arrivalDelayMs))
        return false;
    m_host.StartTimer(TIMER_RESTART_RAS, 1000);
    m_host.ClearPhonebookRead();
    m_host.UserDmRestart();
    return true;
}

const int kRemovalDisabledControls[13] = {
    IDC_EXIT,       IDC_MINIMIZE,   IDC_NET_CONNECT, IDC_NET_DISCONNECT, IDC_ACTIVATION,
    IDC_GET_BALANCE, IDC_GET_NUMBER, IDC_DIAL_TOGGLE, IDC_SMS_TOGGLE,     IDC_PHONEBOOK,
    IDC_VOLUME_DOWN, IDC_VOLUME_UP,  IDC_SWITCH_OFF,
};

bool KeptDisabledWhileRemoved(uint8_t regNotifyState, int id)
{
    if (regNotifyState != REG_NOTIFY_REMOVED || id == IDC_EXIT)
        return false;
    for (int c : kRemovalDisabledControls)
        if (c == id)
            return true;
    return false;
}

} // namespace kv
