// Shared set-up of the engine tests: a private settings folder, a headless
// host on the test thread, the scripted modem and an engine between them;
// plus a capture of the diagnostic log.
#pragma once

#include "FakeModem.h"
#include "support/TempSettings.h"
#include "engine/DmEngine.h"
#include "host/HeadlessHost.h"
#include "log/DebugLog.h"
#include "settings/Profile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

namespace kvtest {

class LogCapture {
public:
    LogCapture()
    {
        auto& log = kv::CDebugLog::Instance();
        log.SetSink([this](const std::string& line) {
            std::lock_guard<std::mutex> g(m_lock);
            m_lines.push_back(line);
        });
        log.SetLevelMask(0xFFFFFFFFu);
        log.Enable();
        log.SetVisible(true);
    }
    ~LogCapture()
    {
        auto& log = kv::CDebugLog::Instance();
        log.SetVisible(false);
        log.Disable();
        log.SetSink(nullptr);
    }
    bool Has(const std::string& text) const { return CountOf(text) > 0; }
    size_t CountOf(const std::string& text) const
    {
        std::lock_guard<std::mutex> g(m_lock);
        return size_t(std::count_if(m_lines.begin(), m_lines.end(), [&](const std::string& l) {
            return l.find(text) != std::string::npos;
        }));
    }

private:
    mutable std::mutex m_lock;
    std::vector<std::string> m_lines;
};

class EngineTest : public ::testing::Test {
protected:
    EngineTest() : engine(host, modem)
    {
        engine.SetDiscovery([this] {
            ++discoveries;
            return kv::PortChoice{3, deviceKind};
        });
    }
    ~EngineTest() override { engine.StopDmEngine(); }

    kv::ModemState& St() { return host.State(); }
    uint16_t PortState() { return St().m_nPortState.load(); }
    bool RunUntil(const std::function<bool()>& done, int64_t ms = 10000)
    {
        return host.RunUntil(done, ms);
    }
    // Starts the engine and waits until it polls after its start-up chain.
    bool StartAndReachPolling()
    {
        if (!engine.UserDmRestart())
            return false;
        return RunUntil([&] { return modem.Count("STATUS") >= 1; }, 15000);
    }
    bool WaitStopped(int64_t ms = 10000)
    {
        return RunUntil([&] { return !engine.ThreadRunning(); }, ms);
    }
    std::string Ini(const std::string& section, const std::string& key = "num")
    {
        return kv::GetProfileString(section, key, "<none>", 256, kv::kMainIni);
    }

    TempSettings settings;
    LogCapture log;
    kv::CHeadlessHost host;
    FakeModem modem;
    kv::CDmEngine engine;
    int deviceKind = kv::DEVICE_KIND_NV;
    int discoveries = 0;
};

} // namespace kvtest
