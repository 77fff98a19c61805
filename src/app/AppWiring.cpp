// The services wired into the main window. Pages that are not wired here are
// absent: the window logs requests for them and refuses.
#include "app/AppWiring.h"

#include "app/Dialer_one.h"
#include "app/Dialer_oneDlg.h"
#include "app/SmsPageUi.h"
#include "engine/HostIds.h"
#include "messaging/MessagingServices.h"

#include <memory>

namespace kvapp {

namespace {

// The SMS and phonebook engines beside the window's engine and the
// application's database, with the SMS engine's view of the window.
class CWindowMessaging : public IMessagingService {
public:
    CWindowMessaging(CDialer_oneDlg& dlg, kv::CAppDatabase& db)
        : m_pageUi(dlg), m_services(dlg.Engine(), db, &m_pageUi)
    {
    }
    bool LoadMirror() override { return m_services.Sms().LoadMirror(); }
    void RemoveVoiceMailRow() override { m_services.Sms().RemoveVoiceMailRow(); }
    kv::CMessagingServices& Services() { return m_services; }

private:
    CSmsPageUi m_pageUi;
    kv::CMessagingServices m_services;
};

} // namespace

void WireMessaging(CDialer_oneDlg& dlg, kv::CAppDatabase& db)
{
    auto owned = std::make_unique<CWindowMessaging>(dlg, db);
    kv::CMessagingServices* services = &owned->Services();
    // The engine waits in its message send while these run on the UI thread;
    // the phonebook read runs as the engine's own sub-request meanwhile.
    for (uint32_t sub : {uint32_t(kv::UI_REQ_WIPE_PHONEBOOK), uint32_t(kv::UI_REQ_LOAD_PHONEBOOK)}) {
        dlg.RegisterUiRequest(sub, [services, sub](intptr_t arg) {
            intptr_t result = 0;
            services->HandleMainWindowMessage(kv::UM_UI_REQUEST, sub, arg, result);
            return result;
        });
    }
    dlg.SetLookupNameHandler([services](std::string& number) {
        intptr_t result = 0;
        services->HandleMainWindowMessage(kv::UM_LOOKUP_NAME, 0, reinterpret_cast<intptr_t>(&number),
                                          result);
    });
    dlg.SetMessagingService(std::move(owned));
}

void WireServices(CDialer_oneApp& app, CDialer_oneDlg& dlg)
{
    if (kv::CAppDatabase* db = app.Database())
        WireMessaging(dlg, *db);
}

} // namespace kvapp
