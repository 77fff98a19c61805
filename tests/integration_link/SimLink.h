// A modem simulator served over a pty in this process, and the program's
// own port object opened on it the way the engine does: port discovery
// finds the COM number, the port opens <settings>/dosdevices/comN.
#pragma once

#include "link/CommPort.h"
#include "sim/ModemSimulator.h"
#include "support/TempSettings.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>

namespace kvtest {

// Generous bound for every wait on a condition.
constexpr int kWaitMs = 10000;

// CPU seconds (user + system) of this process so far.
double ProcessCpuSeconds();

class SimLink : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the simulator (periodic unsolicited packets off unless asked).
    void StartSim(int unsolicitedPeriodMs = 0);
    // Discovery, then the port prepared as the engine prepares it and opened
    // in transaction mode. Returns the COM number found (0: none).
    int DiscoverAndOpen();
    // The pause before the wait, read by every transaction.
    void SetSlps(const std::string& value);

    uint8_t Send(const kv::DiagRequest& request, uint32_t timeoutMs);
    uint8_t Send(const kv::DiagRequest& request) { return Send(request, request.timeoutMs); }
    // Waits until the simulator has received more than `count` requests.
    bool WaitReceivedMoreThan(uint64_t count);
    // A control command that must be accepted.
    void Control(const std::string& line);

    TempSettings settings;
    std::unique_ptr<kv::sim::ModemSimulator> sim;
    kv::CCommPort port;
    std::array<uint8_t, 2048> resp{};

private:
    std::string m_oldDos;
    bool m_hadDos = false;
};

} // namespace kvtest
