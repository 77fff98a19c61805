// The notifier's thread: its own sd-bus connection, Notify and
// CloseNotification calls, and the ActionInvoked / NotificationClosed
// matches.
#include "notify/DesktopNotifier.h"

#include "log/DebugLog.h"
#include "notify/NotificationText.h"
#include "notify/NotifySettings.h"

#include <systemd/sd-bus.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <list>
#include <map>
#include <system_error>

namespace kvnotify {

namespace {
constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr const char* kIface = "org.freedesktop.Notifications";
// The longest wait of the thread's poll: how soon a stop is seen.
constexpr int kPollMs = 250;
// Notifications whose actions are still honoured.
constexpr size_t kLiveMax = 256;

std::string ErrnoText(int negErr) { return std::strerror(negErr < 0 ? -negErr : negErr); }

std::string ErrorOf(sd_bus_message* m)
{
    const sd_bus_error* e = sd_bus_message_get_error(m);
    std::string s = e && e->name ? e->name : "?";
    if (e && e->message)
        s += std::string(" (") + e->message + ")";
    return s;
}

const char* EventWord(kv::OwnerEventKind k)
{
    switch (k) {
    case kv::OwnerEventKind::SmsReceived: return "new SMS";
    case kv::OwnerEventKind::CallIncoming: return "incoming call";
    case kv::OwnerEventKind::CallMissed: return "missed call";
    default: return "notification";
    }
}
} // namespace

// What the thread keeps; only the thread touches it.
struct CDesktopNotifier::Bus {
    // A Notify call waiting for its id.
    struct Pending {
        Bus* owner = nullptr;
        sd_bus_slot* slot = nullptr;
        kv::OwnerEvent event;
        NoticeSlot noticeSlot = NoticeSlot::None;
        bool closeOnReply = false; // the call it tells of ended meanwhile
    };
    // A notification on screen that may get an action.
    struct Live {
        kv::OwnerEvent event;
        NoticeSlot noticeSlot = NoticeSlot::None;
    };

    CDesktopNotifier* self = nullptr;
    sd_bus* bus = nullptr;
    sd_bus_slot* matchAction = nullptr;
    sd_bus_slot* matchClosed = nullptr;
    sd_bus_slot* capsCall = nullptr;
    int matchesInstalled = 0;
    bool capsKnown = false;
    bool markup = false;
    bool serviceTold = false;
    std::list<Pending> pending;
    std::map<uint32_t, Live> live;
    std::map<NoticeSlot, uint32_t> bySlot; // the id each slot shows now
    // The latest notice of a slot whose Notify still waits for its id: it
    // goes once the id is known, so that it replaces rather than stacks.
    std::map<NoticeSlot, std::pair<kv::OwnerEvent, Notice>> deferred;
    uint32_t callId = 0;                   // the incoming call's notification

    ~Bus()
    {
        if (callId != 0)
            Close(callId);
        for (Pending& p : pending)
            sd_bus_slot_unref(p.slot);
        sd_bus_slot_unref(capsCall);
        sd_bus_slot_unref(matchAction);
        sd_bus_slot_unref(matchClosed);
        sd_bus_flush_close_unref(bus);
    }

    // A refused call: told once until a notification gets through again.
    void Refused(sd_bus_message* m)
    {
        if (!serviceTold) {
            const bool missing = sd_bus_message_is_method_error(m, "org.freedesktop.DBus.Error.ServiceUnknown")
                || sd_bus_message_is_method_error(m, "org.freedesktop.DBus.Error.NameHasNoOwner");
            self->Note(std::string(missing ? "no notification service on the session bus: "
                                           : "the notification service refused a call: ")
                       + ErrorOf(m) + "; desktop notifications are not shown");
        }
        serviceTold = true;
    }

    void Close(uint32_t id)
    {
        sd_bus_call_method_async(bus, nullptr, kService, kPath, kIface, "CloseNotification", nullptr, nullptr, "u",
                                 id);
    }

    // The incoming call's notification goes once the call is answered or over.
    void CloseCall()
    {
        for (Pending& p : pending)
            if (p.event.kind == kv::OwnerEventKind::CallIncoming)
                p.closeOnReply = true;
        if (callId != 0) {
            Close(callId);
            live.erase(callId);
            callId = 0;
        }
    }

