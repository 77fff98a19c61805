// The SMS page's sending side: the recipient rows and their in-place
// editing, the callback number, the send sequence over the recipients, the
// service messages, calling the number shown and adding the sender to the
// phonebook.
#include "messaging/SmsView.h"

#include "contacts/PbCoding.h"
#include "contacts/PbTable.h"
#include "controls/EditEx.h"
#include "controls/HoverButton.h"
#include "controls/MacProgressCtrl.h"
#include "controls/TextStatic.h"
#include "controls/UserMessage.h"
#include "data/DataConstants.h"
#include "host/HostIds.h"
#include "log/DebugLog.h"
#include "messaging/SmsTexts.h"
#include "messaging/SmsViewText.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QTreeWidget>

namespace kvsms {

using namespace kv;
using namespace kv::smspage;

namespace {
constexpr uint8_t kCallStateRinging = 0x85;
} // namespace

// ---------------------------------------------------------------------------
// Recipient rows

std::string CSmsView::RecipientRow(int row) const
{
    const QTreeWidgetItem* it = m_pRecipients->topLevelItem(row);
    return it ? ModemBytes(it->text(1)) : std::string();
}

void CSmsView::SetRecipientRow(int row, const std::string& number)
{
    if (QTreeWidgetItem* it = m_pRecipients->topLevelItem(row))
        it->setText(1, ShownText(number));
}

void CSmsView::ClearRecipientRows()
{
    for (int i = 0; i < kRecipientRows; ++i)
        SetRecipientRow(i, "");
}

bool CSmsView::TakeRecipientRows()
{
    if (m_pCellEditor)
        EndRecipientEdit();
    m_recipients.clear();
    for (int i = 0; i < kRecipientRows; ++i) {
        const std::string n = RecipientRow(i);
        if (!n.empty())
            m_recipients.push_back(n);
    }
    return !m_recipients.empty();
}

void CSmsView::SetRecipients(const std::vector<std::string>& numbers)
{
    m_recipients.assign(numbers.begin(), numbers.begin() + std::min<size_t>(numbers.size(), kRecipientRows));
}

bool CSmsView::FillRecipients()
{
    bool placed = false;
    for (int i = 0; i < kRecipientRows && !m_recipients.empty(); ++i) {
        if (!RecipientRow(i).empty())
            continue;
        SetRecipientRow(i, m_recipients.front());
        m_recipients.erase(m_recipients.begin());
        placed = true;
    }
    m_recipients.clear();
    return placed;
}

void CSmsView::ShowRecipients(unsigned flags)
{
    update();
    if (m_bRecipientSelection) {
        ClearRecipientRows();
        for (int i = 0; i < kRecipientRows && !m_recipients.empty(); ++i) {
            SetRecipientRow(i, m_recipients.front());
            m_recipients.erase(m_recipients.begin());
        }
        m_bRecipientSelection = false;
    } else if (!(flags & KEEP_FIELDS)) {
        ClearRecipientRows();
        const std::string number = ModemBytes(m_pNumber->Text());
        if (!(flags & NO_NUMBER_MOVE) && !number.empty()) {
            SetRecipientRow(0, number);
            m_pNumber->clear();
        }
    }
    SetText(IDC_SMS_LABEL, "Forward Number :");
    for (int id : {IDC_SMS_PREV, IDC_SMS_NEXT, IDC_SMS_PHONEBOOK})
        m_buttons[id]->show();
    m_texts[IDC_SMS_LABEL]->show();
    m_pIcon->show();
    m_pRecipients->show();
    ShowTextField(true, false);
}

void CSmsView::BeginRecipientEdit(int row, int column)
{
    if (m_wState != SMS_RECIPIENTS || row < 0 || row >= kRecipientRows)
        return;
    if (column != 1) {
        DEBUG_LOG(LEVEL_SMS, "(item=%d,subitem=%d)  pDispInfo=%d\n", row, column, 0);
        return;
    }
    if (m_pCellEditor)
        EndRecipientEdit();
    QTreeWidgetItem* it = m_pRecipients->topLevelItem(row);
    m_nEditItem = row;
    m_nEditSubItem = column;
    m_pCellEditor = new QLineEdit(m_pRecipients->viewport());
    m_pCellEditor->setObjectName("sms_cell_editor");
    m_pCellEditor->setFrame(false);
    m_pCellEditor->setFont(m_pRecipients->font());
    m_pCellEditor->setMaxLength(kCallbackFieldLimit);
    m_pCellEditor->setText(it->text(1));
    m_pCellEditor->setGeometry(m_pRecipients->visualItemRect(it).adjusted(m_pRecipients->columnWidth(0), 0, 0, 0));
    m_pCellEditor->show();
    m_pCellEditor->setFocus();
    m_pCellEditor->selectAll();
    connect(m_pCellEditor, &QLineEdit::editingFinished, this, [this] { EndRecipientEdit(); });
}

void CSmsView::EndRecipientEdit()
{
    QLineEdit* ed = m_pCellEditor;
    if (!ed)
        return;
    m_pCellEditor = nullptr; // before anything that may call back in
    if (m_nEditItem >= 0 && m_nEditSubItem == 1)
        SetRecipientRow(m_nEditItem, ModemBytes(ed->text().trimmed()));
    m_nEditItem = m_nEditSubItem = -1;
    ed->hide();
    ed->deleteLater();
}

bool CSmsView::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == m_pRecipients && e->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Delete) {
        if (QTreeWidgetItem* it = m_pRecipients->currentItem())
            SetRecipientRow(m_pRecipients->indexOfTopLevelItem(it), "");
        return true;
    }
    return QWidget::eventFilter(watched, e);
}

