// korvianet-cli call against the simulated modem: a placed call with DTMF,
// an answered incoming call, and the checks of its arguments.
#include "RunCli.h"

#include "sim/ModemSimulator.h"
#include "support/TempSettings.h"

#include <chrono>
#include <cstdlib>
#include <future>
#include <gtest/gtest.h>
#include <thread>

using kvtest::RunCli;

namespace {

class CliCall : public ::testing::Test {
protected:
    void SetUp() override
    {
        settings.WriteFile("syskor.ini", "[sysinf]\nslps=0\n");
        kv::sim::ModemSimulator::Options o;
        o.registerDevice = false;
        o.demoState = false;
        o.unsolicitedPeriodMs = 0;
        sim = std::make_unique<kv::sim::ModemSimulator>(o);
        sim->WithModel([](kv::sim::ModemModel& m) {
            m.call.answerDelayMs = 300;
            m.call.releaseMs = 300;
        });
        ASSERT_TRUE(sim->Start());
    }
    void TearDown() override { sim->Stop(); }

    kvtest::CliResult Run(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--config-dir", settings.Dir(), "--device", sim->SlavePath()});
        return RunCli(args);
    }

    kvtest::TempSettings settings;
    std::unique_ptr<kv::sim::ModemSimulator> sim;
};

TEST_F(CliCall, PlacesACallSendsDigitsAndHangsUp)
{
    const auto r = Run({"call", "dial", "5551234", "dtmf", "12#", "hangup"});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("dialling 5551234\nconnected\nsent dtmf 12#\nended\n"), std::string::npos) << r.out;
    auto calls = sim->WithModel([](kv::sim::ModemModel& m) { return m.call.History(); });
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "out 5551234 ended");
    auto dtmf = sim->WithModel([](kv::sim::ModemModel& m) { return m.call.Dtmf(); });
    ASSERT_EQ(dtmf.size(), 1u);
    EXPECT_EQ(dtmf[0], "12#");
}

TEST_F(CliCall, AnswersAnIncomingCall)
{
    auto cli = std::async(std::launch::async, [&] { return Run({"call", "--timeout", "25", "answer", "wait", "1", "hangup"}); });
    // The session needs its start-up before the call can be seen.
    bool placed = false;
    for (int i = 0; i < 200 && !placed; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (sim->Answered() > 20)
            placed = sim->Command("call 6195550199 Alice") == "OK\n";
    }
    ASSERT_TRUE(placed);
    const auto r = cli.get();
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("ringing Alice 6195550199\nconnected\nended\n"), std::string::npos) << r.out;
    auto calls = sim->WithModel([](kv::sim::ModemModel& m) { return m.call.History(); });
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[0], "in 6195550199 answered");
}

TEST_F(CliCall, RejectsBadArgumentsNamingThem)
{
    struct Case {
        std::vector<std::string> args;
        const char* named;
    } cases[] = {
        {{"call", "dial", "555a12"}, "NUMBER '555a12'"},
        {{"call", "dial", "1234567890123456789012345678901"}, "NUMBER '1234567890123456789012345678901'"},
        {{"call", "dial", "55+5"}, "NUMBER '55+5'"},
        {{"call", "dial", "p123"}, "NUMBER 'p123'"},
        {{"call", "dtmf", "12p"}, "DIGITS '12p'"},
        {{"call", "wait", "-1"}, "SECONDS '-1'"},
        {{"call", "dial"}, "dial needs an argument"},
        {{"call", "ring"}, "unknown step 'ring'"},
        {{"call"}, "usage: call"},
    };
    for (const Case& c : cases) {
        const auto r = RunCli(c.args);
        EXPECT_EQ(r.exitCode, 2) << c.named;
        EXPECT_NE(r.err.find(c.named), std::string::npos) << r.err;
    }
    // Valid forms pass the checks (and then find no modem at this path).
    const auto r = RunCli({"--config-dir", settings.Dir(), "--device", settings.Dir() + "/none", "call", "dial",
                           "+1555*12#p34p5", "hangup"});
    EXPECT_NE(r.exitCode, 2) << r.err;
}

// Waits (up to 20 s) until the session has started and polls.
bool SessionPolling(kv::sim::ModemSimulator& sim)
{
    for (int i = 0; i < 200; ++i) {
        if (sim.Answered() > 20)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

TEST_F(CliCall, WithoutACardEmergencyNumbersAreStillDialled)
{
    ASSERT_EQ(sim->Command("card absent"), "OK\n");
    auto r = Run({"call", "dial", "911", "hangup"});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("dialling 911\nconnected\nended\n"), std::string::npos) << r.out;
    auto calls = sim->WithModel([](kv::sim::ModemModel& m) { return m.call.History(); });
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "out 911 ended");

    r = Run({"call", "dial", "5551234"});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_NE(r.err.find("only the emergency numbers"), std::string::npos) << r.err;
}

// A wait with no call waits for one; the session's end leaves a call it
// never answered ringing. The caller's texts reach the terminal escaped.
TEST_F(CliCall, AWaitWithoutACallWaitsForOneAndTheEndLeavesItRinging)
{
    auto cli = std::async(std::launch::async, [&] { return Run({"call", "wait", "15"}); });
    ASSERT_TRUE(SessionPolling(*sim));
    ASSERT_EQ(sim->Command("call 6195550188 \x1b[2J\x1b]0;owned\x07"), "OK\n");
    const auto r = cli.get();
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(r.out.find("ended by the far end"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("incoming call \\x1b[2J\\x1b]0;owned\\x07 6195550188\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find_first_of("\x1b\x07"), std::string::npos) << r.out;
    const bool ringing = sim->WithModel([](kv::sim::ModemModel& m) { return m.call.InCall(); });
    EXPECT_TRUE(ringing);
    auto calls = sim->WithModel([](kv::sim::ModemModel& m) { return m.call.History(); });
    EXPECT_TRUE(calls.empty()) << calls.back();
}

TEST_F(CliCall, TheCallersNumberAndNameAreShownEscaped)
{
    auto cli = std::async(std::launch::async, [&] { return Run({"call", "answer", "hangup"}); });
    ASSERT_TRUE(SessionPolling(*sim));
    ASSERT_EQ(sim->Command("call 6195550199 \x1b]0;title\x07\x1b[2J"), "OK\n");
    const auto r = cli.get();
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("ringing \\x1b]0;title\\x07\\x1b[2J 6195550199\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find_first_of("\x1b\x07"), std::string::npos) << r.out;
}

// The modem unplugged during an answered call: the script ends at once,
// saying so, with the status of a modem that is not there.
TEST_F(CliCall, AnUnplugDuringACallEndsTheScriptAsTheModemGone)
{
    auto cli = std::async(std::launch::async, [&] { return Run({"call", "dial", "5551234", "wait", "25", "hangup"}); });
    bool answered = false;
    for (int i = 0; i < 200 && !answered; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        answered = sim->WithModel([](kv::sim::ModemModel& m) {
            const auto& h = m.call.History();
            return !h.empty() && h.back() == "out 5551234 answered";
        });
    }
    ASSERT_TRUE(answered);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_EQ(sim->Command("unplug"), "OK\n");
    const auto r = cli.get();
    EXPECT_EQ(r.exitCode, 3) << r.out << r.err;
    EXPECT_NE(r.err.find("the modem went away"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("ended"), std::string::npos) << r.out;
}

} // namespace
