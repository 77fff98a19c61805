// The phonebook page in the running window: SEND with an empty number opens
// the call history picker at once, and the call chosen there comes back to
// the dial pad and is dialled.
#include "ShellFixture.h"

#include "app/AppWiring.h"
#include "app/Dialer_oneDlg.h"
#include "app/SystemTray.h"
#include "contacts/PhoneBookView.h"
#include "data/AppDatabase.h"
#include "data/DataConstants.h"
#include "sim/ModemSimulator.h"

#include <QAbstractButton>
#include <QTableWidget>
#include <QTest>
#include <filesystem>

using namespace kv;
using kvtest::PumpUntil;

namespace {

class PhoneBookWiring : public kvtest::ShellTest {
protected:
    void TearDown() override
    {
        kvtest::CloseWindow(dlg, db, sim);
        CSystemTray::ForceAvailable(-1);
        kvtest::ShellTest::TearDown();
    }

    std::unique_ptr<sim::ModemSimulator> sim;
    std::unique_ptr<CAppDatabase> db;
    std::unique_ptr<CDialer_oneDlg> dlg;
};

} // namespace

TEST_F(PhoneBookWiring, SendWithAnEmptyNumberOpensTheHistoryPickerAndDialsTheChosenCall)
{
    const std::string dbPath = settings.Path("WVL.MDB");
    std::filesystem::copy_file(KORVIA_BUILT_DB, dbPath);
    {
        CAppDatabase seed(dbPath);
        std::tm start{};
        start.tm_year = 126;
        start.tm_mday = 1;
        ASSERT_TRUE(seed.AppendCallRecord(kCallMissed, "8585550111", "Eve", start, 0));
    }
    sim::ModemSimulator::Options o;
    o.unsolicitedPeriodMs = 0;
    sim = std::make_unique<sim::ModemSimulator>(o);
    ASSERT_TRUE(sim->Start());
    db = std::make_unique<CAppDatabase>(dbPath);
    dlg = std::make_unique<CDialer_oneDlg>(db.get());
    kvapp::WireMessaging(*dlg, *db);
    dlg->OnInitDialog();
    dlg->show();
    ASSERT_TRUE(PumpUntil([&] { return dlg->Control(IDC_SMS_TOGGLE)->isEnabled(); }, 60000));
    ASSERT_EQ(dlg->UserActiveView(VIEW_DIAL_PAD, 0), 1);

    // The picker runs modally: choose the call from inside its loop.
    bool sawHistory = false;
    QTimer chooser;
    chooser.setInterval(20);
    QObject::connect(&chooser, &QTimer::timeout, [&] {
        auto* v = qobject_cast<kvpb::CPhoneBookView*>(QApplication::activeModalWidget());
        if (!v)
            return;
        chooser.stop();
        sawHistory = v->Page() == pbpage::PAGE_HISTORY && v->List()->rowCount() == 1
                     && dlg->State().m_nModalView.load() == MODAL_PICKER;
        v->List()->selectRow(0);
        v->OnVoiceCall();
    });
    chooser.start();
    auto* pad = dlg->findChild<QWidget*>("CVcallView");
    ASSERT_NE(pad, nullptr);
    QTest::mouseClick(pad->findChild<QAbstractButton*>("vcall_1019"), Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return dlg->State().m_wUiPhase.load() == UI_PHASE_OUTGOING; }, 15000));
    EXPECT_TRUE(sawHistory);
    EXPECT_EQ(dlg->State().m_nActiveView.load(), VIEW_DIAL_PAD);
    EXPECT_EQ(dlg->DialPad()->Number(), "8585550111");
    EXPECT_EQ(dlg->State().m_nModalView.load(), MODAL_NONE);
    EXPECT_TRUE(PumpUntil([&] { return sim->Command("calls").find("8585550111") != std::string::npos; }, 5000))
        << sim->Command("calls");
}
