// The AT poll and the settings page's AT commands against the simulator.
#include "AtSimFixture.h"

#include "net/AtSettingsCmds.h"
#include "platform/Event.h"

using namespace kv;
using kvtest::AtOnSimulator;

TEST_F(AtOnSimulator, ImsiSelectsTheApnOnceAndTheLinesShowThePoll)
{
    Start();
    OpenPort();
    poll.Tick();
    // "+CIMI: 460030912345678": a blank and 46003 after the colon
    EXPECT_EQ(poll.CurrentImsiText(), " 46003");
    EXPECT_EQ(ApnLog(), (std::vector<std::string>{"3GNET"}));
    EXPECT_EQ(host.LineText(IDC_LINE_APN), "\rAPN:3GNET");
    EXPECT_TRUE(host.ControlShown(IDC_LINE_APN));
    EXPECT_EQ(host.LineText(IDC_LINE_SIGNAL).rfind("\rNetwork Signal: ", 0), 0u);
    EXPECT_TRUE(host.ControlShown(IDC_LINE_SIGNAL));
    EXPECT_EQ(host.LineText(IDC_LINE_CARD), "\rUIM: READY");
    EXPECT_FALSE(poll.PinRequested());

    // a second tick with the same IMSI sends no APN command
    poll.Tick();
    EXPECT_EQ(ApnLog().size(), 1u);
    EXPECT_EQ(poll.Snapshot().previousImsiText, " 46003");

    // another card: another network's APN
    ASSERT_EQ(Sim("imsi 460000123456789"), "OK\n");
    poll.Tick();
    EXPECT_EQ(ApnLog(), (std::vector<std::string>{"3GNET", "CMNET"}));
}

TEST_F(AtOnSimulator, FixedApnChangeIsSentAndSkipsTheCardQuery)
{
    Start();
    ASSERT_EQ(Sim("imsi 460030912345678 plain"), "OK\n");
    OpenPort();
    WriteProfileString(kSecApnType, kKeyApnDynamic, "unchecked", kIniDialer);
    WriteProfileString(kSecApnContent, kKeyApnCurrent, "CMWAP", kIniDialer);

    uint64_t before = AtCommands();
    poll.Tick();
    EXPECT_EQ(ApnLog(), (std::vector<std::string>{"CMWAP"}));
    EXPECT_EQ(AtCommands() - before, 3u); // signal, IMSI, APN: no card query
    EXPECT_EQ(poll.Snapshot().cardAnswer, "");
    EXPECT_EQ(host.LineText(IDC_LINE_APN), "\rAPN:CMWAP");

    before = AtCommands();
    poll.Tick(); // unchanged: no APN, the card query runs
    EXPECT_EQ(ApnLog().size(), 1u);
    EXPECT_EQ(AtCommands() - before, 3u);
    EXPECT_NE(poll.Snapshot().cardAnswer.find("+CPIN:"), std::string::npos);

    WriteProfileString(kSecApnContent, kKeyApnCurrent, "NEW.APN", kIniDialer);
    before = AtCommands();
    poll.Tick();
    EXPECT_EQ(ApnLog(), (std::vector<std::string>{"CMWAP", "NEW.APN"}));
    EXPECT_EQ(AtCommands() - before, 3u);

    // automatic again: the bare IMSI answer picks the table's APN
    WriteProfileString(kSecApnType, kKeyApnDynamic, "checked", kIniDialer);
    poll.Tick();
    EXPECT_EQ(ApnLog().back(), "3GNET");
    EXPECT_EQ(poll.CurrentImsiText(), "\r\n46003");
}

