// The phonebook page's list: filling it from the tables, its columns and
// counter, the selection and the three entry fields.
#include "contacts/PhoneBookView.h"

#include "contacts/PbCoding.h"
#include "contacts/PbTexts.h"
#include "contacts/PhoneBookRules.h"
#include "contacts/PhoneBookTexts.h"
#include "controls/EditEx.h"
#include "controls/TextStatic.h"
#include "data/AppDatabase.h"
#include "engine/DmEngine.h"
#include "log/DebugLog.h"

#include <QTableWidget>
#include <algorithm>

namespace kvpb {

using namespace kv;
using namespace kv::pbpage;

namespace {

// Table text is bytes of the system code page: UTF-8 when it is valid
// UTF-8, else Latin-1, so every byte shows as something legible.
QString Shown(const std::string& s)
{
    const QByteArray bytes = QByteArray::fromStdString(s);
    const QString u = QString::fromUtf8(bytes);
    return u.toUtf8() == bytes ? u : QString::fromLatin1(bytes);
}

QTableWidgetItem* Cell(const QString& text)
{
    auto* it = new QTableWidgetItem(text);
    it->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    return it;
}

} // namespace

void CPhoneBookView::SetColumns(int first, int second, int third, bool history)
{
    m_pList->setHorizontalHeaderLabels(
        {history ? QString() : QString::fromLatin1(kHeadIndex), QString::fromLatin1(kColName), QString::fromLatin1(kColPhone)});
    m_pList->setColumnWidth(0, first);
    m_pList->setColumnWidth(1, second);
    m_pList->setColumnWidth(2, third);
}

void CPhoneBookView::FitNumberColumn(int narrow, int wide)
{
    // With more than nine items the scroll bar takes its room.
    m_pList->setColumnWidth(2, m_pList->rowCount() > 9 ? wide : narrow);
}

void CPhoneBookView::SetNameLimits()
{
    const ModemState& st = State();
    if (m_nPage == PAGE_RUIM) {
        const int pbLen = st.m_wPbLen.load();
        m_nNameLimit = PbRuimNameLimit(pbLen);
        m_nWideNameLimit = PbRuimWideNameLimit(pbLen);
        m_nNameBytes = m_nNameLimit;
        m_pNumber->SetLimitText(kPbRuimNumberLimit);
        DEBUG_LOG(LEVEL_PB, kLogRuimLimits, pbLen, m_nNameLimit, m_nWideNameLimit);
    } else {
        m_nNameLimit = kPbMemoryNameLimit;
        m_nWideNameLimit = kPbMemoryWideNameLimit;
        m_nNameBytes = kPbMemoryNameLimit;
        m_pNumber->SetLimitText(kPbMemoryNumberLimit);
    }
    m_pName->SetLengthLimits(m_nNameLimit, m_nWideNameLimit);
}

void CPhoneBookView::AddEntryRow(int index, const std::string& name, const std::string& number, int row)
{
    if (row < 0) {
        row = m_pList->rowCount();
        m_pList->insertRow(row);
    }
    m_pList->setItem(row, 0, Cell(QString::number(index)));
    m_pList->setItem(row, 1, Cell(Shown(name)));
    m_pList->setItem(row, 2, Cell(Shown(number)));
}

void CPhoneBookView::AddHistoryRow(int kind, const std::string& name, const std::string& number,
                                   const std::string& details, int row)
{
    if (row < 0) {
        row = m_pList->rowCount();
        m_pList->insertRow(row);
    }
    QTableWidgetItem* icon = Cell(QString());
    if (kind >= 1 && kind <= 3)
        icon->setIcon(m_icons[kind - 1]);
    // The item's data is its details string.
    icon->setData(Qt::UserRole, QString::fromStdString(details));
    m_pList->setItem(row, 0, icon);
    m_pList->setItem(row, 1, Cell(Shown(name)));
    m_pList->setItem(row, 2, Cell(Shown(number)));
}

void CPhoneBookView::FillPhonebook(int page)
{
    SetNameLimits();
    m_pList->setUpdatesEnabled(false);
    m_pList->setRowCount(0);
    CDaoPbookDb& rs = m_env.db->Pbook();
    if (page == PAGE_RUIM) {
        if (rs.IsOpen())
            rs.Close();
        DEBUG_LOG(LEVEL_PB, "%s", kLogRuimStart);
    }
    try {
        rs.Open(CDaoPbookDb::QueryStorage(page));
        const long n = rs.GetRecordCount();
        m_pList->setRowCount(int(n));
        int row = 0;
        for (; !rs.IsEOF() && row < n; rs.MoveNext(), ++row) {
            AddEntryRow(rs.m_index, rs.m_name, rs.m_phone_number, row);
            if (page == PAGE_RUIM)
                DEBUG_LOG(LEVEL_PB, kLogRuimRow, row);
        }
        m_pList->setRowCount(row);
        if (page == PAGE_RUIM)
            DEBUG_LOG(LEVEL_PB, "%s", kLogRuimAll);
        rs.Close();
    } catch (const CDaoException& e) {
        DEBUG_LOG(LEVEL_PB, kLogDbError, e.Description().c_str());
        if (rs.IsOpen())
            rs.Close();
    }
    m_nEntryCount = m_pList->rowCount();
    FitNumberColumn(161, page == PAGE_RUIM ? 144 : 145);
    if (page == PAGE_RUIM)
        DEBUG_LOG(LEVEL_PB, "%s", kLogRuimClose);
    m_pList->setUpdatesEnabled(true);
    UpdateCounter();
}

void CPhoneBookView::FillHistory()
{
    m_pList->setUpdatesEnabled(false);
    m_pList->setRowCount(0);
    DEBUG_LOG(LEVEL_PB, "%s", kLogHistoryStart);
    DEBUG_LOG(LEVEL_PB, "%s", kLogHistory1);
    const HistoryListing listing = ListCallHistory(*m_env.db, kHistoryKeep);
    m_pList->setRowCount(int(listing.items.size()));
    int row = 0;
    for (const HistoryItem& it : listing.items)
        AddHistoryRow(it.kind, it.name, it.number, it.details, row++);
    DEBUG_LOG(LEVEL_PB, "%s", kLogHistoryEnd);
    m_nEntryCount = m_pList->rowCount();
    FitNumberColumn(166, 150);
    m_pList->setUpdatesEnabled(true);
    UpdateCounter();
}

void CPhoneBookView::UpdateCounter(const char* historyFormat)
{
    char buf[64];
    if (m_nPage == PAGE_HISTORY)
        std::snprintf(buf, sizeof buf, historyFormat, std::max(0, m_nEntryCount));
    else
        std::snprintf(buf, sizeof buf, kCounterFormat, m_nEntryCount, Capacity(m_nPage));
    m_pCounter->SetText(QString::fromLatin1(buf));
}

QString CPhoneBookView::CellText(int row, int column) const
{
    const QTableWidgetItem* it = m_pList->item(row, column);
    return it ? it->text() : QString();
}

void CPhoneBookView::ShowItemData(int row)
{
    if (row < 0 || row >= m_pList->rowCount())
        return;
    if (m_nPage == PAGE_HISTORY) {
        const QTableWidgetItem* it = m_pList->item(row, 0);
        const std::string details = it ? it->data(Qt::UserRole).toString().toStdString() : std::string();
        m_pDetail->SetText(Shown(HistoryDetailText(details)));
        return;
    }
    m_pIndex->SetText(CellText(row, 0));
    m_pName->SetText(CellText(row, 1));
    m_pNumber->SetText(CellText(row, 2));
}

void CPhoneBookView::SelectRow(int row)
{
    if (row < 0 || row >= m_pList->rowCount())
        return;
    m_pList->clearSelection();
    m_pList->setCurrentCell(row, 0, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_pList->scrollToItem(m_pList->item(row, 0));
    m_pList->setFocus();
}

void CPhoneBookView::ClearFields()
{
    m_pIndex->clear();
    m_pName->clear();
    m_pNumber->clear();
}

std::vector<int> CPhoneBookView::SelectedRows() const
{
    std::vector<int> rows;
    for (const QModelIndex& i : m_pList->selectionModel()->selectedRows())
        rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

int CPhoneBookView::Capacity(int page) const { return PbCapacity(State(), page); }

} // namespace kvpb
