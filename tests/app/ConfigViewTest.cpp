// The settings page: the page it opens on, Apply on each page with the
// message boxes and what is stored, the PIN actions against a fake modem
// port, the month limits and the live traffic figures, and the page opened
// from the main window without a modem.
#include "ShellFixture.h"

#include "app/AppIds.h"
#include "app/AppWiring.h"
#include "app/ConfigIds.h"
#include "app/ConfigView.h"
#include "app/Dialer_oneDlg.h"
#include "controls/TextStatic.h"
#include "controls/UserMessage.h"
#include "settings/Autorun.h"
#include "settings/Profile.h"
#include "traffic/TrafficStats.h"

#include "version/Version.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

using namespace kvapp;
using namespace kvapp::cfg;
using kvtest::PumpUntil;

namespace {

// A modem port that records every command and answers each with one text.
class FakeAtPort : public kv::IAtPort {
public:
    bool IsOpen() const override { return true; }
    bool TryBeginExchange() override { return true; }
    void EndExchange() override {}
    bool RearmEventMask(uint16_t&) override { return true; }
    int SendAtCommand(const std::string& text) override
    {
        sent.push_back(text);
        m_pending = answer;
        return int(text.size());
    }
    int ReadAtAnswer(uint8_t* buffer, int size) override
    {
        const int n = std::min<int>(size, int(m_pending.size()));
        std::copy_n(m_pending.begin(), n, buffer);
        m_pending.erase(0, size_t(n));
        return n;
    }
    void Pause(int) override {}
    std::string answer = "\r\nOK\r\n";
    std::vector<std::string> sent;

private:
    std::string m_pending;
};

std::string Ini(const char* section, const char* key)
{
    return kv::GetProfileString(section, key, "<none>", 64, "teal_dialer.ini");
}

class ConfigPage : public kvtest::ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        setenv("XDG_CONFIG_HOME", settings.Dir().c_str(), 1);
        env.messageBox = [this](const std::string& text, BoxIcon icon) {
            boxes.push_back(text);
            icons.push_back(icon);
        };
        env.setDialAccount = [this](const std::string& u, const std::string& p, const std::string* n) {
            ++accountCalls;
            user = u;
            password = p;
            number = n ? *n : "<kept>";
        };
    }
    void TearDown() override
    {
        view.reset();
        unsetenv("XDG_CONFIG_HOME");
        ShellTest::TearDown();
    }
    CConfigView& Open(int page = -1)
    {
        view = std::make_unique<CConfigView>(env);
        if (page > 0)
            view->SetPage(page);
        view->OnInitDialog();
        view->show();
        return *view;
    }
    template <class T> T* C(int id) const { return static_cast<T*>(view->Control(id)); }
    QString Label(const char* name) const { return view->LabelText(name); }

    ConfigEnv env;
    std::unique_ptr<CConfigView> view;
    std::vector<std::string> boxes;
    std::vector<BoxIcon> icons;
    int accountCalls = 0;
    std::string user, password, number;
};

} // namespace

TEST_F(ConfigPage, OpensOnAboutWithItsButtonDisabledAndTheHiddenPagesHidden)
{
    Open();
    EXPECT_EQ(view->CurrentPage(), PAGE_ABOUT);
    EXPECT_FALSE(C<QWidget>(IDC_PAGE_ABOUT)->isEnabled());
    for (int id : {IDC_PAGE_BASIC, IDC_PAGE_RUIM, IDC_PAGE_ADVANCED, IDC_PAGE_USER, IDC_EXIT}) {
        EXPECT_TRUE(C<QWidget>(id)->isVisible()) << id;
        EXPECT_TRUE(C<QWidget>(id)->isEnabled()) << id;
    }
    for (int id : {IDC_PAGE_NAMING, IDC_PAGE_BOOST, IDC_PAGE_TRAFFIC, IDC_PAGE_MONTH, IDC_PAGE_PREV_MONTH})
        EXPECT_FALSE(C<QWidget>(id)->isVisible()) << id;
    EXPECT_EQ(Label("version").toStdString(), std::string("SW Ver : Korvia Module UI v") + kv::ProgramVersion());
    EXPECT_EQ(view->size(), QSize(344, 326));
    EXPECT_FALSE(C<QWidget>(IDC_APPLY)->isVisible());

    // The page buttons switch, User to its own page (always on top and the
    // battery sound).
    C<QAbstractButton>(IDC_PAGE_BASIC)->click();
    EXPECT_EQ(view->CurrentPage(), PAGE_BASIC);
    EXPECT_TRUE(C<QWidget>(IDC_PAGE_ABOUT)->isEnabled());
    C<QAbstractButton>(IDC_PAGE_USER)->click();
    EXPECT_EQ(view->CurrentPage(), PAGE_USER);
    EXPECT_TRUE(C<QWidget>(IDC_TOP_LIST)->isVisible());
}