    static int OnCaps(sd_bus_message* m, void* userdata, sd_bus_error*)
    {
        auto* b = static_cast<Bus*>(userdata);
        b->capsCall = sd_bus_slot_unref(b->capsCall);
        if (sd_bus_message_is_method_error(m, nullptr)) {
            b->Refused(m);
            return 0;
        }
        b->capsKnown = true;
        b->markup = false;
        if (sd_bus_message_enter_container(m, 'a', "s") < 0)
            return 0;
        const char* cap = nullptr;
        while (sd_bus_message_read(m, "s", &cap) > 0)
            if (cap && std::strcmp(cap, "body-markup") == 0)
                b->markup = true;
        sd_bus_message_exit_container(m);
        return 0;
    }

    void AskCaps()
    {
        if (capsKnown || capsCall)
            return;
        if (sd_bus_call_method_async(bus, &capsCall, kService, kPath, kIface, "GetCapabilities", OnCaps, this, "")
            < 0)
            capsCall = nullptr;
    }

    static int OnNotifyReply(sd_bus_message* m, void* userdata, sd_bus_error*)
    {
        auto* p = static_cast<Pending*>(userdata);
        Bus* b = p->owner;
        sd_bus_slot_unref(p->slot);
        p->slot = nullptr;
        uint32_t id = 0;
        if (sd_bus_message_is_method_error(m, nullptr)) {
            b->Refused(m);
        } else if (sd_bus_message_read(m, "u", &id) < 0 || id == 0) {
            b->self->Note("the notification service gave no id for a notification");
        } else {
            if (b->serviceTold)
                b->self->Note("the notification service is there: desktop notifications are shown");
            b->serviceTold = false;
            b->AskCaps();
            const bool call = p->event.kind == kv::OwnerEventKind::CallIncoming;
            if (call && p->closeOnReply) {
                b->Close(id);
            } else {
                // Servers tell when a notification goes; one that never
                // does must not make the list grow without end.
                if (b->live.size() >= kLiveMax)
                    b->live.erase(b->live.begin());
                b->live[id] = Live{p->event, p->noticeSlot};
                if (p->noticeSlot != NoticeSlot::None)
                    b->bySlot[p->noticeSlot] = id;
                if (call)
                    b->callId = id;
            }
        }
        const NoticeSlot slot = p->noticeSlot;
        b->pending.remove_if([p](const Pending& q) { return &q == p; });
        const auto next = b->deferred.find(slot);
        if (next != b->deferred.end()) {
            auto [event, notice] = std::move(next->second);
            b->deferred.erase(next);
            b->Send(event, std::move(notice));
        }
        return 0;
    }

    static int OnMatchInstalled(sd_bus_message* m, void* userdata, sd_bus_error*)
    {
        auto* b = static_cast<Bus*>(userdata);
        if (sd_bus_message_is_method_error(m, nullptr)) {
            b->self->Note("notification actions not listened to: " + ErrorOf(m));
            return 0;
        }
        if (++b->matchesInstalled == 2)
            b->self->m_bListening = true;
        return 0;
    }

    static int OnActionInvoked(sd_bus_message* m, void* userdata, sd_bus_error*)
    {
        auto* b = static_cast<Bus*>(userdata);
        uint32_t id = 0;
        const char* key = nullptr;
        if (sd_bus_message_read(m, "us", &id, &key) < 0 || !key)
            return 0;
        const auto it = b->live.find(id);
        if (it == b->live.end())
            return 0; // another program's notification
        b->Act(it->second.event, key);
        return 0;
    }

    static int OnClosed(sd_bus_message* m, void* userdata, sd_bus_error*)
    {
        auto* b = static_cast<Bus*>(userdata);
        uint32_t id = 0, reason = 0;
        if (sd_bus_message_read(m, "uu", &id, &reason) < 0)
            return 0;
        if (b->live.erase(id) == 0)
            return 0;
        if (id == b->callId)
            b->callId = 0;
        for (auto it = b->bySlot.begin(); it != b->bySlot.end();)
            it = it->second == id ? b->bySlot.erase(it) : std::next(it);
        return 0;
    }

    void Act(const kv::OwnerEvent& e, const std::string& key)
    {
        CDesktopNotifier* s = self;
        const auto told = [s](const char* what) {
            return [s, what](const kv::OwnerResult& r) {
                if (!r.ok())
                    s->Note(std::string(what) + " from the notification failed: " + r.text);
            };
        };
        if (key == kActReply && e.kind == kv::OwnerEventKind::SmsReceived) {
            if (s->m_ui && !e.number.empty())
                s->m_ui->ShowSmsReply(e.number);
        } else if (key == kActMarkRead && e.kind == kv::OwnerEventKind::SmsReceived) {
            if (s->m_actions)
                s->m_actions->ReadSms(e.index, [s](const kv::OwnerResult& r, const kv::OwnerSms&) {
                    if (!r.ok())
                        s->Note("mark read from the notification failed: " + r.text);
                });
        } else if (key == kActAnswer && e.kind == kv::OwnerEventKind::CallIncoming) {
            if (s->m_actions)
                s->m_actions->Answer(told("answer"));
        } else if (key == kActDecline && e.kind == kv::OwnerEventKind::CallIncoming) {
            if (s->m_actions)
                s->m_actions->Hangup(told("decline"));
        }
    }

