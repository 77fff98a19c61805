#include "platform/SingleInstance.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kv {

std::string CSingleInstance::LockPath(const std::string& name)
{
    if (const char* rt = std::getenv("XDG_RUNTIME_DIR"); rt && *rt == '/') {
        struct stat st {};
        if (::stat(rt, &st) == 0 && S_ISDIR(st.st_mode))
            return std::string(rt) + "/" + name + ".lock";
    }
    return "/tmp/" + name + "-" + std::to_string(::getuid()) + ".lock";
}

CSingleInstance::CSingleInstance(const std::string& name) : m_strName(name) {}

CSingleInstance::~CSingleInstance() { Release(); }

CSingleInstance::Result CSingleInstance::Acquire()
{
    if (m_fd >= 0)
        return Result::Held;
    m_strFailure.clear();
    const std::string path = LockPath(m_strName);
    auto failed = [&](int err) {
        m_strFailure = path + ": " + std::strerror(err);
        return Result::Failed;
    };
    // O_NOFOLLOW: in a shared /tmp a planted symlink must not redirect us.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return failed(errno);
    // The lock belongs to this open file description, so a second object in
    // the same process is refused as well, like a second process.
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        if (err == EINTR)
            continue;
        ::close(fd);
        return err == EWOULDBLOCK ? Result::Busy : failed(err);
    }
    m_fd = fd;
    return Result::Held;
}

void CSingleInstance::Release()
{
    if (m_fd >= 0) {
        ::close(m_fd); // closing the last descriptor drops the lock
        m_fd = -1;
    }
}

} // namespace kv
