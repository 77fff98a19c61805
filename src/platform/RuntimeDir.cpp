// The private runtime folder and the run locks in it.
#include "platform/RuntimeDir.h"

#include "platform/OwnerFiles.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kv {

namespace {

constexpr const char* kFolderName = "korvianet";

// A runtime folder given by the session, if it is a usable one.
std::string SessionRuntimeDir()
{
    const char* rt = std::getenv("XDG_RUNTIME_DIR");
    if (!rt || *rt != '/')
        return {};
    struct stat st {};
    if (::stat(rt, &st) != 0 || !S_ISDIR(st.st_mode))
        return {};
    return rt;
}

// The user's cache folder, if the home it lies in exists and is the user's
// own (a service user's home may be a placeholder such as /nonexistent, and
// $HOME may still name the home of the user we were started from).
std::string CacheDir()
{
    if (const char* c = std::getenv("XDG_CACHE_HOME"); c && *c == '/')
        return c;
    const std::string home = UserHomeDir();
    struct stat st {};
    if (home.empty() || ::stat(home.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return {};
    return home + "/.cache";
}

std::string SharedTmpFolder() { return "/tmp/korvianet-" + std::to_string(::geteuid()); }

bool SetWriteLock(int fd, bool wait)
{
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    for (;;) {
        if (::fcntl(fd, wait ? F_SETLKW : F_SETLK, &fl) == 0)
            return true;
        if (errno != EINTR)
            return false;
    }
}

} // namespace

std::string RuntimeDirPath()
{
    if (const std::string rt = SessionRuntimeDir(); !rt.empty())
        return rt + "/" + kFolderName;
    if (const std::string cache = CacheDir(); !cache.empty())
        return cache + "/" + kFolderName + "/run";
    return SharedTmpFolder();
}

std::string EnsureRuntimeDir(std::string* why)
{
    const std::string dir = RuntimeDirPath();
    if (dir == SharedTmpFolder()) {
        // In the shared /tmp the folder must be one we made ourselves: an
        // existing one that is someone else's, or ever was open to others,
        // may hold what they planted.
        if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
            if (why)
                *why = "cannot create the runtime folder " + dir + ": " + std::strerror(errno);
            return {};
        }
        struct stat st {};
        if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            if (why)
                *why = "the runtime folder " + dir + " is not a folder; refusing to use it";
            return {};
        }
        return CheckOwnerDir(dir, why, false) ? dir : std::string();
    }
    return MakeOwnerDirs(dir, why) ? dir : std::string();
}

CRunLock::CRunLock(std::string name) : m_name(std::move(name)) {}

CRunLock::~CRunLock() { Release(); }

std::string CRunLock::PathOf(const std::string& name) { return RuntimeDirPath() + "/" + name; }

CRunLock::Result CRunLock::Acquire()
{
    if (m_fd >= 0)
        return Result::Held;
    m_why.clear();
    if (EnsureRuntimeDir(&m_why).empty())
        return Result::Failed;
    const std::string path = PathOf(m_name);
    const int fd = OpenOwnedFile(path, O_RDWR | O_CREAT, 0600, &m_why);
    if (fd < 0)
        return Result::Failed;
    if (!SetWriteLock(fd, false)) {
        const int err = errno;
        ::close(fd);
        if (err == EACCES || err == EAGAIN)
            return Result::Busy;
        m_why = path + ": " + std::strerror(err);
        return Result::Failed;
    }
    // The pid is for people looking at the folder; nothing trusts it.
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0)
        (void)!::pwrite(fd, pid.data(), pid.size(), 0);
    m_fd = fd;
    return Result::Held;
}

void CRunLock::Release()
{
    if (m_fd < 0)
        return;
    (void)!::ftruncate(m_fd, 0);
    ::close(m_fd); // drops the lock
    m_fd = -1;
}

pid_t CRunLock::HolderPid(const std::string& name)
{
    std::string why;
    if (EnsureRuntimeDir(&why).empty())
        return 0;
    const int fd = OpenOwnedFile(PathOf(name), O_RDONLY, 0, nullptr);
    if (fd < 0)
        return 0;
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    const bool asked = ::fcntl(fd, F_GETLK, &fl) == 0;
    // Closing the descriptor would drop a lock this process held on the
    // file; a holder never asks about its own lock, so this is harmless.
    ::close(fd);
    if (!asked || fl.l_type == F_UNLCK || fl.l_pid <= 0)
        return 0;
    return fl.l_pid;
}

} // namespace kv
