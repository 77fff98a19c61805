// The SMS page's inbox and outbox: building the lists, opening a message,
// deleting one or all, and the voice-mail notification's row.
#include "messaging/SmsView.h"

#include "controls/EditEx.h"
#include "controls/HoverButton.h"
#include "controls/TextStatic.h"
#include "data/DataConstants.h"
#include "host/HostIds.h"
#include "log/DebugLog.h"
#include "messaging/SmsTexts.h"
#include "messaging/SmsViewText.h"

#include <QGuiApplication>
#include <algorithm>
#include <QMenu>
#include <QScreen>
#include <QTreeWidget>

namespace kvsms {

using namespace kv;
using namespace kv::smspage;

namespace {
constexpr int kIndexRole = Qt::UserRole;
constexpr int kIconRole = Qt::UserRole + 1;
} // namespace

// ---------------------------------------------------------------------------
// The engine's view of the list

int CSmsView::ListItemCount() const { return m_pList->topLevelItemCount(); }

int32_t CSmsView::ListItemData(int item) const
{
    const QTreeWidgetItem* it = m_pList->topLevelItem(item);
    return it ? int32_t(it->data(0, kIndexRole).toInt()) : 0;
}

void CSmsView::ClearListItemData(int item)
{
    if (QTreeWidgetItem* it = m_pList->topLevelItem(item))
        it->setData(0, kIndexRole, 0);
}

void CSmsView::DeleteAllListItems() { m_pList->clear(); }

// ---------------------------------------------------------------------------
// Lists

void CSmsView::SetTextColumnWidth()
{
    // Room for the scroll bar once the list holds more than five items.
    m_pList->setColumnWidth(1, ListItemCount() > kRecipientRows ? 113 : 130);
}

void CSmsView::ShowList(uint16_t state)
{
    const bool inbox = state == SMS_INBOX_LIST;
    update();
    ShowTextField(false, false);
    for (int id : {IDC_SMS_PREV, IDC_SMS_DEL, IDC_SMS_NEXT})
        m_buttons[id]->show();
    m_pList->show();
    if (inbox && (St().m_ucUiFlags.load() & UIF_SMS_WAITING))
        RefreshMirror();
    if (m_wState != state)
        return; // a send began or the page was reset while the refresh waited
    BuildList(inbox);
    if (ListItemCount() == 0) {
        Box(inbox ? "There are no messages in the inbox." : "There are no messages in the outbox.", MsgIcon::Warning);
        ShowHome();
        return;
    }
    SetTextColumnWidth();
}

void CSmsView::RefreshMirror()
{
    const bool memory = Sub(DM_SMS_LIST, uintptr_t(kSmsStoreMemory)) == DM_SMS_LIST;
    const bool ruim = Sub(DM_SMS_LIST, uintptr_t(kSmsStoreRuim)) == DM_SMS_LIST;
    const bool read = Sub(DM_SMS_READ, 0) == DM_SMS_READ;
    if (read)
        St().m_ucUiFlags &= uint8_t(~UIF_SMS_WAITING);
    if (!memory)
        DEBUG_LOG(LEVEL_SMS, "memory dm_sms_info error(smsview.cpp, line=%d)\n", __LINE__);
    if (!ruim)
        DEBUG_LOG(LEVEL_SMS, "ruim dm_sms_info error(smsview.cpp, line=%d)\n", __LINE__);
    if (!read)
        DEBUG_LOG(LEVEL_SMS, "dm_sms_read error(smsview.cpp, line=%d)\n", __LINE__);
}

void CSmsView::BuildList(bool inbox)
{
    m_pList->clear();
    m_nReadMark = -1;
    std::vector<SmsRowView> rows;
    // Database errors end the walk: the list keeps what was read.
    try {
        if (m_env.db->EnsureSmsCursor()) {
            CDaoSmsDb& sms = m_env.db->Sms();
            if (sms.GetRecordCount() > 0) {
                sms.MoveFirst();
                while (!sms.IsEOF()) {
                    rows.push_back({sms.m_index, int(sms.m_tag_type), sms.MessageText()});
                    sms.MoveNext();
                }
            }
        }
    } catch (const CDaoException& e) {
        DEBUG_LOG(LEVEL_SMS, "%s (line=%d)\n", e.Description().c_str(), __LINE__);
    }
    const std::vector<SmsListItem> items =
        inbox ? BuildInboxItems(rows, m_env.shared->m_nVoiceSlot.load(), m_env.shared->m_nVoiceCount.load())
              : BuildOutboxItems(rows);
    QList<QTreeWidgetItem*> made;
    made.reserve(qsizetype(items.size()));
    for (const SmsListItem& i : items) {
        auto* it = new QTreeWidgetItem;
        it->setIcon(0, QIcon(m_icons.at(size_t(i.icon))));
        it->setData(0, kIndexRole, i.index);
        it->setData(0, kIconRole, i.icon);
        it->setText(1, ShownText(i.text));
        made.push_back(it);
    }
    m_pList->addTopLevelItems(made);
}

// ---------------------------------------------------------------------------
// Opening a message

void CSmsView::OpenItem(bool doubleClick)
{
    if (Busy())
        return;
    QTreeWidgetItem* item = m_pList->currentItem();
    if (!item || !item->isSelected()) {
        Box("Please, Select the Item first.", MsgIcon::Warning);
        return;
    }
    OpenSelected(m_pList->indexOfTopLevelItem(item), doubleClick);
}

void CSmsView::OpenSelected(int row, bool doubleClick)
{
    const bool inbox = StateGroup(m_wState) == 2;
    const int32_t index = ListItemData(row);
    CDaoSmsDb& sms = m_env.db->Sms();
    bool found = false;
    int tag = 0;
    std::string number, text;
    double time = 0;
    try {
        if (m_env.db->EnsureSmsCursor() && index != 0 && sms.FindFirst(CDaoSmsDb::FilterIndex(index))) {
            found = true;
            tag = int(sms.m_tag_type);
            number = sms.m_cb_number;
            text = sms.MessageText();
            time = sms.m_time;
        }
    } catch (const CDaoException& e) {
        DEBUG_LOG(LEVEL_SMS, "%s (line=%d)\n", e.Description().c_str(), __LINE__);
    }
    if (inbox && !found && !doubleClick)
        return;
    if (inbox && found && tag == int(kSmsTagUnread)) {
        if (IsVoiceMailRow(index, m_env.shared->m_nVoiceSlot.load())) {
            if (Sub(DM_SMS_GETVOICE, uintptr_t(index)) != DM_SMS_GETVOICE)
                return;
        } else {
            if (Sub(DM_SMS_SETTAG, uintptr_t(index)) != DM_SMS_SETTAG)
                return;
            const uint16_t count = St().m_wLastSmsCount.load();
            if (count > 0)
                St().m_wLastSmsCount = uint16_t(count - 1);
            try {
                if (sms.FindFirst(CDaoSmsDb::FilterIndex(index))) {
                    sms.Edit();
                    sms.m_tag_type = kSmsTagRead;
                    sms.Update();
                }
            } catch (const CDaoException& e) {
                DEBUG_LOG(LEVEL_SMS, "%s (line=%d)\n", e.Description().c_str(), __LINE__);
            }
            if (QTreeWidgetItem* it = m_pList->topLevelItem(row)) {
                const int icon = ListIcon(index, int(kSmsTagRead), false);
                it->setIcon(0, QIcon(m_icons.at(size_t(icon))));
                it->setData(0, kIconRole, icon);
            }
        }
        // The voice-mail notification's text was read again.
        try {
            if (sms.FindFirst(CDaoSmsDb::FilterIndex(index))) {
                number = sms.m_cb_number;
                text = sms.MessageText();
                time = sms.m_time;
            }
        } catch (const CDaoException& e) {
            DEBUG_LOG(LEVEL_SMS, "%s (line=%d)\n", e.Description().c_str(), __LINE__);
        }
    }
    if (found) {
        m_pNumber->SetText(ShownText(number));
        if (m_env.textField) {
            // One kind of line break in the field.
            std::string shown = NormalizeCrLf(text);
            shown.erase(std::remove(shown.begin(), shown.end(), '\r'), shown.end());
            m_env.textField->SetText(ShownText(shown));
        }
        if (inbox)
            SetText(IDC_SMS_STATUS, MessageTimeText(time, !doubleClick));
    }
    ShowSmsState(inbox ? SMS_INBOX_MSG : SMS_OUTBOX_MSG, 0);
}

// ---------------------------------------------------------------------------
// Deleting

void CSmsView::PopupDeleteMenu()
{
    QMenu menu(this);
    QAction* one = menu.addAction("Delete");
    QAction* all = menu.addAction("Delete All");
    all->setEnabled((m_wState & 0xFF) <= 1);
    QPoint at = mapToGlobal(QPoint(0, height()));
    if (const QScreen* s = screen()) {
        const QRect g = s->availableGeometry();
        const QSize size = menu.sizeHint();
        at.setX(std::clamp(at.x(), g.left(), std::max(g.left(), g.right() - size.width())));
        at.setY(std::clamp(at.y(), g.top(), std::max(g.top(), g.bottom() - size.height())));
    }
    QAction* chosen = menu.exec(at);
    if (chosen == one)
        OnCommand(ID_SMS_DELETE);
    else if (chosen == all)
        OnCommand(ID_SMS_DELETE_ALL);
}

void CSmsView::DeleteOne()
{
    QTreeWidgetItem* item = m_pList->currentItem();
    if (!item || !item->isSelected()) {
        Box("Please, Select the Item first.", MsgIcon::Warning);
        return;
    }
    const int32_t index = ListItemData(m_pList->indexOfTopLevelItem(item));
    if (Popup("Do you like to delete this Message?", AskIcon::Question, 0, 5, false) == 2)
        return;
    // Every stop from here on is told: the user said OK and must learn why
    // the message stayed.
    // The popup served events: the list may have been built again, or a
    // request of the page may have begun meanwhile.
    if (Busy()) {
        Box(DeleteStopText(DeleteStop::PageBusy), MsgIcon::Warning);
        return;
    }
    item = nullptr;
    for (int i = 0; i < ListItemCount() && !item && index != 0; ++i)
        if (ListItemData(i) == index)
            item = m_pList->topLevelItem(i);
    const int group = StateGroup(m_wState);
    if (!item || (group != 2 && group != 3)) {
        Box(DeleteStopText(DeleteStop::ItemGone), MsgIcon::Warning);
        return;
    }
    int tag = 0;
    try {
        CDaoSmsDb& sms = m_env.db->Sms();
        if (!m_env.db->EnsureSmsCursor()) {
            Box(DeleteStopText(DeleteStop::DbError), MsgIcon::Error);
            return;
        }
        if (!sms.FindFirst(CDaoSmsDb::FilterIndex(index))) {
            Box(DeleteStopText(DeleteStop::RowMissing), MsgIcon::Warning);
            return;
        }
        tag = int(sms.m_tag_type);
    } catch (const CDaoException& e) {
        DEBUG_LOG(LEVEL_SMS, "%s (line=%d)\n", e.Description().c_str(), __LINE__);
        Box(DeleteStopText(DeleteStop::DbError), MsgIcon::Error);
        return;
    }
    if (const uint16_t r = Sub(DM_SMS_REMOVEAT, uintptr_t(index)); r != DM_SMS_REMOVEAT) {
        DEBUG_LOG(LEVEL_SMS, "sms delete of 0x%x ended with 0x%04x\n", unsigned(index), unsigned(r));
        Box(DeleteFailureText(r, false), MsgIcon::Error);
        return;
    }
    CSmsShared& sh = *m_env.shared;
    if (IsVoiceMailRow(index, sh.m_nVoiceSlot.load())) {
        sh.m_nVoiceSlot = -1;
        sh.m_nVoiceCount = 0;
    }
    auto& count = SmsStorageOf(index) == kSmsStoreMemory ? sh.m_nMemoryCount : sh.m_nRuimCount;
    if (count.load() > 0)
        count = count.load() - 1;
    if (tag == int(kSmsTagUnread) && St().m_wLastSmsCount.load() > 0)
        St().m_wLastSmsCount = uint16_t(St().m_wLastSmsCount.load() - 1);
    // Found again: the sub-request served events too.
    int at = -1;
    for (int i = 0; i < ListItemCount() && at < 0; ++i)
        if (ListItemData(i) == index)
            at = i;
    if (at >= 0)
        delete m_pList->takeTopLevelItem(at);
    else
        at = 0;
    if ((m_wState & 0xFF) == 2) {
        ShowSmsState(uint16_t(m_wState - 1), 0);
    } else if (ListItemCount() == 0) {
        ShowHome();
        return;
    } else {
        SetTextColumnWidth();
    }
    if (m_wState == SMS_INBOX_LIST || m_wState == SMS_OUTBOX_LIST)
        SelectAfterDelete(at);
}

void CSmsView::SelectAfterDelete(int row)
{
    const int n = ListItemCount();
    if (n == 0)
        return;
    QTreeWidgetItem* it = m_pList->topLevelItem(std::min(row, n - 1));
    m_pList->setCurrentItem(it);
    it->setSelected(true);
    m_pList->scrollToItem(it);
    m_pList->setFocus();
}

void CSmsView::DeleteAll()
{
    if (ListItemCount() == 0)
        return;
    const int group = StateGroup(m_wState);
    if (group != 2 && group != 3)
        return;
    if (Popup("Do you like to delete All Messages?", AskIcon::Question, 0, 5, false) == 2)
        return;
    if (m_wState != SMS_INBOX_LIST && m_wState != SMS_OUTBOX_LIST && StateGroup(m_wState) != group)
        return; // the page moved on while the question was open
    if (Busy()) {
        Box(DeleteStopText(DeleteStop::PageBusy), MsgIcon::Warning);
        return;
    }
    const uint16_t r = Sub(DM_SMS_REMOVEALL, group == 2 ? kSmsListInbox : kSmsListOutbox);
    // Messages the modem refused to delete stay: the list is built again
    // from the table, and the user learns what stayed.
    BuildList(group == 2);
    const std::string told = r != DM_SMS_REMOVEALL ? DeleteFailureText(r, true) : DeleteAllLeftText(ListItemCount());
    if (ListItemCount() == 0)
        ShowHome();
    else
        SetTextColumnWidth();
    if (!told.empty())
        Box(told, MsgIcon::Error);
}

// ---------------------------------------------------------------------------
// Voice mail

void CSmsView::RemoveVoiceMailRow(bool listShown)
{
    CSmsShared& sh = *m_env.shared;
    bool removed = false;
    if (listShown) {
        for (int i = 0; i < ListItemCount(); ++i) {
            QTreeWidgetItem* it = m_pList->topLevelItem(i);
            if (it->data(0, kIconRole).toInt() != ICON_VOICE_MAIL)
                continue;
            const int32_t index = ListItemData(i);
            try {
                CDaoSmsDb& sms = m_env.db->Sms();
                if (index != 0 && m_env.db->EnsureSmsCursor() && sms.FindFirst(CDaoSmsDb::FilterIndex(index)))
                    sms.Delete();
            } catch (const CDaoException& e) {
                DEBUG_LOG(LEVEL_SMS, "%s (line=%d)\n", e.Description().c_str(), __LINE__);
            }
            delete m_pList->takeTopLevelItem(i);
            removed = true;
            break;
        }
    } else if (sh.m_nVoiceSlot.load() >= 0) {
        try {
            CDaoSmsDb& sms = m_env.db->Sms();
            if (m_env.db->EnsureSmsCursor()
                && sms.FindFirst(CDaoSmsDb::FilterIndex(SmsRowIndex(kSmsStoreMemory, sh.m_nVoiceSlot.load())))) {
                sms.Delete();
                removed = true;
            }
        } catch (const CDaoException& e) {
            DEBUG_LOG(LEVEL_SMS, "%s (line=%d)\n", e.Description().c_str(), __LINE__);
        }
    } else {
        removed = true; // the messaging service removed the row already
    }
    if (!removed)
        DEBUG_LOG(LEVEL_SMS, "remove voice msg error (line=%d)\n", __LINE__);
    sh.m_nVoiceSlot = -1;
    if (listShown) {
        if (ListItemCount() == 0 && m_wState == SMS_INBOX_LIST)
            ShowHome();
        else
            SetTextColumnWidth();
    }
}

} // namespace kvsms
