// The hooks' worker: reading hooks.d, starting each hook, logging its
// output and keeping it to its time limit.
#include "notify/HookRunner.h"

#include "log/DebugLog.h"
#include "notify/HookEnv.h"
#include "settings/Profile.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <vector>

extern char** environ;

namespace kvnotify {

namespace {

using Clock = std::chrono::steady_clock;

std::string ErrnoText(int err) { return std::strerror(err); }

int64_t MsSince(Clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// Whether a file or folder could have been written by another user.
bool OthersCanWrite(const struct stat& st)
{
    return (st.st_uid != ::geteuid() && st.st_uid != 0) || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

// The file names of the folder, in byte order ("" with why on failure).
bool ListNames(const std::string& dir, std::vector<std::string>& names, int& err)
{
    DIR* d = ::opendir(dir.c_str());
    if (!d) {
        err = errno;
        return false;
    }
    while (const dirent* ent = ::readdir(d)) {
        if (ent->d_name[0] == '.')
            continue; // ".", ".." and hidden files (editors' leftovers)
        names.emplace_back(ent->d_name);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    return true;
}

} // namespace

std::string HooksDir() { return kv::SettingsDir() + "/" + kHooksFolder; }

CHookRunner::CHookRunner(HookRunnerOptions options) : m_opt(std::move(options)) {}

CHookRunner::~CHookRunner() { Stop(); }

void CHookRunner::Note(const std::string& line)
{
    DEBUG_LOG(LEVEL_NOTI, "%s", line.c_str());
    if (m_opt.note)
        m_opt.note(line);
}

bool CHookRunner::Start()
{
    if (m_thread.joinable())
        return true;
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_stop = false;
        m_running = true;
    }
    try {
        m_thread = std::thread(&CHookRunner::ThreadMain, this);
    } catch (const std::system_error&) {
        std::lock_guard<std::mutex> g(m_lock);
        m_running = false;
        Note("hooks: not started: no thread");
        return false;
    }
    return true;
}

void CHookRunner::Stop()
{
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_stop = true;
        m_running = false;
        m_queue.clear();
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void CHookRunner::OnOwnerEvent(const kv::OwnerEvent& event)
{
    bool dropped = false;
    {
        std::lock_guard<std::mutex> g(m_lock);
        if (m_stop || !m_running)
            return;
        if (m_queue.size() >= m_opt.queueMax)
            dropped = true;
        else
            m_queue.push_back(event);
    }
    if (dropped)
        Note(std::string("hooks: too many events waiting, the hooks of ") + HookEventName(event.kind)
             + " are not run");
    else
        m_wake.notify_all();
}

bool CHookRunner::WaitIdle(int timeoutMs)
{
    std::unique_lock<std::mutex> g(m_lock);
    return m_wake.wait_for(g, std::chrono::milliseconds(timeoutMs),
                           [this] { return m_stop || (m_queue.empty() && !m_busy); });
}

void CHookRunner::ThreadMain()
{
    std::unique_lock<std::mutex> g(m_lock);
    for (;;) {
        m_wake.wait(g, [this] { return m_stop || !m_queue.empty(); });
        if (m_stop)
            break;
        const kv::OwnerEvent e = std::move(m_queue.front());
        m_queue.pop_front();
        m_busy = true;
        g.unlock();
        RunEvent(e);
        g.lock();
        m_busy = false;
        m_wake.notify_all();
    }
    m_busy = false;
    m_wake.notify_all();
}

void CHookRunner::RunEvent(const kv::OwnerEvent& event)
{
    std::string dir = m_opt.dir.empty() ? HooksDir() : m_opt.dir;
    // The hook starts in its folder: a relative path would no longer hold.
    if (!dir.empty() && dir[0] != '/') {
        char cwd[4096];
        if (!::getcwd(cwd, sizeof cwd))
            return;
        dir = std::string(cwd) + "/" + dir;
    }
    struct stat st{};
    if (::stat(dir.c_str(), &st) != 0) {
        if (errno != ENOENT && errno != ENOTDIR)
            Note("hooks: " + dir + " not read: " + ErrnoText(errno));
        return; // no hooks folder: nothing to run
    }
    if (!S_ISDIR(st.st_mode))
        return;
    if (OthersCanWrite(st)) {
        Note("hooks: " + dir + " could be written by another user: its hooks are not run");
        return;
    }
    std::vector<std::string> names;
    int err = 0;
    if (!ListNames(dir, names, err)) {
        Note("hooks: " + dir + " not read: " + ErrnoText(err));
        return;
    }
    for (const std::string& name : names) {
        {
            std::lock_guard<std::mutex> g(m_lock);
            if (m_stop)
                return;
        }
        const std::string path = dir + "/" + name;
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue; // folders, sockets, broken links
        if ((st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) == 0 || ::access(path.c_str(), X_OK) != 0)
            continue; // not executable: a note or a disabled hook
        if (OthersCanWrite(st)) {
            Note("hook " + name + ": could be written by another user: not run");
            continue;
        }
        RunHook(dir, name, event);
    }
}

void CHookRunner::RunHook(const std::string& dir, const std::string& name, const kv::OwnerEvent& event)
{
    const std::string tag = "hook " + name + ": ";
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        Note(tag + "not run: " + ErrnoText(errno));
        return;
    }
    const std::vector<std::string> env = HookEnvironment(environ, event);
    std::vector<char*> envp;
    for (const std::string& s : env)
        envp.push_back(const_cast<char*>(s.c_str()));
    envp.push_back(nullptr);
    const std::string path = dir + "/" + name;
    char* argv[] = {const_cast<char*>(name.c_str()), nullptr};

    posix_spawn_file_actions_t fa;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&fa);
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_adddup2(&fa, out[1], 2);
    posix_spawn_file_actions_addclosefrom_np(&fa, 3);
    posix_spawn_file_actions_addchdir_np(&fa, dir.c_str());
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, path.c_str(), &fa, &attr, argv, envp.data());
    posix_spawn_file_actions_destroy(&fa);
    posix_spawnattr_destroy(&attr);
    ::close(out[1]);
    if (rc != 0) {
        ::close(out[0]);
        Note(tag + "not run: " + ErrnoText(rc));
        return;
    }
    DEBUG_LOG(LEVEL_NOTI, "hook %s started for %s (pid %d)", name.c_str(), HookEventName(event.kind), int(pid));