TEST_F(ConfigPage, TheTrafficPagesReachEachOtherThroughTheirTabs)
{
    Open(PAGE_MONTH);
    for (int id : {IDC_PAGE_TRAFFIC, IDC_PAGE_MONTH, IDC_PAGE_PREV_MONTH})
        EXPECT_TRUE(C<QWidget>(id)->isVisible()) << id;
    EXPECT_FALSE(C<QWidget>(IDC_PAGE_MONTH)->isEnabled());
    C<QAbstractButton>(IDC_PAGE_TRAFFIC)->click();
    EXPECT_EQ(view->CurrentPage(), PAGE_TRAFFIC);
    EXPECT_TRUE(C<QWidget>(IDC_TRAFFIC_RESET)->isVisible());
    C<QAbstractButton>(IDC_PAGE_PREV_MONTH)->click();
    EXPECT_EQ(view->CurrentPage(), PAGE_PREV_MONTH);
    // The tabs sit between the page buttons and the page, apart from both.
    const QRect tab = C<QWidget>(IDC_PAGE_PREV_MONTH)->geometry();
    EXPECT_GE(tab.top(), C<QWidget>(IDC_PAGE_USER)->geometry().bottom());
    EXPECT_LE(tab.right(), view->width());
    // Leaving for another page hides them.
    C<QAbstractButton>(IDC_PAGE_BASIC)->click();
    EXPECT_FALSE(C<QWidget>(IDC_PAGE_TRAFFIC)->isVisible());
}

TEST_F(ConfigPage, BasicApplyWithTheAccountBoxUncheckedChangesOnlyTheNextConnection)
{
    Open(PAGE_BASIC);
    C<QLineEdit>(IDC_USERNAME)->setText("alice");
    C<QLineEdit>(IDC_PASSWORD)->setText("secret");
    EXPECT_EQ(C<QLineEdit>(IDC_PASSWORD)->echoMode(), QLineEdit::Password);
    view->OnApply();
    EXPECT_EQ(accountCalls, 1);
    EXPECT_EQ(user, "alice");
    EXPECT_EQ(password, "secret");
    EXPECT_EQ(number, "<kept>");
    EXPECT_EQ(Ini("username", "text"), "<none>");
    EXPECT_EQ(Ini("password", "text"), "<none>");
    EXPECT_EQ(Ini("apn_type", "dynamic"), "checked");
    EXPECT_EQ(Ini("apn_type", "static"), "unchecked");
    EXPECT_EQ(boxes, std::vector<std::string>{"Setup OK    "});
    EXPECT_TRUE(C<QWidget>(IDC_APPLY)->isEnabled());
}

TEST_F(ConfigPage, BasicApplyWithTheAccountBoxCheckedStoresItAndPicksTheDialNumber)
{
    env.imsi = [] { return std::string("460030912345678"); };
    Open(PAGE_BASIC);
    C<QCheckBox>(IDC_ACCOUNT_CHECK)->setChecked(true);
    C<QLineEdit>(IDC_USERNAME)->setText("bob");
    view->OnApply();
    EXPECT_EQ(Ini("username", "text"), "bob");
    EXPECT_EQ(number, "#777");

    env.imsi = [] { return std::string("262011234567890"); };
    Open(PAGE_BASIC);
    EXPECT_EQ(C<QLineEdit>(IDC_USERNAME)->text(), "bob") << "the stored account is loaded";
    C<QCheckBox>(IDC_ACCOUNT_CHECK)->setChecked(true);
    view->OnApply();
    EXPECT_EQ(number, "*99#");
}

