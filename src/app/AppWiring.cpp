// The services wired into the main window. Pages that are not wired here are
// absent: the window logs requests for them and refuses.
#include "app/AppWiring.h"

#include "app/ConfigIds.h"
#include "app/ConfigView.h"
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

namespace {
LiveTrafficSource& LiveTrafficStore()
{
    static LiveTrafficSource source;
    return source;
}
} // namespace

void SetLiveTrafficSource(LiveTrafficSource source) { LiveTrafficStore() = std::move(source); }

ConfigEnv SettingsEnvOf(CDialer_oneDlg& dlg)
{
    CDialer_oneDlg* w = &dlg;
    ConfigEnv env;
    env.owner = w;
    if (w->AtPort().IsOpen())
        env.atPort = &w->AtPort();
    env.pinCheckOn = [w] { return w->AtPoll().PinRequested(); };
    env.serviceMode = [w] { return w->State().m_ucServiceMode.load(); };
    env.imsi = [w] { return w->AtPoll().CurrentImsiText(); };
    env.setDialAccount = [w](const std::string& user, const std::string& password, const std::string* number) {
        w->SetDialAccount(user, password, number);
    };
    env.setTopMost = [w](bool on) { return w->SetTopMost(on); };
    env.setBatteryWarning = [w](bool on) {
        if (on)
            w->State().m_ucUiFlags |= kv::UIF_BATTERY_WARNING;
        else
            w->State().m_ucUiFlags &= uint8_t(~kv::UIF_BATTERY_WARNING);
    };
    env.trafficReset = [w] {
        if (CDialer_oneDlg::Hooks().rasRequest)
            CDialer_oneDlg::Hooks().rasRequest(*w, cfg::RAS_TRAFFIC_RESET, false);
    };
    env.restartLink = [w] { w->RestartDmEngine(); };
    env.liveTraffic = [w](LiveTraffic& live) {
        const LiveTrafficSource& source = LiveTrafficStore();
        return source && source(*w, live);
    };
    return env;
}

void WireSettingsPage()
{
    CDialer_oneDlg::Hooks().runSettings = [](CDialer_oneDlg& dlg, int tab) {
        CConfigView view(SettingsEnvOf(dlg), &dlg);
        if (tab > 0)
            view.SetPage(tab);
        view.exec();
    };
}

void WireServices(CDialer_oneApp& app, CDialer_oneDlg& dlg)
{
    WireSettingsPage();
    if (kv::CAppDatabase* db = app.Database())
        WireMessaging(dlg, *db);
}

} // namespace kvapp
