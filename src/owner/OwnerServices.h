// What the owner of the modem offers the desktop, the same in the window and
// in the headless run: the service on the session bus, the desktop
// notifications and the hooks, all listening to the owner's hub.
#pragma once

#include "bus/BusService.h"
#include "notify/DesktopNotifier.h"
#include "notify/HookRunner.h"

#include <memory>

namespace kv {

class COwner;

class COwnerServices {
public:
    explicit COwnerServices(COwner& owner);
    ~COwnerServices();
    COwnerServices(const COwnerServices&) = delete;
    COwnerServices& operator=(const COwnerServices&) = delete;

    // Starts the three; none of them failing stops the owner (each logs
    // once why it runs without its bus).
    void Start();
    // Ends them (bounded), from the owner's UI thread.
    void Stop();

    bus::CBusService& Bus() { return *m_bus; }

private:
    COwner& m_owner;
    std::unique_ptr<bus::CBusService> m_bus;
    std::unique_ptr<kvnotify::CDesktopNotifier> m_notifier;
    std::unique_ptr<kvnotify::CHookRunner> m_hooks;
    bool m_started = false;
};

} // namespace kv
