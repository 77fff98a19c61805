// The SMS page in the main window against the simulated modem and a copy of
// the database file: the inbox order, opening an unread message once, the
// compose limit and the palette, a send to three recipients with one failed
// report and the copy saved on the card, a recipient whose report never
// comes, Delete All on an empty list, the 80 % warning, deleting, the
// voice-mail notification, code-page text, the phonebook's recipients, the
// recipient cells, calling a sender, and adding a sender to a phonebook that
// is nearly full; the inbox of 198 messages is timed (printed).
// With KORVIA_SHOTS_DIR set, the states are also saved as pictures.
#include "ShellFixture.h"

#include "app/AppWiring.h"
#include "app/Dialer_oneDlg.h"
#include "app/SystemTray.h"
#include "controls/EditEx.h"
#include "controls/TextStatic.h"
#include "controls/UserMsgDlg.h"
#include "data/AppDatabase.h"
#include "data/DataConstants.h"
#include "messaging/SmsView.h"
#include "sim/ModemSimulator.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPainter>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>

using namespace kv;
using namespace kvapp;
using kvsms::CSmsView;
using kvtest::BoxCloser;
using kvtest::PumpUntil;
namespace smsp = kv::smspage;

namespace {

constexpr int kStartMs = 60000;

class SmsPage : public kvtest::ShellTest {
protected:
    void SetUp() override
    {
        kvtest::ShellTest::SetUp();
        dbPath = settings.Path("WVL.MDB");
        std::filesystem::copy_file(KORVIA_BUILT_DB, dbPath);
    }
    void TearDown() override
    {
        kvtest::CloseWindow(dlg, db, sim);
        CSystemTray::ForceAvailable(-1);
        kvtest::ShellTest::TearDown();
    }
    // The simulator with the given messages instead of its demo ones.
    void StartSimulator(const std::function<void(sim::ModemModel&)>& seed)
    {
        sim::ModemSimulator::Options o;
        o.unsolicitedPeriodMs = 0;
        sim = std::make_unique<sim::ModemSimulator>(o);
        ASSERT_TRUE(sim->Start());
        sim->WithModel([&](sim::ModemModel& m) {
            m.memory.slots.clear();
            m.ruim.slots.clear();
            if (seed)
                seed(m);
        });
    }
    // The window started and the SMS page shown, with its dialogs recorded.
    void OpenPage()
    {
        db = std::make_unique<CAppDatabase>(dbPath);
        dlg = std::make_unique<CDialer_oneDlg>(db.get());
        WireMessaging(*dlg, *db);
        dlg->OnInitDialog();
        dlg->show();
        const uint8_t both = UIF_PB_RUIM_LOADED | UIF_PB_MEMORY_LOADED;
        ASSERT_TRUE(PumpUntil(
            [&] {
                return (dlg->State().m_ucUiFlags.load() & both) == both && dlg->Control(IDC_SMS_TOGGLE)->isEnabled();
            },
            kStartMs));
        ASSERT_NE(dlg->SmsPage(), nullptr);
        page = dynamic_cast<CSmsView*>(dlg->SmsPage()->Widget());
        ASSERT_NE(page, nullptr);
        kvsms::SmsViewEnv& env = page->Env();
        env.messageBox = [this](const std::string& text, MsgIcon) { boxes.push_back(text); };
        env.timedPopup = [this](const std::string& text, kvsms::AskIcon icon, int mode, int countdown, bool defaultOk) {
            popups.push_back(text);
            ShotPopup(text, icon, mode, countdown, defaultOk);
            return popupAnswer(text);
        };
        env.askSave = [this](const std::string& text) {
            popups.push_back(text);
            ShotPopup(text, kvsms::AskIcon::Question, 1, 5, true);
            return popupAnswer(text);
        };
        env.askYesNo = [this](const std::string& text) {
            questions.push_back(text);
            return true;
        };
        QElapsedTimer t;
        t.start();
        dlg->OnCommand(IDC_SMS_TOGGLE);
        firstSwitchMs = t.elapsed();
        ASSERT_EQ(dlg->State().m_nActiveView.load(), VIEW_SMS);
        ASSERT_EQ(page->State(), smsp::SMS_HOME);
    }
    std::vector<std::string> ListTexts() const
    {
        std::vector<std::string> out;
        for (int i = 0; i < page->MessageList()->topLevelItemCount(); ++i)
            out.push_back(page->MessageList()->topLevelItem(i)->text(1).toStdString());
        return out;
    }
    void Select(int row)
    {
        QTreeWidgetItem* it = page->MessageList()->topLevelItem(row);
        page->MessageList()->setCurrentItem(it);
        it->setSelected(true);
    }
    CEditEx* TextField() const { return qobject_cast<CEditEx*>(dlg->Control(IDC_TEXT_FIELD)); }
    void Shot(const char* name)
    {
        const char* dir = std::getenv("KORVIA_SHOTS_DIR");
        if (!dir)
            return;
        QApplication::processEvents();
        dlg->grab().save(QString("%1/%2.png").arg(dir, name));
    }
    // The real popup of a text, saved as a picture (only with shots on).
    void ShotPopup(const std::string& text, kvsms::AskIcon icon, int mode, int countdown, bool defaultOk)
    {
        const char* dir = std::getenv("KORVIA_SHOTS_DIR");
        if (!dir)
            return;
        CUserMsgDlg d(dlg.get(), dlg.get());
        d.SetText(QString::fromStdString(text));
        d.SetIcon(icon == kvsms::AskIcon::Question  ? QStyle::SP_MessageBoxQuestion
                  : icon == kvsms::AskIcon::Error ? QStyle::SP_MessageBoxCritical
                                                  : QStyle::SP_MessageBoxInformation);
        d.SetMode(mode);
        d.SetCountdown(countdown, defaultOk);
        const QString name = QString("%1/popup-%2.png").arg(dir).arg(++shotPopups);
        QTimer::singleShot(300, &d, [&] {
            // The window with the popup over it.
            QPixmap all = dlg->grab();
            QPainter p(&all);
            p.drawPixmap(20, 120, d.grab());
            p.end();
            all.save(name);
            d.done(QDialog::Accepted);
        });
        d.exec();
    }
    // Writes a message to the three recipients through the page.
    void ComposeTo(const std::vector<std::string>& numbers, const char* text)
    {
        page->OnCommand(kvsms::IDC_SMS_NEW);
        ASSERT_EQ(page->State(), smsp::SMS_COMPOSE);
        TextField()->SetText(text);
        page->OnCommand(kvsms::IDC_SMS_NEXT);
        ASSERT_EQ(page->State(), smsp::SMS_RECIPIENTS);
        for (size_t i = 0; i < numbers.size(); ++i)
            page->SetRecipientRow(int(i), numbers[i]);
        page->OnCommand(kvsms::IDC_SMS_NEXT);
        ASSERT_EQ(page->State(), smsp::SMS_CALLBACK);
    }

