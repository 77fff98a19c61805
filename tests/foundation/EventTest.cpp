#include "platform/Event.h"

#include <gtest/gtest.h>
#include <thread>

using namespace kv;

TEST(Event, AutoResetReleasesOneWaitManualStaysSet)
{
    CEvent autoEv(false, false), manualEv(true, false);
    EXPECT_FALSE(autoEv.Wait(0));
    std::thread t([&] { autoEv.Set(); manualEv.Set(); });
    EXPECT_TRUE(autoEv.Wait(10000));
    EXPECT_FALSE(autoEv.Wait(0));
    t.join();
    EXPECT_TRUE(manualEv.Wait(0));
    EXPECT_TRUE(manualEv.Wait(0));
}
