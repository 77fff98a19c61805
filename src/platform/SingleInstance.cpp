#include "platform/SingleInstance.h"

#include "platform/OwnerFiles.h"
#include "platform/RuntimeDir.h"

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
    // Made here already, so that the path names a place that exists.
    EnsureRuntimeDir();
    return RuntimeDirPath() + "/" + name + ".lock";
}

CSingleInstance::CSingleInstance(const std::string& name) : m_strName(name) {}

CSingleInstance::~CSingleInstance() { Release(); }

CSingleInstance::Result CSingleInstance::Acquire()
{
    if (m_fd >= 0)
        return Result::Held;
    m_strFailure.clear();
    if (EnsureRuntimeDir(&m_strFailure).empty())
        return Result::Failed;
    const std::string path = LockPath(m_strName);
    auto failed = [&](int err) {
        m_strFailure = path + ": " + std::strerror(err);
        return Result::Failed;
    };
    // Only a file of ours in our own folder counts: a lock file someone
    // else made must neither block us nor be written by us.
    int fd = OpenOwnedFile(path, O_RDWR | O_CREAT, 0600, &m_strFailure);
    if (fd < 0)
        return Result::Failed;
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