TEST_F(ConfigPage, StaticWithAnEmptyApnStoresTheModeButNoApn)
{
    Open(PAGE_BASIC);
    C<QCheckBox>(IDC_ACCOUNT_CHECK)->setChecked(true);
    C<QLineEdit>(IDC_USERNAME)->setText("carol");
    C<QRadioButton>(IDC_APN_STATIC)->click();
    EXPECT_TRUE(C<QWidget>(IDC_APN_LIST)->isEnabled());
    EXPECT_TRUE(C<QWidget>(IDC_APN_DELETE)->isEnabled());
    C<QComboBox>(IDC_APN_LIST)->setEditText("");
    view->OnApply();
    EXPECT_EQ(Ini("username", "text"), "carol");
    EXPECT_EQ(Ini("apn_type", "static"), "checked");
    EXPECT_EQ(Ini("apn_type", "dynamic"), "unchecked");
    EXPECT_EQ(Ini("apn_content", "current"), "<none>");
    EXPECT_EQ(boxes, std::vector<std::string>{"APN is empty,please input APN!"});

    // Dynamic empties and disables the field again.
    C<QComboBox>(IDC_APN_LIST)->setEditText("x");
    C<QRadioButton>(IDC_APN_DYNAMIC)->click();
    EXPECT_FALSE(C<QWidget>(IDC_APN_LIST)->isEnabled());
    EXPECT_FALSE(C<QWidget>(IDC_APN_DELETE)->isEnabled());
    EXPECT_EQ(C<QComboBox>(IDC_APN_LIST)->currentText(), "");
}

TEST_F(ConfigPage, AnApnListedInOtherCaseIsNotAddedAndTheFileComesBackUpperCase)
{
    settings.WriteFile("data/static_apn.txt", "internet\n\nwap.example\n");
    kv::WriteProfileString("apn_type", "static", "checked", "teal_dialer.ini");
    kv::WriteProfileString("apn_content", "current", "WAP.EXAMPLE", "teal_dialer.ini");
    Open(PAGE_BASIC);
    auto* list = C<QComboBox>(IDC_APN_LIST);
    EXPECT_EQ(list->count(), 2);
    EXPECT_EQ(list->currentText(), "WAP.EXAMPLE");
    EXPECT_TRUE(C<QRadioButton>(IDC_APN_STATIC)->isChecked());

    list->setEditText("Internet");
    view->OnApply();
    EXPECT_EQ(settings.ReadFile("data/static_apn.txt"), "INTERNET\nWAP.EXAMPLE\n");
    EXPECT_EQ(list->count(), 2);
    EXPECT_EQ(Ini("apn_content", "current"), "INTERNET");

    list->setEditText("new.apn");
    view->OnApply();
    EXPECT_EQ(settings.ReadFile("data/static_apn.txt"), "INTERNET\nWAP.EXAMPLE\nNEW.APN\n");
    EXPECT_EQ(list->count(), 3);
    EXPECT_EQ(list->itemText(2), "new.apn") << "added last, outside the sorted order";
    EXPECT_EQ(boxes, (std::vector<std::string>{"Setup OK    ", "Setup OK    "}));
}

TEST_F(ConfigPage, DeleteRemovesTheApnInAnyCaseAndAsksForOneWhenEmpty)
{
    settings.WriteFile("data/static_apn.txt", "ALPHA\nBETA\n");
    kv::WriteProfileString("apn_type", "static", "checked", "teal_dialer.ini");
    Open(PAGE_BASIC);
    auto* list = C<QComboBox>(IDC_APN_LIST);
    list->setEditText("");
    view->OnDeleteApn();
    EXPECT_EQ(boxes, std::vector<std::string>{"Please Select One APN!"});
    list->setCurrentIndex(list->findText("BETA"));
    list->setEditText("beta");
    view->OnDeleteApn();
    EXPECT_EQ(settings.ReadFile("data/static_apn.txt"), "ALPHA\n");
    EXPECT_EQ(list->count(), 1);
    EXPECT_EQ(list->itemText(0), "ALPHA");

    // Typed over a selected entry: the list keeps the entry the file keeps.
    list->setCurrentIndex(0);
    list->setEditText("gamma");
    view->OnDeleteApn();
    EXPECT_EQ(settings.ReadFile("data/static_apn.txt"), "ALPHA\n");
    EXPECT_EQ(list->count(), 1);
}

