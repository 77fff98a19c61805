// The SMS page as the main window sees it: the page over the window's
// engine, database and text field, with the window's dialogs.
#include "app/AppIds.h"
#include "app/AppWiring.h"
#include "app/Dialer_oneDlg.h"
#include "controls/EditEx.h"
#include "controls/PageDialogs.h"
#include "controls/UserMsgDlg.h"
#include "messaging/SmsPbAddDlg.h"
#include "messaging/SmsView.h"

#include <QMessageBox>

namespace kvapp {

namespace {

QStyle::StandardPixmap PopupPixmap(kvsms::AskIcon icon)
{
    switch (icon) {
    case kvsms::AskIcon::Information: return QStyle::SP_MessageBoxInformation;
    case kvsms::AskIcon::Warning: return QStyle::SP_MessageBoxWarning;
    case kvsms::AskIcon::Question: return QStyle::SP_MessageBoxQuestion;
    default: return QStyle::SP_MessageBoxCritical;
    }
}

// The page's boxes and questions, over the window and run as boxes of the
// page: the modem's removal closes them as cancelled.
void WirePageDialogs(CDialer_oneDlg* w, kvsms::CSmsView* view)
{
    kvsms::SmsViewEnv& env = view->Env();
    auto popup = [view](CUserMsgDlg& d) {
        constexpr int kClosedByRemoval = -1;
        if (kvui::ExecPageDialog(d, kClosedByRemoval, view) == kClosedByRemoval)
            return int(CUserMsgDlg::RESULT_CANCEL);
        return int(d.Result());
    };
    env.messageBox = [w, view](const std::string& text, kv::MsgIcon icon) {
        const QMessageBox::Icon shown = icon == kv::MsgIcon::Information ? QMessageBox::Information
                                        : icon == kv::MsgIcon::Warning   ? QMessageBox::Warning
                                                                         : QMessageBox::Critical;
        kvui::PageMessageBox(w, shown, QString::fromStdString(text), QMessageBox::Ok, QMessageBox::NoButton, view);
    };
    env.timedPopup = [w, popup](const std::string& text, kvsms::AskIcon icon, int mode, int countdown,
                                bool defaultOk) {
        CUserMsgDlg d(w);
        d.SetText(QString::fromStdString(text));
        d.SetIcon(PopupPixmap(icon));
        d.SetMode(mode);
        d.SetCountdown(countdown, defaultOk);
        return popup(d);
    };
    env.askSave = [w, popup](const std::string& text) {
        CUserMsgDlg d(w);
        d.SetText(QString::fromStdString(text));
        d.SetIcon(QStyle::SP_MessageBoxQuestion);
        d.SetMode(CUserMsgDlg::MODE_QUESTION);
        d.SetCountdown(5, true);
        d.SetButtonTips("Save", "Cancel");
        return popup(d);
    };
    env.askYesNo = [w, view](const std::string& text) {
        return kvui::PageMessageBox(w, QMessageBox::Warning, QString::fromStdString(text),
                                    QMessageBox::Yes | QMessageBox::No, QMessageBox::No, view)
               == QMessageBox::Yes;
    };
    env.askName = [w, view](std::string& name, std::string& number) {
        w->SetModalView(kv::MODAL_SMS_DIALOG);
        const bool ok = kvsms::CSmsPbAddDlg::Ask(w, name, number, view);
        w->SetModalView(kv::MODAL_NONE);
        return ok;
    };
}

// Lives as long as the page (a child object of it).
class CSmsPage : public QObject, public ISmsPage {
public:
    explicit CSmsPage(kvsms::CSmsView* view) : QObject(view), m_view(view) {}

    QWidget* Widget() override { return m_view; }
    void ResetSelection() override { m_view->ResetSmsPage(1); }
    void SetComposeMode(bool compose) override { m_view->EnterPage(compose ? 1 : 0); }
    void Reset() override { m_view->ResetSmsPage(0); }
    void SendQuick(const std::string& number, const std::string& text) override
    {
        m_view->SendServiceMessage(text, number);
    }
    bool FillRecipients() override { return m_view->FillRecipients(); }
    void UpdateVoiceMail(int listShown) override
    {
        m_view->RemoveVoiceMailRow(listShown != 0 && m_view->State() == kv::smspage::SMS_INBOX_LIST);
    }
    uint16_t ListState() const override { return m_view->State(); }
    bool Sending() const override { return m_view->Sending(); }
    void SetRecipients(const std::vector<std::string>& numbers) override { m_view->SetRecipients(numbers); }
    int ListItemCount() override { return m_view->ListItemCount(); }
    int32_t ListItemData(int item) override { return m_view->ListItemData(item); }
    void ClearListItemData(int item) override { m_view->ClearListItemData(item); }
    void DeleteAllListItems() override { m_view->DeleteAllListItems(); }

private:
    kvsms::CSmsView* m_view;
};

} // namespace

ISmsPage* MakeSmsPage(CDialer_oneDlg& dlg, kv::CSmsShared& shared)
{
    if (!dlg.Database())
        return nullptr;
    CDialer_oneDlg* w = &dlg;
    kvsms::SmsViewEnv env;
    env.engine = &dlg.Engine();
    env.db = dlg.Database();
    env.shared = &shared;
    env.textField = qobject_cast<CEditEx*>(dlg.Control(kv::IDC_TEXT_FIELD));
    env.showStatusLines = [w](bool show) {
        for (int id : {kv::IDC_LINE_APN, kv::IDC_LINE_CARD, kv::IDC_LINE_SIGNAL})
            if (QWidget* c = w->Control(id))
                c->setVisible(show);
    };
    env.setDialBuffer = [w](const std::string& number) {
        if (w->DialPad())
            w->DialPad()->SetNumber(number);
    };
    auto* view = new kvsms::CSmsView(std::move(env), &dlg);
    WirePageDialogs(w, view);
    return new CSmsPage(view);
}

} // namespace kvapp
