#include "PtyPeer.h"

#include "link/DiagFrame.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace kvtest {

PtyPeer::PtyPeer()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0)
        return;
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        Close();
        return;
    }
    char name[128];
    if (::ptsname_r(m_master, name, sizeof name) != 0) {
        Close();
        return;
    }
    m_slave = name;
}

PtyPeer::~PtyPeer()
{
    Close();
}

void PtyPeer::Close()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

std::vector<uint8_t> PtyPeer::ReadFrame(int timeoutMs)
{
    std::vector<uint8_t> out;
    while (m_master >= 0) {
        pollfd p{m_master, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            return {};
        uint8_t b;
        if (::read(m_master, &b, 1) != 1)
            return {};
        out.push_back(b);
        if (b == 0x7E)
            return out;
    }
    return out;
}

std::vector<uint8_t> PtyPeer::ReadSome(int timeoutMs)
{
    std::vector<uint8_t> out;
    pollfd p{m_master, POLLIN, 0};
    while (m_master >= 0 && ::poll(&p, 1, timeoutMs) > 0) {
        uint8_t buf[256];
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n <= 0)
            break;
        out.insert(out.end(), buf, buf + n);
        timeoutMs = 50;
    }
    return out;
}

void PtyPeer::Send(const std::vector<uint8_t>& bytes)
{
    size_t done = 0;
    while (m_master >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += size_t(n);
    }
}

std::vector<uint8_t> Frame(const std::vector<uint8_t>& payload)
{
    return kv::EncodeDiagFrame(payload.data(), payload.size());
}

} // namespace kvtest
