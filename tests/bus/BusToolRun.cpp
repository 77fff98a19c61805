#include "BusToolRun.h"

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

namespace kvtest {

Child::~Child()
{
    Kill();
}

bool Child::Start(const std::vector<std::string>& argv, bool stdinPipe)
{
    int out[2];
    int in[2] = {-1, -1};
    if (::pipe2(out, O_CLOEXEC) != 0)
        return false;
    if (stdinPipe && ::pipe2(in, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        return false;
    }
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    m_pid = ::fork();
    if (m_pid == 0) {
        const int null = ::open("/dev/null", O_RDONLY);
        ::dup2(stdinPipe ? in[0] : null, 0);
        ::dup2(out[1], 1);
        ::dup2(out[1], 2);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ::close(out[1]);
    if (stdinPipe) {
        ::close(in[0]);
        m_in = in[1];
    }
    if (m_pid < 0) {
        ::close(out[0]);
        return false;
    }
    m_reader = std::thread(&Child::Read, this, out[0]);
    return true;
}

void Child::Read(int fd)
{
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        std::lock_guard<std::mutex> g(m_lock);
        m_out.append(buf, size_t(n));
    }
    ::close(fd);
}

void Child::Send(const std::string& line)
{
    if (m_in < 0)
        return;
    const std::string l = line + "\n";
    if (::write(m_in, l.data(), l.size()) < 0) {
        // The child has gone: its output tells why.
    }
}

bool Child::WaitFor(const std::string& text, int ms) const
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (Output().find(text) != std::string::npos)
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

int Child::Wait(int ms)
{
    if (m_pid <= 0)
        return m_status;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    int status = 0;
    for (;;) {
        const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid) {
            m_pid = -1;
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
        if (std::chrono::steady_clock::now() >= end) {
            Kill();
            m_status = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (m_reader.joinable())
        m_reader.join();
    return m_status;
}

void Child::Kill()
{
    if (m_in >= 0) {
        ::close(m_in);
        m_in = -1;
    }
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        for (int i = 0; i < 100 && ::waitpid(m_pid, &status, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (::waitpid(m_pid, &status, WNOHANG) == 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
        }
        m_pid = -1;
    }
    if (m_reader.joinable())
        m_reader.join();
}

std::string Child::Output() const
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_out;
}

ToolResult RunTool(const std::vector<std::string>& argv, int timeoutMs)
{
    Child c;
    ToolResult r;
    if (!c.Start(argv))
        return r;
    r.status = c.Wait(timeoutMs);
    r.output = c.Output();
    return r;
}

bool HaveProgram(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::string p = path ? path : "/usr/bin:/bin";
    size_t at = 0;
    while (at <= p.size()) {
        const size_t colon = p.find(':', at);
        const std::string dir = p.substr(at, colon == std::string::npos ? std::string::npos : colon - at);
        if (!dir.empty() && ::access((dir + "/" + name).c_str(), X_OK) == 0)
            return true;
        if (colon == std::string::npos)
            break;
        at = colon + 1;
    }
    return false;
}

} // namespace kvtest
