#include "net/PppdKeeper.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

extern char** environ;

namespace kvnet {

namespace {

// Everything between fork and exec (or _exit) below uses only calls that
// are safe in the child of a threaded process.

void NapMs(long ms)
{
    timespec ts{ms / 1000, (ms % 1000) * 1000000L};
    while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

// Closes every descriptor from 3 up except the ones kept (sorted).
void CloseAllBut(int a, int b, int c)
{
    int keep[3] = {a, b, c};
    std::sort(keep, keep + 3);
    unsigned from = 3;
    for (int k : keep) {
        if (k < 3)
            continue;
        if (unsigned(k) > from)
            ::close_range(from, unsigned(k) - 1, 0);
        from = unsigned(k) + 1;
    }
    ::close_range(from, ~0U, 0);
}

void WriteAll(int fd, const void* data, size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        p += n, size -= size_t(n);
    }
}

void OnlyNullStdio()
{
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        ::dup2(null, 0), ::dup2(null, 1), ::dup2(null, 2);
        if (null > 2)
            ::close(null);
    }
}

// Hangs up the group: SIGTERM, then SIGKILL for whatever is left after the
// grace time. pppd stays a zombie (not reaped) meanwhile, so its pid, and
// with it the group id, cannot pass to another process.
void HangUpGroup(pid_t group, pid_t pppd)
{
    ::kill(-group, SIGTERM);
    for (int t = 0; t < kKeeperGraceMs; t += 50) {
        siginfo_t si{};
        if (::waitid(P_PID, id_t(pppd), &si, WEXITED | WNOHANG | WNOWAIT) == 0 && si.si_pid == pppd)
            break;
        NapMs(50);
    }
    ::kill(-group, SIGKILL);
}

[[noreturn]] void RunPppd(const char* program, char* const* argv, int outFd, int errFd)
{
    ::setpgid(0, 0);
    const int null = ::open("/dev/null", O_RDONLY);
    if (null >= 0 && null != 0) {
        ::dup2(null, 0);
        ::close(null);
    }
    ::dup2(outFd, 1);
    ::dup2(outFd, 2);
    if (outFd > 2)
        ::close(outFd);
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    for (int s : {SIGTERM, SIGINT, SIGHUP, SIGPIPE, SIGQUIT})
        ::sigaction(s, &dfl, nullptr);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execve(program, argv, environ);
    const int e = errno;
    WriteAll(errFd, &e, sizeof e);
    ::_exit(127);
}

[[noreturn]] void RunKeeper(const char* program, char* const* argv, int outFd, int lifeline, int report)
{
    CloseAllBut(outFd, lifeline, report);
    // Signals meant for our own process group (a Ctrl-C at the terminal)
    // are not the keeper's business: we hang up ourselves.
    struct sigaction ign {};
    ign.sa_handler = SIG_IGN;
    for (int s : {SIGTERM, SIGINT, SIGHUP, SIGPIPE, SIGQUIT})
        ::sigaction(s, &ign, nullptr);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);

    int err[2];
    if (::pipe2(err, O_CLOEXEC) != 0) {
        const int msg[2] = {-1, errno};
        WriteAll(report, msg, sizeof msg);
        ::_exit(127);
    }
    const pid_t pppd = ::fork();
    if (pppd == 0) {
        ::close(err[0]);
        ::close(lifeline);
        ::close(report);
        RunPppd(program, argv, outFd, err[1]);
    }
    ::close(err[1]);
    ::close(outFd); // our reader's end-of-file must depend on pppd's side only
    OnlyNullStdio();
    int msg[2] = {pppd, pppd < 0 ? errno : 0};
    if (pppd > 0) {
        ::setpgid(pppd, pppd); // also here, so the group exists before anyone signals it
        int e = 0;
        ssize_t n;
        while ((n = ::read(err[0], &e, sizeof e)) < 0 && errno == EINTR) {
        }
        if (n == ssize_t(sizeof e))
            msg[1] = e;
    }
    ::close(err[0]);
    WriteAll(report, msg, sizeof msg);
    ::close(report);
    if (pppd < 0)
        ::_exit(127);

    bool hungUp = false;
    for (;;) {
        siginfo_t si{};
        if (::waitid(P_PID, id_t(pppd), &si, WEXITED | WNOHANG | WNOWAIT) == 0 && si.si_pid == pppd)
            break;
        if (!hungUp) {
            pollfd p{lifeline, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0) {
                char b;
                const ssize_t n = ::read(lifeline, &b, 1);
                if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) {
                    hungUp = true;
                    HangUpGroup(pppd, pppd);
                }
            }
        } else {
            NapMs(50);
        }
    }
    // pppd has ended: anything left in its group (a connect script's child
    // holding the output pipe) ends with it. Once pppd is reaped, the group id
    // stays taken as long as any member lives, so it cannot name a stranger.
    ::kill(-pppd, SIGTERM);
    int status = 0;
    while (::waitpid(pppd, &status, 0) < 0 && errno == EINTR) {
    }
    for (int t = 0; t < 500 && ::kill(-pppd, 0) == 0; t += 20)
        NapMs(20);
    ::kill(-pppd, SIGKILL);
    if (WIFSIGNALED(status)) {
        struct sigaction dfl {};
        dfl.sa_handler = SIG_DFL;
        ::sigaction(WTERMSIG(status), &dfl, nullptr);
        ::kill(::getpid(), WTERMSIG(status));
    }
    ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 1);
}

} // namespace

int StartKeptPppd(const std::string& program, const std::vector<std::string>& args, int outFd, KeptPppd& out)
{
    out = KeptPppd{};
    std::vector<std::string> words = args;
    std::vector<char*> argv;
    for (std::string& a : words)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    int life[2], report[2];
    if (::pipe2(life, O_CLOEXEC) != 0)
        return errno;
    if (::pipe2(report, O_CLOEXEC) != 0) {
        const int e = errno;
        ::close(life[0]), ::close(life[1]);
        return e;
    }
    const pid_t keeper = ::fork();
    if (keeper == 0)
        RunKeeper(program.c_str(), argv.data(), outFd, life[0], report[1]);
    const int forkErr = errno;
    ::close(life[0]);
    ::close(report[1]);
    if (keeper < 0) {
        ::close(life[1]);
        ::close(report[0]);
        return forkErr;
    }
    int msg[2] = {-1, EIO};
    size_t got = 0;
    while (got < sizeof msg) {
        const ssize_t n = ::read(report[0], reinterpret_cast<char*>(msg) + got, sizeof msg - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += size_t(n);
    }
    ::close(report[0]);
    if (got < sizeof msg || msg[0] <= 0 || msg[1] != 0) {
        ::close(life[1]);
        int status;
        while (::waitpid(keeper, &status, 0) < 0 && errno == EINTR) {
        }
        return got == sizeof msg && msg[1] != 0 ? msg[1] : EIO;
    }
    out.keeper = keeper;
    out.group = pid_t(msg[0]);
    out.lifeline = life[1];
    return 0;
}

} // namespace kvnet
