// The phonebook and call history page against the simulator and a copy of
// the built database: searching with the pattern characters, inserts that
// must be refused, a modify that goes through the modem (and what happens
// when the modem refuses the new entry), deleting several entries with one
// question, the 100 newest call records, the renumbering and Delete All.
#include "SimFixture.h"

#include "contacts/PhoneBookView.h"
#include "controls/EditEx.h"
#include "controls/HoverButton.h"
#include "settings/Profile.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDropEvent>
#include <QMimeData>
#include <QMessageBox>
#include <QTableWidget>
#include <deque>

using namespace kv;
using namespace kv::pbpage;
using kv::sim::ModemModel;

namespace {

std::string Name(int i) { return "Card " + std::to_string(i); }
std::string Number(int i) { return "619555" + std::to_string(1000 + i); }

} // namespace

class PbPage : public kvtest::SimFixture {
protected:
    // The card phonebook read at the start, with `count` entries out of `capacity`.
    void StartWithCard(int count, int capacity, const std::function<void(ModemModel&)>& more = {})
    {
        StartSim([&](ModemModel& m) {
            m.pbRuim.capacity = uint16_t(capacity);
            for (int i = 1; i <= count; ++i)
                m.pbRuim.entries[uint32_t(i)] = {Number(i), Name(i)};
            if (more)
                more(m);
        });
        ASSERT_TRUE(StartSession(true));
    }

    std::unique_ptr<kvpb::CPhoneBookView> Open(int page)
    {
        kvpb::PhoneBookEnv env;
        env.engine = &m_session->Engine();
        env.db = &m_session->Db();
        env.pbook = &m_session->Pbook();
        env.postUiRequest = [this](uint32_t sub) { m_posted.push_back(sub); };
        env.smsState = [this] { return m_smsState; };
        env.smsSending = [] { return false; };
        env.setRecipients = [this](const std::vector<std::string>& n) { m_recipients = n; };
        env.setDial = [this](const std::string& number, const std::string& name) {
            m_dialNumber = number;
            m_dialName = name;
        };
        auto v = std::make_unique<kvpb::CPhoneBookView>(std::move(env), PAGE_MEMORY, page);
        v->SetPrompt([this](const QString& text, MsgIcon, bool yesNo) {
            m_asked.push_back(text.toStdString());
            if (!yesNo)
                return int(QMessageBox::Ok);
            const bool yes = m_answers.empty() ? true : m_answers.front();
            if (!m_answers.empty())
                m_answers.pop_front();
            return int(yes ? QMessageBox::Yes : QMessageBox::No);
        });
        return v;
    }

    static std::vector<std::string> Column(const kvpb::CPhoneBookView& v, int column)
    {
        std::vector<std::string> out;
        for (int r = 0; r < v.List()->rowCount(); ++r)
            out.push_back(v.List()->item(r, column)->text().toStdString());
        return out;
    }

    static void Search(kvpb::CPhoneBookView& v, int column, const char* text)
    {
        v.Column()->setCurrentIndex(column);
        v.Field(IDC_PB_SEARCH_TEXT)->SetText(QString::fromUtf8(text));
        v.OnSearch();
    }

    static void Fill(kvpb::CPhoneBookView& v, const char* index, const char* name, const char* number)
    {
        v.Field(IDC_PB_INDEX)->SetText(QString::fromUtf8(index));
        v.Field(IDC_PB_NAME)->SetText(QString::fromUtf8(name));
        v.Field(IDC_PB_NUMBER)->SetText(QString::fromUtf8(number));
    }