    std::string dbPath;
    std::unique_ptr<sim::ModemSimulator> sim;
    std::unique_ptr<CAppDatabase> db;
    std::unique_ptr<CDialer_oneDlg> dlg;
    CSmsView* page = nullptr;
    qint64 firstSwitchMs = 0;
    int shotPopups = 0;
    std::vector<std::string> boxes, popups, questions;
    std::function<int(const std::string&)> popupAnswer = [](const std::string&) { return 1; };
};

sim::SimSms Msg(uint16_t slot, uint32_t tag, uint32_t time, const std::string& number, const std::string& text)
{
    sim::SimSms m;
    m.slot = slot;
    m.tag = tag;
    m.time = time;
    m.number = number;
    m.text = text;
    return m;
}

} // namespace

TEST_F(SmsPage, InboxOrderAndAnUnreadMessageIsMarkedReadOnce)
{
    BoxCloser closer;
    StartSimulator([](sim::ModemModel& m) {
        const uint32_t base = sim::CdmaTimeNow() - 10000;
        m.memory.slots[1] = Msg(1, sim::kTagUnread, base + 100, "1001", "A unread oldest");
        m.memory.slots[2] = Msg(2, sim::kTagRead, base + 200, "1002", "B read newer");
        m.memory.slots[3] = Msg(3, sim::kTagUnread, base + 300, "1003", "C unread newest");
        m.ruim.slots[1] = Msg(1, sim::kTagRead, base + 150, "1004", "D read oldest");
        m.ruim.slots[2] = Msg(2, sim::kTagUnread, base + 250, "1005", "E unread card");
        m.memory.slots[4] = Msg(4, sim::kTagOutbox, base + 400, "1006", "F stored");
    });
    OpenPage();
    ASSERT_TRUE(PumpUntil([&] { return dlg->State().m_wLastSmsCount.load() == 3; }, 20000));
    Shot("1-home");

    page->OnCommand(kvsms::IDC_SMS_INBOX);
    ASSERT_EQ(page->State(), smsp::SMS_INBOX_LIST);
    EXPECT_EQ(ListTexts(), (std::vector<std::string>{"C unread newest", "E unread card", "A unread oldest",
                                                     "B read newer", "D read oldest"}));
    Shot("2-inbox");

    // Open the unread card message: one set-tag, "Not Read" one lower.
    Select(1);
    page->OnCommand(kvsms::IDC_SMS_NEXT);
    ASSERT_EQ(page->State(), smsp::SMS_INBOX_MSG);
    EXPECT_EQ(TextField()->Text().toStdString(), "E unread card");
    EXPECT_EQ(page->NumberField()->Text().toStdString(), "1005");
    EXPECT_EQ(page->TextControl(kvsms::IDC_SMS_STATUS)->Text().left(6).toStdString(), "Time:\n");
    EXPECT_EQ(dlg->State().m_wLastSmsCount.load(), 2);
    EXPECT_EQ(sim->WithModel([](sim::ModemModel& m) { return m.ruim.slots[2].tag; }), sim::kTagRead);
    Shot("3-message");

    // Opening it again sends nothing: the modem's tag, put back behind the
    // program's back, stays as it is.
    page->OnCommand(kvsms::IDC_SMS_PREV);
    ASSERT_EQ(page->State(), smsp::SMS_INBOX_LIST);
    EXPECT_EQ(ListTexts()[2], "E unread card") << "now the newest read message";
    sim->WithModel([](sim::ModemModel& m) { m.ruim.slots[2].tag = sim::kTagUnread; });
    Select(2);
    Q_EMIT page->MessageList()->itemDoubleClicked(page->MessageList()->topLevelItem(2), 1);
    ASSERT_EQ(page->State(), smsp::SMS_INBOX_MSG);
    EXPECT_EQ(sim->WithModel([](sim::ModemModel& m) { return m.ruim.slots[2].tag; }), sim::kTagUnread);
    EXPECT_EQ(dlg->State().m_wLastSmsCount.load(), 2);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SmsPage, ComposeLimitPaletteAndThreeRecipientsWithReportsZeroOneZero)
{
    BoxCloser closer;
    StartSimulator(nullptr);
    OpenPage();
    const int limit = TextField()->LimitText();
    ASSERT_GT(limit, 0) << "the engine's ASCII limit";

    // Compose: 10 characters over the limit are refused with both figures.
    page->OnCommand(kvsms::IDC_SMS_NEW);
    TextField()->SetText(QString(limit + 10, 'x'));
    page->OnCommand(kvsms::IDC_SMS_NEXT);
    EXPECT_EQ(page->State(), smsp::SMS_COMPOSE);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Message Length is out of range ! (Max:" + std::to_string(limit)
                            + ", Now:" + std::to_string(limit + 10) + ")");

    // The palette: the first cell of the second row types "(", the 31st
    // cell nothing.
    TextField()->SetText("Hi ");
    TextField()->moveCursor(QTextCursor::End);
    QTest::mouseClick(page, Qt::LeftButton, {}, QPoint(smsp::kPaletteLeft + 5, smsp::kPaletteTop + 17 + 5));
    EXPECT_EQ(TextField()->Text().toStdString(), "Hi (");
    EXPECT_EQ(page->HighlightedCell(), 7);
    QTest::mouseClick(page, Qt::LeftButton, {}, QPoint(smsp::kPaletteLeft + 45, smsp::kPaletteTop + 4 * 17 + 5));
    EXPECT_EQ(TextField()->Text().toStdString(), "Hi (");
    EXPECT_EQ(page->HighlightedCell(), 7);
    EXPECT_EQ(page->TextControl(kvsms::IDC_SMS_COUNTER)->Text().toStdString(), "4/" + std::to_string(limit));
    Shot("4-compose");
    page->OnCommand(kvsms::IDC_SMS_PREV);

    // Three recipients; the second one's report says it failed. The copy is
    // saved on the card.
    ComposeTo({"5550001", "5550002", "5550003"}, "Meeting at noon");
    sim->Command("report-delay 300");
    QTimer reports;
    bool shotSending = false;
    QObject::connect(&reports, &QTimer::timeout, [&] {
        sim->WithModel([](sim::ModemModel& m) { m.nextReport = m.sent.size() == 1 ? 1 : 0; });
        if (!shotSending && page->TextControl(kvsms::IDC_SMS_STATUS)->Text().contains("sending")) {
            shotSending = true;
            Shot("5-sending");
        }
    });
    reports.start(5);
    page->OnCommand(kvsms::IDC_SMS_SEND);
    ASSERT_TRUE(page->Sending());
    ASSERT_TRUE(PumpUntil([&] { return !page->Sending(); }, 30000));
    reports.stop();
    Shot("6-result");
    EXPECT_EQ(page->SentCount(), 2);
    EXPECT_EQ(page->FailedCount(), 1);
    ASSERT_GE(popups.size(), 2u);
    EXPECT_EQ(popups.front(), "Do you like to save this message\nthat has been sent?  ( RUIM Card )");
    EXPECT_EQ(popups.back(), "Sending messages have 1 failed of 3 total.");
    EXPECT_EQ(page->State(), smsp::SMS_HOME);
    const auto sent = sim->WithModel([](sim::ModemModel& m) { return m.sent; });
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].destination, "5550001");
    EXPECT_EQ(sent[2].destination, "5550003");
    EXPECT_EQ(sent[1].text, "Meeting at noon");
    const bool saved = sim->WithModel([](sim::ModemModel& m) {
        for (auto& [slot, msg] : m.ruim.slots)
            if (msg.tag >= sim::kTagOutbox && msg.text == "Meeting at noon")
                return true;
        return false;
    });
    EXPECT_TRUE(saved) << "the sent message is on the card";
}