TEST_F(ConfigPage, DraggingTheBackgroundMovesTheWindowAndCallNewsOnlyTouchAdvanced)
{
    Open(PAGE_ADVANCED);
    view->move(100, 100);
    const QPoint start = view->pos();
    QTest::mousePress(view.get(), Qt::LeftButton, {}, QPoint(200, 20));
    QMouseEvent move(QEvent::MouseMove, QPointF(240, 50), view->mapToGlobal(QPointF(240, 50)), Qt::NoButton,
                     Qt::LeftButton, {});
    QApplication::sendEvent(view.get(), &move);
    QTest::mouseRelease(view.get(), Qt::LeftButton, {}, QPoint(240, 50));
    EXPECT_EQ(view->pos(), start + QPoint(40, 30));

    auto* box = C<QCheckBox>(IDC_ACCOUNT_CHECK);
    kvui::PostUserMessage(view.get(), kvui::UM_CONFIG_UPDATE, CFG_CALL_STATE, 0);
    ASSERT_TRUE(PumpUntil([&] { return !box->isEnabled(); }, 5000));
    view->ShowPage(PAGE_BASIC);
    kvui::PostUserMessage(view.get(), kvui::UM_CONFIG_UPDATE, CFG_CALL_STATE, 1);
    kvui::PostUserMessage(view.get(), kvui::UM_CONFIG_UPDATE, CFG_SETUP_OK, 0);
    ASSERT_TRUE(PumpUntil([&] { return !boxes.empty(); }, 5000));
    EXPECT_FALSE(box->isEnabled()) << "code 3 acts on the Advanced page only";
    EXPECT_EQ(boxes, std::vector<std::string>{"Setup OK    "});
}

TEST_F(ConfigPage, AMissingApnFileIsCreatedEmpty)
{
    Open();
    EXPECT_EQ(settings.ReadFile("data/static_apn.txt"), "");
    EXPECT_EQ(C<QComboBox>(IDC_APN_LIST)->count(), 0);
}

TEST_F(ConfigPage, AThreeCharacterPinIsRefusedBeforeAnythingIsSent)
{
    FakeAtPort port;
    env.atPort = &port;
    Open(PAGE_RUIM);
    auto* action = C<QComboBox>(IDC_PIN_ACTION);
    ASSERT_EQ(action->count(), 1);
    EXPECT_EQ(action->itemText(0), "Enable");
    EXPECT_EQ(Label("ruim_status").toStdString(), "[Disabled] [PIN Count:0]");
    C<QLineEdit>(IDC_PIN_1)->setText("123");
    view->OnApply();
    EXPECT_TRUE(port.sent.empty());
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], "Pin empty Or Pin too short!");
    EXPECT_EQ(icons[0], BoxIcon::Error);
    EXPECT_EQ(boxes[1], "Pin enable fail!");
}

TEST_F(ConfigPage, PinEnableSendsTheLockAndThenRestartsTheModem)
{
    FakeAtPort port;
    env.atPort = &port;
    Open(PAGE_RUIM);
    C<QLineEdit>(IDC_PIN_1)->setText("1234");
    view->OnApply();
    ASSERT_GE(port.sent.size(), 3u);
    EXPECT_EQ(port.sent[0], "AT+CLCK=\"SC\",1,\"1234\"\r");
    EXPECT_EQ(port.sent[1], "AT+CGMR\r");
    EXPECT_EQ(port.sent.back(), "AT+CFUN=6,0\r");
    EXPECT_EQ(boxes, std::vector<std::string>{"Pin enable success!"});

    // A disable that gets no "OK" fails and restarts nothing.
    env.pinCheckOn = [] { return true; };
    port.sent.clear();
    port.answer = "\r\nERROR\r\n";
    boxes.clear();
    Open(PAGE_RUIM);
    C<QLineEdit>(IDC_PIN_1)->setText("1234");
    view->OnApply();
    EXPECT_EQ(port.sent, std::vector<std::string>{"AT+CLCK=\"SC\",0,\"1234\"\r"});
    EXPECT_EQ(boxes, std::vector<std::string>{"Pin disable fail!"});

    // A change that succeeds restarts the modem too; an "818" firmware
    // knows AT^RESET.
    port.sent.clear();
    port.answer = "\r\n818-ABC\r\nOK\r\n";
    boxes.clear();
    Open(PAGE_RUIM);
    view->OnPinActionChosen(1);
    C<QLineEdit>(IDC_PIN_1)->setText("1234");
    C<QLineEdit>(IDC_PIN_2)->setText("4321");
    C<QLineEdit>(IDC_PIN_3)->setText("4321");
    view->OnApply();
    EXPECT_EQ(port.sent, (std::vector<std::string>{"AT+CPWD=\"SC\",\"1234\",\"4321\"\r", "AT+CGMR\r", "AT^RESET\r"}));
    EXPECT_EQ(boxes, std::vector<std::string>{"Pin change success!"});
}

