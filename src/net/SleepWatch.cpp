// The sleep watch's thread: its own sd-bus connection, the PrepareForSleep
// match, the delay lock, and a poll on the bus fd and the stop fd.
#include "net/SleepWatch.h"

#include "log/DebugLog.h"

#include <systemd/sd-bus.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace kvnet {

namespace {
constexpr const char* kLogind = "org.freedesktop.login1";
constexpr const char* kLogindPath = "/org/freedesktop/login1";
constexpr const char* kLogindManager = "org.freedesktop.login1.Manager";
constexpr const char* kWho = "Korvianet";
constexpr const char* kWhy = "The data connection is hung up and its traffic recorded before sleep";
// The longest wait in the thread's poll: how soon a change of holdLock()
// and a stop are seen.
constexpr int kPollMs = 250;
// A refused lock is asked for again after this long (logind restarted).
constexpr int64_t kRetryLockMs = 10000;

int64_t MonotonicMs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

std::string ErrnoText(int negErr) { return std::strerror(negErr < 0 ? -negErr : negErr); }
} // namespace

std::string SystemBusAddress()
{
    const char* env = std::getenv(kSystemBusAddressEnv);
    return env ? std::string(env) : std::string();
}

// What the thread keeps; only the thread touches it.
struct CSleepWatch::Bus {
    CSleepWatch* self = nullptr;
    sd_bus* bus = nullptr;
    sd_bus_slot* match = nullptr;
    sd_bus_slot* inhibitCall = nullptr; // an Inhibit call waiting for its reply
    int lockFd = -1;
    bool sleeping = false;      // between PrepareForSleep(true) and (false)
    bool lockRefusedTold = false;
    int64_t retryLockAt = 0;

    ~Bus()
    {
        DropLock();
        sd_bus_slot_unref(inhibitCall);
        sd_bus_slot_unref(match);
        sd_bus_flush_close_unref(bus);
    }
    void DropLock()
    {
        if (lockFd >= 0) {
            ::close(lockFd);
            lockFd = -1;
            self->m_bLockHeld = false;
            self->Note("sleep lock released");
        }
    }

    static int OnInhibitReply(sd_bus_message* m, void* userdata, sd_bus_error*)
    {
        auto* b = static_cast<Bus*>(userdata);
        b->inhibitCall = sd_bus_slot_unref(b->inhibitCall);
        if (sd_bus_message_is_method_error(m, nullptr)) {
            const sd_bus_error* e = sd_bus_message_get_error(m);
            if (!b->lockRefusedTold)
                b->self->Note(std::string("no sleep lock from logind: ") + (e && e->name ? e->name : "?")
                              + (e && e->message ? std::string(" (") + e->message + ")" : std::string()));
            b->lockRefusedTold = true;
            b->retryLockAt = MonotonicMs() + kRetryLockMs;
            return 0;
        }
        int fd = -1;
        if (sd_bus_message_read(m, "h", &fd) < 0 || fd < 0) {
            b->self->Note("logind's sleep lock reply holds no fd");
            b->retryLockAt = MonotonicMs() + kRetryLockMs;
            return 0;
        }
        // Ours, close-on-exec: pppd and the other children must not hold
        // the machine awake.
        const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
        if (own < 0) {
            b->self->Note("sleep lock fd not kept: " + ErrnoText(errno));
            return 0;
        }
        if (b->sleeping || b->lockFd >= 0) {
            ::close(own); // came too late to be of use
            return 0;
        }
        b->lockFd = own;
        b->lockRefusedTold = false;
        b->self->m_bLockHeld = true;
        b->self->Note("sleep lock taken");
        return 0;
    }

    static int OnMatchInstalled(sd_bus_message* m, void* userdata, sd_bus_error*)
    {
        auto* b = static_cast<Bus*>(userdata);
        if (sd_bus_message_is_method_error(m, nullptr)) {
            const sd_bus_error* e = sd_bus_message_get_error(m);
            b->self->Note(std::string("PrepareForSleep not listened to: ") + (e && e->name ? e->name : "?"));
            return 0;
        }
        b->self->m_bListening = true;
        return 0;
    }