TEST_F(SmsPage, ARecipientWithoutReportFailsWhenTimer106Fires)
{
    BoxCloser closer;
    StartSimulator(nullptr);
    OpenPage();
    popupAnswer = [](const std::string&) { return 2; }; // do not save a copy
    ComposeTo({"5550009"}, "Anyone there?");
    sim->Command("report-delay 600000");
    page->OnCommand(kvsms::IDC_SMS_SEND);
    ASSERT_TRUE(PumpUntil([&] { return dlg->TimerActive(TIMER_SMS_SEND_TIMEOUT); }, 10000));
    EXPECT_TRUE(page->Sending()) << "waiting for the report";
    // What timer 106 does when its 10 s pass.
    dlg->PostUserMessage(MsgTarget::SmsPage, UM_SMS_SEND_STATUS, 0, 1);
    ASSERT_TRUE(PumpUntil([&] { return !page->Sending(); }, 5000));
    EXPECT_EQ(page->FailedCount(), 1);
    EXPECT_EQ(popups.back(), "Sending messages have 1 failed of 1 total.");
    EXPECT_FALSE(dlg->TimerActive(TIMER_SMS_SEND_TIMEOUT));
}

TEST_F(SmsPage, DeleteAllOnAnEmptyListAsksNothingAndTheInboxWarnsAtEightyPercent)
{
    BoxCloser closer;
    StartSimulator([](sim::ModemModel& m) {
        m.memory.capacity = 120;
        const uint32_t base = sim::CdmaTimeNow() - 100000;
        for (uint16_t i = 0; i < 80; ++i)
            m.memory.slots[i] = Msg(i, sim::kTagRead, base + i, "555" + std::to_string(i), "m" + std::to_string(i));
    });
    OpenPage();
    // No stored messages: the outbox goes home with its notice.
    page->OnCommand(kvsms::IDC_SMS_OUTBOX);
    EXPECT_EQ(page->State(), smsp::SMS_HOME);
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back(), "There are no messages in the outbox.");
    page->OnCommand(kvsms::ID_SMS_DELETE_ALL);
    EXPECT_TRUE(popups.empty()) << "nothing asked";

    boxes.clear();
    page->OnCommand(kvsms::IDC_SMS_INBOX);
    ASSERT_EQ(page->State(), smsp::SMS_INBOX_LIST);
    EXPECT_EQ(page->MessageList()->topLevelItemCount(), 80);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "InBox Memory space has been Used 80%. (MAX:99,Use:80)\n");
    EXPECT_EQ(page->MessageList()->columnWidth(1), 113);

    // Delete one: asked once, gone from the modem, the next one selected.
    Select(3);
    const int32_t gone = page->ListItemData(3);
    const int32_t next = page->ListItemData(4);
    page->OnCommand(kvsms::ID_SMS_DELETE);
    ASSERT_EQ(popups.size(), 1u);
    EXPECT_EQ(popups[0], "Do you like to delete this Message?");
    EXPECT_EQ(page->MessageList()->topLevelItemCount(), 79);
    EXPECT_EQ(page->ListItemData(page->MessageList()->indexOfTopLevelItem(page->MessageList()->currentItem())), next);
    EXPECT_EQ(sim->WithModel([&](sim::ModemModel& m) { return m.memory.slots.count(uint16_t(SmsSlotOf(gone))); }), 0u);

    // Delete All through the page's list: every message goes, the page goes home.
    page->OnCommand(kvsms::ID_SMS_DELETE_ALL);
    EXPECT_EQ(popups.back(), "Do you like to delete All Messages?");
    EXPECT_EQ(page->State(), smsp::SMS_HOME);
    EXPECT_EQ(sim->WithModel([](sim::ModemModel& m) { return m.memory.slots.size(); }), 0u);
}

