// The tray's words and icon for the owner's states.
#include "host/TrayText.h"

#include <gtest/gtest.h>

using kv::DescribeForTray;
using kv::OwnerSnapshot;
using kv::TrayConnectAction;

namespace {

OwnerSnapshot Ready(int mode, uint32_t bars1x, uint32_t barsEvdo)
{
    OwnerSnapshot s;
    s.engineReady = true;
    s.port = "/dev/ttyUSB0";
    s.systemModeCode = mode;
    s.signal1xBars = bars1x;
    s.signalEvdoBars = barsEvdo;
    return s;
}

} // namespace

TEST(TrayText, IdleModemTellsTheBarsOfItsSystemModeAndRoaming)
{
    auto look = DescribeForTray(Ready(2, 4, 1));
    EXPECT_EQ(look.tooltip, "Signal 4/5 · 1x");
    EXPECT_EQ(look.iconName, "korvianet-signal-4");
    EXPECT_EQ(look.actionLabel, "Connect");
    EXPECT_TRUE(look.actionEnabled);

    look = DescribeForTray(Ready(4, 4, 3));
    EXPECT_EQ(look.tooltip, "Signal 3/5 · EV-DO");
    EXPECT_EQ(look.iconName, "korvianet-signal-3");

    auto roaming = Ready(2, 2, 0);
    roaming.roaming = true;
    EXPECT_EQ(DescribeForTray(roaming).stateLine, "Signal 2/5 · 1x · Roaming");

    look = DescribeForTray(Ready(0, 3, 3));
    EXPECT_EQ(look.stateLine, "No service");
    EXPECT_EQ(look.iconName, "korvianet-signal-0");

    // A level out of range from the modem never names an icon we lack.
    look = DescribeForTray(Ready(4, 0, 9));
    EXPECT_EQ(look.stateLine, "Signal 5/5 · EV-DO");
    EXPECT_EQ(look.iconName, "korvianet-signal-5");
}

TEST(TrayText, WithoutAReadyModemNothingCanBeConnected)
{
    auto look = DescribeForTray(OwnerSnapshot{});
    EXPECT_EQ(look.tooltip, "No modem");
    EXPECT_EQ(look.iconName, "korvianet-no-modem");
    EXPECT_EQ(look.actionLabel, "Connect");
    EXPECT_FALSE(look.actionEnabled);

    auto starting = Ready(4, 3, 3);
    starting.engineReady = false;
    starting.newMessages = 2;
    look = DescribeForTray(starting);
    EXPECT_EQ(look.tooltip, "Modem not ready\n2 new messages");
    EXPECT_EQ(look.iconName, "korvianet-signal-0");
    EXPECT_FALSE(look.actionEnabled);

    // Stale call and message fields of a modem that went are not shown.
    OwnerSnapshot gone;
    gone.callState = "active";
    gone.callNumber = "5551234";
    gone.newMessages = 1;
    EXPECT_EQ(DescribeForTray(gone).tooltip, "No modem");
}

TEST(TrayText, ConnectionStatesTurnTheItemIntoDisconnect)
{
    auto s = Ready(4, 3, 3);
    s.connectionState = "connected";
    s.connectionDuration = 12 * 60 + 40;
    s.bytesReceived = 3'000'000;
    s.bytesSent = 100'000;
    auto look = DescribeForTray(s);
    EXPECT_EQ(look.stateLine, "Connected 00:12:40 · 3.1 MB");
    EXPECT_EQ(look.tooltip, "Connected 00:12:40 · 3.1 MB\nSignal 3/5 · EV-DO");
    EXPECT_EQ(look.iconName, "korvianet-connected");
    EXPECT_EQ(look.action, TrayConnectAction::Disconnect);
    EXPECT_EQ(look.actionLabel, "Disconnect");
    EXPECT_TRUE(look.actionEnabled);

    s.connectionState = "connecting";
    s.connectionText = "Dialing #777";
    look = DescribeForTray(s);
    EXPECT_EQ(look.tooltip, "Connecting…\nDialing #777\nSignal 3/5 · EV-DO");
    EXPECT_EQ(look.iconName, "korvianet-connecting");
    EXPECT_EQ(look.actionLabel, "Disconnect");
    EXPECT_TRUE(look.actionEnabled) << "a dial under way can be ended";

    s.connectionState = "disconnecting";
    look = DescribeForTray(s);
    EXPECT_EQ(look.stateLine, "Disconnecting…");
    EXPECT_EQ(look.actionLabel, "Disconnect");
    EXPECT_FALSE(look.actionEnabled);
}

TEST(TrayText, CallsAndNewMessagesGetLinesOfTheirOwn)
{
    auto s = Ready(2, 4, 0);
    s.callState = "incoming";
    s.callNumber = "5551234";
    s.newMessages = 1;
    EXPECT_EQ(DescribeForTray(s).tooltip, "Signal 4/5 · 1x\nIncoming call from 5551234\n1 new message");
    s.callName = "Alice";
    s.callState = "active";
    EXPECT_EQ(DescribeForTray(s).tooltip, "Signal 4/5 · 1x\nOn a call with Alice\n1 new message");
    s.callState = "dialing";
    s.callName.clear();
    s.callNumber.clear();
    s.newMessages = 0;
    EXPECT_EQ(DescribeForTray(s).tooltip, "Signal 4/5 · 1x\nCalling an unknown number");
}

TEST(TrayText, DurationsAndSizes)
{
    EXPECT_EQ(kv::TrayDuration(0), "00:00:00");
    EXPECT_EQ(kv::TrayDuration(86399), "23:59:59");
    EXPECT_EQ(kv::TrayDuration(86400 + 3723), "1d 01:02:03");
    EXPECT_EQ(kv::TrayDuration(UINT32_MAX), "49710d 06:28:15");

    EXPECT_EQ(kv::TrayBytes(0), "0 B");
    EXPECT_EQ(kv::TrayBytes(999), "999 B");
    EXPECT_EQ(kv::TrayBytes(1000), "1.0 KB");
    EXPECT_EQ(kv::TrayBytes(999'960), "1.0 MB") << "no 1000.0 KB";
    EXPECT_EQ(kv::TrayBytes(3'149'000), "3.1 MB");
    EXPECT_EQ(kv::TrayBytes(1'230'000'000), "1.2 GB");
    EXPECT_EQ(kv::TrayBytes(UINT64_MAX), "18.4 EB");
}
