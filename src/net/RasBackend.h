// The dial-up service under the RAS client: what the system offers (device
// and connection enumeration, the phonebook's entries and dial parameters,
// asynchronous dialling with a status query, statistics, hang-up, error
// texts). Two implementations: pppd as a child process for real modems and
// a simulated one for the built-in modem simulator. The client (RasClient.h)
// holds the policy-free algorithms on top; the connection manager the policy.
//
// Every call returns a result code of RasCodes.h (0 = success). The
// enumerations follow the grow-and-retry contract: with fewer than the needed
// records of room they answer RAS_ERR_BUFFER_TOO_SMALL and say how many
// records are needed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kvnet {

using RasHandle = uintptr_t; // 0 = none

struct RasDeviceInfo {
    std::string type; // "modem"
    std::string name;
};

struct RasEntry {
    std::string phoneNumber;
    std::string deviceType;
    std::string deviceName;
    uint32_t protocols = 0;
    uint32_t framing = 0;
    uint32_t options = 0;
};

struct RasDialParams {
    std::string entry;
    std::string phoneNumber;
    std::string userName;
    std::string password;
    std::string domain;
};

struct RasConnInfo {
    RasHandle handle = 0;
    std::string entry;
    std::string deviceType;
    std::string deviceName;
};

struct RasConnStatus {
    uint32_t state = 0;
    int error = 0;
    std::string deviceName;
};

// Statistics of one connection (bytes since the last clear; the connect
// duration keeps counting across a clear).
struct RasStats {
    uint32_t bytesXmited = 0;
    uint32_t bytesRcved = 0;
    uint32_t connectDurationMs = 0;
};

// Called from the backend's own thread with (error, extended error).
using RasNotifier = std::function<void(int error, int extendedError)>;

class IRasBackend {
public:
    virtual ~IRasBackend() = default;

    virtual int EnumDevices(size_t capacity, std::vector<RasDeviceInfo>& out, size_t& needed) = 0;
    // 183 when the entry exists, 0 when the name is valid and free.
    virtual int ValidateEntryName(const std::string& phonebook, const std::string& entry) = 0;
    virtual int GetEntryProperties(const std::string& phonebook, const std::string& entry,
                                   RasEntry& out) = 0;
    virtual int SetEntryProperties(const std::string& phonebook, const std::string& entry,
                                   const RasEntry& entryProps) = 0;
    virtual int GetEntryDialParams(const std::string& phonebook, RasDialParams& inOut) = 0;
    virtual int SetEntryDialParams(const std::string& phonebook, const RasDialParams& params) = 0;
    virtual int Dial(const std::string& phonebook, const RasDialParams& params, RasNotifier notifier,
                     RasHandle& handle) = 0;
    virtual int GetConnectStatus(RasHandle handle, RasConnStatus& out) = 0;
    virtual int EnumConnections(size_t capacity, std::vector<RasConnInfo>& out, size_t& needed) = 0;
    virtual int HangUp(RasHandle handle) = 0;
    virtual int GetErrorString(int error, std::string& text) = 0;
    // The optional statistics entry points.
    virtual bool HasStatistics() const = 0;
    virtual int GetConnectionStatistics(RasHandle handle, RasStats& out) = 0;
    virtual int ClearConnectionStatistics(RasHandle handle) = 0;
};

// The backend the program uses: the simulated one when the modem found is
// the simulator's (or KORVIANET_RAS_BACKEND=sim), pppd otherwise
// (KORVIANET_RAS_BACKEND=pppd forces it). The backend lives as long as the
// process: clients come and go over it, connections stay.
std::shared_ptr<IRasBackend> DefaultRasBackend();
// Replaces the process-wide backend (tests, the command-line tool).
void SetDefaultRasBackend(std::shared_ptr<IRasBackend> backend);

} // namespace kvnet