TEST_F(SmsPage, AddingASenderWritesIntoTheLastFreePlaceAndRefusesOnlyAFullPhonebook)
{
    BoxCloser closer;
    StartSimulator([](sim::ModemModel& m) {
        m.memory.slots[1] = Msg(1, sim::kTagRead, sim::CdmaTimeNow() - 50, "6195550100", "Hello");
        m.pbMemory.capacity = 5; // four demo entries: one place left
    });
    OpenPage();
    ASSERT_EQ(dlg->State().m_wPbMemoryMax.load(), 5);
    page->Env().askName = [](std::string& name, std::string& number) {
        name = "New Friend";
        return !number.empty();
    };
    page->OnCommand(kvsms::IDC_SMS_INBOX);
    Select(0);
    page->OnCommand(kvsms::IDC_SMS_NEXT);
    ASSERT_EQ(page->State(), smsp::SMS_INBOX_MSG);

    // The history cursor being open is no reason to refuse.
    db->Vcall().Open();
    page->OnCommand(kvsms::IDC_SMS_ADD_PB);
    db->Vcall().Close();
    EXPECT_TRUE(boxes.empty()) << (boxes.empty() ? "" : boxes.back());
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0], "Do you want to Insert  the new data in the phonebook?");
    const auto entry = sim->WithModel([](sim::ModemModel& m) {
        auto it = m.pbMemory.entries.find(5);
        return it == m.pbMemory.entries.end() ? std::string() : it->second.number;
    });
    EXPECT_EQ(entry, "6195550100") << "index 5 equals the capacity and is free";
    {
        CDaoPbookDb pb(dbPath);
        pb.Open(CDaoPbookDb::QueryEntry(5, kPbookMemory));
        ASSERT_FALSE(pb.IsEOF());
        EXPECT_EQ(pb.m_name, "New Friend");
        pb.Close();
    }

    // Now full: refused with both capacities, nothing written.
    page->OnCommand(kvsms::IDC_SMS_ADD_PB);
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back(), "Index should be less than 5.");
    // The phonebook cursor held by another operation: busy, nothing asked.
    questions.clear();
    db->Pbook().Open(CDaoPbookDb::QueryStorage(kPbookMemory));
    page->OnCommand(kvsms::IDC_SMS_ADD_PB);
    EXPECT_TRUE(questions.empty());
    db->Pbook().Close();
}

