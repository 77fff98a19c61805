#include "app/DeviceWatcherUi.h"

#include "app/Dialer_oneDlg.h"
#include "engine/DmCodes.h"
#include "host/HostIds.h"
#include "log/DebugLog.h"

namespace kvapp {

namespace {
constexpr int kAtLines[] = {kv::IDC_LINE_APN, kv::IDC_LINE_CARD, kv::IDC_LINE_SIGNAL};
constexpr int kArrivalEnabled[] = {kv::IDC_MINIMIZE, kv::IDC_NET_CONNECT, kv::IDC_NET_DISCONNECT,
                                   kv::IDC_SETTING};
} // namespace

CDeviceWatcherUi::CDeviceWatcherUi(CDialer_oneDlg& dlg) : m_dlg(dlg), m_watcher(*this) {}

CDeviceWatcherUi::CDeviceWatcherUi(CDialer_oneDlg& dlg, const kv::CDeviceWatcher::Timing& timing)
    : m_dlg(dlg), m_watcher(*this, timing)
{
}

CDeviceWatcherUi::~CDeviceWatcherUi() { Stop(); }

void CDeviceWatcherUi::Stop()
{
    // Steps already queued for the UI thread do nothing from now on.
    *m_pStopping = true;
    m_watcher.RegDestroy();
}

void CDeviceWatcherUi::OnUi(std::function<void(CDialer_oneDlg&)> fn, int64_t timeoutMs)
{
    CDialer_oneDlg* dlg = &m_dlg;
    auto stopping = m_pStopping;
    if (stopping->load())
        return;
    if (!dlg->RunOnUiFor(
            [dlg, stopping, fn = std::move(fn)] {
                if (!stopping->load())
                    fn(*dlg);
            },
            timeoutMs)
        && !stopping->load())
        DEBUG_LOG(LEVEL_ST, "device watcher: the window did not run the step in %d ms", int(timeoutMs));
}

void CDeviceWatcherUi::PostDeviceNull() { m_dlg.PostDmCommand(kv::DM_DEVICE_NULL, true); }

bool CDeviceWatcherUi::TrayMode()
{
    auto tray = std::make_shared<std::atomic<bool>>(false);
    OnUi([tray](CDialer_oneDlg& d) { *tray = d.TrayMode(); });
    return tray->load();
}

void CDeviceWatcherUi::StartTimer(uint32_t id, uint32_t periodMs)
{
    OnUi([id, periodMs](CDialer_oneDlg& d) { d.StartTimer(id, periodMs); });
}

void CDeviceWatcherUi::ShowDeviceRemoved()
{
    OnUi([](CDialer_oneDlg& d) {
        d.UserActiveView(kv::VIEW_STATUS, 0);
        for (int id : kv::kRemovalDisabledControls)
            d.EnableControl(id, false);
        d.Panel().ResetForRemoval();
        if (d.Owner())
            d.Owner()->ModemRemoved();
        // The AT poll's lines told of the modem that went: hidden as at the
        // start, until the poll reads the modem again.
        for (int id : kAtLines)
            d.ShowControl(id, false);
    });
}

bool CDeviceWatcherUi::ModalPageOpen() { return m_dlg.ModalPageOpen(); }

void CDeviceWatcherUi::CancelModalPage()
{
    // Posted: the page closes when the UI thread gets to it.
    CDialer_oneDlg* dlg = &m_dlg;
    auto stopping = m_pStopping;
    dlg->PostToUi([dlg, stopping] {
        if (!stopping->load())
            dlg->CancelModalPage();
    });
}

uint16_t CDeviceWatcherUi::PortState() { return m_dlg.State().m_nPortState.load(); }

uint8_t CDeviceWatcherUi::RasState() { return m_dlg.State().m_nRasState.load(); }

void CDeviceWatcherUi::RasRequest(uint8_t code, bool atFront)
{
    OnUi([code, atFront](CDialer_oneDlg& d) {
        if (CDialer_oneDlg::Hooks().rasRequest)
            CDialer_oneDlg::Hooks().rasRequest(d, code, atFront);
    });
}

void CDeviceWatcherUi::EnableExit()
{
    OnUi([](CDialer_oneDlg& d) {
        // The removal is over: the pages' boxes show again.
        d.EndRemovalCancel();
        d.EnableControl(kv::IDC_EXIT, true);
        // The data connection's end hid the message line: the removal's
        // words come back on it.
        if (d.Panel().Unplugged())
            d.ShowControl(kv::IDC_MESSAGE_LINE, true);
    });
}

void CDeviceWatcherUi::EnableAfterArrival()
{
    OnUi([](CDialer_oneDlg& d) {
        d.EndRemovalCancel();
        for (int id : kArrivalEnabled)
            d.EnableControl(id, true);
    });
}

void CDeviceWatcherUi::WipePhonebook()
{
    OnUi([](CDialer_oneDlg& d) { d.SendUserMessage(kv::UM_UI_REQUEST, kv::UI_REQ_WIPE_PHONEBOOK, 0); },
         kUiLongWaitMs);
}

void CDeviceWatcherUi::ClearPhonebookRead() { m_dlg.State().m_ucPbReadDone = 0; }

void CDeviceWatcherUi::UserDmRestart()
{
    // On the UI thread, where the settings page's restart of the link runs
    // too: the two never overlap.
    OnUi([](CDialer_oneDlg& d) {
        if (d.UserDmRestart() && d.Owner())
            d.Owner()->ModemAdded();
    }, kUiLongWaitMs);
}

bool CDeviceWatcherUi::WaitPumping(const std::function<bool()>& done, int64_t timeoutMs)
{
    return m_dlg.WaitPumping(done, timeoutMs);
}

void WireDeviceWatcher()
{
    PageHooks& h = CDialer_oneDlg::Hooks();
    h.startDeviceWatcher = [](CDialer_oneDlg& d) {
        auto watcher = std::make_unique<CDeviceWatcherUi>(d);
        // Without a modem at start the watcher begins as after a removal:
        // the modem's arrival starts the engine.
        if (!watcher->Start(d.State().m_nComPort.load() > 0))
            return false;
        d.SetDeviceWatcher(std::move(watcher));
        return true;
    };
    h.stopDeviceWatcher = [](CDialer_oneDlg& d) {
        if (IDeviceWatcher* w = d.DeviceWatcher())
            w->Stop();
    };
}

} // namespace kvapp
