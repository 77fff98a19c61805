// The program's start-up as a whole: one copy at a time, the port written
// to the settings, the main window run modally and everything released.
#include "ShellFixture.h"

#include "app/Dialer_one.h"
#include "app/Dialer_oneDlg.h"
#include "platform/SingleInstance.h"
#include "settings/Profile.h"
#include "sim/ModemSimulator.h"

using namespace kv;
using kvtest::BoxCloser;

namespace {
class AppStartup : public kvtest::ShellTest {};
} // namespace

TEST_F(AppStartup, ASecondCopyIsRefusedAfterWritingThePortItFound)
{
    sim::ModemSimulator::Options o;
    o.unsolicitedPeriodMs = 0;
    sim::ModemSimulator modem(o);
    ASSERT_TRUE(modem.Start());
    CSingleInstance first;
    ASSERT_TRUE(first.Acquire());

    BoxCloser boxes;
    CDialer_oneApp app;
    bool windowMade = false;
    app.SetWiring([&](CDialer_oneApp&, CDialer_oneDlg&) { windowMade = true; });
    EXPECT_FALSE(app.InitInstance());
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0], "This program is already running !! ");
    EXPECT_EQ(boxes.captions[0], "Korvianet");
    EXPECT_FALSE(windowMade);
    EXPECT_TRUE(first.Held());
    EXPECT_EQ(GetProfileInt("comport", "num", 0, "teal_dialer.ini"), modem.ComNumber());
}

TEST_F(AppStartup, RunsTheWindowUntilItClosesThenReleasesTheLock)
{
    WriteProfileString("comport", "num", "7", "teal_dialer.ini");
    CDialer_oneApp app;
    bool ran = false;
    app.SetOnShown([&](CDialer_oneDlg& dlg) {
        ran = true;
        EXPECT_EQ(CDialer_oneApp::Instance()->MainWnd(), &dlg);
        EXPECT_TRUE(dlg.isVisible());
        dlg.CloseProcedure();
    });
    EXPECT_FALSE(app.InitInstance());
    EXPECT_TRUE(ran);
    EXPECT_EQ(app.MainWnd(), nullptr);
    // No modem: the settings keep the port they had; a new copy may start.
    EXPECT_EQ(GetProfileInt("comport", "num", 0, "teal_dialer.ini"), 7);
    CSingleInstance next;
    EXPECT_TRUE(next.Acquire());
}
