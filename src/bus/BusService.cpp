// The bus service's thread: its own sd-bus connection, the exported object,
// the name, and a poll on the bus fd and the wake fd; the calls waiting for
// the owner's answer; the hub's changes and events turned into signals.
#include "bus/BusLoop.h"
#include "version/Version.h"
#include "bus/BusNames.h"
#include "bus/BusText.h"
#include "log/DebugLog.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#ifndef KV_BUILD_VERSION
#define KV_BUILD_VERSION ""
#endif

namespace kv::bus {

namespace {
// The longest wait in the thread's poll: how soon a stop is seen at worst.
constexpr int kPollMs = 250;
// The longest a call of ours to the bus itself (the name) may take.
constexpr uint64_t kBusCallUsec = 5 * 1000 * 1000;
// How long the answers still queued at a stop may take to leave.
constexpr int kFlushMs = 1000;
// Work queued beyond this while the thread is stuck is dropped.
constexpr size_t kInboxMax = 4096;

std::string ErrnoText(int negErr) { return std::strerror(negErr < 0 ? -negErr : negErr); }
} // namespace

int64_t MonotonicMs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

std::string SessionBusAddress()
{
    const char* env = std::getenv(kSessionBusAddressEnv);
    return env ? std::string(env) : std::string();
}

// --- The inbox ---------------------------------------------------------------

CBusService::Inbox::~Inbox()
{
    if (wakeFd >= 0)
        ::close(wakeFd);
}

void CBusService::Inbox::Post(Work w)
{
    {
        std::lock_guard<std::mutex> g(lock);
        if (!open)
            return;
        if (work.size() >= kInboxMax) {
            if (!overflowTold)
                DEBUG_LOG(LEVEL_ERR, "bus service: its thread is behind, changes dropped");
            overflowTold = true;
            return;
        }
        work.push_back(std::move(w));
    }
    Wake();
}

void CBusService::Inbox::PostChange(const OwnerSnapshot& now, const std::vector<std::string>& changed)
{
    {
        std::lock_guard<std::mutex> g(lock);
        if (!open)
            return;
        latest = now;
        for (const std::string& n : changed)
            if (std::find(changedNames.begin(), changedNames.end(), n) == changedNames.end())
                changedNames.push_back(n);
        if (changeQueued)
            return; // the queued change will carry this one too
        changeQueued = true;
        work.push_back([](Loop& l) {
            OwnerSnapshot snap;
            std::vector<std::string> names;
            if (l.Box()->TakeChange(snap, names))
                l.Changed(snap, names);
        });
    }
    Wake();
}

bool CBusService::Inbox::TakeChange(OwnerSnapshot& now, std::vector<std::string>& changed)
{
    std::lock_guard<std::mutex> g(lock);
    if (!changeQueued)
        return false;
    changeQueued = false;
    now = latest;
    changed.swap(changedNames);
    changedNames.clear();
    return true;
}

void CBusService::Inbox::Wake()
{
    const uint64_t one = 1;
    if (::write(wakeFd, &one, sizeof one) < 0) {
        // Fails only at the counter's limit: the thread is woken already.
    }
}

std::deque<CBusService::Inbox::Work> CBusService::Inbox::Take()
{
    uint64_t n = 0;
    if (::read(wakeFd, &n, sizeof n) < 0) {
        // Nothing to read: woken by the bus fd.
    }
    std::lock_guard<std::mutex> g(lock);
    std::deque<Work> out;
    out.swap(work);
    return out;
}

void CBusService::Inbox::Close()
{
    std::lock_guard<std::mutex> g(lock);
    open = false;
    work.clear();
    changeQueued = false;
}

// --- The hub's listener --------------------------------------------------------

class CBusService::Listener : public IOwnerListener {
public:
    explicit Listener(std::shared_ptr<Inbox> inbox) : m_inbox(std::move(inbox)) {}
    void OnOwnerChanged(const OwnerSnapshot& now, const std::vector<std::string>& changed) override
    {
        m_inbox->PostChange(now, changed);
    }
    void OnOwnerEvent(const OwnerEvent& event) override
    {
        m_inbox->Post([event](Loop& l) { l.Signal(event); });
    }

private:
    std::shared_ptr<Inbox> m_inbox;
};

// --- The loop ------------------------------------------------------------------

CBusService::Loop::~Loop()
{
    for (auto& [id, p] : pending)
        sd_bus_message_unref(p.call);
    sd_bus_slot_unref(object);
    sd_bus_close_unref(bus);
}

uint64_t CBusService::Loop::Hold(sd_bus_message* call, int timeoutMs)
{
    const uint64_t id = nextId++;
    pending[id] = {sd_bus_message_ref(call), MonotonicMs() + std::max(timeoutMs, 0)};
    return id;
}

const char* ErrorName(OwnerError e)
{
    switch (e) {
    case OwnerError::NotReady: return kErrNotReady;
    case OwnerError::InvalidArgument: return kErrInvalidArgument;
    case OwnerError::AccessDenied: return kErrAccessDenied;
    case OwnerError::Busy: return kErrBusy;
    case OwnerError::Refused: return kErrRefused;
    case OwnerError::NotFound: return kErrNotFound;
    case OwnerError::TimedOut: return kErrTimedOut;
    case OwnerError::Database: return kErrDatabase;
    case OwnerError::None:
    case OwnerError::Failed: break;
    }
    return kErrFailed;
}

namespace {
const char* DefaultText(OwnerError e)
{
    switch (e) {
    case OwnerError::NotReady: return "the modem is not ready";
    case OwnerError::InvalidArgument: return "invalid argument";
    case OwnerError::AccessDenied: return "not allowed";
    case OwnerError::Busy: return "the modem is busy";
    case OwnerError::Refused: return "refused";
    case OwnerError::NotFound: return "not found";
    case OwnerError::TimedOut: return "the modem did not answer in time";
    case OwnerError::Database: return "database error";
    case OwnerError::None:
    case OwnerError::Failed: break;
    }
    return "failed";
}

void ReplyError(sd_bus_message* call, OwnerError e, const std::string& text)
{
    const std::string& shown = text.empty() ? std::string(DefaultText(e)) : text;
    const int r = sd_bus_reply_method_errorf(call, ErrorName(e), "%s", shown.c_str());
    if (r < 0)
        DEBUG_LOG(LEVEL_ERR, "bus service: an error answer was not sent: %s", ErrnoText(r).c_str());
}
} // namespace

void CBusService::Loop::Finish(uint64_t id, const OwnerResult& r, const Fill& fill)
{
    const auto it = pending.find(id);
    if (it == pending.end())
        return; // answered already (timed out)
    sd_bus_message* call = it->second.call;
    pending.erase(it);
    if (!r.ok()) {
        ReplyError(call, r.error, r.text);
    } else {
        sd_bus_message* reply = nullptr;
        int e = sd_bus_message_new_method_return(call, &reply);
        if (e >= 0 && fill)
            e = fill(reply);
        if (e >= 0)
            e = sd_bus_send(bus, reply, nullptr);
        sd_bus_message_unref(reply);
        if (e < 0)
            ReplyError(call, OwnerError::Failed, "the answer could not be built: " + ErrnoText(e));
    }
    sd_bus_message_unref(call);
}

void CBusService::Loop::Expire(int64_t nowMs)
{
    for (auto it = pending.begin(); it != pending.end();) {
        if (it->second.deadlineMs > nowMs) {
            ++it;
            continue;
        }
        ReplyError(it->second.call, OwnerError::TimedOut, "");
        sd_bus_message_unref(it->second.call);
        it = pending.erase(it);
    }
}

void CBusService::Loop::AnswerAll(const std::string& text)
{
    for (auto& [id, p] : pending) {
        ReplyError(p.call, OwnerError::Failed, text);
        sd_bus_message_unref(p.call);
    }
    pending.clear();
}

int64_t CBusService::Loop::NextDeadlineIn(int64_t nowMs) const
{
    int64_t next = -1;
    for (const auto& [id, p] : pending) {
        const int64_t in = std::max<int64_t>(p.deadlineMs - nowMs, 0);
        next = next < 0 ? in : std::min(next, in);
    }
    return next;
}

void CBusService::Loop::Changed(const OwnerSnapshot& now, const std::vector<std::string>& names)
{
    shown = now;
    if (names.empty())
        return;
    std::vector<char*> strv;
    for (const std::string& n : names)
        strv.push_back(const_cast<char*>(n.c_str()));
    strv.push_back(nullptr);
    const int r = sd_bus_emit_properties_changed_strv(bus, kObjectPath, kInterface, strv.data());
    if (r < 0)
        DEBUG_LOG(LEVEL_ERR, "bus service: PropertiesChanged not sent: %s", ErrnoText(r).c_str());
}

void CBusService::Loop::Signal(const OwnerEvent& e)
{
    int r = 0;
    const auto emit = [this](const char* member, const char* types, auto... values) {
        return sd_bus_emit_signal(bus, kObjectPath, kInterface, member, types, values...);
    };
    switch (e.kind) {
    case OwnerEventKind::SmsReceived:
        r = emit("SmsReceived", "suuss", BusText(e.storage).c_str(), e.slot, e.index, BusText(e.number).c_str(), BusText(e.name).c_str());
        break;
    case OwnerEventKind::CallIncoming: r = emit("CallIncoming", "ss", BusText(e.number).c_str(), BusText(e.name).c_str()); break;
    case OwnerEventKind::CallAnswered: r = emit("CallAnswered", "s", BusText(e.number).c_str()); break;
    case OwnerEventKind::CallEnded: r = emit("CallEnded", "su", BusText(e.number).c_str(), e.seconds); break;
    case OwnerEventKind::CallMissed: r = emit("CallMissed", "ss", BusText(e.number).c_str(), BusText(e.name).c_str()); break;
    case OwnerEventKind::ConnectionUp: r = emit("ConnectionUp", "s", BusText(e.text).c_str()); break;
    case OwnerEventKind::ConnectionDown: r = emit("ConnectionDown", "s", BusText(e.text).c_str()); break;
    case OwnerEventKind::ConnectionFailed: r = emit("ConnectionFailed", "s", BusText(e.text).c_str()); break;
    case OwnerEventKind::ModemAdded: r = emit("ModemAdded", "s", BusText(e.port).c_str()); break;
    case OwnerEventKind::ModemRemoved: r = emit("ModemRemoved", "s", BusText(e.port).c_str()); break;
    case OwnerEventKind::QuotaWarning: r = emit("QuotaWarning", "utt", e.percent, e.used, e.quota); break;
    }
    if (r < 0)
        DEBUG_LOG(LEVEL_ERR, "bus service: signal not sent: %s", ErrnoText(r).c_str());
}

// --- The service ---------------------------------------------------------------

CBusService::CBusService(COwnerHub& hub, IOwnerActions& actions, BusServiceOptions options)
    : m_hub(hub), m_actions(actions), m_options(std::move(options))
{
    if (m_options.version.empty())
        m_options.version = kv::ProgramVersion();
}

CBusService::~CBusService() { Stop(); }

void CBusService::Note(const std::string& line)
{
    DEBUG_LOG(LEVEL_ST, "bus service: %s", line.c_str());
    if (m_options.note)
        m_options.note(line);
}

bool CBusService::Start()
{
    if (m_thread.joinable())
        return true;
    auto inbox = std::make_shared<Inbox>();
    inbox->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (inbox->wakeFd < 0) {
        Note("not started: " + ErrnoText(errno));
        return false;
    }
    m_inbox = inbox;
    m_listener = std::make_unique<Listener>(m_inbox);
    m_state = BusServiceState::Starting;
    // Listening before the thread reads the snapshot: no change falls
    // between the two.
    m_hub.AddListener(m_listener.get());
    try {
        m_thread = std::thread(&CBusService::ThreadMain, this);
    } catch (const std::system_error&) {
        m_hub.RemoveListener(m_listener.get());
        m_state = BusServiceState::Idle;
        Note("not started: no thread");
        return false;
    }
    return true;
}

void CBusService::Stop()
{
    if (m_listener)
        m_hub.RemoveListener(m_listener.get());
    if (m_thread.joinable()) {
        {
            std::lock_guard<std::mutex> g(m_inbox->lock);
            m_inbox->stop = true;
        }
        m_inbox->Wake();
        m_thread.join();
    }
    if (m_inbox)
        m_inbox->Close();
    m_listener.reset();
    m_inbox.reset();
    m_state = BusServiceState::Idle;
}

bool CBusService::WaitSettled(int timeoutMs) const
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const BusServiceState s = m_state.load();
        if (s != BusServiceState::Starting && s != BusServiceState::Idle)
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void CBusService::ThreadMain()
{
    Loop l;
    l.self = this;
    l.version = m_options.version;
    const auto without = [&](BusServiceState state, const std::string& why) {
        Note(why + ": running without the bus service");
        m_inbox->Close();
        m_state = state;
    };
    int r = 0;
    if (m_options.address.empty()) {
        r = sd_bus_open_user(&l.bus);
    } else {
        r = sd_bus_new(&l.bus);
        if (r >= 0)
            r = sd_bus_set_address(l.bus, m_options.address.c_str());
        if (r >= 0)
            r = sd_bus_set_bus_client(l.bus, 1);
        if (r >= 0)
            r = sd_bus_start(l.bus);
    }
    if (r >= 0)
        r = sd_bus_set_method_call_timeout(l.bus, kBusCallUsec);
    if (r < 0)
        return without(BusServiceState::NoBus, "no session bus (" + ErrnoText(r) + ")");
    r = sd_bus_add_object_vtable(l.bus, &l.object, kObjectPath, kInterface, ServiceVtable(), &l);
    if (r < 0)
        return without(BusServiceState::NoBus, "the object was not exported (" + ErrnoText(r) + ")");
    l.shown = m_hub.Snapshot();
    r = sd_bus_request_name(l.bus, kServiceName, 0);
    if (r == -EEXIST || r == -EALREADY)
        return without(BusServiceState::NameTaken, std::string(kServiceName) + " is taken by another program");
    if (r < 0)
        return without(BusServiceState::NoBus, std::string(kServiceName) + " was not granted (" + ErrnoText(r) + ")");
    m_state = BusServiceState::Offered;
    Note(std::string("offering ") + kServiceName + " on the session bus");

    bool stop = false;
    while (!stop) {
        do {
            r = sd_bus_process(l.bus, nullptr);
        } while (r > 0);
        if (r < 0) {
            // The loop's destructor drops the calls waiting: nobody to answer.
            return without(BusServiceState::NoBus, "the session bus went away (" + ErrnoText(r) + ")");
        }
        for (auto& work : m_inbox->Take())
            work(l);
        {
            std::lock_guard<std::mutex> g(m_inbox->lock);
            stop = m_inbox->stop;
        }
        const int64_t now = MonotonicMs();
        l.Expire(now);
        if (stop)
            break;
        int timeout = kPollMs;
        uint64_t until = 0;
        if (sd_bus_get_timeout(l.bus, &until) >= 0 && until != UINT64_MAX) {
            timespec ts{};
            ::clock_gettime(CLOCK_MONOTONIC, &ts);
            const uint64_t usNow = uint64_t(ts.tv_sec) * 1000000u + uint64_t(ts.tv_nsec) / 1000u;
            timeout = until <= usNow ? 0 : int(std::min<uint64_t>((until - usNow + 999) / 1000, kPollMs));
        }
        if (const int64_t due = l.NextDeadlineIn(now); due >= 0)
            timeout = int(std::min<int64_t>(timeout, due));
        const int events = sd_bus_get_events(l.bus);
        pollfd p[2] = {{sd_bus_get_fd(l.bus), short(events < 0 ? POLLIN : events), 0},
                       {m_inbox->wakeFd, POLLIN, 0}};
        if (::poll(p, 2, timeout) < 0 && errno != EINTR) {
            Note("poll failed: " + ErrnoText(errno));
            break;
        }
    }
    // The calls still waiting are answered, and the answers sent, before
    // the connection goes.
    l.AnswerAll("Korvianet is closing");
    m_inbox->Close();
    const int64_t end = MonotonicMs() + kFlushMs;
    for (;;) {
        do {
            r = sd_bus_process(l.bus, nullptr);
        } while (r > 0);
        const int events = sd_bus_get_events(l.bus);
        const int64_t left = end - MonotonicMs();
        if (r < 0 || events < 0 || !(events & POLLOUT) || left <= 0)
            break;
        pollfd p{sd_bus_get_fd(l.bus), short(events), 0};
        ::poll(&p, 1, int(left));
    }
    Note("left the session bus");
}

} // namespace kv::bus
