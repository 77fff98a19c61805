#include "platform/DirWatch.h"

#include <cerrno>
#include <climits>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kv {

namespace {

constexpr uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MODIFY | IN_ATTRIB | IN_MOVED_FROM | IN_MOVED_TO
                                | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

// 1 a folder, 0 missing, -1 there but not a folder (or not reachable).
int FolderState(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 1 : -1;
    return (errno == ENOENT || errno == ENOTDIR) ? 0 : -1;
}

std::string Parent(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

} // namespace

CDirWatch::~CDirWatch() { Close(); }

bool CDirWatch::Create()
{
    if (Created())
        return true;
    m_nInotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_nInotify < 0)
        return false;
    m_nWake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_nWake < 0) {
        Close();
        return false;
    }
    return true;
}

void CDirWatch::Close()
{
    if (m_nInotify >= 0)
        ::close(m_nInotify);
    if (m_nWake >= 0)
        ::close(m_nWake);
    m_nInotify = m_nWake = m_nWd = -1;
    m_strWatched.clear();
    m_bTarget = m_bMoved = m_bArmedOnce = false;
}

bool CDirWatch::Arm(const std::string& folder)
{
    if (!Created() || folder.empty())
        return false;
    const int state = FolderState(folder);
    if (state < 0)
        return false;
    std::string place = folder;
    if (state == 0) {
        // The nearest ancestor that exists; one in the way that is not a
        // folder makes the key impossible to create: a broken tree.
        do {
            const std::string up = Parent(place);
            if (up == place)
                return false;
            place = up;
        } while (FolderState(place) == 0);
        if (FolderState(place) < 0)
            return false;
    }
    m_bMoved = false;
    if (m_nWd >= 0 && place == m_strWatched)
        return true;
    m_bMoved = m_bArmedOnce;
    m_bArmedOnce = true;
    if (m_nWd >= 0)
        ::inotify_rm_watch(m_nInotify, m_nWd);
    m_nWd = ::inotify_add_watch(m_nInotify, place.c_str(), kWatchMask);
    if (m_nWd < 0) {
        m_strWatched.clear();
        m_bTarget = false;
        return false;
    }
    m_strWatched = place;
    m_bTarget = state == 1;
    return true;
}

void CDirWatch::Drain()
{
    alignas(inotify_event) char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_nInotify, buf, sizeof buf);
        if (n <= 0)
            return;
        for (ssize_t off = 0; off + ssize_t(sizeof(inotify_event)) <= n;) {
            const auto* ev = reinterpret_cast<const inotify_event*>(buf + off);
            // The watched folder went away: the next Arm() places a new watch.
            if (ev->wd == m_nWd && (ev->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF))) {
                if (!(ev->mask & IN_IGNORED))
                    ::inotify_rm_watch(m_nInotify, m_nWd);
                m_nWd = -1;
            }
            off += ssize_t(sizeof(inotify_event)) + ssize_t(ev->len);
        }
    }
}

int CDirWatch::Wait(int64_t timeoutMs)
{
    if (!Created())
        return -1;
    pollfd fds[2] = {{m_nInotify, POLLIN, 0}, {m_nWake, POLLIN, 0}};
    const int ms = timeoutMs < 0 ? -1 : int(timeoutMs > INT_MAX ? INT_MAX : timeoutMs);
    int r;
    do {
        r = ::poll(fds, 2, ms);
    } while (r < 0 && errno == EINTR);
    if (r < 0)
        return -1;
    if (fds[1].revents & POLLIN) {
        uint64_t v = 0;
        [[maybe_unused]] ssize_t n = ::read(m_nWake, &v, sizeof v);
    }
    if (fds[0].revents & POLLIN) {
        Drain();
        return 1;
    }
    if ((fds[0].revents | fds[1].revents) & (POLLERR | POLLNVAL))
        return -1;
    return 0;
}

void CDirWatch::Wake()
{
    if (m_nWake < 0)
        return;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(m_nWake, &one, sizeof one);
}

} // namespace kv
