// Which dial-up service a client gets, against the registered simulator:
// the simulated modem's service while it is there, and still while it is
// unplugged, so that the client the unplug leaves behind can dial once it
// is back.
#include "net/RasBackend.h"
#include "net/SimRasBackend.h"
#include "sim/ModemSimulator.h"
#include "support/TempSettings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace {

class RasBackendChoice : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("KORVIANET_SYSFS_ROOT", (settings.Dir() + "/no-sysfs").c_str(), 1);
        unsetenv("KORVIANET_RAS_BACKEND");
        kvnet::SetDefaultRasBackend(nullptr);
    }
    void TearDown() override { unsetenv("KORVIANET_SYSFS_ROOT"); }
    static bool Simulated(const std::shared_ptr<kvnet::IRasBackend>& b)
    {
        return dynamic_cast<kvnet::CSimRasBackend*>(b.get()) != nullptr;
    }

    kvtest::TempSettings settings;
};

} // namespace

TEST_F(RasBackendChoice, TheSimulatorsServiceStaysWhileItIsUnpluggedAndBack)
{
    kv::sim::ModemSimulator::Options o;
    o.unsolicitedPeriodMs = 0;
    kv::sim::ModemSimulator sim(o);
    ASSERT_TRUE(sim.Start());
    const auto present = kvnet::DefaultRasBackend();
    EXPECT_TRUE(Simulated(present));

    ASSERT_TRUE(sim.Unplug());
    const auto away = kvnet::DefaultRasBackend();
    EXPECT_TRUE(Simulated(away)) << "a client made while the modem is away got another service";
    EXPECT_EQ(away, present); // its connections and entries are the same ones

    ASSERT_TRUE(sim.Replug());
    EXPECT_EQ(kvnet::DefaultRasBackend(), present);
    sim.Stop();
}