TEST_F(SmsPage, TheInboxOf198MessagesIsShownFromTheClick)
{
    BoxCloser closer;
    StartSimulator([](sim::ModemModel& m) {
        m.memory.capacity = 100;
        m.ruim.capacity = 99;
        const uint32_t base = sim::CdmaTimeNow() - 1000000;
        for (uint16_t i = 0; i < 99; ++i) {
            m.memory.slots[i] = Msg(i, i % 3 ? sim::kTagRead : sim::kTagUnread, base + 2 * i, "555" + std::to_string(i),
                                    "Memory message number " + std::to_string(i) + " with some text in it");
            m.ruim.slots[i] = Msg(i, i % 4 ? sim::kTagRead : sim::kTagUnread, base + 2 * i + 1,
                                  "666" + std::to_string(i), "Card message " + std::to_string(i));
        }
    });
    OpenPage();
    QElapsedTimer t;
    t.start();
    page->OnCommand(kvsms::IDC_SMS_INBOX);
    QApplication::processEvents(); // the list painted
    const qint64 ms = t.elapsed();
    ASSERT_EQ(page->MessageList()->topLevelItemCount(), 198);
    EXPECT_EQ(ListTexts().back(), "Memory message number 1 with some text in it") << "the oldest read one last";
    // Again, with no new message to fetch first.
    page->OnCommand(kvsms::IDC_SMS_PREV);
    ASSERT_EQ(page->State(), smsp::SMS_HOME);
    const bool fetched = !(dlg->State().m_ucUiFlags.load() & UIF_SMS_WAITING);
    t.restart();
    page->OnCommand(kvsms::IDC_SMS_INBOX);
    QApplication::processEvents();
    const qint64 again = t.elapsed();
    EXPECT_EQ(page->MessageList()->topLevelItemCount(), 198);
    std::printf("[  MEASURE ] first switch to the SMS page (reads 198 messages): %lld ms\n",
                static_cast<long long>(firstSwitchMs));
    std::printf("[  MEASURE ] InBox click to the list of 198 shown: %lld ms (new messages fetched first), "
                "%lld ms (%s)\n",
                static_cast<long long>(ms), static_cast<long long>(again),
                fetched ? "nothing to fetch" : "fetched again");
    RecordProperty("first_switch_ms", int(firstSwitchMs));
    RecordProperty("inbox_ms", int(ms));
    RecordProperty("inbox_again_ms", int(again));
}

