// The engine loop against the scripted modem: the start-up chain, polling,
// queue order, error counting, parking, stop and restart.
#include "EngineFixture.h"

#include "engine/DmTexts.h"
#include "engine/StatusIds.h"
#include "support/HangGuard.h"

#include <thread>

using namespace kv;
using kvtest::EngineTest;

namespace {
std::vector<std::string> Prefix(const std::vector<std::string>& v, size_t n)
{
    return std::vector<std::string>(v.begin(), v.begin() + std::min(n, v.size()));
}
} // namespace

using StartupChain = EngineTest;

TEST_F(StartupChain, RunsInOrderAndWritesWhatItLearnt)
{
    ASSERT_TRUE(StartAndReachPolling());
    const std::vector<std::string> expected = {"NV10",   "NV562",   "VER",     "ESN",     "NV215",
                                               "SERVICE", "INFVER", "RUIM",    "SMSINFO", "PBINFO1",
                                               "PBINFO9", "BATT",   "GETINFO", "STATUS"};
    EXPECT_EQ(Prefix(modem.Log(), expected.size()), expected);

    EXPECT_EQ(Ini("pref_mode"), "4");
    EXPECT_EQ(Ini("hybrid"), "1");
    EXPECT_EQ(Ini("modem", "sw_ver"), "KV12AB34");
    EXPECT_EQ(Ini("modem", "comp_date"), "JAN 02 2024");
    EXPECT_EQ(Ini("modem", "hw_ver"), "00AB");
    EXPECT_EQ(Ini("modem", "esn"), "8A1B2C3D");
    EXPECT_EQ(Ini("modem", "min"), "(969) 234-4678");
    EXPECT_EQ(Ini("modem", "mdn"), "6195550199");
    EXPECT_EQ(Ini("chg_usb"), "0");
    EXPECT_EQ(Ini("ascii_max"), "160");
    EXPECT_EQ(Ini("unicode_max"), "70");
    EXPECT_EQ(Ini("callback_max"), "32");
    EXPECT_EQ(Ini("chv_enable"), "0");
    EXPECT_EQ(Ini("userflag"), "0");

    EXPECT_EQ(St().m_ucPrefFlags.load(), PREFF_HYBRID_1);
    EXPECT_EQ(St().m_wModemVersion.load(), 0x0305);
    EXPECT_EQ(St().m_ucServiceMode.load(), 0x20);
    EXPECT_EQ(St().m_wSmsMaxSlot.load(), 30);
    EXPECT_EQ(St().m_wUiPhase.load(), UI_PHASE_IDLE);
    EXPECT_EQ(St().m_ucUiFlags.load() & (UIF_PB_RUIM_LOADED | UIF_PB_MEMORY_LOADED),
              UIF_PB_RUIM_LOADED | UIF_PB_MEMORY_LOADED);
    EXPECT_TRUE(log.Has("marked loaded"));
    for (int id : kUiEnableControls)
        EXPECT_TRUE(host.ControlEnabled(id)) << id;
    EXPECT_TRUE(host.TimerActive(TIMER_AT_POLL));
    // The first poll's values on the display.
    EXPECT_TRUE(RunUntil([&] { return host.Indicator(IND_SERVICE) == SERVICE_1X; }));
    EXPECT_EQ(host.Indicator(IND_BATTERY), 5);
    EXPECT_EQ(host.Indicator(IND_CHARGE), 0);
    EXPECT_EQ(host.Indicator(IND_EAR_VOLUME), 2);
    EXPECT_EQ(St().ModemInfo(), "KV-100 modem");
}

TEST_F(StartupChain, PreferredModeTenSkipsTheHybridRead)
{
    modem.With([](auto& m) { m.prefMode = 10; });
    ASSERT_TRUE(StartAndReachPolling());
    EXPECT_EQ(modem.Count("NV562"), 0u);
    EXPECT_EQ(Prefix(modem.Log(), 3), (std::vector<std::string>{"NV10", "VER", "ESN"}));
    EXPECT_EQ(St().m_ucPrefFlags.load(), PREFF_MODE_10);
}

