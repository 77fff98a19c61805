#include "support/AsUser.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <cstring>
#include <grp.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kvtest {

namespace {
bool DropPrivileges(uid_t uid = kVictimUid, const std::vector<gid_t>& groups = {})
{
    return ::setgroups(groups.size(), groups.data()) == 0 && ::setgid(gid_t(uid)) == 0 && ::setuid(uid) == 0
        && ::geteuid() == uid && ::setuid(0) != 0;
}

std::string RunAs(uid_t uid, const std::vector<gid_t>& groups, const std::function<std::string()>& fn,
                  int timeoutMs);
} // namespace

bool CanRunAsNormalUser()
{
    if (::geteuid() != 0)
        return true;
    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0)
        ::_exit(DropPrivileges() ? 0 : 1);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool CanRunAsTwoUsers() { return ::geteuid() == 0 && CanRunAsNormalUser(); }

std::string RunAsNormalUser(const std::function<std::string()>& fn, int timeoutMs)
{
    return RunAsNormalUserInGroups(fn, {}, timeoutMs);
}

std::string RunAsNormalUserInGroups(const std::function<std::string()>& fn, const std::vector<gid_t>& groups,
                                    int timeoutMs)
{
    if (::geteuid() != 0)
        return fn();
    return RunAs(kVictimUid, groups, fn, timeoutMs);
}

std::string RunAsUser(uid_t uid, const std::function<std::string()>& fn, int timeoutMs)
{
    if (::geteuid() != 0)
        return "switching to another user needs root";
    return RunAs(uid, {}, fn, timeoutMs);
}

namespace {

std::string RunAs(uid_t uid, const std::vector<gid_t>& groups, const std::function<std::string()>& fn,
                  int timeoutMs)
{
    int pipeFd[2];
    if (::pipe2(pipeFd, O_CLOEXEC) != 0)
        return std::string("pipe: ") + std::strerror(errno);
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(pipeFd[0]);
        ::close(pipeFd[1]);
        return std::string("fork: ") + std::strerror(errno);
    }
    if (pid == 0) {
        ::close(pipeFd[0]);
        std::string result = DropPrivileges(uid, groups) ? fn() : "cannot drop to uid " + std::to_string(uid);
        if (result.empty())
            result = "ok";
        size_t done = 0;
        while (done < result.size()) {
            const ssize_t n = ::write(pipeFd[1], result.data() + done, result.size() - done);
            if (n <= 0)
                break;
            done += size_t(n);
        }
        ::_exit(0);
    }
    ::close(pipeFd[1]);
    std::string text;
    bool timedOut = false;
    for (;;) {
        pollfd p{pipeFd[0], POLLIN, 0};
        const int r = ::poll(&p, 1, timeoutMs);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0) {
            timedOut = true;
            break;
        }
        char buf[512];
        const ssize_t n = ::read(pipeFd[0], buf, sizeof buf);
        if (n <= 0)
            break;
        text.append(buf, size_t(n));
    }
    ::close(pipeFd[0]);
    if (timedOut)
        ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (timedOut)
        return "the normal user's steps did not finish in time";
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "the normal user's process died";
    return text == "ok" ? "" : text;
}

} // namespace

} // namespace kvtest
