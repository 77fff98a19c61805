// The tray as a network applet: it follows the owner's hub on the UI thread,
// its menu's Connect/Disconnect reaches the owner's actions, and the clicks
// on the icon reach the window as commands.
#include "app/AppIds.h"
#include "app/SystemTray.h"
#include "host/OwnerActions.h"
#include "host/OwnerEvents.h"

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTest>
#include <gtest/gtest.h>

#include <thread>

namespace {

// Records the calls; Connect and Disconnect answer with `answer`, from a
// thread of their own as the real owner may.
class FakeActions : public kv::IOwnerActions {
public:
    std::vector<std::string> calls;
    kv::OwnerResult answer;
    std::vector<std::thread> answering;
    ~FakeActions() override
    {
        for (auto& t : answering)
            t.join();
    }
    void Reply(Done done)
    {
        answering.emplace_back([done = std::move(done), r = answer] { done(r); });
    }

    void GetStatus(std::function<void(const kv::OwnerResult&, const std::string&)>) override {}
    void Connect(const std::string& user, const std::string& password, Done done) override
    {
        calls.push_back("Connect(" + user + "," + password + ")");
        Reply(std::move(done));
    }
    void Disconnect(Done done) override
    {
        calls.push_back("Disconnect");
        Reply(std::move(done));
    }
    void Dial(const std::string&, Done) override {}
    void Answer(Done) override {}
    void Hangup(Done) override {}
    void SendDtmf(const std::string&, Done) override {}
    void SendSms(const std::vector<std::string>&, const std::string&, const std::string&, bool,
                 std::function<void(const kv::OwnerResult&, const std::vector<kv::OwnerSmsOutcome>&)>) override {}
    void ListSms(const std::string&, std::function<void(const kv::OwnerResult&, const std::vector<kv::OwnerSms>&)>) override {}
    void ReadSms(uint32_t, std::function<void(const kv::OwnerResult&, const kv::OwnerSms&)>) override {}
    void DeleteSms(uint32_t, Done) override {}
    void DeleteAllSms(const std::string&, std::function<void(const kv::OwnerResult&, uint32_t, uint32_t)>) override {}
    void ListPhonebook(const std::string&,
                       std::function<void(const kv::OwnerResult&, const std::vector<kv::OwnerPbEntry>&, int, int)>) override {}
    void AddPhonebookEntry(const std::string&, int, const std::string&, const std::string&,
                           std::function<void(const kv::OwnerResult&, uint32_t)>) override {}
    void ModifyPhonebookEntry(const std::string&, uint32_t, const std::string&, const std::string&, Done) override {}
    void DeletePhonebookEntry(const std::string&, uint32_t, Done) override {}
};

class SystemTray : public ::testing::Test {
protected:
    void SetUp() override { CSystemTray::ForceAvailable(1); }
    void TearDown() override { CSystemTray::ForceAvailable(-1); }

    std::unique_ptr<CSystemTray> Make()
    {
        auto tray = std::make_unique<CSystemTray>();
        tray->Create(nullptr, 0, "Korvianet", QIcon(), kvapp::IDR_TRAY_MENU,
                     [this](int cmd) { commands.push_back(cmd); });
        return tray;
    }
    static void Ready(kv::OwnerSnapshot& s)
    {
        s.engineReady = true;
        s.port = "/dev/ttyUSB0";
        s.systemModeCode = 4;
        s.signalEvdoBars = 3;
    }
    static QStringList Texts(QMenu* menu)
    {
        QStringList out;
        for (QAction* a : menu->actions())
            if (a->isVisible())
                out << (a->isSeparator() ? QStringLiteral("-") : a->text());
        return out;
    }
    static bool PumpUntil(const std::function<bool()>& done, int ms = 5000)
    {
        for (int waited = 0; !done() && waited < ms; waited += 10)
            QTest::qWait(10);
        return done();
    }

    kv::COwnerHub hub;
    FakeActions actions;
    std::vector<int> commands;
};

} // namespace

TEST_F(SystemTray, WatchingAddsTheStateLineAndConnectAndFollowsTheHubOnTheUiThread)
{
    auto tray = Make();
    EXPECT_EQ(Texts(tray->Menu()), (QStringList{"Restore", "Data Usage", "-", "Exit"}))
        << "the menu of a tray that watches nothing stays the window's own";

    tray->Watch(hub, &actions);
    EXPECT_EQ(Texts(tray->Menu()), (QStringList{"No modem", "-", "Restore", "Data Usage", "Connect", "-", "Exit"}));
    EXPECT_FALSE(tray->StateAction()->isEnabled()) << "the state line is not a command";
    EXPECT_FALSE(tray->ConnectAction()->isEnabled());
    EXPECT_EQ(tray->Icon()->toolTip(), "No modem");
    EXPECT_EQ(tray->Menu()->defaultAction()->text(), "Restore");

    // A change is applied from the event loop, not inside the hub's call.
    hub.Update([](kv::OwnerSnapshot& s) { Ready(s); });
    EXPECT_EQ(tray->Icon()->toolTip(), "No modem");
    ASSERT_TRUE(PumpUntil([&] { return tray->Icon()->toolTip() == "Signal 3/5 · EV-DO"; }));
    EXPECT_EQ(tray->Look().iconName, "korvianet-signal-3");
    EXPECT_TRUE(tray->ConnectAction()->isEnabled());

    // Several changes before the loop runs end in the last one.
    for (uint32_t d = 1; d <= 5; ++d)
        hub.Update([d](kv::OwnerSnapshot& s) {
            s.connectionState = "connected";
            s.connectionDuration = d;
            s.bytesReceived = 3'100'000;
        });
    ASSERT_TRUE(PumpUntil([&] { return tray->Look().stateLine == "Connected 00:00:05 · 3.1 MB"; }));
    EXPECT_EQ(tray->StateAction()->text(), "Connected 00:00:05 · 3.1 MB");
    EXPECT_EQ(tray->ConnectAction()->text(), "Disconnect");
    EXPECT_EQ(tray->Look().iconName, "korvianet-connected");

    // Without actions there is no Connect item; Unwatch puts the menu back.
    tray->Unwatch();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(Texts(tray->Menu()), (QStringList{"Restore", "Data Usage", "-", "Exit"}));
    tray->Watch(hub, nullptr);
    EXPECT_EQ(Texts(tray->Menu()).count("Connect") + Texts(tray->Menu()).count("Disconnect"), 0);

    // Watched before the icon is made, the icon starts with the words.
    CSystemTray early;
    early.Watch(hub, &actions);
    early.Create(nullptr, 0, "Korvianet", QIcon(), kvapp::IDR_TRAY_MENU, {});
    EXPECT_EQ(early.Icon()->toolTip().toStdString(), early.Look().tooltip);
    EXPECT_EQ(Texts(early.Menu()).first(), "Connected 00:00:05 · 3.1 MB");
}

