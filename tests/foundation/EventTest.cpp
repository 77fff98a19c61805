#include "platform/Event.h"

#include <gtest/gtest.h>
#include <memory>
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

// A "done" event often lives on the waiter's stack: the waiter returns and
// destroys it at once, so Set() must not touch the event after a waiter can
// see it signalled. The window is far too short to hit by luck; a
// thread-sanitizer build reports it on every run.
TEST(Event, EventMayBeDestroyedAsSoonAsItsWaiterReturns)
{
    for (int i = 0; i < 200; ++i) {
        auto ev = std::make_unique<CEvent>(i % 2 == 0, false);
        std::thread setter([raw = ev.get()] { raw->Set(); });
        EXPECT_TRUE(ev->Wait(10000));
        ev.reset();
        setter.join();
    }
}