TEST_F(SmsPage, TheVoiceMailNotificationIsListedOpenedAndRemovedByTimer110AndCodePageTextIsLegible)
{
    BoxCloser closer;
    StartSimulator([](sim::ModemModel& m) {
        // Bytes of a single-byte code page: shown legibly, not as broken UTF-8.
        m.memory.slots[1] = Msg(1, sim::kTagRead, sim::CdmaTimeNow() - 500, "1001", "Caf\xE9 open");
        m.SetVoiceMail(3, 0);
    });
    OpenPage();
    ASSERT_GE(page->Env().shared->m_nVoiceSlot.load(), 0) << "the list reply named the notification";
    page->OnCommand(kvsms::IDC_SMS_INBOX);
    ASSERT_EQ(page->State(), smsp::SMS_INBOX_LIST);
    ASSERT_EQ(ListTexts(), (std::vector<std::string>{"Voice Mail(3)", "Caf\xC3\xA9 open"}));
    EXPECT_EQ(page->MessageList()->topLevelItem(0)->data(0, Qt::UserRole + 1).toInt(), smsp::ICON_VOICE_MAIL);

    Select(0);
    page->OnCommand(kvsms::IDC_SMS_NEXT);
    ASSERT_EQ(page->State(), smsp::SMS_INBOX_MSG) << "the notification was read again";
    EXPECT_EQ(TextField()->Text().toStdString(), "Voice mail");
    page->OnCommand(kvsms::IDC_SMS_PREV);
    ASSERT_EQ(page->State(), smsp::SMS_INBOX_LIST);

    // Timer 110 after the engine removed the notification from the modem:
    // the row and the list item go.
    dlg->MessagingService()->RemoveVoiceMailRow();
    dlg->SmsPage()->UpdateVoiceMail(1);
    EXPECT_EQ(ListTexts(), (std::vector<std::string>{"Caf\xC3\xA9 open"}));
    EXPECT_EQ(page->Env().shared->m_nVoiceSlot.load(), -1);
    CDaoSmsDb sms(dbPath);
    sms.Open();
    int rows = 0;
    for (; !sms.IsEOF(); sms.MoveNext())
        ++rows;
    sms.Close();
    EXPECT_EQ(rows, 1);
}

