#include "RunCli.h"

#include "platform/Event.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kvtest {

CliResult RunCli(const std::vector<std::string>& args, int signalAfterMs, int sig)
{
    return RunProgram(KV_CLI_PATH, args, signalAfterMs, sig);
}

CliResult RunCliKilledWhen(const std::vector<std::string>& args, const std::function<bool()>& killWhen)
{
    return RunProgram(KV_CLI_PATH, args, -1, 15, -1, killWhen);
}

std::string PasswordFile(const std::string& dir, const std::string& password)
{
    const std::string path = dir + "/password";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
        const std::string line = password + "\n";
        [[maybe_unused]] const ssize_t n = ::write(fd, line.data(), line.size());
        ::fchmod(fd, 0600);
        ::close(fd);
    }
    return path;
}

CliResult RunCliAs(const std::vector<std::string>& args, int uid) { return RunProgram(KV_CLI_PATH, args, -1, 15, uid); }

CliResult RunCliWithInput(const std::vector<std::string>& args, const std::string& stdinPath)
{
    return RunProgram(KV_CLI_PATH, args, -1, 15, -1, {}, stdinPath);
}

CliResult RunProgram(const std::string& program, const std::vector<std::string>& args, int signalAfterMs, int sig,
                     int uid, const std::function<bool()>& killWhen, const std::string& stdinPath)
{
    CliResult r;
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return r;
    if (::pipe2(err, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        return r;
    }
    std::vector<std::string> argvStore{program};
    argvStore.insert(argvStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argvStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!stdinPath.empty()) {
            const int in = ::open(stdinPath.c_str(), O_RDONLY);
            if (in < 0 || ::dup2(in, 0) < 0)
                ::_exit(125);
        }
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        if (uid >= 0 && (::setgroups(0, nullptr) != 0 || ::setgid(gid_t(uid)) != 0 || ::setuid(uid_t(uid)) != 0))
            ::_exit(126);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    if (pid < 0) {
        ::close(out[0]);
        ::close(err[0]);
        return r;
    }
    const int64_t start = kv::TickMs();
    const int64_t end = start + 30000;
    int64_t signalAt = signalAfterMs >= 0 ? start + signalAfterMs : -1;
    pollfd p[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    while (open > 0 && kv::TickMs() < end) {
        if (signalAt >= 0 && kv::TickMs() >= signalAt) {
            ::kill(pid, sig);
            signalAt = -1;
        }
        if (killWhen && !r.killed && killWhen()) {
            ::kill(pid, SIGKILL);
            r.killed = true;
        }
        int64_t until = signalAt >= 0 ? std::min(end, signalAt) : end;
        if (killWhen && !r.killed)
            until = std::min(until, kv::TickMs() + 5);
        if (::poll(p, 2, int(std::max<int64_t>(0, until - kv::TickMs()))) < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; ++i) {
            if (p[i].fd < 0 || !p[i].revents)
                continue;
            char buf[4096];
            const ssize_t n = ::read(p[i].fd, buf, sizeof buf);
            if (n > 0) {
                (i == 0 ? r.out : r.err).append(buf, size_t(n));
            } else {
                ::close(p[i].fd);
                p[i].fd = -1;
                --open;
            }
        }
    }
    if (open > 0)
        ::kill(pid, SIGKILL);
    for (auto& f : p)
        if (f.fd >= 0)
            ::close(f.fd);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status))
        r.exitCode = WEXITSTATUS(status);
    return r;
}

} // namespace kvtest
