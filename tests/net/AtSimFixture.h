// The AT path over the real serial port against the modem simulator on a
// pty: a private settings folder, the simulator, the port opened the way
// the DM engine opens it, and the poll with a headless host on the test
// thread.
#pragma once

#include "engine/CommPortLink.h"
#include "host/HeadlessHost.h"
#include "net/AtPoll.h"
#include "settings/Profile.h"
#include "settings/SettingsKeys.h"
#include "sim/ModemSimulator.h"
#include "support/TempSettings.h"

#include <gtest/gtest.h>

#include <memory>

namespace kvtest {

class AtOnSimulator : public ::testing::Test {
protected:
    static kv::sim::ModemSimulator::Options Quiet(int unsolicitedMs = 0)
    {
        kv::sim::ModemSimulator::Options o;
        o.registerDevice = false;
        o.unsolicitedPeriodMs = unsolicitedMs;
        return o;
    }
    void Start(const kv::sim::ModemSimulator::Options& o = Quiet())
    {
        simulator = std::make_unique<kv::sim::ModemSimulator>(o);
        ASSERT_TRUE(simulator->Start());
        port.SetDevicePath(simulator->SlavePath());
    }
    void OpenPort() { ASSERT_TRUE(link.Open(1, 115200)); }
    ~AtOnSimulator() override
    {
        port.ClosePort();
        if (simulator)
            simulator->Stop();
    }
    std::string Sim(const std::string& line) { return simulator->Command(line); }
    std::vector<std::string> ApnLog()
    {
        return simulator->WithModel([](kv::sim::ModemModel& m) { return m.apnLog; });
    }
    uint64_t AtCommands()
    {
        return simulator->WithModel([](kv::sim::ModemModel& m) { return m.atCommands; });
    }

    TempSettings settings;
    kv::CHeadlessHost host;
    kv::CCommPort port;
    kv::CCommPortLink link{port};
    kv::CCommPortAt atPort{port};
    kv::CAtPoll poll{host, atPort};
    std::unique_ptr<kv::sim::ModemSimulator> simulator;
};

} // namespace kvtest
