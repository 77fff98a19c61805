// The program's start-up as a whole: one copy at a time, the port written
// to the settings, the main window run modally and everything released.
#include "ShellFixture.h"

#include "app/Dialer_one.h"
#include "app/Dialer_oneDlg.h"
#include "app/LogWindowPlace.h"
#include "controls/DebugViews.h"
#include "controls/DialogIds.h"
#include "controls/HListBox.h"
#include "platform/SingleInstance.h"
#include "settings/Profile.h"
#include "sim/ModemSimulator.h"

#include <QPushButton>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

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
    ASSERT_EQ(first.Acquire(), CSingleInstance::Result::Held);

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
    EXPECT_EQ(next.Acquire(), CSingleInstance::Result::Held);
}

TEST_F(AppStartup, ALockThatCannotBeOpenedIsReportedAsWhatItIs)
{
    // Something that is not a file sits where the lock belongs.
    ASSERT_EQ(::mkdir(CSingleInstance::LockPath().c_str(), 0700), 0);
    BoxCloser boxes;
    CDialer_oneApp app;
    bool windowMade = false;
    app.SetWiring([&](CDialer_oneApp&, CDialer_oneDlg&) { windowMade = true; });
    EXPECT_FALSE(app.InitInstance());
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_NE(boxes.texts[0], "This program is already running !! ");
    EXPECT_NE(boxes.texts[0].find(CSingleInstance::LockPath()), std::string::npos) << boxes.texts[0];
    EXPECT_NE(boxes.texts[0].find("Is a directory"), std::string::npos) << boxes.texts[0];
    EXPECT_EQ(boxes.captions[0], "Korvianet");
    EXPECT_FALSE(windowMade);
    ::rmdir(CSingleInstance::LockPath().c_str());
}

TEST_F(AppStartup, ASettingsFolderOfAnotherUserIsRefusedWithAMessage)
{
    // Someone else's folder, open to all: one made by another user when the
    // test runs as root, else a system folder.
    std::string theirs = "/usr";
    if (::geteuid() == 0) {
        theirs = settings.Path("theirs");
        ASSERT_EQ(::mkdir(theirs.c_str(), 0777), 0);
        ::chmod(theirs.c_str(), 0777);
        ASSERT_EQ(::chown(theirs.c_str(), 65533, 65533), 0);
    }
    setenv("KORVIANET_CONFIG_DIR", theirs.c_str(), 1);
    BoxCloser boxes;
    CDialer_oneApp app;
    bool windowMade = false;
    app.SetWiring([&](CDialer_oneApp&, CDialer_oneDlg&) { windowMade = true; });
    EXPECT_FALSE(app.InitInstance());
    setenv("KORVIANET_CONFIG_DIR", settings.Dir().c_str(), 1);
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_NE(boxes.texts[0].find("the folder " + theirs + " belongs to another user"), std::string::npos)
        << boxes.texts[0];
    EXPECT_EQ(boxes.captions[0], "Korvianet");
    EXPECT_FALSE(windowMade);
    struct stat st {};
    EXPECT_NE(::stat((theirs + "/teal_dialer.ini").c_str(), &st), 0);
}

TEST_F(AppStartup, DiagnosticRunLeavesTheLogWindowUsableBesideTheModalWindow)
{
    setenv("KORVIANET_LOG_WINDOW", "1", 1);
    CDialer_oneApp app;
    int listedBefore = -1, listedAfter = -1;
    bool shown = false;
    app.SetOnShown([&](CDialer_oneDlg& dlg) {
        CDebugViews* log = CDialer_oneApp::Instance()->LogWindow();
        shown = log && log->isVisible();
        if (shown) {
            log->AddLine("a line to clear");
            listedBefore = log->List()->GetCount();
            // A click delivered to the log window as the window system
            // would, which the modal loop swallows if it blocks the window.
            auto* clear = log->findChild<QPushButton*>(QString::number(kvui::IDC_LOG_CLEAR));
            if (clear && log->windowHandle())
                QTest::mouseClick(log->windowHandle(), Qt::LeftButton, {},
                                  clear->mapTo(log, clear->rect().center()));
            listedAfter = log->List()->GetCount();
        }
        dlg.CloseProcedure();
    });
    EXPECT_FALSE(app.InitInstance());
    unsetenv("KORVIANET_LOG_WINDOW");
    ASSERT_TRUE(shown);
    EXPECT_GT(listedBefore, 0);
    EXPECT_EQ(listedAfter, 0);
}

TEST(LogWindowPlace, BesideTheFaceWhenThereIsRoomElseCoveringTheLeast)
{
    using kvapp::LogWindowPlace;
    const QSize log(561, 349);
    // A wide screen: right of the face, top edges aligned, nothing covered.
    const QRect wideFace(710, 220, 492, 470);
    const QPoint right = LogWindowPlace(wideFace, log, QRect(0, 0, 1920, 1080));
    EXPECT_EQ(right, QPoint(1202, 220));
    // Face near the right edge: the left side is taken instead.
    const QRect rightFace(1400, 100, 492, 470);
    const QPoint left = LogWindowPlace(rightFace, log, QRect(0, 0, 1920, 1080));
    EXPECT_FALSE(QRect(left, log).intersects(rightFace));
    // 1024 x 768 with a centred face: no free side, so the window goes where
    // it covers the least of the face, fully on the screen.
    const QRect screen(0, 0, 1024, 768), face(252, 24, 492, 470);
    const QPoint tight = LogWindowPlace(face, log, screen);
    EXPECT_TRUE(screen.contains(QRect(tight, log)));
    const QRect covered = QRect(tight, log).intersected(face);
    const QRect centred = QRect(QPoint(231, 209), log).intersected(face);
    EXPECT_LT(covered.width() * covered.height(), centred.width() * centred.height() / 4);
    // A window larger than the screen keeps its top-left corner on it.
    const QPoint huge = LogWindowPlace(face, QSize(2000, 2000), screen);
    EXPECT_EQ(huge, QPoint(0, 0));
}

TEST_F(AppStartup, AnUnusableDataFolderIsShownWithoutHoldingUpTheWindow)
{
    // The data folder's place holds a plain file: no database can be made.
    settings.WriteFile("blocked", "x");
    setenv("KORVIANET_DATA_DIR", settings.Path("blocked").c_str(), 1);
    unsetenv("KORVIANET_DB");
    CDialer_oneApp app;
    bool ran = false;
    std::string warning;
    app.SetOnShown([&](CDialer_oneDlg& dlg) {
        ran = true;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->objectName() == "databaseSetupFailure") {
                warning = box->windowTitle().toStdString() + ": " + box->text().toStdString();
                EXPECT_FALSE(box->isModal());
                box->close();
            }
        EXPECT_FALSE(dlg.Database()->OpenSmsCursor());
        dlg.CloseProcedure();
    });
    EXPECT_FALSE(app.InitInstance());
    setenv("KORVIANET_DATA_DIR", settings.DataDir().c_str(), 1);
    EXPECT_TRUE(ran) << "the window runs without its database";
    EXPECT_NE(warning.find("Korvianet: "), std::string::npos) << warning;
    EXPECT_NE(warning.find(settings.Path("blocked")), std::string::npos) << warning;
}
