// The main window's page buttons against the simulated modem: hidden while
// the start-up runs, then shown with their pictures and tooltips in free
// places of the face, each doing its work when clicked; a modem pulled out
// leaves them shown but disabled. The traffic button needs no modem: it is
// there as soon as the window has initialised and stays usable.
#include "ShellFixture.h"

#include "app/AppIds.h"
#include "app/AppWiring.h"
#include "app/ConfigIds.h"
#include "app/ConfigView.h"
#include "app/Dialer_oneDlg.h"
#include "app/SystemTray.h"
#include "contacts/PhoneBookView.h"
#include "controls/HoverButton.h"
#include "controls/Skin.h"
#include "controls/SkinIds.h"
#include "data/AppDatabase.h"
#include "host/PageButtons.h"
#include "sim/ModemSimulator.h"

#include <QTest>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <iterator>

using namespace kv;
using kv::statusid::IDC_EAR_VOLUME;
using kvtest::PumpUntil;

namespace {

class PageButtonsWindow : public kvtest::ShellTest {
protected:
    void SetUp() override
    {
        kvtest::ShellTest::SetUp();
        dbPath = settings.Path("WVL.MDB");
        std::filesystem::copy_file(KORVIA_BUILT_DB, dbPath);
        sim::ModemSimulator::Options o;
        o.unsolicitedPeriodMs = 0;
        sim = std::make_unique<sim::ModemSimulator>(o);
        ASSERT_TRUE(sim->Start());
        db = std::make_unique<CAppDatabase>(dbPath);
        dlg = std::make_unique<CDialer_oneDlg>(db.get());
        kvapp::WireMessaging(*dlg, *db);
        dlg->OnInitDialog();
        dlg->show();
    }
    void TearDown() override
    {
        kvtest::CloseWindow(dlg, db, sim);
        CSystemTray::ForceAvailable(-1);
        kvtest::ShellTest::TearDown();
    }
    CHoverButton* Button(int id) const { return qobject_cast<CHoverButton*>(dlg->Control(id)); }
    // The chain's end shows the buttons (they are never disabled before it).
    bool StartUpDone() const
    {
        for (int id : kPageButtons)
            if (!Button(id)->isVisible() || !Button(id)->isEnabled())
                return false;
        return true;
    }

    std::string dbPath;
    std::unique_ptr<sim::ModemSimulator> sim;
    std::unique_ptr<CAppDatabase> db;
    std::unique_ptr<CDialer_oneDlg> dlg;
};

} // namespace

TEST_F(PageButtonsWindow, ShownAfterTheStartUpWithTheirPicturesInFreePlaces)
{
    for (int id : kPageButtons) {
        ASSERT_NE(Button(id), nullptr) << id;
        EXPECT_FALSE(Button(id)->isVisible()) << id << " shown before the start-up ended";
    }
    ASSERT_NE(Button(IDC_TRAFFIC_TAB), nullptr);
    EXPECT_TRUE(Button(IDC_TRAFFIC_TAB)->isVisible()) << "shown by the initialisation, not the start-up";
    EXPECT_TRUE(Button(IDC_TRAFFIC_TAB)->isEnabled());
    EXPECT_EQ(Button(IDC_TRAFFIC_TAB)->TooltipText(), kvapp::text::kTipTraffic);
    ASSERT_TRUE(PumpUntil([&] { return StartUpDone(); }, 60000));
    EXPECT_NE(dlg->State().m_nPortState.load(), DM_STOPPED);

    const struct {
        int id;
        int bitmap;
        QPoint at;
    } expected[] = {
        {IDC_DIAL_TOGGLE, kvui::IDB_BTN_DIAL_PAD, {18, 160}}, {IDC_SMS_TOGGLE, kvui::IDB_BTN_SMS_PAGE, {45, 160}},
        {IDC_PHONEBOOK, kvui::IDB_BTN_PHONEBOOK, {72, 160}},  {IDC_VOLUME_DOWN, kvui::IDB_BTN_VOL_DOWN, {15, 140}},
        {IDC_VOLUME_UP, kvui::IDB_BTN_VOL_UP, {51, 140}},
        // The template's place, 6 x 210 dialog units.
        {IDC_TRAFFIC_TAB, kvui::IDB_BTN_TRAFFIC, {10, 420}},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.id);
        CHoverButton* b = Button(e.id);
        EXPECT_TRUE(b->isVisible());
        EXPECT_TRUE(b->isEnabled());
        EXPECT_FALSE(b->TooltipText().isEmpty());
        // A four-frame strip: the disabled frame is there for a removed modem.
        EXPECT_EQ(b->FrameCount(), 4);
        const QPixmap strip = kvui::SkinPixmap(e.bitmap);
        EXPECT_EQ(b->size(), QSize(strip.width() / 4, strip.height()));
        EXPECT_EQ(b->pos(), e.at);
        // Clear of every other control shown on the face.
        for (QWidget* other : dlg->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (other == b || !other->isVisible())
                continue;
            EXPECT_FALSE(b->geometry().intersects(other->geometry()))
                << "overlaps control " << other->objectName().toStdString();
        }
    }
    // The ear volume sits between the two volume buttons.
    const QRect ear = dlg->Control(IDC_EAR_VOLUME)->geometry();
    EXPECT_LE(Button(IDC_VOLUME_DOWN)->geometry().right(), ear.left());
    EXPECT_GE(Button(IDC_VOLUME_UP)->geometry().left(), ear.right());
}

