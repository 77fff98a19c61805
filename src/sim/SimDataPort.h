// The simulated modem's data interface: a second pseudo-terminal, the one a
// dialler such as pppd opens for the data call. It is registered beside the
// diagnostic port the way the driver lists a real modem's data interface
// (interface MI_00 of the same product, with its own COM number and
// dosdevices link), so the dial-up service finds it as it finds a real
// modem's. DataCallModem answers what arrives; this class owns the pty and
// the thread that serves it.
#pragma once

#include "sim/DataCallModem.h"

#include <mutex>
#include <string>
#include <thread>

namespace kv::sim {

class SimRegistration;

class SimDataPort {
public:
    SimDataPort();
    ~SimDataPort();
    SimDataPort(const SimDataPort&) = delete;
    SimDataPort& operator=(const SimDataPort&) = delete;

    // Opens the pty, registers it when registerDevice (comNumber 0: the
    // lowest free number) and starts serving. False on failure, with
    // nothing left open.
    bool Open(bool registerDevice, int comNumber = 0);
    // Unregisters, stops serving and closes the pty. Safe to call twice.
    void Close();
    bool IsOpen() const;

    // "/dev/pts/N"; "" while closed.
    std::string SlavePath() const;
    // The dosdevices link when registered, else the slave path.
    std::string DevicePath() const;
    // The COM number it was registered on last (0: never).
    int ComNumber() const;

    // The carrier goes (see DataCallModem::LoseCarrier). False when closed.
    bool LoseCarrier();
    // "data=<tty> data-call=0|1 data-calls=N data-bytes=N no-carrier-next=0|1"
    std::string Describe() const;

private:
    void Loop();
    void Send(const std::string& bytes); // with m_mutex held
    void FlushOut();                     // with m_mutex held
    void Wake();

    mutable std::mutex m_mutex;
    DataCallModem m_modem;
    SimRegistration* m_reg;
    std::thread m_thread;
    bool m_stop = false;
    int m_master = -1;
    int m_wake[2] = {-1, -1};
    std::string m_slave;
    std::string m_out;
};

} // namespace kv::sim
