#include "platform/SingleInstance.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kv {

std::string CSingleInstance::LockPath(const std::string& name)
{
    std::string dir = "/tmp";
    if (const char* rt = std::getenv("XDG_RUNTIME_DIR"); rt && *rt == '/') {
        struct stat st {};
        if (::stat(rt, &st) == 0 && S_ISDIR(st.st_mode))
            dir = rt;
    }
    return dir + "/" + name + ".lock";
}

CSingleInstance::CSingleInstance(const std::string& name) : m_strName(name) {}

CSingleInstance::~CSingleInstance() { Release(); }

bool CSingleInstance::Acquire()
{
    if (m_fd >= 0)
        return true;
    // O_NOFOLLOW: in a shared /tmp a planted symlink must not redirect us.
    int fd = ::open(LockPath(m_strName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;
    // The lock belongs to this open file description, so a second object in
    // the same process is refused as well, like a second process.
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

void CSingleInstance::Release()
{
    if (m_fd >= 0) {
        ::close(m_fd); // closing the last descriptor drops the lock
        m_fd = -1;
    }
}

} // namespace kv
