// The services wired into the main window. Pages that are not wired here are
// absent: the window logs requests for them and refuses.
#include "app/AppWiring.h"
#include "app/OwnerWindowUi.h"

#include "app/ConfigIds.h"
#include "app/ConfigView.h"
#include "app/DeviceWatcherUi.h"
#include "app/Dialer_one.h"
#include "app/Dialer_oneDlg.h"
#include "app/SmsPageUi.h"
#include "contacts/CallHistory.h"
#include "contacts/PhoneBookView.h"
#include "controls/HoverButton.h"
#include "engine/DmCall.h"
#include "host/HostIds.h"
#include "engine/PinCheck.h"
#include "messaging/MessagingServices.h"
#include "net/ConnectionManager.h"
#include "net/SessionSleep.h"
#include "voice/RingSound.h"
#include "voice/VcallView.h"

#include <QAbstractButton>
#include <map>
#include <mutex>
#include <memory>

namespace kvapp {

namespace {

// The SMS and phonebook engines beside the window's engine and the
// application's database, with the SMS engine's view of the window.
class CWindowMessaging : public IMessagingService {
public:
    CWindowMessaging(CDialer_oneDlg& dlg, kv::CAppDatabase& db)
        : m_pageUi(dlg), m_services(dlg.Engine(), db, &m_pageUi, &m_call), m_history(dlg, db)
    {
        m_call.Install(dlg.Engine());
    }
    kv::CDmCall& Call() { return m_call; }
    kv::CCallHistory& History() { return m_history; }
    bool LoadMirror() override { return m_services.Sms().LoadMirror(); }
    void RemoveVoiceMailRow() override { m_services.Sms().RemoveVoiceMailRow(); }
    kv::CMessagingServices& Services() { return m_services; }

private:
    CSmsPageUi m_pageUi;
    kv::CDmCall m_call; // the call family, behind the SMS engine's poll hooks
    kv::CMessagingServices m_services;
    kv::CCallHistory m_history;
};

// The connection manager of each wired window (one per window; the window
// owns it, the hooks find it here). The engine thread looks it up too (Net
// Connect is enabled only with a client), so every use takes the lock.
std::mutex g_rasManagersLock;
std::map<const CDialer_oneDlg*, std::weak_ptr<kvnet::CConnectionManager>> g_rasManagers;

std::shared_ptr<kvnet::CConnectionManager> RasManagerOf(const CDialer_oneDlg& dlg)
{
    std::lock_guard<std::mutex> g(g_rasManagersLock);
    auto it = g_rasManagers.find(&dlg);
    return it == g_rasManagers.end() ? nullptr : it->second.lock();
}

void SetRasManager(const CDialer_oneDlg& dlg, const std::shared_ptr<kvnet::CConnectionManager>& manager)
{
    std::lock_guard<std::mutex> g(g_rasManagersLock);
    if (manager)
        g_rasManagers[&dlg] = manager;
    else
        g_rasManagers.erase(&dlg);
}

void SetRasHooks()
{
    PageHooks& h = CDialer_oneDlg::Hooks();
    h.netConnect = [](CDialer_oneDlg& d) {
        if (auto m = RasManagerOf(d))
            m->NetConnect();
    };
    h.netDisconnect = [](CDialer_oneDlg& d) {
        if (auto m = RasManagerOf(d))
            m->NetDisconnect();
    };
    h.rasRequest = [](CDialer_oneDlg& d, int code, bool atFront) {
        auto m = RasManagerOf(d);
        return m && code > 0 && code < 256 && m->RasRequest(uint8_t(code), atFront);
    };
    h.startRas = [](CDialer_oneDlg& d) {
        auto m = RasManagerOf(d);
        if (!m)
            return false;
        m->ReadAccount();
        return m->Start();
    };
    h.restartRas = [](CDialer_oneDlg& d) {
        if (auto m = RasManagerOf(d))
            m->RestartThread();
    };
    h.stopRas = [](CDialer_oneDlg& d) {
        if (auto m = RasManagerOf(d))
            m->StopThread();
    };
    h.endRas = [](CDialer_oneDlg& d) {
        if (auto m = RasManagerOf(d))
            m->Shutdown();
        SetRasManager(d, nullptr);
    };
    h.rasReady = [](CDialer_oneDlg& d) {
        auto m = RasManagerOf(d);
        return m && m->HasClient();
    };
}

// The dial pad page as the main window sees it.
class CDialPadPage : public IDialPadPage {
public:
    CDialPadPage(CDialer_oneDlg& dlg, kv::CDmCall& call) : m_view(new kvvoice::CVcallView(dlg.Engine(), &dlg)), m_call(call)
    {
        // The window reads "dtmf_len" after the pages are built: the page
        // asks the window's flag whenever a key needs it.
        m_view->SetToneSource([&dlg] { return dlg.DtmfTone(); });
        m_view->SetVolumeLabelSink([&dlg](const char* up, const char* down) {
            for (auto [id, text] : {std::pair{kv::IDC_VOLUME_UP, up}, std::pair{kv::IDC_VOLUME_DOWN, down}}) {
                QWidget* w = dlg.Control(id);
                if (auto* hb = qobject_cast<CHoverButton*>(w))
                    hb->SetTooltipText(QString::fromLatin1(text));
                else if (auto* b = qobject_cast<QAbstractButton*>(w))
                    b->setText(QString::fromLatin1(text));
            }
        });
        m_call.SetPad(m_view);
    }
    ~CDialPadPage() override { m_call.SetPad(nullptr); }
    QWidget* Widget() override { return m_view; }
    std::string Number() const override { return m_view->Number(); }
    void ClearNumber() override { m_view->ResetDialPad(2); }
    void PressSend() override { m_view->Key('P', kvvoice::KEY_BUTTON); }
    void Reset() override { m_view->ResetDialPad(0); }
    bool TakePendingCallText(std::string& text) override
    {
        if (!m_view->PendingCallText())
            return false;
        text = m_view->Number();
        return true;
    }
    void SetNumber(const std::string& number) override { m_view->SetNumber(number); }
    void VolumeDown() override { m_view->VolumeDown(); }
    void VolumeUp() override { m_view->VolumeUp(); }

private:
    kvvoice::CVcallView* m_view;
    kv::CDmCall& m_call;
};

kvvoice::CRingSound& RingSound()
{
    static kvvoice::CRingSound ring;
    return ring;
}

} // namespace

void WireDataConnection(CDialer_oneDlg& dlg, kvnet::ConnectionUi base)
{
    kvnet::ConnectionUi ui = std::move(base);
    CDialer_oneDlg* w = &dlg;
    ui.dialPadShown = [w] { return w->DialPad() && w->State().m_nActiveView.load() == kv::VIEW_DIAL_PAD; };
    ui.dialPadNumber = [w] {
        std::string number;
        w->RunOnUi([&] {
            if (w->DialPad())
                number = w->DialPad()->Number();
        });
        return number;
    };
    ui.clearDialPadNumber = [w] {
        w->RunOnUi([&] {
            if (w->DialPad())
                w->DialPad()->ClearNumber();
        });
    };
    ui.focusDialPad = [w] {
        w->RunOnUi([&] {
            if (w->DialPad())
                w->DialPad()->Widget()->setFocus();
        });
    };
    ui.showStatusPanel = [w] { w->UserActiveView(kv::VIEW_STATUS, 0); };
    // The dial string follows the IMSI that the window's AT poll read.
    if (!ui.imsi)
        ui.imsi = [w] { return w->AtPoll().CurrentImsiText(); };
    // The removal event matters only while the watcher handles a removal.
    ui.pulseRemoval = [w] {
        if (w->RegNotifyState() == 253)
            w->PulseDeviceWatcher();
    };
    WireUsage(dlg, ui);
    auto manager = std::make_shared<kvnet::CConnectionManager>(dlg, std::move(ui));
    SetRasManager(dlg, manager);
    dlg.SetOwnedService(manager);
    // A suspend hangs up and records the session; the resume dials again.
    dlg.SetOwnedService(std::make_shared<kvnet::CSessionSleep>(manager));
    SetRasHooks();
    // The settings page's live figures: the running session's counters.
    SetLiveTrafficSource([](CDialer_oneDlg& d, LiveTraffic& t) {
        auto m = RasManagerOf(d);
        if (!m)
            return false;
        t.sent = m->SentBytes();
        t.received = m->ReceivedBytes();
        t.durationMs = m->Duration();
        t.resetTime = int64_t(m->LastChange());
        return true;
    });
}

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
    dlg.SetLookupNameHandler([services](const std::string& number) { return services->LookupName(number); });
    // The voice call pages: the dial pad, the in-call display and history,
    // the ring sound.
    // The hooks are shared by every window: each finds the call family of
    // the window that asks.
    PageHooks& hooks = CDialer_oneDlg::Hooks();
    hooks.makeDialPad = [](CDialer_oneDlg& d) -> IDialPadPage* {
        auto* m = dynamic_cast<CWindowMessaging*>(d.MessagingService());
        return m ? new CDialPadPage(d, m->Call()) : nullptr;
    };
    hooks.callDisplay = [](CDialer_oneDlg& d, intptr_t kind) {
        if (auto* m = dynamic_cast<CWindowMessaging*>(d.MessagingService()))
            m->History().OnCallDisplay(kind);
    };
    // The phonebook page: the window's phonebook button (sub 0), the SMS
    // page's PhoneBook button (sub 1, beside the window) and the dial pad's
    // call history picker (sub 3).
    hooks.runPicker = [](CDialer_oneDlg& d, int sub) {
        auto* m = dynamic_cast<CWindowMessaging*>(d.MessagingService());
        if (!m || !d.Database())
            return;
        kvpb::PhoneBookEnv env;
        env.engine = &d.Engine();
        env.db = d.Database();
        env.pbook = &m->Services().Pbook();
        env.owner = &d;
        CDialer_oneDlg* w = &d;
        env.postUiRequest = [w](uint32_t code) { w->PostUserMessage(kv::MsgTarget::MainWindow, kv::UM_UI_REQUEST, code, 0); };
        env.smsState = [w] { return w->SmsPage() ? w->SmsPage()->ListState() : uint16_t(0); };
        env.smsSending = [w] { return w->SmsPage() && w->SmsPage()->Sending(); };
        env.setRecipients = [w](const std::vector<std::string>& numbers) {
            if (w->SmsPage())
                w->SmsPage()->SetRecipients(numbers);
        };
        env.setDial = [w, m](const std::string& number, const std::string& name) {
            if (w->DialPad())
                w->DialPad()->SetNumber(number);
            m->History().SetPickedName(name);
        };
        const int page = sub == 1 ? -kv::pbpage::PAGE_MEMORY : kv::pbpage::PAGE_MEMORY;
        kvpb::CPhoneBookView view(std::move(env), page, sub == 3 ? kv::pbpage::PAGE_HISTORY : -1, &d);
        view.exec();
        // From the dial pad: back to it, unless the page closed to write a message.
        if (sub == 3 && view.ReturnFlag())
            d.UserActiveView(kv::VIEW_DIAL_PAD, 1);
    };
    hooks.ring = [](bool start) {
        if (start)
            RingSound().Start();
        else
            RingSound().Stop();
    };
    hooks.makeSmsPage = [](CDialer_oneDlg& d) -> ISmsPage* {
        auto* m = dynamic_cast<CWindowMessaging*>(d.MessagingService());
        return m ? MakeSmsPage(d, m->Services().Shared()) : nullptr;
    };
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
    env.pinCheckOn = [w] { return kv::PinCheckOn(w->State()); };
    env.pinCheckChanged = [w](bool on) { kv::NotePinCheck(w->State(), on); };
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

void WireOwner(CDialer_oneDlg& dlg, kv::CAppDatabase* db)
{
    kv::OwnerParts parts;
    parts.host = &dlg;
    parts.core = &dlg.Core();
    parts.engine = &dlg.Engine();
    if (auto* m = dynamic_cast<CWindowMessaging*>(dlg.MessagingService())) {
        parts.services = &m->Services();
        parts.db = db;
    }
    parts.net = RasManagerOf(dlg).get(); // the window owns it and outlives the owner
    CDialer_oneDlg* w = &dlg;
    parts.post = [w](std::function<void()> fn) { w->PostToUi(std::move(fn)); };
    // The start-up chain ends by enabling the page buttons.
    parts.startupDone = [w] { return w->ControlEnabled(kv::IDC_SMS_TOGGLE); };
    auto owner = std::make_unique<kv::COwner>(parts);
    auto ui = std::make_shared<COwnerWindowUi>(dlg);
    owner->SetUi(ui.get());
    dlg.SetOwnedService(ui);
    // The desktop reaches the modem through the owner: the session bus, the
    // notifications, the hooks and the tray.
    auto services = std::make_unique<kv::COwnerServices>(*owner);
    services->Start();
    dlg.SetTrayOwner(&owner->Hub(), &owner->Actions());
    dlg.SetOwner(std::move(owner));
    dlg.SetOwnerServices(std::move(services));
}

void WireServices(CDialer_oneApp& app, CDialer_oneDlg& dlg)
{
    WireSettingsPage();
    WireDeviceWatcher();
    if (kv::CAppDatabase* db = app.Database())
        WireMessaging(dlg, *db);
    WireDataConnection(dlg);
    // Last: the owner reaches every service above.
    WireOwner(dlg, app.Database());
}

} // namespace kvapp