TEST_F(PageButtonsWindow, EachButtonDoesItsWorkWhenClicked)
{
    ASSERT_TRUE(PumpUntil([&] { return StartUpDone(); }, 60000));

    // The dial pad toggles.
    QTest::mouseClick(Button(IDC_DIAL_TOGGLE), Qt::LeftButton);
    EXPECT_EQ(dlg->State().m_nActiveView.load(), VIEW_DIAL_PAD);
    QTest::mouseClick(Button(IDC_DIAL_TOGGLE), Qt::LeftButton);
    EXPECT_EQ(dlg->State().m_nActiveView.load(), VIEW_STATUS);

    // The SMS switch loads the messages of both storages.
    QTest::mouseClick(Button(IDC_SMS_TOGGLE), Qt::LeftButton);
    EXPECT_TRUE(PumpUntil([&] { return (dlg->State().m_ucUiFlags.load() & UIF_SMS_LOADED) != 0; }, 15000));
    dlg->UserActiveView(VIEW_STATUS, 0);

    // The phonebook runs modally as the picker; closed from inside its loop.
    bool sawPicker = false;
    QTimer closer;
    closer.setInterval(20);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        auto* v = qobject_cast<kvpb::CPhoneBookView*>(QApplication::activeModalWidget());
        if (!v)
            return;
        closer.stop();
        sawPicker = dlg->State().m_nModalView.load() == MODAL_PICKER;
        v->reject();
    });
    closer.start();
    QTest::mouseClick(Button(IDC_PHONEBOOK), Qt::LeftButton);
    EXPECT_TRUE(PumpUntil([&] { return sawPicker && dlg->State().m_nModalView.load() == MODAL_NONE; }, 10000));

    // The volume goes up a step and down again; the engine shows each level.
    const int before = dlg->IndicatorBitmap(IDC_EAR_VOLUME);
    ASSERT_NE(before, 0);
    ASSERT_NE(before, kvui::IDB_VOL_4) << "the simulator starts below the top";
    QTest::mouseClick(Button(IDC_VOLUME_UP), Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return dlg->IndicatorBitmap(IDC_EAR_VOLUME) != before; }, 10000));
    ASSERT_TRUE(PumpUntil([&] { return Button(IDC_VOLUME_DOWN)->isEnabled(); }, 5000));
    QTest::mouseClick(Button(IDC_VOLUME_DOWN), Qt::LeftButton);
    EXPECT_TRUE(PumpUntil([&] { return dlg->IndicatorBitmap(IDC_EAR_VOLUME) == before; }, 10000));

    // The traffic button opens the settings page on the current month.
    const kvapp::PageHooks saved = CDialer_oneDlg::Hooks();
    kvapp::WireSettingsPage();
    int page = kvapp::cfg::PAGE_NONE;
    QTimer settingsCloser;
    settingsCloser.setInterval(20);
    QObject::connect(&settingsCloser, &QTimer::timeout, [&] {
        auto* v = qobject_cast<kvapp::CConfigView*>(QApplication::activeModalWidget());
        if (!v)
            return;
        settingsCloser.stop();
        page = v->CurrentPage();
        static_cast<QAbstractButton*>(v->Control(kvapp::cfg::IDC_EXIT))->click();
    });
    settingsCloser.start();
    QTest::mouseClick(Button(IDC_TRAFFIC_TAB), Qt::LeftButton);
    EXPECT_TRUE(PumpUntil([&] { return page != kvapp::cfg::PAGE_NONE && dlg->State().m_nModalView.load() == MODAL_NONE; }, 10000));
    EXPECT_EQ(page, kvapp::cfg::PAGE_MONTH);
    CDialer_oneDlg::Hooks() = saved;
}

TEST_F(PageButtonsWindow, AModemPulledOutLeavesThemShownButDisabled)
{
    ASSERT_TRUE(PumpUntil([&] { return StartUpDone(); }, 60000));
    ASSERT_EQ(sim->Command("unplug"), "OK\n");
    // The removal disables the buttons one posted step after another: wait
    // for the last of them, not only the first.
    ASSERT_TRUE(PumpUntil(
        [&] { return std::none_of(std::begin(kPageButtons), std::end(kPageButtons), [&](int id) { return Button(id)->isEnabled(); }); },
        10000));
    for (int id : kPageButtons) {
        EXPECT_TRUE(Button(id)->isVisible()) << id;
        EXPECT_FALSE(Button(id)->isEnabled()) << id;
        EXPECT_EQ(Button(id)->CurrentFrame(), 3) << id << " shows its disabled frame";
    }
    EXPECT_TRUE(Button(IDC_TRAFFIC_TAB)->isVisible());
    EXPECT_TRUE(Button(IDC_TRAFFIC_TAB)->isEnabled()) << "the traffic figures need no modem";
}