TEST_F(AtOnSimulator, PinRequestFlagFollowsTheCardAnswer)
{
    Start();
    ASSERT_EQ(Sim("card pin-locked"), "OK\n");
    OpenPort();
    poll.Tick();
    EXPECT_TRUE(poll.PinRequested());
    EXPECT_EQ(host.LineText(IDC_LINE_CARD), "\rUIM: PIN");
    // the IMSI query fails while the card is locked: the APN line is cleared
    EXPECT_TRUE(host.ControlShown(IDC_LINE_APN));
    EXPECT_EQ(host.LineText(IDC_LINE_APN), "");
    EXPECT_TRUE(ApnLog().empty());

    ASSERT_EQ(Sim("card unlocked"), "OK\n");
    poll.Tick();
    EXPECT_FALSE(poll.PinRequested());
    EXPECT_EQ(host.LineText(IDC_LINE_CARD), "\rUIM: READY");
    EXPECT_EQ(ApnLog(), (std::vector<std::string>{"3GNET"}));
}

TEST_F(AtOnSimulator, ACardTheModemCannotReadLeavesTheCardLineAtTheNextTick)
{
    Start();
    OpenPort();
    poll.Tick();
    ASSERT_EQ(host.LineText(IDC_LINE_CARD), "\rUIM: READY");
    ASSERT_EQ(Sim("card absent"), "OK\n");
    poll.Tick();
    EXPECT_EQ(host.LineText(IDC_LINE_CARD), "\rUIM: ERROR");
    EXPECT_FALSE(poll.PinRequested());
    ASSERT_EQ(Sim("card pin-locked"), "OK\n");
    poll.Tick();
    EXPECT_EQ(host.LineText(IDC_LINE_CARD), "\rUIM: PIN");
    EXPECT_TRUE(poll.PinRequested());
    ASSERT_EQ(Sim("card absent"), "OK\n");
    poll.Tick();
    EXPECT_FALSE(poll.PinRequested()) << "a card that is gone asks for nothing";
}

TEST_F(AtOnSimulator, NoAnswerKeepsTheLines)
{
    Start();
    OpenPort();
    poll.Tick();
    const std::string signal = host.LineText(IDC_LINE_SIGNAL);
    ASSERT_FALSE(signal.empty());
    ASSERT_EQ(Sim("silent on"), "OK\n");
    poll.Tick();
    EXPECT_EQ(poll.Snapshot().lastSignalAnswer, "");
    EXPECT_EQ(host.LineText(IDC_LINE_SIGNAL), signal);
    EXPECT_EQ(host.LineText(IDC_LINE_APN), "\rAPN:3GNET");
}

TEST_F(AtOnSimulator, PinLockAndChangeReachTheCard)
{
    Start();
    OpenPort();
    auto card = [&] {
        return simulator->WithModel([](sim::ModemModel& m) { return std::make_pair(m.card.pinEnabled, m.card.pin); });
    };
    EXPECT_EQ(AtPinLock(atPort, true, "1234"), AtPinOutcome::Success);
    EXPECT_TRUE(card().first);
    EXPECT_EQ(AtPinLock(atPort, false, "9999"), AtPinOutcome::Failed); // wrong PIN
    EXPECT_TRUE(card().first);
    EXPECT_EQ(AtPinChange(atPort, "1234", "567890", "567890"), AtPinOutcome::Success);
    EXPECT_EQ(card().second, "567890");
    EXPECT_EQ(AtPinLock(atPort, false, "567890"), AtPinOutcome::Success);
    EXPECT_FALSE(card().first);
    // refused input never reaches the modem
    const uint64_t before = AtCommands();
    EXPECT_EQ(AtPinLock(atPort, true, "1234\rAT+CFUN=0"), AtPinOutcome::NotDigits);
    EXPECT_EQ(AtCommands(), before);

    EXPECT_TRUE(AtQueryFirmwareKind(atPort)); // "KV6502-818-B03"
    AtResetModem(atPort);
    // the "818" kind resets with AT^RESET: the modem leaves the bus
    const int64_t end = TickMs() + 3000;
    while (simulator->Plugged() && TickMs() < end)
        SleepMs(20);
    EXPECT_FALSE(simulator->Plugged());
}
