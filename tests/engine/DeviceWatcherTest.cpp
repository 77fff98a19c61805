// The device presence watcher against a private registry tree and a host
// that records what the watcher asks of the window. The change waits are a
// minute long here, so every step that finishes in time was woken by the
// change notification or by a pulse, not by a time-out.
#include "engine/DeviceWatcher.h"
#include "engine/DmCodes.h"
#include "engine/DrvComm.h"
#include "log/DebugLog.h"
#include "platform/Event.h"
#include "settings/Reg.h"
#include "support/TempSettings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace kv;

namespace {

constexpr int64_t kLong = 60000;

class RecordingHost : public IDeviceWatcherHost {
public:
    ~RecordingHost() override { JoinHelpers(); }

    void Add(const std::string& step)
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_steps.push_back(step);
    }
    std::vector<std::string> Steps() const
    {
        std::lock_guard<std::mutex> g(m_lock);
        return m_steps;
    }
    void ClearSteps()
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_steps.clear();
    }
    bool HasStep(const std::string& s) const
    {
        for (const std::string& x : Steps())
            if (x == s)
                return true;
        return false;
    }
    // Something the window does a moment later, ending with the removal
    // event's pulse as the engine and the RAS thread give it.
    void Later(std::function<void()> fn)
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_helpers.emplace_back([this, fn = std::move(fn)] {
            SleepMs(200);
            fn();
            if (watcher)
                watcher->PulseRemoval();
        });
    }
    void JoinHelpers()
    {
        std::vector<std::thread> helpers;
        {
            std::lock_guard<std::mutex> g(m_lock);
            helpers.swap(m_helpers);
        }
        for (auto& t : helpers)
            t.join();
    }

    void PostDeviceNull() override
    {
        Add("device null");
        Later([this] { port = DM_STOPPED; });
    }
    bool TrayMode() override { return tray.load(); }
    void StartTimer(uint32_t id, uint32_t ms) override { Add("timer " + std::to_string(id) + "/" + std::to_string(ms)); }
    void ShowDeviceRemoved() override { Add("no-device display"); }
    bool ModalPageOpen() override { return modalOpen.load(); }
    void CancelModalPage() override
    {
        Add("cancel page");
        if (pageCloses)
            Later([this] { modalOpen = false; });
    }
    uint16_t PortState() override { return port.load(); }
    uint8_t RasState() override { return ras.load(); }
    void RasRequest(uint8_t code, bool atFront) override
    {
        Add("ras " + std::to_string(code) + (atFront ? " front" : " back"));
        Later([this] { ras = 0; });
    }
    void EnableExit() override { Add("exit enabled"); }
    void EnableAfterArrival() override { Add("buttons enabled"); }
    void WipePhonebook() override { Add("phonebook wiped"); }
    void ClearPhonebookRead() override { Add("phonebook unread"); }
    void UserDmRestart() override
    {
        Add("engine restart");
        port = DM_GET_INFO;
        ras = 4;
    }
    bool WaitPumping(const std::function<bool()>& done, int64_t timeoutMs) override
    {
        const int64_t end = TickMs() + timeoutMs;
        while (!done() && TickMs() < end)
            SleepMs(5);
        return done();
    }

    CDeviceWatcher* watcher = nullptr;
    std::atomic<bool> tray{false};
    std::atomic<bool> modalOpen{false};
    bool pageCloses = true;
    std::atomic<uint16_t> port{DM_GET_INFO};
    std::atomic<uint8_t> ras{4};

private:
    mutable std::mutex m_lock;
    std::vector<std::string> m_steps;
    std::vector<std::thread> m_helpers;
};

bool WaitFor(const std::function<bool()>& cond, int64_t ms = 10000)
{
    const int64_t end = TickMs() + ms;
    while (!cond()) {
        if (TickMs() > end)
            return false;
        SleepMs(5);
    }
    return true;
}

class DeviceWatcherTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("KORVIANET_SYSFS_ROOT", (settings.Dir() + "/no-sysfs").c_str(), 1);
        auto& log = CDebugLog::Instance();
        // The watcher's own lines join the recorded steps, in their order.
        log.SetSink([this](const std::string& line) {
            const size_t at = line.find("Dialer_oneDlg.cpp");
            if (at == std::string::npos)
                return;
            const size_t text = line.find_first_not_of(' ', at + 17);
            host.Add("log " + (text == std::string::npos ? std::string() : line.substr(text)));
        });
        log.SetLevelMask(0xFFFFFFFFu);
        log.Enable();
        log.SetVisible(true);
    }
    void TearDown() override
    {
        host.JoinHelpers();
        if (watcher)
            watcher->RegDestroy();
        host.JoinHelpers();
        watcher.reset();
        auto& log = CDebugLog::Instance();
        log.SetVisible(false);
        log.Disable();
        log.SetSink(nullptr);
        unsetenv("KORVIANET_SYSFS_ROOT");
    }
    void Make(CDeviceWatcher::Timing t = Quick())
    {
        watcher = std::make_unique<CDeviceWatcher>(host, t);
        host.watcher = watcher.get();
    }
    static CDeviceWatcher::Timing Quick()
    {
        CDeviceWatcher::Timing t;
        t.waitMs = kLong;
        t.waitAfterRemovalMs = kLong;
        t.settleMs = 10;
        t.modalWaitMs = kLong;
        t.stepMs = kLong;
        t.arrivalDelayMs = 10;
        t.stopWaitMs = 10000;
        return t;
    }
    static void SetCount(DWORD n)
    {
        ASSERT_TRUE(RegSetDword(HKEY_LOCAL_MACHINE, kDrvEnumKeyNew, kDrvCountValue, n));
    }
    // Waits until the watcher has read "Count" after at least one more change.
    bool NextPass(unsigned before) { return WaitFor([&] { return watcher->Passes() > before; }); }

    kvtest::TempSettings settings;
    RecordingHost host;
    std::unique_ptr<CDeviceWatcher> watcher;
};

using Steps = std::vector<std::string>;

// Steps with repeats of one waiting line taken as one (another pulse may
// end a wait early; the wait then goes on).
Steps Collapsed(const Steps& steps)
{
    Steps out;
    for (const std::string& s : steps)
        if (out.empty() || s != out.back() || s.find("REG_NOTIFY_ING: 03") == std::string::npos)
            out.push_back(s);
    return out;
}

TEST_F(DeviceWatcherTest, RemovalAndReArrivalRunTheirStepsInOrderAndAnUnchangedCountDoesNothing)
{
    SetCount(1);
    ASSERT_TRUE(RegSetString(HKEY_LOCAL_MACHINE, kDrvEnumKeyNew, "0", "USB\\VID_19D2&PID_6502&MI_02\\1"));
    host.tray = true;
    host.modalOpen = true;
    Make();
    ASSERT_TRUE(watcher->Start(true));
    EXPECT_EQ(watcher->State(), REG_NOTIFY_PRESENT);

    // Changes that leave "Count" as it is: read, and nothing done.
    SleepMs(100); // the first watch is in place
    unsigned passes = watcher->Passes();
    ASSERT_TRUE(RegSetString(HKEY_LOCAL_MACHINE, kDrvEnumKeyNew, "1", "USB\\VID_19D2&PID_6502&MI_00\\1"));
    ASSERT_TRUE(NextPass(passes)) << "a change of the list did not end the wait";
    passes = watcher->Passes();
    SetCount(1);
    ASSERT_TRUE(NextPass(passes));
    EXPECT_EQ(host.Steps(), Steps{});
    EXPECT_EQ(watcher->State(), REG_NOTIFY_PRESENT);

    // Removal: in the tray, with the settings page open and a dial-up
    // monitor running.
    SetCount(0);
    ASSERT_TRUE(WaitFor([&] { return watcher->Removals() == 1; })) << "removal not handled";
    EXPECT_EQ(watcher->State(), REG_NOTIFY_REMOVED);
    EXPECT_EQ(Collapsed(host.Steps()), (Steps{"device null", "timer 109/500", "no-device display", "log REG_NOTIFY_ING: 02 ",
                                   "cancel page", "log REG_NOTIFY_ING: 03 ", "log REG_NOTIFY_ING: 04 ",
                                   "ras 240 front", "log REG_NOTIFY_ING: 05 ", "exit enabled"}));

    // Still away: a rewrite of the empty list does nothing.
    host.ClearSteps();
    passes = watcher->Passes();
    SetCount(0);
    ASSERT_TRUE(NextPass(passes));
    EXPECT_EQ(host.Steps(), Steps{});

    // Back.
    SetCount(1);
    ASSERT_TRUE(WaitFor([&] { return watcher->Arrivals() == 1; })) << "re-arrival not handled";
    EXPECT_EQ(watcher->State(), REG_NOTIFY_PRESENT);
    EXPECT_EQ(host.Steps(), (Steps{"log REG_NOTIFY_RELOAD: 01 ", "buttons enabled", "phonebook wiped",
                                   "timer 114/1000", "phonebook unread", "engine restart"}));

    // A second removal, not in the tray, nothing open: the short way.
    host.ClearSteps();
    host.tray = false;
    SetCount(0);
    ASSERT_TRUE(WaitFor([&] { return watcher->Removals() == 2; }));
    EXPECT_EQ(host.Steps(), (Steps{"device null", "no-device display", "log REG_NOTIFY_ING: 04 ", "ras 240 front",
                                   "log REG_NOTIFY_ING: 05 ", "exit enabled"}));
}

