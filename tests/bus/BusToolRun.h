// Programs a bus test runs: the stand-in owner, dbus-daemon, gdbus and
// busctl. Each runs without a shell, its standard output and error read
// together, and is ended by its pid.
#pragma once

#include <sys/types.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kvtest {

class Child {
public:
    Child() = default;
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Starts argv[0] (looked up in PATH); with stdinPipe, Send writes to it.
    bool Start(const std::vector<std::string>& argv, bool stdinPipe = false);
    void Send(const std::string& line);
    // Waits (at most ms) until the output holds text; true when it did.
    bool WaitFor(const std::string& text, int ms = 10000) const;
    // Waits (at most ms) for the end; its exit status, -1 when still running
    // (then it is killed).
    int Wait(int ms);
    void Kill();
    std::string Output() const;
    pid_t Pid() const { return m_pid; }

private:
    void Read(int fd);

    pid_t m_pid = -1;
    int m_in = -1;
    int m_status = -1;
    std::thread m_reader;
    mutable std::mutex m_lock;
    std::string m_out;
};

struct ToolResult {
    int status = -1; // exit status; -1 when it had to be killed
    std::string output;
};
// Runs argv to its end (killed after timeoutMs).
ToolResult RunTool(const std::vector<std::string>& argv, int timeoutMs = 20000);

// True when the program is found in PATH.
bool HaveProgram(const std::string& name);

} // namespace kvtest