// ---------------------------------------------------------------------------
// Callback and send

void CSmsView::ShowCallback()
{
    if (!m_bSending)
        SetText(IDC_SMS_STATUS, "");
    CTextStatic* status = m_texts[IDC_SMS_STATUS];
    if (St().m_wModemVersion.load() & 0x01) {
        m_pPicture->show();
        status->setGeometry(5, 44, 150, 38);
    } else {
        SetText(IDC_SMS_LABEL, "Callback Number :");
        m_texts[IDC_SMS_LABEL]->show();
        m_pNumber->setReadOnly(false);
        m_pNumber->SetLimitText(kCallbackFieldLimit);
        m_pNumber->show();
        m_pIcon->show();
        status->setGeometry(5, 40, 150, 42);
    }
    status->show();
    m_buttons[IDC_SMS_PREV]->show();
    m_buttons[IDC_SMS_SEND]->show();
    m_pProgress->show();
}

void CSmsView::OnSend()
{
    if (St().m_ucServiceState.load() == SERVICE_EVDO) {
        Box("Cannot send the message in the EVDO Only Mode. Please try different settings!", MsgIcon::Error);
        return;
    }
    if (m_bSending)
        return;
    const std::string refusal = RecipientRefusal(m_recipients);
    if (!refusal.empty()) {
        Box(refusal, MsgIcon::Warning);
        return;
    }
    if (m_recipients.empty())
        return; // the recipient rows were never taken: nothing to send to
    m_bSending = true;
    m_nSent = m_nFailed = 0;
    m_pNumber->setEnabled(false);
    m_buttons[IDC_SMS_SEND]->setEnabled(false);
    const std::string text =
        Utf8Prefix(m_env.textField ? ModemBytes(m_env.textField->Text()) : std::string(), kSendTextMax);
    const std::string callback = Utf8Prefix(ModemBytes(m_pNumber->Text()), kCallbackMax);
    m_env.shared->SetSendRecord(m_recipients.front(), callback, text);
    m_texts[IDC_SMS_STATUS]->show();
    const char* save = "Do you like to save this message\nthat has been sent?  ( RUIM Card )";
    if ((m_env.askSave ? m_env.askSave(save) : Popup(save, AskIcon::Question, 1, 5, true)) != 2) {
        if (Sub(DM_SMS_WRITE, uintptr_t(SmsRowIndex(kSmsStoreRuim, 3))) == DM_SMS_WRITE
            && Sub(DM_SMS_LIST, uintptr_t(kSmsStoreRuim)) == DM_SMS_LIST)
            Sub(DM_SMS_READ, 0);
    }
    if (!m_bSending)
        return; // the engine restarted meanwhile and reset the page
    if (St().m_ucLastCallState.load() == kCallStateRinging) {
        m_recipients.clear();
        Popup("Under Incoming call, Your Modem cannot send mail.", AskIcon::Error, 0, 3, true);
        m_buttons[IDC_SMS_SEND]->setEnabled(true);
        m_bSending = false;
        m_pNumber->setEnabled(true);
        ShowHome();
        return;
    }
    m_pProgress->StepIt();
    Host().PostUserMessage(MsgTarget::SmsPage, UM_SMS_SEND_STATUS, 1, 0);
}

