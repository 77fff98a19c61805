// The serial port on a Linux tty: open/close, line settings, the reader
// thread that plays the driver's receive queue and event character, and the
// blocking read and write primitives. The frame and transaction operations
// are in DiagTransaction.cpp.
#include "link/CommPort.h"

#include "log/DebugLog.h"
#include "platform/UniqueFd.h"
#include "settings/Profile.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace kv {

namespace {

speed_t SpeedFor(uint32_t baud)
{
    switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 921600: return B921600;
    default: return B0;
    }
}

// Write time-out: per byte baud × 2 / 8000 ms (28 at 115200) plus 5000 ms.
int64_t WriteTimeoutMs(uint32_t baud, int length)
{
    return int64_t(baud) * 2 / 8000 * length + 5000;
}

void DrainEventFd(int fd)
{
    uint64_t v;
    while (::read(fd, &v, sizeof v) > 0) {
    }
}

} // namespace

CCommPort::CCommPort()
    : m_pevRelease(std::make_unique<CEvent>(true, true)),
      m_pevExited(std::make_unique<CEvent>(true, false))
{
    m_evRxReady.Reset();
}

CCommPort::~CCommPort()
{
    ClosePort();
}

void CCommPort::SetPortNumber(uint32_t port)
{
    m_settings.portNumber = port;
    m_dwPort = port;
}

std::string CCommPort::ComDevicePath(uint32_t port)
{
    const char* env = std::getenv("KORVIANET_DOSDEVICES");
    std::string dir = (env && *env) ? std::string(env) : SettingsDir() + "/dosdevices";
    return dir + "/com" + std::to_string(port);
}

std::string CCommPort::DevicePathToOpen() const
{
    return m_strDevicePath.empty() ? ComDevicePath(m_settings.portNumber) : m_strDevicePath;
}

int CCommPort::OpenPort()
{
    if (m_bOpen.load())
        return 0;
    m_bNotifyMode.store(true);
    m_evRxReady.Reset();

    const std::string path = DevicePathToOpen();
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    m_openError = fd ? 0 : errno;
    if (fd && (!::isatty(fd.Get()) || ::ioctl(fd.Get(), TIOCEXCL) != 0 || ::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0)) {
        // A lock held by another process is the same as an exclusive open.
        m_openError = errno == EWOULDBLOCK ? EBUSY : errno == EINVAL ? ENOTTY : errno;
        DEBUG_LOG(LEVEL_COM, "port %s not usable (%s)", path.c_str(), std::strerror(m_openError));
        fd.Reset();
    }
    if (m_openError == EPERM)
        m_openError = EACCES;
    if (!fd) {
        m_bOpenFailed = true;
        DEBUG_LOG(LEVEL_COM, "open %s failed", path.c_str());
        return 0;
    }
    UniqueFd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wake) {
        m_openError = errno;
        m_bOpenFailed = true;
        return 0;
    }
    {
        std::unique_lock lk(m_fdGuard);
        m_fd = fd.Release();
        m_wakeFd = wake.Release();
    }
    m_bOpen.store(true);
    m_bHungUp.store(false);
    m_bOpenFailed = false;

    if (!ConfigureLine(m_line.eventChar, m_settings.baudRate, m_settings.byteSize, m_settings.parity,
                       m_settings.stopBits, m_settings.flagA | m_settings.flagB | m_settings.flagC)) {
        m_bOpen.store(false);
        std::unique_lock lk(m_fdGuard);
        (void)::ioctl(m_fd, TIOCNXCL);
        ::close(m_fd);
        ::close(m_wakeFd);
        m_fd = m_wakeFd = -1;
        return 0;
    }
    SetDtr(true);
    m_pevRelease->Set();
    m_pevExited->Reset();
    Purge();
    m_reader = std::thread(&CCommPort::ReaderThread, this);
    DEBUG_LOG(LEVEL_COM, "port %s open", path.c_str());
    return 1;
}

int CCommPort::ClosePort()
{
    if (!m_bOpen.exchange(false))
        return 0;
    // A transaction waiting for its answer fails now, not at its time-out.
    m_evRxReady.Set();
    m_activeMask.store(0);
    WakeReader();
    m_pevRelease->Set(); // ends a reader pause at once
    if (m_reader.joinable())
        m_reader.join();

    std::unique_lock lk(m_fdGuard);
    if (m_line.dtrControl != DtrControl::Handshake) {
        int bits = TIOCM_DTR;
        (void)::ioctl(m_fd, TIOCMBIC, &bits); // ptys refuse it
    }
    ::tcflush(m_fd, TCIOFLUSH);
    // Exclusive mode belongs to the tty, not to this descriptor: left set it
    // would refuse every later open by a normal user for as long as the far
    // side stays open.
    (void)::ioctl(m_fd, TIOCNXCL);
    ::close(m_fd);
    ::close(m_wakeFd);
    m_fd = m_wakeFd = -1;
    {
        std::lock_guard q(m_queueLock);
        m_queue.clear();
        m_bOverflowLogged = false;
    }
    m_bHungUp.store(false);
    DEBUG_LOG(LEVEL_COM, "port closed");
    return 1;
}

