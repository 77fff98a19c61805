// The simulated dial-up service for the built-in modem simulator: one modem
// device, an in-memory phonebook, a dial that walks through the connection
// states in about a second and a connection whose byte counters grow with
// time. Test controls stand in for the world outside: a connection opened by
// another dialler, a lost link, a dial that fails.
#pragma once

#include "net/RasBackend.h"

#include <chrono>
#include <map>
#include <mutex>

namespace kvnet {

class CSimRasBackend : public IRasBackend {
public:
    struct Options {
        std::string deviceName = "KORVIA CDMA Modem (simulated)";
        int stepMs = 120;                 // time between two dial states
        uint32_t rxBytesPerSec = 48000;   // download pace
        uint32_t txBytesPerSec = 9000;    // upload pace
        bool statistics = true;           // the statistics entry points exist
    };

    CSimRasBackend();
    explicit CSimRasBackend(Options options);

    // --- test controls ---
    // A connection another dialler opened over the modem; its handle.
    RasHandle AddOutsideConnection(const std::string& entry = "Outside");
    // The link drops: every connection disappears.
    void DropConnections();
    // The next dial fails with this error (reported through the notifier)
    // after `afterStates` states; 0 clears it.
    void FailNextDial(int error, int afterStates = 2);
    // Dials stall in a state until released (to test stopping a dial).
    void HoldDials(bool hold);
    int Dials() const;
    int HangUps() const;
    size_t LiveConnections() const;
    bool LastDial(RasDialParams& out) const;

    // --- IRasBackend ---
    int EnumDevices(size_t capacity, std::vector<RasDeviceInfo>& out, size_t& needed) override;
    int ValidateEntryName(const std::string& phonebook, const std::string& entry) override;
    int GetEntryProperties(const std::string& phonebook, const std::string& entry, RasEntry& out) override;
    int SetEntryProperties(const std::string& phonebook, const std::string& entry, const RasEntry& props) override;
    int GetEntryDialParams(const std::string& phonebook, RasDialParams& inOut) override;
    int SetEntryDialParams(const std::string& phonebook, const RasDialParams& params) override;
    int Dial(const std::string& phonebook, const RasDialParams& params, RasNotifier notifier,
             RasHandle& handle) override;
    int GetConnectStatus(RasHandle handle, RasConnStatus& out) override;
    int EnumConnections(size_t capacity, std::vector<RasConnInfo>& out, size_t& needed) override;
    int HangUp(RasHandle handle) override;
    int GetErrorString(int error, std::string& text) override;
    bool HasStatistics() const override { return m_opt.statistics; }
    int GetConnectionStatistics(RasHandle handle, RasStats& out) override;
    int ClearConnectionStatistics(RasHandle handle) override;

private:
    using Clock = std::chrono::steady_clock;
    struct Conn {
        std::string entry;
        Clock::time_point dialled;
        Clock::time_point connected;
        bool outside = false;
        bool up = false;        // reached the connected state
        bool dead = false;      // dial failed or link dropped
        int failError = 0;
        int failAfter = 0;
        RasNotifier notifier;
        uint64_t rxBase = 0, txBase = 0;
        uint64_t drops = 0; // the simulator's drop count when it was dialled
    };
    // Ends the connections dialled before the simulator's last drop.
    void ApplyDrops();

    // Advances a dialling connection by the clock (lock held).
    uint32_t StateOf(Conn& c, Clock::time_point now);
    void Counters(const Conn& c, Clock::time_point now, uint64_t& rx, uint64_t& tx) const;

    Options m_opt;
    mutable std::mutex m_lock;
    std::map<std::string, RasEntry> m_entries;        // by phonebook + '\n' + entry
    std::map<std::string, RasDialParams> m_params;
    std::map<RasHandle, Conn> m_conns;
    RasHandle m_next = 0x5100;
    int m_failError = 0, m_failAfter = 0;
    bool m_hold = false;
    int m_dials = 0, m_hangUps = 0;
    RasDialParams m_lastDial;
    bool m_dialled = false;
};

} // namespace kvnet