    static int OnPrepareForSleep(sd_bus_message* m, void* userdata, sd_bus_error*)
    {
        auto* b = static_cast<Bus*>(userdata);
        int start = 0;
        if (sd_bus_message_read(m, "b", &start) < 0) {
            b->self->Note("PrepareForSleep without its argument: ignored");
            return 0;
        }
        if (start) {
            b->self->Note("the system is going to sleep");
            b->sleeping = true;
            if (b->self->m_hooks.beforeSleep)
                b->self->m_hooks.beforeSleep();
            b->DropLock();
        } else {
            b->self->Note("the system woke up");
            b->sleeping = false;
            b->retryLockAt = 0;
            if (b->self->m_hooks.afterResume)
                b->self->m_hooks.afterResume();
        }
        return 0;
    }

    // Takes or drops the lock as holdLock() wants it now.
    void UpdateLock()
    {
        const bool want = !sleeping && self->m_hooks.holdLock && self->m_hooks.holdLock();
        if (!want) {
            DropLock();
            return;
        }
        if (lockFd >= 0 || inhibitCall || MonotonicMs() < retryLockAt)
            return;
        const int r = sd_bus_call_method_async(bus, &inhibitCall, kLogind, kLogindPath, kLogindManager, "Inhibit",
                                               OnInhibitReply, this, "ssss", "sleep", kWho, kWhy, "delay");
        if (r < 0) {
            inhibitCall = nullptr;
            retryLockAt = MonotonicMs() + kRetryLockMs;
            if (!lockRefusedTold)
                self->Note("sleep lock not asked for: " + ErrnoText(r));
            lockRefusedTold = true;
        }
    }
};

CSleepWatch::CSleepWatch(SleepWatchHooks hooks, std::string address)
    : m_hooks(std::move(hooks)), m_address(std::move(address))
{
}

CSleepWatch::~CSleepWatch() { Stop(); }

void CSleepWatch::Note(const std::string& line)
{
    DEBUG_LOG(LEVEL_ST, "sleep watch: %s", line.c_str());
    if (m_hooks.note)
        m_hooks.note(line);
}

bool CSleepWatch::Start()
{
    if (m_thread.joinable())
        return true;
    m_stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_stopFd < 0) {
        Note("not started: " + ErrnoText(errno));
        m_bEnded = true;
        return false;
    }
    m_bEnded = false;
    try {
        m_thread = std::thread(&CSleepWatch::ThreadMain, this);
    } catch (const std::system_error&) {
        ::close(m_stopFd);
        m_stopFd = -1;
        m_bEnded = true;
        Note("not started: no thread");
        return false;
    }
    return true;
}

void CSleepWatch::Stop()
{
    if (m_thread.joinable()) {
        const uint64_t one = 1;
        if (::write(m_stopFd, &one, sizeof one) < 0) {
            // An eventfd write fails only at its counter's limit: it is set.
        }
        m_thread.join();
    }
    if (m_stopFd >= 0) {
        ::close(m_stopFd);
        m_stopFd = -1;
    }
}

void CSleepWatch::ThreadMain()
{
    Bus b;
    b.self = this;
    int r = 0;
    if (m_address.empty()) {
        r = sd_bus_open_system(&b.bus);
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
        r = sd_bus_match_signal_async(b.bus, &b.match, kLogind, kLogindPath, kLogindManager, "PrepareForSleep",
                                      Bus::OnPrepareForSleep, Bus::OnMatchInstalled, &b);
    if (r < 0) {
        Note("no system bus (" + ErrnoText(r) + "): suspend and resume are not watched");
        m_bEnded = true;
        return;
    }
    for (;;) {
        do {
            r = sd_bus_process(b.bus, nullptr);
        } while (r > 0);
        if (r < 0) {
            Note("the system bus went away (" + ErrnoText(r) + "): suspend and resume are no longer watched");
            break;
        }
        b.UpdateLock();
        // Whatever UpdateLock queued goes out before the wait.
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
        pollfd p[2] = {{sd_bus_get_fd(b.bus), short(events < 0 ? POLLIN : events), 0}, {m_stopFd, POLLIN, 0}};
        if (::poll(p, 2, timeout) < 0 && errno != EINTR) {
            Note("poll failed: " + ErrnoText(errno));
            break;
        }
        if (p[1].revents != 0)
            break;
    }
    m_bListening = false;
    m_bEnded = true;
}

} // namespace kvnet
