#include "support/PrivateBus.h"

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace kvtest {

PrivateBus::PrivateBus(std::string dir) : m_dir(std::move(dir)) {}

PrivateBus::~PrivateBus() { Stop(); }

bool PrivateBus::Start()
{
    int p[2];
    if (::pipe2(p, O_CLOEXEC) != 0)
        return false;
    const std::string listen = "--address=unix:path=" + m_dir + "/sleep-bus";
    const std::string print = "--print-address=" + std::to_string(p[1]);
    std::vector<const char*> argv{"dbus-daemon", "--session", "--nofork", "--nopidfile", listen.c_str(),
                                  print.c_str(), nullptr};
    m_pid = ::fork();
    if (m_pid == 0) {
        ::fcntl(p[1], F_SETFD, 0); // the daemon writes its address here
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2); // its complaints about fd limits are no test's business
        ::execvp(argv[0], const_cast<char* const*>(argv.data()));
        ::_exit(127);
    }
    ::close(p[1]);
    if (m_pid < 0) {
        ::close(p[0]);
        return false;
    }
    std::string line;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < end) {
        pollfd pf{p[0], POLLIN, 0};
        if (::poll(&pf, 1, 100) <= 0)
            continue;
        char buf[256];
        const ssize_t n = ::read(p[0], buf, sizeof buf);
        if (n <= 0)
            break;
        line.append(buf, size_t(n));
    }
    ::close(p[0]);
    if (line.find('\n') == std::string::npos) {
        Stop();
        return false;
    }
    m_address = line.substr(0, line.find('\n'));
    return true;
}

void PrivateBus::Stop()
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 100 && ::waitpid(m_pid, &status, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (::waitpid(m_pid, &status, WNOHANG) == 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, &status, 0);
    }
    m_pid = -1;
    m_address.clear();
}

} // namespace kvtest