    int AppendHint(sd_bus_message* m, const char* key, const std::string& value)
    {
        return sd_bus_message_append(m, "{sv}", key, "s", value.c_str());
    }

    void Send(const kv::OwnerEvent& e, Notice n)
    {
        // Without the owner's actions only Reply (the window's) can be done.
        if (!self->m_actions)
            n.actions.erase(std::remove_if(n.actions.begin(), n.actions.end(),
                                           [](const auto& a) { return a.first != kActReply; }),
                            n.actions.end());
        std::string body = BusText(n.body);
        if (markup)
            body = MarkupEscaped(body);
        uint32_t replaces = 0;
        if (n.slot != NoticeSlot::None
            && std::any_of(pending.begin(), pending.end(), [&](const Pending& p) { return p.noticeSlot == n.slot; })) {
            deferred[n.slot] = {e, std::move(n)};
            return;
        }
        if (n.slot != NoticeSlot::None) {
            const auto it = bySlot.find(n.slot);
            if (it != bySlot.end()) {
                replaces = it->second;
                live.erase(it->second);
                bySlot.erase(it);
            }
        }
        AskCaps();
        sd_bus_message* m = nullptr;
        int r = sd_bus_message_new_method_call(bus, &m, kService, kPath, kIface, "Notify");
        if (r >= 0)
            r = sd_bus_message_append(m, "susss", kAppName, replaces, n.icon.c_str(), BusText(n.summary, 200).c_str(),
                                      body.c_str());
        if (r >= 0)
            r = sd_bus_message_open_container(m, 'a', "s");
        for (const auto& [key, label] : n.actions)
            if (r >= 0)
                r = sd_bus_message_append(m, "ss", key.c_str(), label.c_str());
        if (r >= 0)
            r = sd_bus_message_close_container(m);
        if (r >= 0)
            r = sd_bus_message_open_container(m, 'a', "{sv}");
        if (r >= 0)
            r = AppendHint(m, "desktop-entry", kDesktopEntry);
        if (r >= 0)
            r = AppendHint(m, "category", n.category);
        if (r >= 0)
            r = sd_bus_message_append(m, "{sv}", "urgency", "y", uint8_t(n.urgency));
        if (r >= 0)
            r = sd_bus_message_close_container(m);
        if (r >= 0)
            r = sd_bus_message_append(m, "i", n.expireMs);
        if (r >= 0) {
            pending.push_back(Pending{this, nullptr, e, n.slot, false});
            Pending& p = pending.back();
            r = sd_bus_call_async(bus, &p.slot, m, OnNotifyReply, &p, 0);
            if (r < 0)
                pending.pop_back();
        }
        sd_bus_message_unref(m);
        if (r < 0)
            self->Note(std::string("the ") + EventWord(e.kind) + " notification was not sent: " + ErrnoText(r));
    }

    void Handle(const kv::OwnerEvent& e)
    {
        using K = kv::OwnerEventKind;
        if (e.kind == K::CallAnswered || e.kind == K::CallEnded || e.kind == K::CallMissed)
            CloseCall();
        const bool wanted = self->m_hooks.enabled ? self->m_hooks.enabled() : NotificationsOn();
        if (!wanted)
            return;
        if (std::optional<Notice> n = NoticeFor(e, self->m_ui != nullptr))
            Send(e, std::move(*n));
    }
};

CDesktopNotifier::CDesktopNotifier(kv::IOwnerActions* actions, kv::IOwnerUi* ui, DesktopNotifierHooks hooks,
                                   std::string address)
    : m_actions(actions), m_ui(ui), m_hooks(std::move(hooks)), m_address(std::move(address))
{
}

CDesktopNotifier::~CDesktopNotifier() { Stop(); }

void CDesktopNotifier::Note(const std::string& line)
{
    DEBUG_LOG(LEVEL_NOTI, "notifications: %s", line.c_str());
    if (m_hooks.note)
        m_hooks.note(line);
}

bool CDesktopNotifier::Start()
{
    if (m_thread.joinable())
        return true;
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd < 0) {
        Note("not started: " + ErrnoText(errno));
        m_bEnded = true;
        return false;
    }
    m_bStop = false;
    m_bEnded = false;
    m_bRunning = true;
    try {
        m_thread = std::thread(&CDesktopNotifier::ThreadMain, this);
    } catch (const std::system_error&) {
        m_bRunning = false;
        ::close(m_wakeFd);
        m_wakeFd = -1;
        m_bEnded = true;
        Note("not started: no thread");
        return false;
    }
    return true;
}