TEST_F(SystemTray, ConnectAndDisconnectGoToTheOwnerAndARefusalIsTold)
{
    auto tray = Make();
    tray->Watch(hub, &actions);
    tray->ConnectAction()->trigger();
    EXPECT_TRUE(actions.calls.empty()) << "nothing is asked of a modem that is not there";

    hub.Update([](kv::OwnerSnapshot& s) { Ready(s); });
    ASSERT_TRUE(PumpUntil([&] { return tray->ConnectAction()->isEnabled(); }));
    actions.answer = {kv::OwnerError::NotReady, "The card asks for its PIN."};
    tray->ConnectAction()->trigger();
    ASSERT_EQ(actions.calls, (std::vector<std::string>{"Connect(,)"})) << "the saved account";
    ASSERT_TRUE(PumpUntil([&] { return !tray->LastRefusal().isEmpty(); }));
    EXPECT_EQ(tray->LastRefusal(), "The card asks for its PIN.");

    hub.Update([](kv::OwnerSnapshot& s) { s.connectionState = "connecting"; });
    ASSERT_TRUE(PumpUntil([&] { return tray->ConnectAction()->text() == "Disconnect"; }));
    actions.answer = {};
    tray->ConnectAction()->trigger();
    EXPECT_EQ(actions.calls.back(), "Disconnect");
    QTest::qWait(50);
    EXPECT_TRUE(tray->LastRefusal().isEmpty()) << "a success clears the last refusal";

    // The owner's answer after the tray's end goes nowhere.
    actions.answer = {kv::OwnerError::Busy, "late"};
    tray->ConnectAction()->trigger();
    tray.reset();
    for (auto& t : actions.answering)
        t.join();
    actions.answering.clear();
    QTest::qWait(20);
    // Nor does a change of the hub reach a tray that went.
    hub.Update([](kv::OwnerSnapshot& s) { s.connectionState = "disconnected"; });
    QTest::qWait(20);
}

TEST_F(SystemTray, ClicksOnTheIconBecomeCommands)
{
    auto tray = Make();
    tray->OnTrayNotification(kvapp::IDR_TRAY_MENU, CSystemTray::WM_LBUTTONUP);
    tray->OnTrayNotification(kvapp::IDR_TRAY_MENU, CSystemTray::WM_LBUTTONDBLCLK);
    tray->OnTrayNotification(kvapp::IDR_TRAY_MENU + 1, CSystemTray::WM_LBUTTONUP); // another icon's
    EXPECT_EQ(commands, (std::vector<int>{kvapp::ID_TRAY_TOGGLE, kvapp::ID_TRAY_RESTORE}));

    // The icon's own single click (Qt's Trigger) takes the same way.
    emit tray->Icon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(commands.back(), kvapp::ID_TRAY_TOGGLE);
    tray->Remove();
    emit tray->Icon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(commands.size(), 3u) << "a removed icon's clicks are ignored";
}

TEST_F(SystemTray, EveryIconTheWordsNameIsCompiledIn)
{
    QStringList names{"korvianet-no-modem", "korvianet-connected", "korvianet-connecting"};
    for (int n = 0; n <= 5; ++n)
        names << QStringLiteral("korvianet-signal-%1").arg(n);
    for (const QString& base : QStringList(names))
        names << base + "-symbolic";
    for (const QString& name : names) {
        QIcon icon = CSystemTray::StatusIcon(name);
        ASSERT_FALSE(icon.isNull()) << name.toStdString();
        QImage img = icon.pixmap(22, 22).toImage().convertToFormat(QImage::Format_ARGB32);
        int painted = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                painted += qAlpha(img.pixel(x, y)) > 0;
        EXPECT_GT(painted, 22 * 22 / 10) << name.toStdString() << " is (nearly) empty";
    }
    // Distinct states look distinct.
    EXPECT_NE(CSystemTray::StatusIcon("korvianet-signal-1").pixmap(22).toImage(),
              CSystemTray::StatusIcon("korvianet-signal-4").pixmap(22).toImage());
    EXPECT_TRUE(CSystemTray::StatusIcon("korvianet-no-such-icon").isNull());
}