TEST_F(SmsPage, PhonebookChoicesBecomeRecipientsAndCallDialsTheSender)
{
    BoxCloser closer;
    StartSimulator([](sim::ModemModel& m) {
        m.memory.slots[1] = Msg(1, sim::kTagRead, sim::CdmaTimeNow() - 50, "6195550100", "Call me");
    });
    OpenPage();
    // Write Message of the phonebook page: its numbers fill the rows.
    dlg->SmsPage()->SetRecipients({"1111", "2222"});
    dlg->SendUserMessage(UM_UI_REQUEST, UI_REQ_COMPOSE, 0);
    ASSERT_EQ(page->State(), smsp::SMS_COMPOSE);
    TextField()->SetText("hello");
    page->OnCommand(kvsms::IDC_SMS_NEXT);
    ASSERT_EQ(page->State(), smsp::SMS_RECIPIENTS);
    EXPECT_EQ(page->RecipientRow(0), "1111");
    EXPECT_EQ(page->RecipientRow(1), "2222");
    // The picker's choice added to the empty rows (sub-code 5).
    dlg->SmsPage()->SetRecipients({"3333"});
    dlg->SendUserMessage(UM_UI_REQUEST, UI_REQ_FILL_RECIPIENTS, 0);
    EXPECT_EQ(page->RecipientRow(2), "3333");
    Shot("7-recipients");
    // In-place editing of a cell and the Delete key.
    page->BeginRecipientEdit(1, 1);
    ASSERT_NE(page->RecipientEditor(), nullptr);
    page->RecipientEditor()->setText("2229");
    page->EndRecipientEdit();
    EXPECT_EQ(page->RecipientRow(1), "2229");
    page->RecipientList()->setCurrentItem(page->RecipientList()->topLevelItem(0));
    QTest::keyClick(page->RecipientList(), Qt::Key_Delete);
    EXPECT_EQ(page->RecipientRow(0), "");
    page->OnCommand(kvsms::IDC_SMS_NEXT);
    ASSERT_EQ(page->State(), smsp::SMS_CALLBACK);
    EXPECT_EQ(page->Recipients(), (std::vector<std::string>{"2229", "3333"}));
    page->OnCommand(kvsms::IDC_SMS_PREV);
    page->OnCommand(kvsms::IDC_SMS_PREV);
    page->OnCommand(kvsms::IDC_SMS_PREV);
    ASSERT_EQ(page->State(), smsp::SMS_HOME);

    // Call from an opened message: the dial pad takes the sender's number.
    page->OnCommand(kvsms::IDC_SMS_INBOX);
    Select(0);
    page->OnCommand(kvsms::IDC_SMS_NEXT);
    ASSERT_EQ(page->State(), smsp::SMS_INBOX_MSG);
    page->OnCommand(kvsms::IDC_SMS_CALL);
    ASSERT_TRUE(PumpUntil([&] { return dlg->State().m_nActiveView.load() == VIEW_DIAL_PAD; }, 5000));
    EXPECT_TRUE(PumpUntil([&] { return dlg->State().m_call.DialNumber() == "6195550100"
                                       || dlg->State().m_wUiPhase.load() == UI_PHASE_OUTGOING; },
                          10000))
        << "the call was placed to the sender";
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SmsPage, LettersPastedOrTypedIntoNumbersNeverReachTheModem)
{
    BoxCloser closer;
    StartSimulator(nullptr);
    OpenPage();
    // The callback number field takes only what a dial string holds.
    ComposeTo({"5550001"}, "Hi");
    CEditEx* number = page->NumberField();
    number->SetText("");
    QApplication::clipboard()->setText("call +1 555 now");
    number->paste();
    EXPECT_EQ(number->Text().toStdString(), "+1555");
    page->OnCommand(kvsms::IDC_SMS_PREV);

    // A recipient cell is free text: the send refuses the letters, the modem
    // never sees them.
    page->SetRecipientRow(0, "555CALL");
    page->OnCommand(kvsms::IDC_SMS_NEXT);
    boxes.clear();
    page->OnCommand(kvsms::IDC_SMS_SEND);
    EXPECT_FALSE(page->Sending());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Input Dial Number Fail.(0-9 * # + P) 555CALL");
    EXPECT_TRUE(sim->WithModel([](sim::ModemModel& m) { return m.sent.empty(); }));
}

TEST_F(SmsPage, ADeleteConfirmedWithOkThatCannotGoOnSaysWhy)
{
    BoxCloser closer;
    StartSimulator([](sim::ModemModel& m) {
        const uint32_t base = sim::CdmaTimeNow() - 1000;
        for (uint16_t i = 0; i < 3; ++i)
            m.memory.slots[i] = Msg(i, sim::kTagRead, base + i, "555000" + std::to_string(i), "m" + std::to_string(i));
    });
    OpenPage();
    auto onModem = [&] { return sim->WithModel([](sim::ModemModel& m) { return m.memory.slots.size(); }); };
    page->OnCommand(kvsms::IDC_SMS_INBOX);
    ASSERT_EQ(page->MessageList()->topLevelItemCount(), 3);
    boxes.clear();

    // The list lost the item while the question was open.
    Select(0);
    popupAnswer = [&](const std::string&) {
        page->ClearListItemData(0);
        return 1;
    };
    page->OnCommand(kvsms::ID_SMS_DELETE);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "The message list changed while the question was open.\nThe message was not deleted: "
                        "please select it again.");
    EXPECT_EQ(onModem(), 3u);

    // Another request of the window was under way when OK came: the
    // modem could not be asked.
    page->OnCommand(kvsms::IDC_SMS_PREV);
    page->OnCommand(kvsms::IDC_SMS_INBOX);
    Select(0);
    boxes.clear();
    popupAnswer = [](const std::string&) { return 1; };
    bool ran = false;
    QTimer::singleShot(0, dlg.get(), [&] {
        page->OnCommand(kvsms::ID_SMS_DELETE);
        ran = true;
    });
    dlg->Engine().DmSubRequest(DM_SMS_LIST, uintptr_t(kSmsStoreMemory), false);
    ASSERT_TRUE(PumpUntil([&] { return ran; }, 5000));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "The modem is busy with another request.\nThe message was not deleted. Please try again.");
    EXPECT_EQ(onModem(), 3u);
    EXPECT_EQ(page->MessageList()->topLevelItemCount(), 3);

    // Tried again, it goes.
    boxes.clear();
    page->OnCommand(kvsms::ID_SMS_DELETE);
    EXPECT_TRUE(boxes.empty()) << boxes.front();
    EXPECT_EQ(onModem(), 2u);
    EXPECT_EQ(page->MessageList()->topLevelItemCount(), 2);
}