bool CCommPort::ApplyTermios(int fd) const
{
    const speed_t speed = SpeedFor(m_line.baudRate);
    if (speed == B0 || m_line.byteSize < 5 || m_line.byteSize > 8 || m_line.parity > 2)
        return false;
    termios t{};
    if (::tcgetattr(fd, &t) != 0)
        return false;
    ::cfmakeraw(&t);
    t.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= sizes[m_line.byteSize - 5] | CLOCAL | CREAD;
    if (m_line.parity == 1)
        t.c_cflag |= PARENB | PARODD;
    else if (m_line.parity == 2)
        t.c_cflag |= PARENB;
    if (m_line.stopBits != 0)
        t.c_cflag |= CSTOPB;
    t.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 1; // with O_NONBLOCK: EAGAIN when empty, 0 only on hang-up
    t.c_cc[VTIME] = 0;
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    return ::tcsetattr(fd, TCSANOW, &t) == 0;
}

int CCommPort::ConfigureLine(uint8_t eventChar, uint32_t baudRate, uint8_t byteSize, uint8_t parity,
                             uint8_t stopBits, uint32_t /*flags: no effect on the line*/)
{
    m_line.eventChar = eventChar;
    m_line.baudRate = baudRate;
    m_line.byteSize = byteSize;
    m_line.parity = parity;
    m_line.stopBits = stopBits;
    if (m_line.dtrControl != DtrControl::Handshake)
        m_line.dtrControl = DtrControl::Enable;
    std::shared_lock lk(m_fdGuard);
    if (m_fd < 0 || !m_bOpen.load())
        return 0;
    return ApplyTermios(m_fd) ? 1 : 0;
}

uint16_t CCommPort::PullLocked(int fd)
{
    uint16_t events = 0;
    uint8_t chunk[1024];
    size_t total = 0;
    while (total < 4 * kDriverQueueSize) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || (n < 0 && errno != EAGAIN)) {
            MarkHungUp(); // EOF or EIO on a tty: the far side has gone
            break;
        }
        if (n < 0)
            break;
        total += size_t(n);
        events |= EV_RXCHAR;
        if (std::find(chunk, chunk + n, m_line.eventChar) != chunk + n)
            events |= EV_RXFLAG; // a flag counts even when older bytes must make room
        const size_t keep = std::min(size_t(n), kDriverQueueSize);
        const size_t room = kDriverQueueSize - m_queue.size();
        if (keep > room) {
            // Full queue: drop the oldest bytes, keep the newest. Whatever
            // frame lost its head fails its check and is skipped; the answer
            // to the next request is among the newest bytes.
            m_queue.erase(m_queue.begin(), m_queue.begin() + ptrdiff_t(keep - room));
            if (!m_bOverflowLogged) {
                m_bOverflowLogged = true;
                DEBUG_LOG(LEVEL_COM, "receive queue overflow: oldest bytes dropped");
            }
        }
        m_queue.insert(m_queue.end(), chunk + (size_t(n) - keep), chunk + n);
    }
    return events;
}

void CCommPort::MarkHungUp()
{
    if (m_bHungUp.exchange(true))
        return;
    DEBUG_LOG(LEVEL_COM, "port hung up");
    // A transaction waiting for its answer learns it at once.
    m_evRxReady.Set();
}

void CCommPort::WakeReader()
{
    std::shared_lock lk(m_fdGuard);
    if (m_wakeFd >= 0) {
        const uint64_t one = 1;
        (void)!::write(m_wakeFd, &one, sizeof one);
    }
}