TEST_F(ConfigPage, APinChangeWithAMismatchedVerifyIsRefusedAndEmptiesTheFields)
{
    FakeAtPort port;
    env.atPort = &port;
    env.pinCheckOn = [] { return true; };
    Open(PAGE_RUIM);
    auto* action = C<QComboBox>(IDC_PIN_ACTION);
    ASSERT_EQ(action->count(), 2);
    EXPECT_FALSE(C<QWidget>(IDC_PIN_2)->isVisible());
    view->OnPinActionChosen(1);
    EXPECT_TRUE(C<QWidget>(IDC_PIN_3)->isVisible());
    EXPECT_EQ(Label("pin_1").toStdString(), "OLD PIN Number:");
    EXPECT_EQ(C<QLineEdit>(IDC_PIN_2)->maxLength(), 8);
    C<QLineEdit>(IDC_PIN_1)->setText("1234");
    C<QLineEdit>(IDC_PIN_2)->setText("5678");
    C<QLineEdit>(IDC_PIN_3)->setText("5679");
    view->OnApply();
    EXPECT_TRUE(port.sent.empty());
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes[0], "Pin confirm pin fail");
    for (int id : {IDC_PIN_1, IDC_PIN_2, IDC_PIN_3})
        EXPECT_TRUE(C<QLineEdit>(id)->text().isEmpty()) << id;

    // Back to Disable: one field again, emptied.
    C<QLineEdit>(IDC_PIN_1)->setText("99");
    view->OnPinActionChosen(0);
    EXPECT_EQ(Label("pin_1").toStdString(), "PIN Number :");
    EXPECT_FALSE(C<QWidget>(IDC_PIN_2)->isVisible());
    EXPECT_TRUE(C<QLineEdit>(IDC_PIN_1)->text().isEmpty());
}

TEST_F(ConfigPage, PinActionsWithoutAModemFailWithoutHanging)
{
    Open(PAGE_RUIM);
    C<QLineEdit>(IDC_PIN_1)->setText("1234");
    view->OnApply();
    EXPECT_EQ(boxes, std::vector<std::string>{"Pin enable fail!"});
}

TEST_F(ConfigPage, UserApplyWithNothingCheckedWarnsAndChangesNothing)
{
    int topCalls = 0;
    bool topOn = false;
    env.setTopMost = [&](bool on) {
        ++topCalls;
        topOn = on;
        return true;
    };
    env.serviceMode = [] { return uint8_t(0x20); };
    Open(PAGE_USER);
    C<QComboBox>(IDC_TOP_LIST)->setCurrentIndex(1);
    view->OnApply();
    EXPECT_EQ(boxes, std::vector<std::string>{"Before Pressing OK Button, You have to check an item."});
    EXPECT_EQ(icons.back(), BoxIcon::Warning);
    EXPECT_EQ(topCalls, 0);
    EXPECT_EQ(Ini("top", "num"), "<none>");
    EXPECT_EQ(Ini("batsound", "num"), "<none>");

    C<QCheckBox>(IDC_TOP_CHECK)->setChecked(true);
    view->OnApply();
    EXPECT_EQ(topCalls, 1);
    EXPECT_TRUE(topOn);
    EXPECT_EQ(Ini("top", "num"), "1");
    EXPECT_EQ(boxes.back(), "Setup OK    ");
}