TEST_F(StartupChain, DeviceKindZeroSendsNoNvReadsAndEndsOnTheRetry)
{
    deviceKind = DEVICE_KIND_NONE;
    ASSERT_TRUE(engine.UserDmRestart());
    ASSERT_TRUE(WaitStopped(15000));
    EXPECT_EQ(modem.Log(), (std::vector<std::string>{"VER", "ESN", "VER", "ESN"}));
    EXPECT_EQ(Ini("modem", "esn"), "8A1B2C3D");
    EXPECT_EQ(Ini("pref_mode"), "<none>");
    EXPECT_TRUE(log.Has("read nv_dir_number pcs error "));
    EXPECT_TRUE(log.Has("error_count = 1"));
    EXPECT_TRUE(log.Has("did not communication !!! "));
    EXPECT_EQ(PortState(), DM_STOPPED);
}

TEST_F(StartupChain, AReadThatFailsOnceIsRetriedAndTwiceEndsTheEngine)
{
    modem.FailNext("NV10", 1);
    ASSERT_TRUE(StartAndReachPolling());
    EXPECT_EQ(Prefix(modem.Log(), 3), (std::vector<std::string>{"NV10", "NV10", "NV562"}));
    EXPECT_TRUE(log.Has("read pef mode error "));
    EXPECT_TRUE(log.Has("error_count = 1"));
    engine.StopDmEngine();

    modem.FailNext("NV10", 2);
    ASSERT_TRUE(engine.UserDmRestart());
    ASSERT_TRUE(WaitStopped());
    EXPECT_TRUE(log.Has("did not communication !!! "));
    EXPECT_TRUE(log.Has("dm thread close 3 0"));
    EXPECT_EQ(PortState(), DM_STOPPED);
    EXPECT_EQ(host.Indicator(IND_BATTERY), 1);
    EXPECT_EQ(host.Indicator(IND_SERVICE), SERVICE_NONE);
    EXPECT_EQ(host.Signal(IND_SIGNAL_1X), kSignalNone);
    // The port stays open until someone restarts or stops the engine.
    EXPECT_TRUE(modem.IsOpen());
}

TEST_F(StartupChain, StalledStepsGiveUpAndTheChainStillReachesPolling)
{
    engine.SetRetryWindowMs(1500);
    modem.With([](auto& m) { m.smsInited = 0; m.pbResult = 1; });
    std::vector<std::string> lines;
    host.SetObserver([&](const std::string& s) {
        if (s.rfind("message line: ", 0) == 0)
            lines.push_back(s.substr(14));
    });
    ASSERT_TRUE(engine.UserDmRestart());
    ASSERT_TRUE(RunUntil([&] { return modem.Count("STATUS") >= 1; }, 20000));
    host.SetObserver(nullptr);
    EXPECT_GT(modem.Count("SMSINFO"), 2u);
    EXPECT_GT(modem.Count("PBINFO1"), 2u);
    EXPECT_NE(std::find(lines.begin(), lines.end(), dmtext::kSmsNotReady), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), dmtext::kPhonebookNotReady), lines.end());
    size_t stars = 0;
    for (const std::string& l : lines) {
        if (l.find_first_not_of('*') != std::string::npos)
            continue;
        ++stars;
        EXPECT_LE(l.size(), CDmEngine::kProgressCap) << l;
    }
    EXPECT_GT(stars, CDmEngine::kProgressCap / 2); // it did grow up to the cap
    EXPECT_TRUE(host.ControlEnabled(IDC_DIAL_TOGGLE));
    EXPECT_EQ(St().m_wSmsMaxSlot.load(), 0);
    EXPECT_EQ(St().m_wUiPhase.load(), UI_PHASE_IDLE);
}

using Polling = EngineTest;