void CDesktopNotifier::Stop()
{
    m_bRunning = false;
    if (m_thread.joinable()) {
        m_bStop = true;
        const uint64_t one = 1;
        if (::write(m_wakeFd, &one, sizeof one) < 0) {
            // Only at the counter's limit: the thread is woken anyway.
        }
        m_thread.join();
    }
    if (m_wakeFd >= 0) {
        ::close(m_wakeFd);
        m_wakeFd = -1;
    }
    std::lock_guard<std::mutex> g(m_lock);
    m_queue.clear();
}

void CDesktopNotifier::OnOwnerEvent(const kv::OwnerEvent& event)
{
    if (m_bEnded.load() || !m_bRunning.load())
        return;
    {
        std::lock_guard<std::mutex> g(m_lock);
        if (m_queue.size() >= kNotifyQueueMax) {
            DEBUG_LOG(LEVEL_NOTI, "notifications: queue full, a %s is not shown", EventWord(event.kind));
            return;
        }
        m_queue.push_back(event);
    }
    const uint64_t one = 1;
    if (::write(m_wakeFd, &one, sizeof one) < 0) {
        // Only at the counter's limit: the thread is woken anyway.
    }
}

bool CDesktopNotifier::Take(kv::OwnerEvent& out)
{
    std::lock_guard<std::mutex> g(m_lock);
    if (m_queue.empty())
        return false;
    out = std::move(m_queue.front());
    m_queue.pop_front();
    return true;
}

void CDesktopNotifier::ThreadMain()
{
    Bus b;
    b.self = this;
    int r = 0;
    if (m_address.empty()) {
        r = sd_bus_open_user(&b.bus);
    } else {
        r = sd_bus_new(&b.bus);
        if (r >= 0)
            r = sd_bus_set_address(b.bus, m_address.c_str());
        if (r >= 0)
            r = sd_bus_set_bus_client(b.bus, 1);
        if (r >= 0)
            r = sd_bus_start(b.bus);
    }
    if (r >= 0)
        r = sd_bus_match_signal_async(b.bus, &b.matchAction, kService, kPath, kIface, "ActionInvoked",
                                      Bus::OnActionInvoked, Bus::OnMatchInstalled, &b);
    if (r >= 0)
        r = sd_bus_match_signal_async(b.bus, &b.matchClosed, kService, kPath, kIface, "NotificationClosed",
                                      Bus::OnClosed, Bus::OnMatchInstalled, &b);
    if (r < 0) {
        Note("no session bus (" + ErrnoText(r) + "): desktop notifications are not shown");
        m_bEnded = true;
        return;
    }
    b.AskCaps();
    while (!m_bStop.load()) {
        do {
            r = sd_bus_process(b.bus, nullptr);
        } while (r > 0);
        if (r < 0) {
            Note("the session bus went away (" + ErrnoText(r) + "): desktop notifications are no longer shown");
            break;
        }
        kv::OwnerEvent e;
        while (Take(e))
            b.Handle(e);
        sd_bus_flush(b.bus);
        int timeout = kPollMs;
        uint64_t until = 0;
        if (sd_bus_get_timeout(b.bus, &until) >= 0 && until != UINT64_MAX) {
            timespec ts{};
            ::clock_gettime(CLOCK_MONOTONIC, &ts);
            const uint64_t now = uint64_t(ts.tv_sec) * 1000000u + uint64_t(ts.tv_nsec) / 1000u;
            timeout = until <= now ? 0 : int(std::min<uint64_t>((until - now + 999) / 1000, kPollMs));
        }
        const int events = sd_bus_get_events(b.bus);
        pollfd p[2] = {{sd_bus_get_fd(b.bus), short(events < 0 ? POLLIN : events), 0}, {m_wakeFd, POLLIN, 0}};
        if (::poll(p, 2, timeout) < 0 && errno != EINTR) {
            Note("poll failed: " + ErrnoText(errno));
            break;
        }
        if (p[1].revents != 0) {
            uint64_t n = 0;
            if (::read(m_wakeFd, &n, sizeof n) < 0) {
                // Nothing to read: another wake took it.
            }
        }
    }
    m_bListening = false;
    m_bEnded = true;
}

} // namespace kvnotify
