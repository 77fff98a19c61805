// The device presence watcher of the main window: the core watcher
// (engine/DeviceWatcher.h) with the window's side of its steps. The
// watcher's thread has each step run on the UI thread and waits a bounded
// time for it; the UI thread never waits for the watcher except in Stop(),
// where it keeps dispatching.
#pragma once

#include "app/PageHooks.h"
#include "engine/DeviceWatcher.h"

#include <atomic>
#include <memory>

class CDialer_oneDlg;

namespace kvapp {

class CDeviceWatcherUi : public IDeviceWatcher, public kv::IDeviceWatcherHost {
public:
    explicit CDeviceWatcherUi(CDialer_oneDlg& dlg);
    CDeviceWatcherUi(CDialer_oneDlg& dlg, const kv::CDeviceWatcher::Timing& timing);
    ~CDeviceWatcherUi() override;

    bool Start(bool devicePresent) { return m_watcher.Start(devicePresent); }
    kv::CDeviceWatcher& Core() { return m_watcher; }

    // --- IDeviceWatcher ---
    int State() const override { return m_watcher.State(); }
    void Pulse() override { m_watcher.PulseRemoval(); }
    void Stop() override;

    // --- kv::IDeviceWatcherHost ---
    void PostDeviceNull() override;
    bool TrayMode() override;
    void StartTimer(uint32_t id, uint32_t periodMs) override;
    void ShowDeviceRemoved() override;
    bool ModalPageOpen() override;
    void CancelModalPage() override;
    uint16_t PortState() override;
    uint8_t RasState() override;
    void RasRequest(uint8_t code, bool atFront) override;
    void EnableExit() override;
    void EnableAfterArrival() override;
    void WipePhonebook() override;
    void ClearPhonebookRead() override;
    void UserDmRestart() override;
    bool WaitPumping(const std::function<bool()>& done, int64_t timeoutMs) override;

    // How long the watcher waits for the UI thread to run one step.
    static constexpr int64_t kUiWaitMs = 10000;
    static constexpr int64_t kUiLongWaitMs = 30000; // database wipe, engine start

private:
    // Runs fn on the UI thread unless the watcher is stopping by then.
    void OnUi(std::function<void(CDialer_oneDlg&)> fn, int64_t timeoutMs = kUiWaitMs);

    CDialer_oneDlg& m_dlg;
    std::shared_ptr<std::atomic<bool>> m_pStopping = std::make_shared<std::atomic<bool>>(false);
    kv::CDeviceWatcher m_watcher; // last: its thread ends before the rest goes
};

// Fills the window's start and stop hooks of the watcher.
void WireDeviceWatcher();

} // namespace kvapp
