// The data interface's pty and its serving thread. The thread blocks in
// poll() on the pty and a wake-up pipe; while nobody holds the slave open
// the master reports a hang-up forever, so it then looks again at a short
// interval instead of polling the pty. A host that closes the port ends
// the call, as a modem does when DTR drops.
#include "sim/SimDataPort.h"

#include "sim/SimRegistry.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace kv::sim {

namespace {

constexpr int kHangupRecheckMs = 100;
constexpr size_t kMaxOut = 65536;
constexpr const char* kDataInterface = "00";

} // namespace

SimDataPort::SimDataPort() : m_reg(new SimRegistration(kDataInterface)) {}

SimDataPort::~SimDataPort()
{
    Close();
    delete m_reg;
}

bool SimDataPort::Open(bool registerDevice, int comNumber)
{
    if (IsOpen())
        return true;
    const int m = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m < 0)
        return false;
    char name[128];
    if (::grantpt(m) != 0 || ::unlockpt(m) != 0 || ::ptsname_r(m, name, sizeof name) != 0
        || ::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        ::close(m);
        return false;
    }
    struct termios tio;
    if (::tcgetattr(m, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, B115200);
        ::cfsetospeed(&tio, B115200);
        ::tcsetattr(m, TCSANOW, &tio);
    }
    ::fcntl(m, F_SETFL, ::fcntl(m, F_GETFL) | O_NONBLOCK);
    if (registerDevice && !m_reg->Register(name, comNumber)) {
        ::close(m);
        ::close(m_wake[0]);
        ::close(m_wake[1]);
        m_wake[0] = m_wake[1] = -1;
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_master = m;
        m_slave = name;
        m_stop = false;
        m_out.clear();
        m_modem.HostHungUp(); // a new port starts in command state
    }
    m_thread = std::thread([this] { Loop(); });
    return true;
}

void SimDataPort::Close()
{
    if (!m_thread.joinable())
        return;
    // Unregistered first: whoever still finds the port finds it working.
    m_reg->Unregister();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    Wake();
    m_thread.join();
    std::lock_guard<std::mutex> lock(m_mutex);
    ::close(m_master);
    ::close(m_wake[0]);
    ::close(m_wake[1]);
    m_master = m_wake[0] = m_wake[1] = -1;
    m_slave.clear();
    m_out.clear();
    m_modem.HostHungUp();
}

bool SimDataPort::IsOpen() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_master >= 0;
}

std::string SimDataPort::SlavePath() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_slave;
}

std::string SimDataPort::DevicePath() const
{
    if (m_reg->Registered())
        return m_reg->LinkPath();
    return SlavePath();
}

int SimDataPort::ComNumber() const { return m_reg->ComNumber(); }

bool SimDataPort::LoseCarrier()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_master < 0)
        return false;
    Send(m_modem.LoseCarrier());
    Wake();
    return true;
}

std::string SimDataPort::Describe() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return "data=" + m_slave + " data-call=" + (m_modem.InCall() ? "1" : "0")
        + " data-calls=" + std::to_string(m_modem.Calls()) + " data-bytes=" + std::to_string(m_modem.CallBytes())
        + " no-carrier-next=" + (m_modem.FailNextDial() ? "1" : "0") + "\n";
}

void SimDataPort::Wake()
{
    if (m_wake[1] >= 0) {
        char c = 1;
        (void)!::write(m_wake[1], &c, 1);
    }
}

void SimDataPort::Send(const std::string& bytes)
{
    // Nobody reads: the modem's buffer overflows, as a real one's would.
    if (m_out.size() + bytes.size() <= kMaxOut)
        m_out += bytes;
}

void SimDataPort::FlushOut()
{
    while (!m_out.empty()) {
        const ssize_t n = ::write(m_master, m_out.data(), m_out.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return; // POLLOUT tells when to go on
        if (n <= 0) {
            m_out.clear();
            return;
        }
        m_out.erase(0, size_t(n));
    }
}

void SimDataPort::Loop()
{
    bool hungUp = true; // until somebody opens the slave
    char buf[4096];
    for (;;) {
        struct pollfd fds[2] = {{m_wake[0], POLLIN, 0}, {m_master, POLLIN, 0}};
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stop)
                return;
            if (!hungUp)
                FlushOut();
            if (!m_out.empty())
                fds[1].events |= POLLOUT;
        }
        const int rc = ::poll(fds, hungUp ? 1 : 2, hungUp ? kHangupRecheckMs : -1);
        if (rc < 0 && errno != EINTR)
            return;
        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (::read(m_wake[0], drain, sizeof drain) > 0) {
            }
        }
        if (hungUp) {
            // Has somebody opened the slave?
            struct pollfd p = {m_master, POLLIN, 0};
            if (::poll(&p, 1, 0) >= 0 && !(p.revents & POLLHUP))
                hungUp = false;
            continue;
        }
        if (fds[1].revents & POLLIN) {
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n > 0) {
                std::lock_guard<std::mutex> lock(m_mutex);
                Send(m_modem.Feed(buf, size_t(n)));
                continue;
            }
        }
        if (fds[1].revents & (POLLHUP | POLLERR)) {
            // The host closed the port: the call, and what it was still
            // to be told, end with it.
            std::lock_guard<std::mutex> lock(m_mutex);
            m_modem.HostHungUp();
            m_out.clear();
            hungUp = true;
        }
    }
}

} // namespace kv::sim
