// The hub that hands the owner's changes and events to the services.
#include "host/OwnerEvents.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace kv;

namespace {

struct Recorder : IOwnerListener {
    std::vector<std::vector<std::string>> changes;
    std::vector<OwnerEventKind> events;
    void OnOwnerChanged(const OwnerSnapshot&, const std::vector<std::string>& changed) override
    {
        changes.push_back(changed);
    }
    void OnOwnerEvent(const OwnerEvent& e) override { events.push_back(e.kind); }
};

TEST(OwnerHub, ListenersHearOnlyRealChangesWithTheirNames)
{
    COwnerHub hub;
    Recorder r;
    hub.AddListener(&r);
    hub.AddListener(&r); // once only
    hub.Update([](OwnerSnapshot& s) { s.signal1xBars = 4; s.roaming = true; });
    hub.Update([](OwnerSnapshot& s) { s.signal1xBars = 4; }); // no change
    hub.Publish(OwnerEvent{OwnerEventKind::CallMissed});
    ASSERT_EQ(r.changes.size(), 1u);
    EXPECT_EQ(r.changes[0], (std::vector<std::string>{"Roaming", "Signal1xBars"}));
    EXPECT_EQ(r.events, std::vector<OwnerEventKind>{OwnerEventKind::CallMissed});
    EXPECT_EQ(hub.Snapshot().signal1xBars, 4u);
    hub.RemoveListener(&r);
    hub.Publish(OwnerEvent{OwnerEventKind::CallMissed});
    EXPECT_EQ(r.events.size(), 1u);
}

// A service that goes away while another thread is inside its listener:
// the removal waits for that call, so the service can be destroyed next.
TEST(OwnerHub, RemovalWaitsForACallUnderWayOnAnotherThread)
{
    struct Slow : IOwnerListener {
        std::atomic<bool> inside{false}, done{false};
        void OnOwnerEvent(const OwnerEvent&) override
        {
            inside = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            done = true;
        }
    } slow;
    COwnerHub hub;
    hub.AddListener(&slow);
    std::thread t([&] { hub.Publish(OwnerEvent{OwnerEventKind::SmsReceived}); });
    while (!slow.inside)
        std::this_thread::yield();
    hub.RemoveListener(&slow);
    EXPECT_TRUE(slow.done) << "removed while its call was still running";
    t.join();
}

// A listener may remove itself from inside its own call.
TEST(OwnerHub, AListenerRemovingItselfDoesNotWaitForItself)
{
    struct SelfRemoving : IOwnerListener {
        COwnerHub* hub = nullptr;
        int calls = 0;
        void OnOwnerEvent(const OwnerEvent&) override
        {
            ++calls;
            hub->RemoveListener(this);
        }
    } l;
    COwnerHub hub;
    l.hub = &hub;
    hub.AddListener(&l);
    hub.Publish(OwnerEvent{});
    hub.Publish(OwnerEvent{});
    EXPECT_EQ(l.calls, 1);
}

} // namespace
