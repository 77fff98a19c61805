#include "controls/UserMsgDlg.h"

#include "controls/DialogIds.h"
#include "controls/HoverButton.h"
#include "controls/Skin.h"
#include "controls/SkinIds.h"
#include "controls/TextStatic.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>

namespace {
constexpr int kWidth = 344;
constexpr int kHeight = 145;
constexpr int kOffsetX = -80;   // from the main window's top-left corner
constexpr int kOffsetY = 10;
}

CUserMsgDlg::CUserMsgDlg(kvui::IModalOwner* owner, QWidget* parent)
    : QDialog(parent ? parent : (owner ? owner->OwnerWindow() : nullptr)), m_pOwner(owner)
{
    setObjectName(QString::number(kvui::IDD_USER_MSG));
    setWindowTitle(" ");
    m_pText = new CTextStatic(this, kvui::IDC_MSG_TEXT);
    m_pOk = new CHoverButton(this, kvui::IDOK);
    m_pCancel = new CHoverButton(this, kvui::IDCANCEL);
    m_pOk->SetBitmap(kvui::IDB_BTN_OK);
    m_pCancel->SetBitmap(kvui::IDB_BTN_CANCEL);
    m_pOk->SetTooltipText("OK");
    m_pCancel->SetTooltipText("Cancel");
    // The two small icons of the template stay hidden.
    for (int id : {kvui::IDC_MSG_ICON1, kvui::IDC_MSG_ICON2}) {
        auto* l = new QLabel(this);
        l->setObjectName(QString::number(id));
        l->hide();
    }
    m_timer.setInterval(kvui::MSG_TIMER_MS);
    connect(&m_timer, &QTimer::timeout, this, &CUserMsgDlg::OnTimer);
    connect(m_pOk, &QAbstractButton::clicked, this, &CUserMsgDlg::OnOK);
    connect(m_pCancel, &QAbstractButton::clicked, this, &CUserMsgDlg::OnCancel);
}

void CUserMsgDlg::SetButtonTips(const QString& ok, const QString& cancel)
{
    m_pOk->SetTooltipText(ok);
    m_pCancel->SetTooltipText(cancel);
}

QString CUserMsgDlg::OkTip() const { return m_pOk->TooltipText(); }
QString CUserMsgDlg::CancelTip() const { return m_pCancel->TooltipText(); }

void CUserMsgDlg::SetIcon(QStyle::StandardPixmap systemIcon)
{
    m_icon = style()->standardIcon(systemIcon);
}

void CUserMsgDlg::OnInitDialog()
{
    if (m_bInitDone)
        return;
    m_bInitDone = true;
    if (m_pOwner && m_pOwner->OwnerWindow()) {
        const QPoint corner = m_pOwner->OwnerWindow()->frameGeometry().topLeft();
        move(corner + QPoint(kOffsetX, kOffsetY));
    }
    setFixedSize(kWidth, kHeight);
    m_pText->setGeometry(55, 15, 280, 60);
    m_pText->SetTextColor(kvui::FromColorRef(kvui::MSG_TEXT_FORE));
    m_pText->SetBackColor(kvui::FromColorRef(kvui::MSG_TEXT_BACK));
    m_pText->SetTextFont(11, 600, "MS Sans Serif");
    m_pText->SetText(m_strText);
    m_pOk->move(230, 85);
    m_pCancel->move(280, 85);
    if (m_icon.isNull())
        m_icon = style()->standardIcon(QStyle::SP_MessageBoxWarning);

    if (m_nMode == MODE_NOTICE)
        m_nResult = RESULT_NOTICE;
    else if (m_nMode == MODE_QUESTION)
        m_nResult = RESULT_QUESTION;
    else if (m_nMode == MODE_NOTICE_NO_CANCEL)
        m_pCancel->hide();

    if (m_nCountdown > 0)
        m_timer.start();
    if (m_pOwner) {
        m_pOwner->SetModalWindow(this);
        m_pOwner->SetModalView(kvui::MODAL_POPUP);
    }
}

int CUserMsgDlg::exec()
{
    OnInitDialog();
    return QDialog::exec();
}

void CUserMsgDlg::OnTimer()
{
    setWindowTitle(QString::asprintf(" %d ", m_nCountdown));
    if (m_nCountdown <= 0) {
        m_timer.stop();
        if (m_bDefaultOk)
            OnOK();
        else
            OnCancel();
        return;
    }
    --m_nCountdown;
}

void CUserMsgDlg::OnOK()
{
    accept();
}

void CUserMsgDlg::OnCancel()
{
    m_nResult = RESULT_CANCEL;
    QDialog::reject();
}

void CUserMsgDlg::done(int r)
{
    // Escape and the window's close box end the popup as Cancel does.
    if (r == QDialog::Rejected)
        m_nResult = RESULT_CANCEL;
    m_timer.stop();
    // Hidden first: the owner then finds the window the popup was opened
    // over (a page) still open, and keeps it as the modal window.
    QDialog::done(r);
    if (m_pOwner) {
        m_pOwner->SetModalWindow(nullptr);
        m_pOwner->SetModalView(kvui::MODAL_NONE);
    }
}

void CUserMsgDlg::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawPixmap(rect(), kvui::SkinPixmap(kvui::IDB_PAGE_BACK));
    if (!m_icon.isNull())
        p.drawPixmap(15, 15, m_icon.pixmap(32, 32));
}

quint8 CUserMsgDlg::Run(kvui::IModalOwner* owner, const QString& text, QStyle::StandardPixmap icon,
                        int mode, int countdown, bool defaultOk)
{
    quint8 result = 0;
    kvui::RunOnUiThread([&] {
        CUserMsgDlg dlg(owner);
        dlg.SetText(text);
        dlg.SetIcon(icon);
        dlg.SetMode(mode);
        dlg.SetCountdown(countdown, defaultOk);
        dlg.exec();
        result = dlg.Result();
    });
    return result;
}