TEST_F(Polling, AnEmptyQueueMeansOnlyStatusPolls)
{
    ASSERT_TRUE(StartAndReachPolling());
    const size_t start = modem.Log().size();
    ASSERT_TRUE(RunUntil([&] { return modem.Count("STATUS") >= 4; }));
    auto log2 = modem.Log();
    // Cut at a cycle boundary and check the cycles.
    log2.erase(log2.begin(), log2.begin() + long(start));
    while (!log2.empty() && log2.back() != "STATUS")
        log2.pop_back();
    ASSERT_GE(log2.size(), 3u);
    for (size_t i = 0; i < log2.size(); ++i)
        EXPECT_EQ(log2[i], (std::vector<std::string>{"BATT", "GETINFO", "STATUS"})[i % 3]) << i;
}

TEST_F(Polling, HeadInsertionOvertakesTheTail)
{
    std::vector<std::string> ran;
    std::mutex m;
    auto note = [&](const char* s) {
        std::lock_guard<std::mutex> g(m);
        ran.push_back(s);
    };
    engine.RegisterCommand(DM_EAR_LEVEL, [&](CDmEngine&) { note("ear"); });
    engine.RegisterCommand(DM_IN_CALL, [&](CDmEngine&) { note("in"); });
    engine.RegisterCommand(DM_OUT_CALL, [&](CDmEngine& e) {
        note("out");
        e.PostDmCommand(DM_EAR_LEVEL, false);
        e.PostDmCommand(DM_IN_CALL, true);
    });
    ASSERT_TRUE(StartAndReachPolling());
    ASSERT_EQ(engine.PostDmCommand(DM_OUT_CALL, false), 1);
    ASSERT_TRUE(RunUntil([&] {
        std::lock_guard<std::mutex> g(m);
        return ran.size() >= 3;
    }));
    EXPECT_EQ(ran, (std::vector<std::string>{"out", "in", "ear"}));
}

TEST_F(Polling, ASilentModemLeavesTheEnginePolling)
{
    ASSERT_TRUE(StartAndReachPolling());
    modem.SetSilent(true);
    const size_t before = modem.Count("BATT");
    ASSERT_TRUE(RunUntil([&] { return modem.Count("BATT") >= before + 5; }));
    EXPECT_TRUE(engine.ThreadRunning());
    EXPECT_EQ(engine.ErrorCount(), 0);
    EXPECT_TRUE(log.Has("get vbat info error"));
    EXPECT_FALSE(log.Has("did not communication"));
    // Nothing but battery requests while silent.
    modem.SetSilent(false);
    const size_t status = modem.Count("STATUS");
    EXPECT_TRUE(RunUntil([&] { return modem.Count("STATUS") > status; }));
}

// One poll counts at most one error and only a good status record clears
// it: the info text answered in between does not save a link whose status
// read fails twice in a row.
TEST_F(Polling, TwoFailedStatusReadsInARowEndTheEngine)
{
    ASSERT_TRUE(StartAndReachPolling());
    modem.FailNext("STATUS", 2);
    ASSERT_TRUE(WaitStopped());
    EXPECT_TRUE(log.Has("dm_status error"));
    EXPECT_TRUE(log.Has("error_count = 1"));
    EXPECT_TRUE(log.Has("did not communication !!! "));
}

TEST_F(Polling, FailedInfoReadsAloneNeverEndTheEngine)
{
    ASSERT_TRUE(StartAndReachPolling());
    modem.FailNext("GETINFO", 4);
    const size_t status = modem.Count("STATUS");
    ASSERT_TRUE(RunUntil([&] { return modem.Count("STATUS") >= status + 5; }));
    EXPECT_TRUE(engine.ThreadRunning());
    EXPECT_TRUE(log.Has("DM_GET_INFO error."));
    // The one line of the error level: filtering on it shows this failure.
    EXPECT_TRUE(log.Has("LEVEL_ERR :"));
    EXPECT_EQ(log.CountOf("LEVEL_ERR :"), log.CountOf("DM_GET_INFO error."));
    // A status read that fails once and then works keeps it running too.
    modem.FailNext("STATUS", 1);
    const size_t s2 = modem.Count("STATUS");
    ASSERT_TRUE(RunUntil([&] { return modem.Count("STATUS") >= s2 + 3; }));
    EXPECT_TRUE(engine.ThreadRunning());
    EXPECT_EQ(engine.ErrorCount(), 0);
}