TEST_F(ConfigPage, WithoutTheBatteryServiceTheBatterySoundIsOffAndLocked)
{
    kv::WriteProfileString("batsound", "num", "1", "teal_dialer.ini");
    Open(PAGE_USER);
    EXPECT_FALSE(C<QWidget>(IDC_BAT_CHECK)->isEnabled());
    EXPECT_FALSE(C<QWidget>(IDC_BAT_LIST)->isEnabled());
    EXPECT_EQ(C<QComboBox>(IDC_BAT_LIST)->currentText(), "OFF");
}

TEST_F(ConfigPage, AdvancedOkSetsAndClearsAutorun)
{
    Open(PAGE_ADVANCED);
    EXPECT_FALSE(C<QCheckBox>(IDC_AUTORUN)->isChecked());
    C<QCheckBox>(IDC_AUTORUN)->setChecked(true);
    view->OnApply();
    EXPECT_TRUE(kv::IsAutorunSet());
    C<QCheckBox>(IDC_AUTORUN)->setChecked(false);
    view->OnApply();
    EXPECT_FALSE(kv::IsAutorunSet());
    EXPECT_EQ(boxes, (std::vector<std::string>{"Setup OK    ", "Setup OK    "}));

    // Ours: desktop notifications, on until switched off.
    Open(PAGE_ADVANCED);
    auto* notify = C<QCheckBox>(IDC_NOTIFICATIONS);
    ASSERT_TRUE(notify->isVisible());
    EXPECT_TRUE(notify->isChecked());
    for (int id : {IDC_AUTORUN, IDC_RESTART_LINK, IDC_ADV_OK})
        EXPECT_FALSE(notify->geometry().intersects(C<QWidget>(id)->geometry())) << id;
    notify->setChecked(false);
    view->OnApply();
    EXPECT_EQ(kv::GetProfileInt("notifications", "num", 1, "korvianet.ini"), 0);
    Open(PAGE_ADVANCED);
    EXPECT_FALSE(C<QCheckBox>(IDC_NOTIFICATIONS)->isChecked());
    boxes.clear();

    int restarts = 0;
    env.restartLink = [&] { ++restarts; };
    Open(PAGE_ADVANCED);
    EXPECT_TRUE(C<QWidget>(IDC_RESTART_LINK)->isVisible());
    C<QAbstractButton>(IDC_RESTART_LINK)->click();
    EXPECT_EQ(restarts, 1);
}

TEST_F(ConfigPage, MonthPagesStartFromTheStoredLimits)
{
    kv::WriteProfileString("UserSetMaxLimit", "DownloadMax", "2048", "teal_dialer.ini");
    kv::WriteProfileString("UserSetMaxLimit", "UploadMax", "5", "teal_dialer.ini"); // out of range
    Open(PAGE_MONTH);
    EXPECT_EQ(view->Limit(false, true), 2048);
    EXPECT_EQ(view->Limit(false, false), 50);
    EXPECT_EQ(C<QLineEdit>(IDC_LIMIT_DOWN)->text(), "2048");
    EXPECT_EQ(Ini("UserSetMaxLimit", "DownloadMax"), "2048") << "showing the page keeps the user's limit";
    EXPECT_EQ(Ini("UserSetMaxLimit", "UploadMax"), "50");
    EXPECT_EQ(Label("m_down_top").toStdString(), "2048.0");
    EXPECT_EQ(Label("m_down_mid").toStdString(), "1024.0");
    // Above 1024 MB the bar counts whole MB, at least 1.
    EXPECT_EQ(view->findChild<QProgressBar*>("m_bar_down")->maximum(), 2048);
    EXPECT_EQ(view->findChild<QProgressBar*>("m_bar_down")->value(), 1);

    view->ShowPage(PAGE_PREV_MONTH);
    EXPECT_EQ(view->Limit(true, true), 50) << "nothing stored: 50";
    EXPECT_EQ(Ini("UserSetMaxLimit", "DownloadMaxPrev"), "50");
    C<QLineEdit>(IDC_LIMIT_UP_PREV)->setText("300.5");
    C<QAbstractButton>(IDC_APPLY_UP)->click();
    EXPECT_EQ(Ini("UserSetMaxLimit", "UploadMaxPrev"), "300");
    EXPECT_EQ(Ini("UserSetMaxLimit", "DownloadMax"), "2048") << "the other page's keys stay";
}

