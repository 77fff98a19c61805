// A private message bus for a test: the real dbus-daemon (session
// configuration) listening on a socket in a folder of the test's, ended
// with the object.
#pragma once

#include <string>
#include <sys/types.h>

namespace kvtest {

class PrivateBus {
public:
    // The socket is dir/sleep-bus.
    explicit PrivateBus(std::string dir);
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // Starts the daemon and waits (at most 10 s) for its address. False when
    // there is no dbus-daemon or it does not start.
    bool Start();
    void Stop();
    std::string Address() const { return m_address; }

private:
    std::string m_dir;
    std::string m_address;
    pid_t m_pid = -1;
};

} // namespace kvtest