TEST_F(Polling, AnUnhandledQueuedCodeEndsTheEngine)
{
    ASSERT_TRUE(StartAndReachPolling());
    ASSERT_EQ(engine.PostDmCommand(DM_PREF_CM_SYS_SEL, false), 1);
    ASSERT_TRUE(WaitStopped());
    EXPECT_TRUE(log.Has("did not communication !!! "));
}

TEST_F(Polling, BatteryChargeAndSignalReachTheDisplay)
{
    modem.With([](auto& m) { m.chgVal = 3; m.rx1x = -80; });
    ASSERT_TRUE(StartAndReachPolling());
    EXPECT_TRUE(RunUntil([&] { return host.Signal(IND_SIGNAL_1X) == -80; }));
    EXPECT_EQ(host.Indicator(IND_BATTERY), 6);
    EXPECT_EQ(host.Indicator(IND_CHARGE), 1);
    // An unknown charger state leaves the charge indicator as it was.
    modem.With([](auto& m) { m.chgVal = 9; });
    const size_t n = modem.Count("STATUS");
    ASSERT_TRUE(RunUntil([&] { return modem.Count("STATUS") >= n + 2; }));
    EXPECT_EQ(host.Indicator(IND_CHARGE), 1);
    EXPECT_EQ(host.Indicator(IND_BATTERY), 5);
}

TEST_F(Polling, NoSignalAndNoModemShowTheNoSignalAntenna)
{
    // The host starts as the window does: every indicator hidden.
    EXPECT_FALSE(host.IndicatorShown(statusid::IDC_ANTENNA));
    modem.SetOpenFails(true);
    EXPECT_FALSE(engine.UserDmRestart());
    EXPECT_TRUE(host.IndicatorShown(statusid::IDC_ANTENNA));
    EXPECT_EQ(host.IndicatorBitmap(statusid::IDC_ANTENNA), statusid::IDB_SIG1_NONE);
}

TEST_F(Polling, AModemWithoutSignalShowsTheNoSignalAntenna)
{
    modem.With([](auto& m) { m.rx1x = 0; });
    ASSERT_TRUE(StartAndReachPolling());
    ASSERT_TRUE(RunUntil([&] { return host.Signal(IND_SIGNAL_1X) == kSignalNone; }));
    EXPECT_TRUE(host.IndicatorShown(statusid::IDC_ANTENNA));
    EXPECT_EQ(host.IndicatorBitmap(statusid::IDC_ANTENNA), statusid::IDB_SIG1_NONE);
    // The signal comes: the level picture replaces it.
    modem.With([](auto& m) { m.rx1x = -80; });
    EXPECT_TRUE(RunUntil([&] { return host.IndicatorBitmap(statusid::IDC_ANTENNA) == statusid::IDB_SIG1_L4; }));
}

TEST_F(Polling, LongLayoutSignalsAndDataRates)
{
    modem.With([](auto& m) { m.serviceMode = 0xA0; m.rx1x = -95; m.rate1x = 450; });
    St().m_nRasState = RAS_STATE_CONNECTED;
    ASSERT_TRUE(StartAndReachPolling());
    EXPECT_TRUE(RunUntil([&] { return host.Indicator(IND_DATA_RATE_B) == 2; }));
    EXPECT_EQ(host.Signal(IND_SIGNAL_1X), -95);
    modem.With([](auto& m) { m.curSysmode = 4; m.rate1x = 0; });
    // Each of the eight rate bytes that differs from the shown value is drawn.
    EXPECT_TRUE(RunUntil([&] {
        const auto calls = host.IndicatorCalls();
        return std::find(calls.begin(), calls.end(), std::make_pair(int(IND_DATA_RATE_A), 5))
            != calls.end();
    }));
    EXPECT_GT(modem.Count("HDRDRC"), 0u);
    St().m_nRasState = 0;
}