TEST_F(ConfigPage, ALimitOutsideTheRangeIsNamedAndOnlyItsOwnFieldChanges)
{
    Open(PAGE_MONTH);
    ASSERT_TRUE(boxes.empty()) << "showing the page applies valid limits silently";
    C<QLineEdit>(IDC_LIMIT_UP)->setText("300"); // typed, not applied yet
    C<QLineEdit>(IDC_LIMIT_DOWN)->setText("5");
    C<QAbstractButton>(IDC_APPLY_DOWN)->click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("10"), std::string::npos) << boxes[0];
    EXPECT_NE(boxes[0].find("1048576"), std::string::npos) << boxes[0];
    EXPECT_EQ(icons[0], BoxIcon::Warning);
    EXPECT_EQ(C<QLineEdit>(IDC_LIMIT_DOWN)->text(), "50");
    EXPECT_EQ(Ini("UserSetMaxLimit", "DownloadMax"), "50");
    EXPECT_EQ(C<QLineEdit>(IDC_LIMIT_UP)->text(), "300");

    // Not a decimal number at all: named the same way.
    C<QLineEdit>(IDC_LIMIT_DOWN)->setText("0x20");
    C<QAbstractButton>(IDC_APPLY_DOWN)->click();
    EXPECT_EQ(boxes.size(), 2u);
    EXPECT_EQ(view->Limit(false, true), 50);

    // The largest limit survives the page being shown again.
    C<QLineEdit>(IDC_LIMIT_DOWN)->setText("1048576");
    C<QAbstractButton>(IDC_APPLY_DOWN)->click();
    EXPECT_EQ(C<QLineEdit>(IDC_LIMIT_DOWN)->text(), "1048576");
    view->ShowPage(PAGE_ABOUT);
    view->ShowPage(PAGE_MONTH);
    EXPECT_EQ(view->Limit(false, true), 1048576);
    EXPECT_EQ(Ini("UserSetMaxLimit", "DownloadMax"), "1048576");
    EXPECT_EQ(boxes.size(), 2u);
}

TEST_F(ConfigPage, TrafficFiguresFollowThePostedUpdatesAndResetGoesToTheConnection)
{
    LiveTraffic live;
    live.sent = 1234;
    live.received = 98765;
    live.durationMs = 3723000;
    env.liveTraffic = [&](LiveTraffic& out) {
        out = live;
        return true;
    };
    int resets = 0;
    env.trafficReset = [&] { ++resets; };
    Open(PAGE_TRAFFIC);
    EXPECT_EQ(Label("reset_time").toStdString(), "00-00-00 00:00:00") << "no record yet";
    EXPECT_TRUE(C<QWidget>(IDC_TRAFFIC_RESET)->isVisible());

    kvui::PostUserMessage(view.get(), kvui::UM_CONFIG_UPDATE, CFG_TRAFFIC_LIVE, 0);
    ASSERT_TRUE(PumpUntil([&] { return Label("sent") == "1234B"; }, 5000));
    EXPECT_EQ(Label("received").toStdString(), "98765B");
    EXPECT_EQ(Label("duration").toStdString(), "01:02:03");

    // A finished session's record shows after code 44.
    kvtraffic::TrafficRecord r;
    r.bytesSent = 500;
    r.bytesReceived = 700;
    r.duration = 1000;
    ASSERT_TRUE(kvtraffic::AppendTrafficRecord(r));
    kvui::PostUserMessage(view.get(), kvui::UM_CONFIG_UPDATE, CFG_TRAFFIC_FILES, 0);
    ASSERT_TRUE(PumpUntil([&] { return Label("total_received").trimmed() == "700B"; }, 5000));
    EXPECT_EQ(Label("sent").trimmed().toStdString(), "500B");

    C<QAbstractButton>(IDC_TRAFFIC_RESET)->click();
    EXPECT_EQ(resets, 1);

    // The current-month page shows the running session's total.
    view->ShowPage(PAGE_MONTH);
    EXPECT_EQ(Label("m_stotal").toStdString(), "99999");
    EXPECT_EQ(Label("m_tdown").toStdString(), "700");
    live.sent = 1;
    kvui::PostUserMessage(view.get(), kvui::UM_CONFIG_UPDATE, CFG_TRAFFIC_LIVE, 0);
    ASSERT_TRUE(PumpUntil([&] { return Label("m_stotal") == "98766"; }, 5000));

    kvui::PostUserMessage(view.get(), kvui::UM_CONFIG_UPDATE, CFG_SETUP_FAIL, 0);
    ASSERT_TRUE(PumpUntil([&] { return !boxes.empty(); }, 5000));
    EXPECT_EQ(boxes.back(), "Setting Fail");
    EXPECT_EQ(icons.back(), BoxIcon::Error);
}