void CSmsView::SendServiceMessage(const std::string& text, const std::string& number)
{
    // A running send owns the send record until its last recipient.
    if (m_bSending) {
        DEBUG_LOG(LEVEL_SMS, "service message not sent: a send is running\n");
        return;
    }
    CSmsShared& sh = *m_env.shared;
    sh.m_sendRecord = SmsOutgoing{};
    sh.m_sendRecord.text = text;
    sh.m_sendRecord.destination = number;
    sh.m_sendRecord.encoding = kSmsEncodingAscii;
    St().m_ucServiceMsgFlag = 1;
    Host().PostUserMessage(MsgTarget::SmsPage, UM_SMS_SEND_STATUS, 1, 0);
}

void CSmsView::OnSendStatus(uintptr_t flag, intptr_t outcome)
{
    if (Busy()) {
        // A sub-request of the page is waiting: take the step afterwards.
        QTimer::singleShot(50, this, [this, flag, outcome] { OnSendStatus(flag, outcome); });
        return;
    }
    Host().KillTimer(TIMER_SMS_SEND_TIMEOUT);
    const bool service = St().m_ucServiceMsgFlag.load() != 0;
    if (flag == 0) {
        if (!m_bSending) {
            DEBUG_LOG(LEVEL_SMS, "send outcome %ld without a send\n", long(outcome));
            return;
        }
        if (outcome == kSmsOutcomeDelivered)
            ++m_nSent;
        else
            ++m_nFailed;
        if (m_recipients.empty()) {
            EndSendSequence(outcome == kSmsOutcomeBusy);
            return;
        }
        m_env.shared->m_sendRecord.destination = m_recipients.front();
        DEBUG_LOG(LEVEL_SMS, "Send Dest Number %s\n", m_recipients.front().c_str());
    } else if (!m_bSending && !service) {
        return;
    }
    const std::string dest = m_env.shared->m_sendRecord.destination;
    SetText(IDC_SMS_STATUS, "number:\n" + dest + "\nYour message is sending.");
    const uint16_t r = Sub(DM_SMS_SEND, 0);
    if (r == DM_SMS_SEND) {
        Host().StartTimer(TIMER_SMS_SEND_TIMEOUT, uint32_t(kSendTimeoutMs));
    } else if (r == DM_RESULT_ENGINE_STOPPED) {
        // The engine ended: the remaining recipients are dropped and the
        // sequence ends with this one counted as failed.
        if (m_bSending) {
            m_nFailed += 1 + int(m_recipients.empty() ? 0 : m_recipients.size() - 1);
            m_recipients.clear();
            EndSendSequence(false);
        }
        m_buttons[IDC_SMS_SEND]->setEnabled(true);
        St().m_ucServiceMsgFlag = 0;
        return;
    } else if (r != DM_RESULT_BAD_ARGUMENT) {
        // No report will come: the recipient counts as failed shortly.
        Host().StartTimer(TIMER_SMS_SEND_TIMEOUT, uint32_t(kSendRetryMs));
    }
    if (service) {
        Host().KillTimer(TIMER_SMS_SEND_TIMEOUT);
        St().m_ucServiceMsgFlag = 0;
        return;
    }
    if (!m_recipients.empty()) {
        DEBUG_LOG(LEVEL_SMS, "Removed !!! Send Dest Number %s\n", m_recipients.front().c_str());
        m_recipients.erase(m_recipients.begin());
    }
}

void CSmsView::EndSendSequence(bool busyOutcome)
{
    char buf[96];
    const bool failed = m_nFailed > 0;
    if (failed)
        std::snprintf(buf, sizeof buf, "Sending messages have %d failed of %d total.", m_nFailed, m_nFailed + m_nSent);
    else
        std::snprintf(buf, sizeof buf, "Sending messages have successful.");
    Popup(buf, failed ? AskIcon::Error : AskIcon::Information, busyOutcome ? 2 : 0, 3, false);
    m_buttons[IDC_SMS_SEND]->setEnabled(true);
    m_bSending = false;
    m_pNumber->setEnabled(true);
    m_pProgress->setValue(0);
    ShowHome();
    ClearRecipientRows();
}

// ---------------------------------------------------------------------------
// Call and add to phonebook