TEST_F(Polling, HybridSignalAlternatesEverySixteenPolls)
{
    modem.With([](auto& m) { m.hybridPref = 1; m.rx1x = -80; m.rxHdr = -90; });
    ASSERT_TRUE(StartAndReachPolling());
    St().m_dwWait = 1;
    ASSERT_TRUE(RunUntil([&] { return modem.Count("STATUS") >= 40; }, 20000));
    St().m_dwWait = 200;
    // Drop the blanks and collapse the sequence into runs of one id.
    std::vector<std::pair<int, int>> runs;
    for (auto [id, v] : host.SignalCalls()) {
        if (v == kSignalBlank)
            continue;
        if (runs.empty() || runs.back().first != id)
            runs.emplace_back(id, 0);
        ++runs.back().second;
    }
    ASSERT_GE(runs.size(), 3u);
    EXPECT_EQ(runs[0], std::make_pair(int(IND_SIGNAL_1X), 17));
    EXPECT_EQ(runs[1], std::make_pair(int(IND_SIGNAL_EVDO), 16));
    EXPECT_EQ(runs[2].first, int(IND_SIGNAL_1X));
    EXPECT_EQ(host.Indicator(IND_SERVICE), SERVICE_1X_HYBRID);
}

TEST_F(Polling, ARisingNewMessageCountBringsTheWindowForward)
{
    ASSERT_TRUE(StartAndReachPolling());
    modem.With([](auto& m) { m.newSms = 2; });
    ASSERT_TRUE(RunUntil([&] { return host.Indicator(IND_SMS) == 1; }));
    ASSERT_TRUE(RunUntil([&] {
        for (const auto& p : host.Posted())
            if (p.msg == UM_BRING_TO_FRONT)
                return true;
        return false;
    }));
    EXPECT_EQ(Ini("SmsC", "smscnt"), "2");
    EXPECT_TRUE(St().m_ucUiFlags.load() & UIF_SMS_WAITING);
}

using Parking = EngineTest;

TEST_F(Parking, ASubRequestFromAnotherThreadParksAndResumesTheEngine)
{
    modem.SetExchangeDelayMs(5);
    ASSERT_TRUE(StartAndReachPolling());
    std::atomic<bool> uiTaskRan{false};
    std::atomic<uint16_t> result{0};
    std::atomic<bool> done{false};
    std::thread ui([&] {
        host.BindToCurrentThread(); // this thread is now the one that pumps
        host.RunOnUi([&] { uiTaskRan = true; });
        result = engine.DmSubRequest(DM_PREF_1X_DRC, 0, false);
        done = true;
    });
    while (!done.load())
        SleepMs(5);
    ui.join();
    host.BindToCurrentThread();
    EXPECT_EQ(result.load(), DM_PREF_1X_DRC);
    EXPECT_TRUE(uiTaskRan.load()); // the waiting thread kept dispatching
    EXPECT_FALSE(modem.Overlapped());
    const size_t status = modem.Count("STATUS");
    EXPECT_TRUE(RunUntil([&] { return modem.Count("STATUS") > status; }));
}

