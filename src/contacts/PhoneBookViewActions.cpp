// The phonebook page's actions: search, insert or modify, delete (one or
// many, asking once), Delete All of the call history, Write Message and
// Voice Call.
#include "contacts/PhoneBookView.h"

#include "contacts/PbCoding.h"
#include "contacts/PbookEngine.h"
#include "contacts/PhoneBookRules.h"
#include "contacts/PhoneBookTexts.h"
#include "controls/EditEx.h"
#include "controls/HoverButton.h"
#include "controls/PageDialogs.h"
#include "controls/TextStatic.h"
#include "data/AppDatabase.h"
#include "engine/DmEngine.h"
#include "log/DebugLog.h"

#include <QComboBox>
#include <QMessageBox>
#include <QTableWidget>

namespace kvpb {

using namespace kv;
using namespace kv::pbpage;

namespace {

QString Fmt(const char* fmt, int a)
{
    char buf[256];
    std::snprintf(buf, sizeof buf, fmt, a);
    return QString::fromLatin1(buf);
}

QString Fmt(const char* fmt, int a, int b)
{
    char buf[256];
    std::snprintf(buf, sizeof buf, fmt, a, b);
    return QString::fromLatin1(buf);
}

void CloseQuietly(CDaoRecordset& rs)
{
    if (rs.IsOpen())
        rs.Close();
}

QMessageBox::Icon BoxIcon(MsgIcon icon)
{
    switch (icon) {
    case MsgIcon::Information: return QMessageBox::Information;
    case MsgIcon::Warning: return QMessageBox::Warning;
    default: return QMessageBox::Critical;
    }
}

std::string Trimmed(const QString& s)
{
    std::string out;
    for (char c : s.toStdString())
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
            out += c;
    return out;
}

} // namespace

int CPhoneBookView::Ask(const QString& text, MsgIcon icon, bool yesNo)
{
    if (m_prompt)
        return m_prompt(text, icon, yesNo);
    // Closed by the modem's removal (or refused while the page closes for
    // it): No.
    return kvui::PageMessageBox(this, BoxIcon(icon), text,
                                yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok);
}

// ---------------------------------------------------------------------------
// Search

void CPhoneBookView::OnSearch()
{
    if (Busy())
        return;
    BusyScope busy(*this);
    const std::string text = m_pSearch->Text().toStdString();
    const bool history = m_nPage == PAGE_HISTORY;
    CDaoRecordset& rs = history ? static_cast<CDaoRecordset&>(m_env.db->Vcall())
                                : static_cast<CDaoRecordset&>(m_env.db->Pbook());
    if (rs.IsOpen())
        return;
    int column = m_pColumn->currentIndex();
    if (history)
        column = column == 1 ? COL_NAME : column == 2 ? COL_PHONE : COL_ALL;
    const std::optional<CDaoQuery> query = PbSearchQuery(m_nPage, column, text);
    if (!query)
        return;

    m_pList->setUpdatesEnabled(false);
    m_pList->setRowCount(0);
    try {
        rs.Open(*query);
        const int n = int(rs.GetRecordCount());
        m_pList->setRowCount(n);
        int row = 0;
        for (; !rs.IsEOF() && row < n; rs.MoveNext(), ++row) {
            if (history) {
                const HistoryItem it = HistoryItemOf(m_env.db->Vcall());
                AddHistoryRow(it.kind, it.name, it.number, it.details, row);
            } else {
                const CDaoPbookDb& pb = m_env.db->Pbook();
                AddEntryRow(pb.m_index, pb.m_name, pb.m_phone_number, row);
            }
        }
        m_pList->setRowCount(row);
    } catch (const CDaoException& e) {
        DEBUG_LOG(LEVEL_PB, kLogSearchError, e.Description().c_str());
        m_pList->setUpdatesEnabled(true);
        CloseQuietly(rs);
        Ask(QString::fromLatin1(kSearchFailed), MsgIcon::Warning, false);
        m_pSearch->clear();
    }
    CloseQuietly(m_env.db->Vcall());
    CloseQuietly(m_env.db->Pbook());
    m_pList->setUpdatesEnabled(true);
    if (history) {
        FitNumberColumn(166, 148);
        m_pDetail->SetText(QString());
    } else {
        FitNumberColumn(161, 144);
        ClearFields();
    }
    m_pSearch->setFocus();
}

// ---------------------------------------------------------------------------
// Insert or modify

void CPhoneBookView::OnInsert()
{
    if (Busy())
        return;
    BusyScope busy(*this);
    CHoverButton* insert = Button(IDC_PB_INSERT);
    m_pName->setFocus();
    insert->setEnabled(false);
    struct Reenable {
        CHoverButton* b;
        ~Reenable() { b->setEnabled(true); }
    } reenable{insert};

    if (m_nPage != PAGE_MEMORY && m_nPage != PAGE_RUIM)
        return;
    CDaoPbookDb& pb = m_env.db->Pbook();
    if (pb.IsOpen())
        return;

    const std::string indexText = Trimmed(m_pIndex->Text());
    if (indexText.empty()) {
        Ask(QString::fromLatin1(kNeedIndex), MsgIcon::Warning, false);
        m_pIndex->setFocus();
        return;
    }
    // The field takes digits only, but a number that cannot be read is
    // refused here all the same rather than trusted.
    const std::optional<int> parsed = PbIndexFromText(indexText);
    if (!parsed) {
        Ask(QString::fromLatin1(kNeedIndex), MsgIcon::Warning, false);
        m_pIndex->clear();
        m_pIndex->setFocus();
        return;
    }
    const int index = *parsed;
    if (index == 0) {
        m_pIndex->clear();
        m_pIndex->setFocus();
        return;
    }
    const int capacity = Capacity(m_nPage);
    if (index > capacity) {
        Ask(Fmt(kIndexTooHigh, capacity), MsgIcon::Warning, false);
        m_pIndex->setFocus();
        return;
    }
    const std::string name = m_pName->Text().toStdString();
    if (name.empty()) {
        Ask(QString::fromLatin1(kNeedName), MsgIcon::Warning, false);
        m_pName->setFocus();
        return;
    }
    const std::string number = Trimmed(m_pNumber->Text());
    if (const DialCheck dc = CheckDialString(number); dc != DialCheck::Ok) {
        Ask(QString::fromLatin1(DialCheckText(dc)), MsgIcon::Warning, false);
        m_pNumber->setFocus();
        return;
    }
    if (number.empty() || number == "+") {
        Ask(QString::fromLatin1(kNeedNumber), MsgIcon::Warning, false);
        m_pNumber->setFocus();
        return;
    }

    // Is there such an entry? A table that cannot be read decides nothing:
    // guessing "no" would overwrite the modem's entry unasked.
    bool exists = false;
    try {
        pb.Open(CDaoPbookDb::QueryEntry(index, m_nPage));
        exists = !pb.IsEOF();
        pb.Close();
    } catch (const CDaoException& e) {
        DEBUG_LOG(LEVEL_PB, kLogPbError, __LINE__, e.Description().c_str());
        CloseQuietly(pb);
        Ask(QString::fromLatin1(kDbFailed), MsgIcon::Error, false);
        return;
    }

    int changedRow = -1;
    if (exists) {
        if (Ask(QString::fromLatin1(kAskModify), MsgIcon::Warning, true) != QMessageBox::Yes)
            return;
        const CPbookEngine::Change c = m_env.pbook->ModifyEntry(m_nPage, index, name, number);
        int row = -1;
        for (int r = 0; r < m_pList->rowCount(); ++r)
            if (CellText(r, 0).toInt() == index)
                row = r;
        if (c.ok() || (c.result == DM_RESULT_DB_ERROR && !c.beforeModem)) {
            if (row >= 0) {
                m_pList->item(row, 1)->setText(m_pName->Text());
                m_pList->item(row, 2)->setText(m_pNumber->Text());
            }
            changedRow = row;
            if (!c.ok())
                Ask(QString::fromLatin1(kDbFailed), MsgIcon::Error, false);
        } else if (c.lost) {
            if (row >= 0) {
                m_pList->removeRow(row);
                --m_nEntryCount;
                UpdateCounter();
            }
            Ask(QString::fromLatin1(kModifyLost), MsgIcon::Error, false);
        } else {
            changedRow = row;
            Ask(c.restored ? QString::fromLatin1(kModifyRestored)
                           : c.refusal.empty() ? QString::fromLatin1(kWriteFailed) : QString::fromStdString(c.refusal),
                MsgIcon::Error, false);
        }
    } else {
        if (Ask(QString::fromLatin1(kAskInsert), MsgIcon::Warning, true) != QMessageBox::Yes)
            return;
        // Full is what the table holds for this phonebook, not what the list
        // shows (a search shows fewer).
        const int stored = PbEntryCount(*m_env.db, m_nPage);
        if (stored < 0) {
            Ask(QString::fromLatin1(kDbFailed), MsgIcon::Error, false);
            return;
        }
        if (stored >= capacity) {
            Ask(Fmt(kNoSpace, Capacity(PAGE_RUIM), Capacity(PAGE_MEMORY)), MsgIcon::Error, false);
            return;
        }
        const CPbookEngine::Change c = m_env.pbook->WriteEntry(m_nPage, index, name, number);
        if (c.ok() || (c.result == DM_RESULT_DB_ERROR && !c.beforeModem)) {
            AddEntryRow(index, name, number);
            changedRow = m_pList->rowCount() - 1;
            ++m_nEntryCount;
            UpdateCounter();
            if (!c.ok())
                Ask(QString::fromLatin1(kDbFailed), MsgIcon::Error, false);
        } else {
            Ask(QString::fromLatin1(c.refusal.empty() ? kWriteFailed : c.refusal.c_str()), MsgIcon::Error, false);
        }
    }
    CloseQuietly(pb);
    if (changedRow >= 0)
        SelectRow(changedRow);
    FitNumberColumn(161, 145);
}

// ---------------------------------------------------------------------------
// Delete

void CPhoneBookView::OnDelete()
{
    if (Busy())
        return;
    std::vector<int> rows = SelectedRows();
    if (rows.empty()) {
        Ask(QString::fromLatin1(kNoSelection), MsgIcon::Warning, false);
        return;
    }
    if (rows.size() > size_t(kMaxDeleteItems))
        rows.resize(size_t(kMaxDeleteItems));
    BusyScope busy(*this);
    // From the last selected to the first, so the positions still to come
    // stay valid; only the first asks.
    int failed = 0;
    for (size_t i = rows.size(); i-- > 0;) {
        bool stop = false;
        if (!DeleteOne(rows[i], i + 1 == rows.size(), stop))
            ++failed;
        if (stop)
            break;
    }
    if (failed > 0)
        Ask(QString::fromLatin1(m_nPage == PAGE_HISTORY ? kHistoryDeleteFailed : kDeleteFailed), MsgIcon::Error,
            false);
}

bool CPhoneBookView::DeleteOne(int row, bool ask, bool& stop)
{
    const bool history = m_nPage == PAGE_HISTORY;
    if ((history ? m_env.db->Vcall().IsOpen() : m_env.db->Pbook().IsOpen()) || row >= m_pList->rowCount()) {
        stop = true;
        return true;
    }
    bool done = false;
    if (history) {
        const QTableWidgetItem* it = m_pList->item(row, 0);
        int64_t callNumber = 0;
        if (!it || !HistoryCallNumber(it->data(Qt::UserRole).toString().toStdString(), callNumber))
            return false;
        if (ask && Ask(QString::fromLatin1(kAskDeleteHistory), MsgIcon::Warning, true) != QMessageBox::Yes) {
            stop = true;
            return true;
        }
        std::string error;
        done = DeleteCallRecord(*m_env.db, callNumber, error);
        if (done) {
            m_pList->removeRow(row);
            --m_nEntryCount;
            UpdateCounter(kHistoryCounterAfterDelete);
            m_pDetail->SetText(QString());
        }
        FitNumberColumn(166, 150);
    } else {
        bool ok = false;
        const int index = CellText(row, 0).toInt(&ok);
        if (!ok)
            return false;
        if (ask && Ask(QString::fromLatin1(kAskDeleteEntry), MsgIcon::Warning, true) != QMessageBox::Yes) {
            stop = true;
            return true;
        }
        const CPbookEngine::Change c = m_env.pbook->DeleteEntry(m_nPage, index);
        // A table that could not follow the modem: the entry is gone from
        // the modem all the same, so it goes from the list.
        done = c.ok() || c.result == DM_RESULT_DB_ERROR;
        if (done) {
            m_pList->removeRow(row);
            --m_nEntryCount;
            UpdateCounter();
            ClearFields();
        }
        FitNumberColumn(161, 145);
    }
    if (done && m_pList->rowCount() > 0) {
        const int next = std::min(row, m_pList->rowCount() - 1);
        SelectRow(next);
        ShowItemData(next);
    }
    return done;
}

void CPhoneBookView::OnDeleteAll()
{
    if (Busy() || m_nPage != PAGE_HISTORY || m_pList->rowCount() == 0)
        return;
    BusyScope busy(*this);
    if (Ask(QString::fromLatin1(kAskDeleteAll), MsgIcon::Error, true) != QMessageBox::Yes)
        return;
    if (m_env.db->Vcall().IsOpen())
        return;
    std::string error;
    if (DeleteAllCallHistory(*m_env.db, error)) {
        m_pList->setRowCount(0);
        m_nEntryCount = 0;
        UpdateCounter(kHistoryCounterAfterDelete);
    } else {
        Ask(QString::fromLatin1(kHistoryDeleteFailed), MsgIcon::Error, false);
    }
    m_pDetail->SetText(QString());
}

// ---------------------------------------------------------------------------
// Write Message, Voice Call

std::vector<std::string> CPhoneBookView::SelectedNumbers() const
{
    std::vector<std::string> numbers;
    for (int row : SelectedRows())
        numbers.push_back(CellText(row, 2).toStdString());
    return MessageNumbers(numbers);
}

void CPhoneBookView::OnWriteMessage()
{
    if (Busy())
        return;
    const int selected = int(SelectedRows().size());
    if (const PbRefusal r = WriteMessageRefusal(State(), selected)) {
        Ask(QString::fromStdString(r.text), r.icon, false);
        return;
    }
    const bool recipientsShown = m_env.smsState && m_env.smsState() == kSmsRecipientsState;
    if (!recipientsShown && m_env.smsSending && m_env.smsSending()) {
        Ask(QString::fromLatin1(kSmsSending), MsgIcon::Warning, false);
        return;
    }
    const std::vector<std::string> numbers = SelectedNumbers();
    if (numbers.empty())
        return;
    if (m_env.setRecipients)
        m_env.setRecipients(numbers);
    if (recipientsShown) {
        // The SMS page is waiting for recipients: fill them and stay open.
        if (m_env.postUiRequest)
            m_env.postUiRequest(UI_REQ_FILL_RECIPIENTS);
        return;
    }
    m_bReturn = false;
    if (m_env.postUiRequest)
        m_env.postUiRequest(UI_REQ_COMPOSE);
    accept();
}

void CPhoneBookView::OnVoiceCall()
{
    if (Busy())
        return;
    const std::vector<int> rows = SelectedRows();
    if (const PbRefusal r = VoiceCallRefusal(State(), int(rows.size()))) {
        Ask(QString::fromStdString(r.text), r.icon, false);
        return;
    }
    const std::string name = CutText(CellText(rows[0], 1).toStdString(), size_t(kCallerNameMax));
    const std::string number = UsableNumber(CellText(rows[0], 2).toStdString());
    if (number.empty())
        return;
    if (m_env.setDial)
        m_env.setDial(number, name);
    m_bNumberChosen = true;
    if (m_env.postUiRequest)
        m_env.postUiRequest(UI_REQ_DIAL);
    accept();
}

} // namespace kvpb