    static void SelectRows(kvpb::CPhoneBookView& v, std::initializer_list<int> rows)
    {
        v.List()->clearSelection();
        for (int r : rows)
            v.List()->selectionModel()->select(v.List()->model()->index(r, 0),
                                               QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    bool OnCard(int index, const std::string& name)
    {
        return m_sim->WithModel([&](ModemModel& m) {
            auto it = m.pbRuim.entries.find(uint32_t(index));
            return it != m.pbRuim.entries.end() && it->second.name == name;
        });
    }

    void AddCalls(int first, int count)
    {
        std::string sql = "INSERT INTO tealfin_vcall VALUES ";
        for (int i = 0; i < count; ++i)
            sql += std::string(i ? "," : "") + "(1, " + std::to_string(first + i) + ", 'N', '555" + std::to_string(i)
                   + "', '(2026/12/10/Thursday-05:00)', '00:01:0" + std::to_string(i % 10) + "')";
        Sql(sql);
    }

    std::vector<uint32_t> m_posted;
    uint16_t m_smsState = 0;
    std::vector<std::string> m_recipients;
    std::string m_dialNumber, m_dialName;
    std::vector<std::string> m_asked;
    std::deque<bool> m_answers;
};

TEST_F(PbPage, SearchMatchesBracketsAndStarsLiterallyAndNeedsTextBeyondAll)
{
    StartWithCard(0, 50, [](ModemModel& m) {
        m.pbRuim.entries[1] = {"111", "A[1]"};
        m.pbRuim.entries[2] = {"222", "Star*Man"};
        m.pbRuim.entries[3] = {"333", "Starman"};
        m.pbRuim.entries[4] = {"444", "B1"};
    });
    auto v = Open(PAGE_RUIM);
    ASSERT_EQ(v->List()->rowCount(), 4);
    EXPECT_EQ(v->CounterText().toStdString(), "4/50");

    Search(*v, COL_NAME, "[");
    EXPECT_EQ(Column(*v, 1), std::vector<std::string>{"A[1]"});
    Search(*v, COL_NAME, "*");
    EXPECT_EQ(Column(*v, 1), std::vector<std::string>{"Star*Man"});
    Search(*v, COL_ALL, "[1]"); // would be "any of 1" as a pattern: B1 must not match
    EXPECT_EQ(Column(*v, 1), std::vector<std::string>{"A[1]"});

    // Index with no text does nothing; All(*) with no text lists the page.
    Search(*v, COL_INDEX, "");
    EXPECT_EQ(v->List()->rowCount(), 1);
    Search(*v, COL_ALL, "");
    EXPECT_EQ(v->List()->rowCount(), 4);
    // Text in the index column that is no number: the search fails, said so.
    Search(*v, COL_INDEX, "x");
    EXPECT_EQ(m_asked.back(), kSearchFailed);
    EXPECT_TRUE(v->Field(IDC_PB_SEARCH_TEXT)->Text().isEmpty());
    EXPECT_FALSE(m_session->Db().Pbook().IsOpen());
}

TEST_F(PbPage, InsertRefusesIndexZeroBeyondCapacityAndAFullPhonebook)
{
    StartWithCard(3, 3, [](ModemModel& m) { m.pbMemory.capacity = 200; });
    auto v = Open(PAGE_RUIM);
    Fill(*v, "0", "Zed", "123");
    v->OnInsert();
    EXPECT_TRUE(v->Field(IDC_PB_INDEX)->Text().isEmpty());
    EXPECT_TRUE(m_asked.empty());

    Fill(*v, "4", "Zed", "123");
    v->OnInsert();
    EXPECT_EQ(m_asked.back(), "Index should be less than 3.");

    // A search shows one entry, but the card holds three of three.
    Search(*v, COL_INDEX, "2");
    ASSERT_EQ(v->List()->rowCount(), 1);
    m_sim->WithModel([](ModemModel& m) { m.pbRuim.entries.erase(3); }); // free on the modem only
    Sql("DELETE FROM tealfin_pbook WHERE storage_type=2 AND \"index\"=3");
    Sql("INSERT INTO tealfin_pbook VALUES (2, 9, 'Stray', '9')"); // the table is full again
    Fill(*v, "3", "Zed", "123");
    v->OnInsert();
    EXPECT_EQ(m_asked.back(), "Not enough space to store New Phonebook Data [MAX (ruim:3, memory:200)]");
    EXPECT_FALSE(OnCard(3, "Zed"));

    Sql("DELETE FROM tealfin_pbook WHERE name='Stray'");
    Fill(*v, "3", "Zed", "12p3");
    v->OnInsert();
    EXPECT_EQ(m_asked.back(), kAskInsert);
    EXPECT_TRUE(OnCard(3, "Zed"));
    EXPECT_EQ(Count("tealfin_pbook", "storage_type=2 AND \"index\"=3 AND name='Zed' AND phone_number='12p3'"), 1);

    // A table that cannot be read decides nothing: entry 1 stays as it is.
    Sql("ALTER TABLE tealfin_pbook RENAME TO tealfin_pbook_gone");
    m_asked.clear();
    Fill(*v, "1", "Zed", "123");
    v->OnInsert();
    EXPECT_EQ(m_asked, std::vector<std::string>{kDbFailed});
    EXPECT_TRUE(OnCard(1, Name(1)));
}

TEST_F(PbPage, ModifyDeletesThenWritesOnTheModemAndWritesTheOldEntryBackWhenTheWriteFails)
{
    StartWithCard(3, 10);
    auto v = Open(PAGE_RUIM);
    Fill(*v, "2", "Bob", "555");
    v->OnInsert();
    EXPECT_EQ(m_asked.back(), kAskModify);
    EXPECT_TRUE(OnCard(2, "Bob"));
    EXPECT_EQ(Count("tealfin_pbook", "storage_type=2 AND \"index\"=2 AND name='Bob' AND phone_number='555'"), 1);
    EXPECT_EQ(Column(*v, 1), (std::vector<std::string>{Name(1), "Bob", Name(3)})); // keeps its place
    EXPECT_EQ(v->List()->currentRow(), 1);

    // The new entry is refused after the old one was deleted: it comes back.
    ASSERT_EQ(m_sim->Command("pb-refuse-write ruim 1").substr(0, 2), "OK");
    Fill(*v, "2", "Carl", "777");
    v->OnInsert();
    EXPECT_EQ(m_asked.back(), kModifyRestored);
    EXPECT_TRUE(OnCard(2, "Bob"));
    EXPECT_EQ(Count("tealfin_pbook", "storage_type=2 AND \"index\"=2 AND name='Bob'"), 1);
    EXPECT_EQ(Column(*v, 1)[1], "Bob");

    // Neither is taken: the entry is gone from the modem, so from table and list too.
    ASSERT_EQ(m_sim->Command("pb-refuse-write ruim 2").substr(0, 2), "OK");
    Fill(*v, "2", "Dora", "888");
    v->OnInsert();
    EXPECT_EQ(m_asked.back(), kModifyLost);
    EXPECT_TRUE(m_sim->WithModel([](ModemModel& m) { return m.pbRuim.entries.count(2) == 0; }));
    EXPECT_EQ(Count("tealfin_pbook", "storage_type=2 AND \"index\"=2"), 0);
    EXPECT_EQ(Column(*v, 1), (std::vector<std::string>{Name(1), Name(3)}));
    EXPECT_EQ(v->CounterText().toStdString(), "2/10");
}

TEST_F(PbPage, DeletingThreeEntriesAsksOnceAndNoDeletesNothing)
{
    StartWithCard(5, 10);
    auto v = Open(PAGE_RUIM);
    SelectRows(*v, {0, 2, 4});
    m_answers = {false};
    v->OnDelete();
    EXPECT_EQ(m_asked, std::vector<std::string>{kAskDeleteEntry});
    EXPECT_EQ(Count("tealfin_pbook", "storage_type=2"), 5);
    EXPECT_EQ(v->List()->rowCount(), 5);

    m_asked.clear();
    SelectRows(*v, {0, 2, 4});
    v->OnDelete();
    EXPECT_EQ(m_asked, std::vector<std::string>{kAskDeleteEntry});
    EXPECT_EQ(Column(*v, 0), (std::vector<std::string>{"2", "4"}));
    EXPECT_EQ(Count("tealfin_pbook", "storage_type=2"), 2);
    EXPECT_TRUE(m_sim->WithModel([](ModemModel& m) { return m.pbRuim.entries.size() == 2; }));
    EXPECT_EQ(v->CounterText().toStdString(), "2/10");
    // The entry now at the last deleted place is selected and shown.
    EXPECT_EQ(v->List()->currentRow(), 0);
    EXPECT_EQ(v->Field(IDC_PB_INDEX)->Text().toStdString(), "2");
}

TEST_F(PbPage, HistoryKeepsTheNewestHundredAndRenumbersPastAMillion)
{
    StartWithCard(0, 10);
    AddCalls(1, 120);
    auto v = Open(PAGE_HISTORY);
    EXPECT_EQ(v->List()->rowCount(), 100);
    EXPECT_EQ(Count("tealfin_vcall"), 100);
    EXPECT_EQ(Count("tealfin_vcall", "\"index\" <= 20"), 0);
    EXPECT_EQ(v->CounterText().toStdString(), " (100)");
    EXPECT_FALSE(v->Button(IDC_PB_DELETE_ALL)->isHidden());
    EXPECT_TRUE(v->Field(IDC_PB_INDEX)->isHidden());
    v->close();

    Sql("DELETE FROM tealfin_vcall");
    AddCalls(999999, 3);
    v = Open(PAGE_HISTORY);
    EXPECT_EQ(Count("tealfin_vcall", "\"index\" IN (1, 2, 3)"), 3);
    EXPECT_EQ(GetProfileString("history_num", "num", "", 16, "teal_dialer.ini"), "3");
    // The list carries the new numbers: deleting the newest finds its record.
    SelectRows(*v, {0});
    v->OnDelete();
    EXPECT_EQ(Count("tealfin_vcall"), 2);
    EXPECT_EQ(Count("tealfin_vcall", "\"index\"=3"), 0);
    EXPECT_EQ(v->CounterText().toStdString(), "002");   // after a delete: the bare count
    EXPECT_EQ(v->DetailText().toStdString(), "(2026/12/10/Thursday-05:00) Time:00:01:01");
}

TEST_F(PbPage, DeleteAllEmptiesTheHistoryOnlyAndResetsTheCallNumber)
{
    StartWithCard(2, 10);
    AddCalls(1, 5);
    auto v = Open(-1);
    EXPECT_TRUE(v->Button(IDC_PB_DELETE_ALL)->isHidden());
    v->OnDeleteAll();
    EXPECT_EQ(Count("tealfin_vcall"), 5);
    v->UserMovePage(PAGE_HISTORY);
    m_answers = {false};
    v->OnDeleteAll();
    EXPECT_EQ(Count("tealfin_vcall"), 5);
    v->OnDeleteAll();
    EXPECT_EQ(Count("tealfin_vcall"), 0);
    EXPECT_EQ(v->List()->rowCount(), 0);
    EXPECT_EQ(GetProfileString("history_num", "num", "", 16, "teal_dialer.ini"), "0");
    m_asked.clear();
    v->OnDeleteAll(); // an empty list: nothing asked
    EXPECT_TRUE(m_asked.empty());
}

TEST_F(PbPage, WriteMessageAndVoiceCallHandTheSelectionOnOrRefuse)
{
    StartWithCard(6, 10);
    auto v = Open(PAGE_RUIM);
    v->List()->item(1, 2)->setText("619-555-1002");
    SelectRows(*v, {0, 1, 2, 3, 4, 5});
    v->OnWriteMessage();
    EXPECT_EQ(m_asked.back(), "You can select 5 item(s)");
    v->OnVoiceCall();
    EXPECT_EQ(m_asked.back(), "You can select 1 item(s)");

    // The SMS page waits for recipients: they are filled and the page stays.
    m_smsState = kSmsRecipientsState;
    SelectRows(*v, {0, 1});
    v->OnWriteMessage();
    EXPECT_EQ(m_recipients, (std::vector<std::string>{Number(1), "6195551002"}));
    EXPECT_EQ(m_posted, std::vector<uint32_t>{UI_REQ_FILL_RECIPIENTS});
    EXPECT_TRUE(v->ReturnFlag());

    m_session->Host().State().m_ucServiceState = SERVICE_EVDO;
    SelectRows(*v, {2});
    v->OnVoiceCall();
    EXPECT_EQ(m_asked.back(), kNoCallEvdo);
    m_session->Host().State().m_ucServiceState = SERVICE_1X;
    v->OnVoiceCall();
    EXPECT_EQ(m_dialNumber, Number(3));
    EXPECT_EQ(m_dialName, Name(3));
    EXPECT_EQ(m_posted.back(), UI_REQ_DIAL);
    EXPECT_TRUE(v->NumberChosen());
}

TEST_F(PbPage, TheHistoryCounterFollowsDeletesAndDeleteAll)
{
    StartWithCard(0, 10);
    AddCalls(1, 4);
    auto v = Open(PAGE_HISTORY);
    EXPECT_EQ(v->CounterText().toStdString(), " (004)");
    SelectRows(*v, {0, 1});
    v->OnDelete();
    EXPECT_EQ(Count("tealfin_vcall"), 2);
    EXPECT_EQ(v->CounterText().toStdString(), "002");
    v->OnDeleteAll();
    EXPECT_EQ(Count("tealfin_vcall"), 0);
    EXPECT_EQ(v->CounterText().toStdString(), "000");
    // Listed again, the count takes its listing form.
    v->UserMovePage(PAGE_HISTORY);
    EXPECT_EQ(v->CounterText().toStdString(), " (000)");
}

TEST_F(PbPage, PastedLettersNeitherEndTheProgramNorReachTheModem)
{
    StartWithCard(2, 10);
    auto v = Open(PAGE_RUIM);
    CEditEx* index = v->Field(IDC_PB_INDEX);
    CEditEx* number = v->Field(IDC_PB_NUMBER);
    // Paste and drop pass the fields' filters.
    QApplication::clipboard()->setText("no. 3a");
    index->paste();
    EXPECT_EQ(index->Text().toStdString(), "3");
    QMimeData mime;
    mime.setText("555-CALL-NOW");
    const QPoint at = number->viewport()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(number->viewport(), &enter);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(number->viewport(), &drop);
    EXPECT_EQ(number->Text().toStdString(), "555");

    // Text that got past the fields some other way: an index that is no
    // number is refused, not thrown at.
    Fill(*v, "ab", "Bob", "5551234");
    v->OnInsert();
    ASSERT_FALSE(m_asked.empty());
    EXPECT_EQ(m_asked.back(), "You must input the index number");
    EXPECT_TRUE(index->Text().isEmpty());
    // A number with letters is refused before the modem is asked.
    m_asked.clear();
    Fill(*v, "3", "Bob", "555CALL");
    v->OnInsert();
    ASSERT_EQ(m_asked.size(), 1u);
    EXPECT_EQ(m_asked[0], "Input Dial Number Fail.(0-9 * # + P)");
    EXPECT_FALSE(OnCard(3, "Bob"));
    EXPECT_EQ(v->List()->rowCount(), 2);
}