TEST_F(Parking, TheParkedEngineIgnoresEverythingUntilItsOwnerResumes)
{
    modem.SetExchangeDelayMs(5);
    ASSERT_TRUE(StartAndReachPolling());
    size_t seenDuring = 0;
    engine.RegisterSubRequest(DM_SMS_READ, [&](CDmEngine& e, uint16_t code, uintptr_t) {
        const size_t before = modem.Log().size();
        e.PostDmCommand(DM_DEVICE_NULL, true);
        e.PostDmCommand(DM_END_WORK, true);
        e.PostDmCommand(DM_EAR_LEVEL, false);
        SleepMs(800); // several engine cycles
        seenDuring = modem.Log().size() - before;
        e.Exchange(BuildBattInfoReq());
        return code;
    });
    EXPECT_EQ(engine.DmSubRequest(DM_SMS_READ, 0, false), DM_SMS_READ);
    EXPECT_EQ(seenDuring, 0u);
    EXPECT_FALSE(modem.Overlapped());
    // Resumed, the engine honours the end that waited.
    ASSERT_TRUE(WaitStopped());
    EXPECT_TRUE(log.Has("dm thread close 1"));
}

TEST_F(Parking, ASecondSubRequestWhileOneWaitsIsRefusedAndPollingGoesOn)
{
    modem.SetExchangeDelayMs(5);
    ASSERT_TRUE(StartAndReachPolling());
    kvtest::HangGuard guard(60000, "a nested sub-request");
    // Served while the first one waits for the engine to park, as a second
    // click would be; and once more while the first one runs its exchanges.
    std::atomic<uint16_t> whileWaiting{0};
    uint16_t whileRunning = 0;
    host.RunOnUi([&] { whileWaiting = engine.DmSubRequest(DM_PREF_HDR_DRC, 0, false); });
    engine.RegisterSubRequest(DM_SMS_READ, [&](CDmEngine& e, uint16_t code, uintptr_t) {
        host.RunOnUi([&] { whileRunning = e.DmSubRequest(DM_PREF_1X_DRC, 0, false); });
        host.PumpFor(50);
        return code;
    });
    EXPECT_EQ(engine.DmSubRequest(DM_SMS_READ, 0, false), DM_SMS_READ);
    EXPECT_EQ(whileWaiting.load(), DM_RESULT_BUSY);
    EXPECT_EQ(whileRunning, DM_RESULT_BUSY);
    EXPECT_EQ(modem.Count("HDRDRC"), 0u) << "a refused request sends nothing";
    const size_t status = modem.Count("STATUS");
    EXPECT_TRUE(RunUntil([&] { return modem.Count("STATUS") > status + 2; })) << "polling goes on";
    // The refusal is only while the first one is under way.
    EXPECT_EQ(engine.DmSubRequest(DM_PREF_1X_DRC, 0, false), DM_PREF_1X_DRC);
}

TEST_F(Parking, ASubRequestAfterTheEngineEndedReturnsStopped)
{
    EXPECT_EQ(engine.DmSubRequest(DM_PREF_1X_DRC, 0, false), DM_RESULT_ENGINE_STOPPED);
    EXPECT_TRUE(modem.Log().empty());
}

using StopRestart = EngineTest;

TEST_F(StopRestart, StopDuringACallSendsEnd)
{
    ASSERT_TRUE(StartAndReachPolling());
    St().m_ucLastCallState = 0x86;
    engine.StopDmEngine();
    EXPECT_EQ(PortState(), DM_STOPPED);
    EXPECT_EQ(modem.Count("KEY81"), 1u); // END is key code 0x51
    EXPECT_TRUE(log.Has("dm end work: end key(1) ok"));
    EXPECT_FALSE(modem.IsOpen());
    EXPECT_EQ(host.Indicator(IND_MESSAGE_LINE), 3);

    ASSERT_TRUE(StartAndReachPolling());
    St().m_ucLastCallState = 0x82;
    engine.StopDmEngine();
    EXPECT_EQ(modem.Count("KEY81"), 1u);
}

