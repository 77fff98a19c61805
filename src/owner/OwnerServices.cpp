#include "owner/OwnerServices.h"

#include "log/DebugLog.h"
#include "owner/Owner.h"

namespace kv {

namespace {
void Log(const std::string& line) { DEBUG_LOG(LEVEL_ST, "%s", line.c_str()); }
} // namespace

COwnerServices::COwnerServices(COwner& owner) : m_owner(owner)
{
    bus::BusServiceOptions bo;
    bo.note = Log;
    m_bus = std::make_unique<bus::CBusService>(owner.Hub(), owner.Actions(), bo);
    kvnotify::DesktopNotifierHooks nh;
    nh.note = Log;
    m_notifier = std::make_unique<kvnotify::CDesktopNotifier>(&owner.Actions(), owner.Ui(), nh,
                                                              bus::SessionBusAddress());
    kvnotify::HookRunnerOptions ho;
    ho.note = Log;
    m_hooks = std::make_unique<kvnotify::CHookRunner>(ho);
}

COwnerServices::~COwnerServices() { Stop(); }

void COwnerServices::Start()
{
    if (m_started)
        return;
    m_started = true;
    m_bus->Start();
    m_notifier->Start();
    m_hooks->Start();
    m_owner.Hub().AddListener(m_notifier.get());
    m_owner.Hub().AddListener(m_hooks.get());
}

void COwnerServices::Stop()
{
    if (!m_started)
        return;
    m_started = false;
    m_owner.Hub().RemoveListener(m_notifier.get());
    m_owner.Hub().RemoveListener(m_hooks.get());
    m_hooks->Stop();
    m_notifier->Stop();
    m_bus->Stop();
}

} // namespace kv
