#include "support/FakeLogind.h"

#include <systemd/sd-bus.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>

namespace kvtest {

namespace {
constexpr const char* kName = "org.freedesktop.login1";
constexpr const char* kPath = "/org/freedesktop/login1";
constexpr const char* kManager = "org.freedesktop.login1.Manager";

int OnInhibit(sd_bus_message* m, void* userdata, sd_bus_error* err)
{
    auto* self = static_cast<FakeLogind*>(userdata);
    const char *what = nullptr, *who = nullptr, *why = nullptr, *mode = nullptr;
    int r = sd_bus_message_read(m, "ssss", &what, &who, &why, &mode);
    if (r < 0)
        return r;
    if (self->Refusing()) {
        self->NoteInhibit({what, who, why, mode}, -1);
        return sd_bus_error_set(err, "org.freedesktop.DBus.Error.AccessDenied", "locks refused by the test");
    }
    int p[2];
    if (::pipe2(p, O_CLOEXEC) != 0)
        return -errno;
    r = sd_bus_reply_method_return(m, "h", p[1]);
    ::close(p[1]); // the reply holds its own copy until it is sent
    self->NoteInhibit({what, who, why, mode}, p[0]);
    return r;
}

const sd_bus_vtable kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Inhibit", "ssss", "h", OnInhibit, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_SIGNAL("PrepareForSleep", "b", 0),
    SD_BUS_VTABLE_END,
};

sd_bus* Connect(const std::string& address)
{
    sd_bus* bus = nullptr;
    if (sd_bus_new(&bus) < 0)
        return nullptr;
    if (sd_bus_set_address(bus, address.c_str()) < 0 || sd_bus_set_bus_client(bus, 1) < 0 || sd_bus_start(bus) < 0) {
        sd_bus_unref(bus);
        return nullptr;
    }
    return bus;
}
} // namespace

FakeLogind::FakeLogind(std::string address) : m_address(std::move(address)) {}

FakeLogind::~FakeLogind() { Stop(); }

bool FakeLogind::Start()
{
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_thread = std::thread(&FakeLogind::ThreadMain, this);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (m_ready.load() == 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return m_ready.load() == 1;
}

void FakeLogind::Stop()
{
    if (m_thread.joinable()) {
        m_bStop = true;
        const uint64_t one = 1;
        (void)!::write(m_wakeFd, &one, sizeof one);
        m_thread.join();
    }
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
    m_wakeFd = -1;
    std::lock_guard<std::mutex> g(m_lock);
    for (int fd : m_lockEnds)
        ::close(fd);
    m_lockEnds.clear();
}

void FakeLogind::NoteInhibit(InhibitCall call, int readEnd)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_calls.push_back(std::move(call));
    if (readEnd >= 0)
        m_lockEnds.push_back(readEnd);
}

bool FakeLogind::EmitPrepareForSleep(bool start)
{
    int mine = 0;
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_emits.push_back(start ? 1 : 0);
        mine = ++m_queued;
    }
    const uint64_t one = 1;
    (void)!::write(m_wakeFd, &one, sizeof one);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < end) {
        {
            std::lock_guard<std::mutex> g(m_lock);
            if (m_emitted >= mine)
                return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

std::vector<FakeLogind::InhibitCall> FakeLogind::Calls() const
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_calls;
}

int FakeLogind::LocksHeld() const
{
    std::lock_guard<std::mutex> g(m_lock);
    int held = 0;
    for (int fd : m_lockEnds) {
        pollfd p{fd, POLLIN, 0};
        // The write end's last copy closed: the read end hangs up.
        if (::poll(&p, 1, 0) == 0 || !(p.revents & POLLHUP))
            ++held;
    }
    return held;
}

void FakeLogind::ThreadMain()
{
    sd_bus* bus = Connect(m_address);
    sd_bus_slot* slot = nullptr;
    if (!bus || sd_bus_add_object_vtable(bus, &slot, kPath, kManager, kVtable, this) < 0
        || sd_bus_request_name(bus, kName, 0) < 0) {
        sd_bus_slot_unref(slot);
        sd_bus_flush_close_unref(bus);
        m_ready = -1;
        return;
    }
    m_ready = 1;
    while (!m_bStop.load()) {
        while (sd_bus_process(bus, nullptr) > 0) {
        }
        std::vector<int> emits;
        {
            std::lock_guard<std::mutex> g(m_lock);
            emits.swap(m_emits);
        }
        for (int start : emits)
            sd_bus_emit_signal(bus, kPath, kManager, "PrepareForSleep", "b", start);
        sd_bus_flush(bus);
        if (!emits.empty()) {
            std::lock_guard<std::mutex> g(m_lock);
            m_emitted += int(emits.size());
        }
        pollfd p[2] = {{sd_bus_get_fd(bus), short(sd_bus_get_events(bus)), 0}, {m_wakeFd, POLLIN, 0}};
        ::poll(p, 2, 100);
        uint64_t v = 0;
        (void)!::read(m_wakeFd, &v, sizeof v);
    }
    sd_bus_slot_unref(slot);
    sd_bus_flush_close_unref(bus);
}

bool EmitForgedPrepareForSleep(const std::string& address, bool start)
{
    sd_bus* bus = Connect(address);
    if (!bus)
        return false;
    const int r = sd_bus_emit_signal(bus, kPath, kManager, "PrepareForSleep", "b", start ? 1 : 0);
    sd_bus_flush_close_unref(bus);
    return r >= 0;
}

} // namespace kvtest