TEST_F(StopRestart, TheWaitForAnEngineStuckInAnExchangeIsBounded)
{
    ASSERT_TRUE(StartAndReachPolling());
    engine.SetStopWaitMs(1500);
    modem.SetHang(true);
    SleepMs(500); // inside an exchange that does not come back
    const int64_t start = TickMs();
    engine.StopDmEngine();
    const int64_t ms = TickMs() - start;
    EXPECT_LT(ms, 5000);
    EXPECT_TRUE(log.Has("did not stop in 1500 ms"));
    // Closing the port under it ended the exchange and the engine.
    EXPECT_TRUE(WaitStopped(3000));
    EXPECT_EQ(PortState(), DM_STOPPED);
    EXPECT_FALSE(modem.IsOpen());
    // And it starts again.
    modem.SetHang(false);
    const size_t polls = modem.Count("STATUS");
    ASSERT_TRUE(engine.UserDmRestart());
    EXPECT_TRUE(RunUntil([&] { return modem.Count("STATUS") > polls; }, 15000));
}

// The stop cuts short the exchange that waits for its answer. That failure
// comes on top of an earlier one, yet it is the stop, not a dead link: the
// engine ends its work as asked and hangs up the call.
TEST_F(StopRestart, AStopDuringARetriedPollEndsTheWorkAndTheCall)
{
    ASSERT_TRUE(StartAndReachPolling());
    engine.SetStopWaitMs(5000);
    St().m_ucLastCallState = 0x86;
    const size_t retries = log.CountOf("error_count = 1");
    modem.FailNext("STATUS");
    ASSERT_TRUE(RunUntil([&] { return log.CountOf("error_count = 1") > retries; }));
    modem.HangNext("STATUS");
    ASSERT_TRUE(RunUntil([&] { return modem.Hanging(); }));
    engine.StopDmEngine();
    EXPECT_FALSE(log.Has("did not stop in")) << "the stop waited for the exchange";
    EXPECT_FALSE(log.Has("did not communication"));
    EXPECT_TRUE(log.Has("dm end work: end key(1) ok"));
    EXPECT_EQ(modem.Count("KEY81"), 1u);
    EXPECT_EQ(PortState(), DM_STOPPED);
    EXPECT_FALSE(modem.IsOpen());
}

TEST_F(StopRestart, DeviceNullClosesThePortFromTheEngine)
{
    ASSERT_TRUE(StartAndReachPolling());
    ASSERT_EQ(engine.PostDmCommand(DM_DEVICE_NULL, true), 1);
    ASSERT_TRUE(WaitStopped());
    EXPECT_TRUE(log.Has("DM_DEVICE_NULL: driver remove."));
    EXPECT_TRUE(log.Has("dm thread close 2"));
    EXPECT_FALSE(modem.IsOpen());
    EXPECT_TRUE(St().m_DmRequests.Empty());
}

TEST_F(StopRestart, RestartAfterADeadLinkReopensThePortAndDiscoversAgain)
{
    // At the first start the modem was not known yet (kind 0): the link dies.
    deviceKind = DEVICE_KIND_NONE;
    ASSERT_TRUE(engine.UserDmRestart());
    ASSERT_TRUE(WaitStopped(15000));
    ASSERT_TRUE(modem.IsOpen()); // the dead engine left it open
    EXPECT_EQ(discoveries, 1);
    deviceKind = DEVICE_KIND_NV;
    ASSERT_TRUE(StartAndReachPolling());
    EXPECT_GT(modem.Count("NV10"), 0u);
    EXPECT_EQ(discoveries, 2);
    EXPECT_EQ(modem.Opens(), 2);
    EXPECT_EQ(modem.Closes(), 1);
}

TEST_F(StopRestart, APortThatWillNotOpenShowsNoModem)
{
    modem.SetOpenFails(true);
    EXPECT_FALSE(engine.UserDmRestart());
    EXPECT_EQ(host.MessageLine(), dmtext::kPortNotOpened);
    EXPECT_EQ(host.Indicator(IND_BATTERY), 255);
    EXPECT_TRUE(host.ControlEnabled(IDC_SETTING));
    EXPECT_EQ(PortState(), DM_STOPPED);
    EXPECT_EQ(engine.PostDmCommand(DM_GET_INFO, false), 1);
    EXPECT_TRUE(St().m_DmRequests.Empty());
}