TEST_F(ConfigPage, TheSettingButtonOpensItWithoutAModemAndExitLeavesEverythingAsItWas)
{
    const PageHooks saved = CDialer_oneDlg::Hooks();
    WireSettingsPage();
    CDialer_oneDlg dlg;
    dlg.OnInitDialog();
    dlg.show();
    int page = 0;
    bool closedByExit = false;
    QTimer::singleShot(200, [&] {
        auto* open = qobject_cast<CConfigView*>(QApplication::activeModalWidget());
        if (!open)
            return;
        page = open->CurrentPage();
        EXPECT_EQ(open->pos(), dlg.pos() + QPoint(-80, 10));
        static_cast<QLineEdit*>(open->Control(IDC_USERNAME))->setText("unsaved");
        static_cast<QAbstractButton*>(open->Control(IDC_EXIT))->click();
        closedByExit = true;
    });
    dlg.OnCommand(kv::IDC_SETTING);
    EXPECT_TRUE(closedByExit);
    EXPECT_EQ(page, PAGE_ABOUT);
    EXPECT_EQ(Ini("username", "text"), "<none>");
    EXPECT_EQ(dlg.State().m_nModalView.load(), 0);

    // The live figures come from whatever source the connection wiring set.
    LiveTraffic live;
    EXPECT_FALSE(SettingsEnvOf(dlg).liveTraffic(live));
    SetLiveTrafficSource([](CDialer_oneDlg&, LiveTraffic& l) {
        l.sent = 7;
        return true;
    });
    EXPECT_TRUE(SettingsEnvOf(dlg).liveTraffic(live));
    EXPECT_EQ(live.sent, 7u);
    SetLiveTrafficSource(nullptr);
    dlg.CloseProcedure();
    CDialer_oneDlg::Hooks() = saved;
}

// The page is frameless like the face: its key colour must paint clear, for
// a Wayland compositor shows what the window paints, not its mask.
TEST_F(ConfigPage, ThePagePaintsItsKeyColourTransparent)
{
    Open();
    EXPECT_TRUE(view->testAttribute(Qt::WA_TranslucentBackground));
    const QImage shot = view->grab().toImage();
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(qAlpha(shot.pixel(0, 0)), 0) << "corner is key colour";
    EXPECT_EQ(qAlpha(shot.pixel(view->width() / 2, view->height() / 2)), 255);
}

TEST_F(ConfigPage, BasicApplyStoresTheReconnectChoiceInOurOwnFile)
{
    Open(PAGE_BASIC);
    auto* box = C<QCheckBox>(IDC_RECONNECT);
    ASSERT_TRUE(box->isVisible());
    EXPECT_FALSE(box->isChecked()); // off by default
    // In its own row: it covers none of the page's other controls.
    for (int id : {IDC_ACCOUNT_CHECK, IDC_USERNAME, IDC_PASSWORD, IDC_APN_DYNAMIC, IDC_APN_STATIC, IDC_APN_LIST,
                   IDC_APN_DELETE, IDC_APPLY})
        EXPECT_FALSE(box->geometry().intersects(C<QWidget>(id)->geometry())) << id;
    box->setChecked(true);
    view->OnApply();
    EXPECT_EQ(kv::GetProfileInt("reconnect", "num", 0, "korvianet.ini"), 1);
    EXPECT_EQ(kv::GetProfileString("reconnect", "num", "", 8, "teal_dialer.ini"), "");
    Open(PAGE_BASIC);
    EXPECT_TRUE(C<QCheckBox>(IDC_RECONNECT)->isChecked());
    C<QCheckBox>(IDC_RECONNECT)->setChecked(false);
    view->OnApply();
    EXPECT_EQ(kv::GetProfileInt("reconnect", "num", 1, "korvianet.ini"), 0);
}