// The live USB view drops the list of a modem that was pulled out, and a
// machine that never had the modem has no list: both read as "no device",
// and the list's creation is an arrival.
TEST_F(DeviceWatcherTest, AModemPluggedInAfterTheStartIsAnArrival)
{
    Make();
    ASSERT_TRUE(watcher->Start(false));
    EXPECT_EQ(watcher->State(), REG_NOTIFY_REMOVED);
    SleepMs(100);
    SetCount(1);
    ASSERT_TRUE(WaitFor([&] { return watcher->Arrivals() == 1; })) << "the new list was not noticed";
    EXPECT_TRUE(host.HasStep("engine restart"));
    EXPECT_FALSE(host.HasStep("device null"));

    // Pulled out by removing the whole list: a removal.
    ASSERT_TRUE(RegDeleteKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\kvusbser"));
    ASSERT_TRUE(WaitFor([&] { return watcher->Removals() == 1; })) << "the list's removal was not noticed";
    EXPECT_EQ(watcher->State(), REG_NOTIFY_REMOVED);
}

// A stop reaches the watcher in any wait: the thread has ended when
// RegDestroy returns, and only then is the change event released.
TEST_F(DeviceWatcherTest, StopEndsTheThreadFromAnyWait)
{
    SetCount(1);
    Make();
    ASSERT_TRUE(watcher->Start(true));
    SleepMs(100);
    watcher->RegDestroy();
    EXPECT_FALSE(watcher->Running());
    EXPECT_EQ(watcher->State(), REG_NOTIFY_OFF);
    EXPECT_EQ(host.Steps(), (Steps{"log RegDestroy: 01 ", "log REG_NOTIFY_END: 01 "}));
    watcher->RegDestroy(); // again: nothing more
    EXPECT_EQ(host.Steps().size(), 2u);

    // In the middle of a removal whose page never closes.
    host.ClearSteps();
    host.modalOpen = true;
    host.pageCloses = false;
    Make();
    ASSERT_TRUE(watcher->Start(true));
    SleepMs(100);
    SetCount(0);
    ASSERT_TRUE(WaitFor([&] { return host.HasStep("log REG_NOTIFY_ING: 03 "); }));
    watcher->RegDestroy();
    EXPECT_FALSE(watcher->Running());
    EXPECT_EQ(watcher->State(), REG_NOTIFY_OFF);
    EXPECT_FALSE(host.HasStep("exit enabled"));
    EXPECT_TRUE(host.HasStep("log REG_NOTIFY_END: 01 "));
}

// A tree whose list cannot be watched ends the watching for the run.
TEST_F(DeviceWatcherTest, ARegistryFailureEndsTheWatching)
{
    const std::string folder = RegistryKeyFolder(HKEY_LOCAL_MACHINE, kDrvEnumKeyNew);
    std::filesystem::create_directories(std::filesystem::path(folder).parent_path());
    std::ofstream(folder) << "not a key";
    Make();
    ASSERT_TRUE(watcher->Start(true));
    ASSERT_TRUE(WaitFor([&] { return !watcher->Running(); }));
    EXPECT_EQ(watcher->State(), REG_NOTIFY_OFF);
    EXPECT_EQ(host.Steps(), Steps{"log notifychangeregkey error"});
    watcher->RegDestroy();
    EXPECT_EQ(host.Steps(), (Steps{"log notifychangeregkey error", "log RegDestroy: 01 "}));
}

} // namespace
