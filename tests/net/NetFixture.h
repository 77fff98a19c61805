// Shared set-up of the data connection tests: a private settings folder, a
// headless host on the test thread, the simulated dial-up service with a
// quick dial, and a connection manager whose traffic records are captured.
#pragma once

#include "host/HeadlessHost.h"
#include "net/ConnectionManager.h"
#include "net/SimRasBackend.h"
#include "support/TempSettings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace kvtest {

class NetTest : public ::testing::Test {
protected:
    NetTest()
    {
        kvnet::CSimRasBackend::Options o;
        o.stepMs = 15;
        o.rxBytesPerSec = 100000;
        o.txBytesPerSec = 20000;
        backend = std::make_shared<kvnet::CSimRasBackend>(o);
    }
    ~NetTest() override
    {
        if (manager)
            manager->Shutdown();
    }

    kvnet::ConnectionUi Ui()
    {
        kvnet::ConnectionUi ui;
        ui.makeClient = [this]() -> std::unique_ptr<kvnet::CRasClient> {
            ++clientsMade;
            if (failClients.load())
                return nullptr;
            auto c = std::make_unique<kvnet::CRasClient>(backend);
            return c->Init() ? std::move(c) : nullptr;
        };
        ui.appendTraffic = [this](const kvtraffic::TrafficRecord& r) {
            std::lock_guard<std::mutex> g(recordLock);
            records.push_back(r);
            return true;
        };
        ui.imsi = [this] {
            std::lock_guard<std::mutex> g(recordLock);
            return imsi;
        };
        return ui;
    }

    // A started manager with an account, looking for a connection.
    void StartManager(const std::string& user = "card", const std::string& password = "card")
    {
        manager = std::make_unique<kvnet::CConnectionManager>(host, Ui());
        manager->SetAccount(user, password, "");
        ASSERT_TRUE(manager->Start());
    }
    bool Until(const std::function<bool()>& done, int64_t ms = 5000) { return host.RunUntil(done, ms); }
    bool Connected()
    {
        return Until([&] { return manager->State() == kvnet::RAS_REQ_MONITOR && manager->ReceivedBytes() > 0; });
    }
    std::vector<kvtraffic::TrafficRecord> Records()
    {
        std::lock_guard<std::mutex> g(recordLock);
        return records;
    }
    size_t PostedCount(intptr_t code)
    {
        size_t n = 0;
        for (const auto& p : host.Posted())
            n += p.msg == kv::UM_CONFIG_UPDATE && intptr_t(p.wParam) == code;
        return n;
    }

    TempSettings settings;
    kv::CHeadlessHost host;
    std::shared_ptr<kvnet::CSimRasBackend> backend;
    std::unique_ptr<kvnet::CConnectionManager> manager;
    std::atomic<int> clientsMade{0};
    std::atomic<bool> failClients{false};
    std::mutex recordLock;
    std::vector<kvtraffic::TrafficRecord> records;
    std::string imsi;
};

} // namespace kvtest