    std::string pending;
    int lines = 0;
    const auto emit = [&](std::string line) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (++lines <= kHookLinesMax)
            Note(tag + line);
        else if (lines == kHookLinesMax + 1)
            Note(tag + "(further output not logged)");
    };

    const auto start = Clock::now();
    Clock::time_point termAt{}, exitAt{};
    bool eof = false, exited = false, termSent = false, killSent = false, stopped = false, timedOut = false;
    int status = 0;
    bool statusKnown = false;
    for (;;) {
        if (!exited) {
            const pid_t w = ::waitpid(pid, &status, WNOHANG);
            if (w == pid || (w < 0 && errno == ECHILD)) {
                exited = true;
                statusKnown = w == pid;
                exitAt = Clock::now();
            }
        }
        // Output left in the pipe after the exit is read a little longer: a
        // child the hook left behind may keep the pipe open.
        if (exited && (eof || MsSince(exitAt) >= 500))
            break;
        if (!exited) {
            if (!stopped) {
                std::lock_guard<std::mutex> g(m_lock);
                stopped = m_stop;
            }
            if (!termSent && (stopped || MsSince(start) >= m_opt.timeoutMs)) {
                timedOut = !stopped;
                ::kill(-pid, SIGTERM);
                termSent = true;
                termAt = Clock::now();
                char limit[32];
                std::snprintf(limit, sizeof limit, "%.1f", m_opt.timeoutMs / 1000.0);
                Note(tag + (stopped ? std::string("ended: the program is stopping")
                                    : "ran past its time limit of " + std::string(limit) + " s: ended"));
            }
            const int grace = stopped ? std::min(m_opt.graceMs, 500) : m_opt.graceMs;
            if (termSent && !killSent && MsSince(termAt) >= grace) {
                ::kill(-pid, SIGKILL);
                killSent = true;
                Note(tag + "killed");
            }
            if (killSent && MsSince(termAt) >= grace + 5000) {
                Note(tag + "does not end even when killed: left behind");
                break;
            }
        }
        if (eof) {
            ::poll(nullptr, 0, 20);
            continue;
        }
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        char buf[4096];
        const ssize_t n = ::read(out[0], buf, sizeof buf);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0) {
            eof = true;
            continue;
        }
        pending.append(buf, size_t(n));
        size_t nl;
        while ((nl = pending.find('\n')) != std::string::npos) {
            emit(pending.substr(0, std::min(nl, kHookLineMax)));
            pending.erase(0, nl + 1);
        }
        if (pending.size() >= kHookLineMax) {
            emit(pending.substr(0, kHookLineMax));
            pending.clear();
        }
    }
    if (!pending.empty())
        emit(pending.substr(0, kHookLineMax));
    ::close(out[0]);
    if (!exited)
        return;
    if (!statusKnown)
        DEBUG_LOG(LEVEL_NOTI, "hook %s ended (its status was taken elsewhere)", name.c_str());
    else if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
        Note(tag + "exited with status " + std::to_string(WEXITSTATUS(status)));
    else if (WIFSIGNALED(status) && !timedOut && !stopped)
        Note(tag + "ended by signal " + std::to_string(WTERMSIG(status)));
    else
        DEBUG_LOG(LEVEL_NOTI, "hook %s done", name.c_str());
}

} // namespace kvnotify
