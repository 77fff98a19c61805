// The service inside one process, as the window and the headless run host
// it: an answer the owner gives after the service stopped (or is gone) is
// dropped harmlessly, and a burst of changes from the owner (more than the
// thread's queue holds) ends with the properties showing the last of them.
#include "BusFixture.h"

#include "bus/BusService.h"

#include <atomic>
#include <mutex>

using namespace kvtest;

namespace {

// Actions that keep every done callback for the test to call later.
class KeptActions : public kv::IOwnerActions {
public:
    void GetStatus(std::function<void(const kv::OwnerResult&, const std::string&)>) override {}
    void Connect(const std::string&, const std::string&, Done d) override { Keep(std::move(d)); }
    void Disconnect(Done d) override { Keep(std::move(d)); }
    void Dial(const std::string&, Done d) override { Keep(std::move(d)); }
    void Answer(Done d) override { Keep(std::move(d)); }
    void Hangup(Done d) override { Keep(std::move(d)); }
    void SendDtmf(const std::string&, Done d) override { Keep(std::move(d)); }
    void SendSms(const std::vector<std::string>&, const std::string&, const std::string&, bool,
                 std::function<void(const kv::OwnerResult&, const std::vector<kv::OwnerSmsOutcome>&)>) override {}
    void ListSms(const std::string&, std::function<void(const kv::OwnerResult&, const std::vector<kv::OwnerSms>&)>) override {}
    void ReadSms(uint32_t, std::function<void(const kv::OwnerResult&, const kv::OwnerSms&)>) override {}
    void DeleteSms(uint32_t, Done d) override { Keep(std::move(d)); }
    void DeleteAllSms(const std::string&, std::function<void(const kv::OwnerResult&, uint32_t, uint32_t)>) override {}
    void ListPhonebook(const std::string&, std::function<void(const kv::OwnerResult&,
                                                              const std::vector<kv::OwnerPbEntry>&, int, int)>) override {}
    void AddPhonebookEntry(const std::string&, int, const std::string&, const std::string&,
                           std::function<void(const kv::OwnerResult&, uint32_t)>) override {}
    void ModifyPhonebookEntry(const std::string&, uint32_t, const std::string&, const std::string&, Done d) override
    {
        Keep(std::move(d));
    }
    void DeletePhonebookEntry(const std::string&, uint32_t, Done d) override { Keep(std::move(d)); }

    size_t Kept()
    {
        std::lock_guard<std::mutex> g(lock);
        return kept.size();
    }
    void AnswerAll()
    {
        std::vector<Done> all;
        {
            std::lock_guard<std::mutex> g(lock);
            all = kept;
        }
        for (auto& d : all)
            d({});
    }

private:
    void Keep(Done d)
    {
        std::lock_guard<std::mutex> g(lock);
        kept.push_back(std::move(d));
    }
    std::mutex lock;
    std::vector<Done> kept;
};

bool WaitUntil(const std::function<bool()>& ok, int ms = 5000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!ok()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

TEST_F(BusTest, AnAnswerAfterTheStopIsDropped)
{
    kv::COwnerHub hub;
    KeptActions actions;
    auto service = std::make_unique<kv::bus::CBusService>(hub, actions, kv::bus::BusServiceOptions{address});
    ASSERT_TRUE(service->Start());
    ASSERT_TRUE(service->WaitSettled(5000));
    ASSERT_EQ(service->State(), kv::bus::BusServiceState::Offered);

    Child client;
    ASSERT_TRUE(client.Start({"gdbus", "call", "--address", address, "--dest", kName, "--object-path", kPath,
                              "--method", std::string(kName) + ".Dial", "'5551234'"}));
    ASSERT_TRUE(WaitUntil([&] { return actions.Kept() == 1; }));
    service->Stop();
    EXPECT_NE(client.Wait(5000), 0);
    EXPECT_NE(client.Output().find("Error.Failed"), std::string::npos) << client.Output();
    EXPECT_EQ(service->State(), kv::bus::BusServiceState::Idle);
    actions.AnswerAll(); // stopped: nothing to answer
    service.reset();
    actions.AnswerAll(); // gone: still nothing
    // Changes with no service listening reach nobody.
    hub.Update([](kv::OwnerSnapshot& s) { s.signal1xBars = 5; });
}

TEST_F(BusTest, ABurstOfChangesEndsWithTheLastValue)
{
    kv::COwnerHub hub;
    KeptActions actions;
    kv::bus::CBusService service(hub, actions, kv::bus::BusServiceOptions{address});
    ASSERT_TRUE(service.Start());
    ASSERT_TRUE(service.WaitSettled(5000));
    std::atomic<bool> done{false};
    std::thread events([&] {
        kv::OwnerEvent e;
        e.kind = kv::OwnerEventKind::ConnectionUp;
        e.text = "Connected";
        for (int i = 0; i < 500 && !done; ++i)
            hub.Publish(e);
    });
    for (uint32_t i = 1; i <= 6000; ++i)
        hub.Update([i](kv::OwnerSnapshot& s) { s.connectionDuration = i; });
    done = true;
    events.join();
    EXPECT_TRUE(WaitUntil([&] { return GetProperty("ConnectionDuration").output == "u 6000\n"; }, 10000))
        << GetProperty("ConnectionDuration").output;
    service.Stop();
}

} // namespace