void CCommPort::ReaderThread()
{
    int fd, wake;
    {
        std::shared_lock lk(m_fdGuard);
        fd = m_fd;
        wake = m_wakeFd;
    }
    m_pevRelease->Reset();
    m_activeMask.store(m_settings.eventMask);

    while (m_bOpen.load()) {
        if (m_bHungUp.load()) {
            // A vanished device reports hang-up at once and forever: wait on
            // the wake-up descriptor alone, with a back-off, until closed.
            pollfd w{wake, POLLIN, 0};
            if (::poll(&w, 1, kHangupBackoffMs) > 0)
                DrainEventFd(wake);
            continue;
        }
        pollfd p[2] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};
        if (::poll(p, 2, -1) < 0) {
            if (errno != EINTR)
                SleepMs(kHangupBackoffMs / 10);
            continue;
        }
        const bool woken = (p[1].revents & POLLIN) != 0;
        if (woken)
            DrainEventFd(wake);
        uint16_t events = 0;
        if (p[0].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) {
            std::lock_guard q(m_queueLock);
            events = PullLocked(fd);
            if (p[0].revents & (POLLHUP | POLLERR | POLLNVAL))
                MarkHungUp();
        }
        if (!m_bOpen.load())
            break;
        const uint16_t mask = m_activeMask.load();
        if ((events & mask) == 0) {
            if (woken)
                m_pevRelease->Reset(); // the mask changed under the wait
            continue;
        }
        const bool notify = m_bNotifyMode.load();
        if (notify)
            m_pevRelease->Reset();
        if (!(events & EV_RXFLAG))
            continue;
        if (notify) {
            if (ICommPortOwner* owner = m_pOwner.load())
                owner->PostPortMessage(kTracePacketMessage, uintptr_t(fd), kTracePacketParam);
            m_pevRelease->Wait(kNotifyReleaseWaitMs);
        } else {
            m_evRxReady.Set();
            m_pevRelease->Wait(kReleaseWaitMs);
        }
    }
    m_pevExited->Set();
}

int CCommPort::ReadAvailable(uint8_t* buffer, int maxLength)
{
    if (buffer == nullptr || maxLength <= 0)
        return 0;
    std::shared_lock lk(m_fdGuard);
    if (m_fd < 0 || !m_bOpen.load())
        return 0;
    std::lock_guard q(m_queueLock);
    // what the driver holds: our queue plus what the tty has not handed over yet
    if (!m_bHungUp.load())
        PullLocked(m_fd);
    const size_t n = std::min(size_t(maxLength), m_queue.size());
    std::copy_n(m_queue.begin(), n, buffer);
    m_queue.erase(m_queue.begin(), m_queue.begin() + ptrdiff_t(n));
    if (m_queue.empty())
        m_bOverflowLogged = false; // drained: a later overflow is logged again
    return int(n);
}

int CCommPort::WriteBytes(const uint8_t* buffer, int length)
{
    if (buffer == nullptr || length <= 0)
        return 0;
    std::shared_lock lk(m_fdGuard);
    if (m_fd < 0 || !m_bOpen.load())
        return 0;
    const int64_t deadline = TickMs() + WriteTimeoutMs(m_line.baudRate, length);
    int written = 0;
    while (written < length) {
        const ssize_t n = ::write(m_fd, buffer + written, size_t(length - written));
        if (n > 0) {
            written += int(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            // Waiting for room: in slices, so that a close or a cancelled
            // transaction ends the wait soon.
            const int64_t left = deadline - TickMs();
            if (left <= 0 || !m_bOpen.load() || m_bCancelWait.load())
                break;
            pollfd p{m_fd, POLLOUT, 0};
            const int r = ::poll(&p, 1, int(std::min<int64_t>(left, kWriteWaitSliceMs)));
            if (r < 0 && errno != EINTR)
                break;
            if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)))
                break;
            continue;
        }
        if (n < 0 && errno == EIO)
            MarkHungUp();
        break;
    }
    return written;
}

void CCommPort::CancelTransaction()
{
    if (!m_bInTransact.load())
        return;
    m_bCancelWait.store(true);
    m_evRxReady.Set();
}

int CCommPort::WriteByte(uint8_t byte)
{
    return WriteBytes(&byte, 1);
}

int CCommPort::WriteString(const char* text)
{
    if (text == nullptr)
        return 0;
    return WriteBytes(reinterpret_cast<const uint8_t*>(text), int(std::strlen(text)));
}

int CCommPort::SetDtr(bool raise)
{
    if (m_line.dtrControl == DtrControl::Handshake)
        return 2;
    std::shared_lock lk(m_fdGuard);
    if (m_fd >= 0 && m_bOpen.load()) {
        int bits = TIOCM_DTR;
        (void)::ioctl(m_fd, raise ? TIOCMBIS : TIOCMBIC, &bits); // ptys refuse it: ignored
    }
    return 0;
}

int CCommPort::Purge()
{
    std::shared_lock lk(m_fdGuard);
    if (m_fd < 0 || !m_bOpen.load())
        return 0;
    ::tcflush(m_fd, TCIOFLUSH);
    std::lock_guard q(m_queueLock);
    m_queue.clear();
    m_bOverflowLogged = false;
    return 1;
}

int CCommPort::ApplyEventMask()
{
    if (!m_bOpen.load())
        return 0;
    m_activeMask.store(m_settings.eventMask);
    WakeReader();
    return 1;
}

int CCommPort::ClearEventMask()
{
    if (!m_bOpen.load())
        return 0;
    m_activeMask.store(0);
    WakeReader();
    return 1;
}

} // namespace kv
