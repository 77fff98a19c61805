// The settings page's PIN actions as the program wires them: the real main
// window and engine against the simulator, the card's PIN check taken from
// what the engine's card check saw, the commands sent on the modem port.
#include "ShellFixture.h"

#include "app/AppIds.h"
#include "app/AppWiring.h"
#include "app/ConfigIds.h"
#include "app/ConfigView.h"
#include "app/Dialer_oneDlg.h"
#include "controls/DialogIds.h"
#include "controls/PinDlg.h"
#include "settings/Profile.h"
#include "sim/ModemSimulator.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTimer>

using namespace kv;
using namespace kvapp;
using namespace kvapp::cfg;
using kvtest::PumpUntil;

namespace {

class SettingsOnSimulator : public kvtest::ShellTest {
protected:
    void TearDown() override
    {
        view.reset();
        if (dlg) {
            dlg->CloseProcedure();
            dlg.reset();
        }
        if (sim)
            sim->Stop();
        kvtest::ShellTest::TearDown();
    }
    // The window started against a modem whose card is locked or not; the
    // PIN dialog of a locked card is answered with the card's PIN.
    void OpenWindow(bool pinLocked)
    {
        sim::ModemSimulator::Options o;
        o.unsolicitedPeriodMs = 0;
        o.pinLocked = pinLocked;
        sim = std::make_unique<sim::ModemSimulator>(o);
        ASSERT_TRUE(sim->Start());
        QTimer answerPin;
        QObject::connect(&answerPin, &QTimer::timeout, [&] {
            CPinDlg* open = CPinDlg::OpenDialog();
            if (!open || !open->isVisible())
                return;
            ++pinDialogs;
            open->findChild<QLineEdit*>(QString::number(kvui::IDC_PIN_NEW))->setText("1234");
            open->OnOK();
        });
        answerPin.start(20);
        dlg = std::make_unique<CDialer_oneDlg>();
        dlg->OnInitDialog();
        dlg->show();
        // The first status poll comes after the start-up chain's card check.
        ASSERT_TRUE(PumpUntil([&] { return dlg->Panel().Battery() != CStatusPanel::kUnknown; }, 30000));
    }
    void OpenRuimPage()
    {
        ConfigEnv env = SettingsEnvOf(*dlg);
        env.messageBox = [this](const std::string& text, BoxIcon) { boxes.push_back(text); };
        view = std::make_unique<CConfigView>(env, dlg.get());
        view->SetPage(PAGE_RUIM);
        view->OnInitDialog();
        view->show();
    }
    QStringList Actions() const
    {
        auto* list = static_cast<QComboBox*>(view->Control(IDC_PIN_ACTION));
        QStringList items;
        for (int i = 0; i < list->count(); ++i)
            items << list->itemText(i);
        return items;
    }
    bool CardPinEnabled()
    {
        return sim->WithModel([](sim::ModemModel& m) { return m.card.pinEnabled; });
    }

    // The engine's own boxes (the PIN verification's result).
    kvtest::BoxCloser engineBoxes;
    std::unique_ptr<sim::ModemSimulator> sim;
    std::unique_ptr<CDialer_oneDlg> dlg;
    std::unique_ptr<CConfigView> view;
    std::vector<std::string> boxes;
    int pinDialogs = 0;
};

} // namespace

TEST_F(SettingsOnSimulator, AnUnlockedProtectedCardOffersDisableAndChangeAndDisableTurnsTheListToEnable)
{
    OpenWindow(true);
    ASSERT_EQ(pinDialogs, 1);
    EXPECT_EQ(engineBoxes.texts, std::vector<std::string>{"Successful Pin Code Verification."});
    OpenRuimPage();
    EXPECT_EQ(Actions(), (QStringList{"Disable", "Change"}));
    EXPECT_EQ(view->LabelText("ruim_status").toStdString().rfind("[Enabled]", 0), 0u)
        << view->LabelText("ruim_status").toStdString();

    static_cast<QLineEdit*>(view->Control(IDC_PIN_1))->setText("1234");
    view->OnApply();
    EXPECT_EQ(boxes, std::vector<std::string>{"Pin disable success!"});
    EXPECT_FALSE(CardPinEnabled());
    // The page now offers what the card has, and so does the next opening.
    EXPECT_EQ(Actions(), QStringList{"Enable"});
    EXPECT_EQ(view->LabelText("ruim_status").toStdString().rfind("[Disabled]", 0), 0u);
    OpenRuimPage();
    EXPECT_EQ(Actions(), QStringList{"Enable"});
    EXPECT_EQ(kv::GetProfileString("chv_enable", "num", "", 8, "teal_dialer.ini"), "0");
}

TEST_F(SettingsOnSimulator, AnUnprotectedCardOffersEnableAndEnableProtectsIt)
{
    OpenWindow(false);
    EXPECT_EQ(pinDialogs, 0);
    OpenRuimPage();
    EXPECT_EQ(Actions(), QStringList{"Enable"});

    static_cast<QLineEdit*>(view->Control(IDC_PIN_1))->setText("1234");
    view->OnApply();
    EXPECT_EQ(boxes, std::vector<std::string>{"Pin enable success!"});
    EXPECT_TRUE(CardPinEnabled());
    EXPECT_EQ(Actions(), (QStringList{"Disable", "Change"}));
}