void CSmsView::OnCall()
{
    const uint8_t ras = St().m_nRasState.load();
    const uint8_t service = St().m_ucServiceState.load();
    if ((ras == RAS_STATE_CONNECTING || ras == RAS_STATE_CONNECTED) && (service == 2 || service == SERVICE_EVDO)) {
        Box("Cannot make outgoing call under network connecting", MsgIcon::Warning);
        return;
    }
    const uint16_t phase = St().m_wUiPhase.load();
    if (phase == UI_PHASE_INCOMING || phase == UI_PHASE_OUTGOING) {
        Box("You can't use voice call until hang up call", MsgIcon::Warning);
        return;
    }
    if (m_env.setDialBuffer)
        m_env.setDialBuffer(ModemBytes(m_pNumber->Text()));
    // The request shows the dial pad in the page's place.
    Host().PostUserMessage(MsgTarget::MainWindow, UM_UI_REQUEST, UI_REQ_DIAL, 0);
}

void CSmsView::OnAddToPhonebook()
{
    std::string name;
    std::string number = ModemBytes(m_pNumber->Text());
    if (!m_env.askName || !m_env.askName(name, number))
        return;
    CDaoPbookDb& pb = m_env.db->Pbook();
    // Another phonebook operation holds the cursor: busy.
    if (pb.IsOpen())
        return;
    const int capacity = int(St().m_wPbMemoryMax.load());
    // A table that cannot be read gives no free index: nothing is written,
    // so no entry of the modem can be overwritten by mistake.
    std::string error;
    const int index = PbFreeIndex(pb, kPbookMemory, &error);
    if (index < 0) {
        DEBUG_LOG(LEVEL_PB, "Pbook(line=%d):%s\n", __LINE__, error.c_str());
        return;
    }
    char buf[128];
    if (capacity < index) {
        std::snprintf(buf, sizeof buf, "Index should be less than %d.", capacity);
        Box(buf, MsgIcon::Warning);
        return;
    }
    if (name.empty()) {
        Box("You must input the name field", MsgIcon::Warning);
        return;
    }
    if (const DialCheck c = CheckDialString(number); c != DialCheck::Ok) {
        Box(DialCheckText(c), MsgIcon::Warning);
        return;
    }
    if (number.empty()) {
        Box("You must input the phone number field", MsgIcon::Warning);
        return;
    }
    PbRecord rec;
    if (!MakePbWriteRecord(kPbookMemory, uint32_t(index), name, number, rec)) {
        DEBUG_LOG(LEVEL_PB, "Pbook(line=%d):%s\n", __LINE__, "number does not fit the entry");
        return;
    }
    bool exists = false;
    try {
        pb.Open(CDaoPbookDb::QueryIndexWithProtected(index, kPbookMemory));
        exists = !pb.IsEOF();
        pb.Close();
    } catch (const CDaoException& e) {
        DEBUG_LOG(LEVEL_PB, "Pbook(line=%d):%s\n", __LINE__, e.Description().c_str());
        if (pb.IsOpen())
            pb.Close();
        return;
    }
    const bool yes = m_env.askYesNo ? m_env.askYesNo(exists ? "Modify the selected phonebook data?"
                                                            : "Do you want to Insert  the new data in the phonebook?")
                                    : false;
    if (!yes)
        return;
    // Full only when every place of the phonebook holds an entry.
    const int used = PbEntryCount(pb, kPbookMemory, &error);
    if (used < 0) {
        DEBUG_LOG(LEVEL_PB, "Pbook(line=%d):%s\n", __LINE__, error.c_str());
        return;
    }
    if (used >= capacity) {
        std::snprintf(buf, sizeof buf, "Not enough space to store New Phonebook Data [MAX (ruim:%d, memory:%d)]",
                      int(St().m_wPbRuimMax.load()), capacity);
        Box(buf, MsgIcon::Error);
        return;
    }
    if (Sub(DM_PBOOK_WRITE, reinterpret_cast<uintptr_t>(&rec)) != DM_PBOOK_WRITE)
        return;
    try {
        pb.Open(CDaoPbookDb::QueryStorage(kPbookMemory));
        pb.AddNew();
        pb.m_storage_type = kPbookMemory;
        pb.m_index = index;
        pb.m_name = name;
        pb.m_phone_number = number;
        pb.Update();
        pb.Close();
    } catch (const CDaoException& e) {
        DEBUG_LOG(LEVEL_PB, "Pbook(line=%d):%s\n", __LINE__, e.Description().c_str());
        if (pb.IsOpen())
            pb.Close();
    }
}

} // namespace kvsms
