#include "controls/PinDlg.h"

#include "controls/DialogIds.h"
#include "controls/HoverButton.h"
#include "controls/PageDialogs.h"
#include "controls/Skin.h"
#include "controls/SkinIds.h"
#include "controls/TextStatic.h"
#include "settings/Profile.h"
#include "settings/SettingsKeys.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QRegularExpressionValidator>

namespace {
constexpr const char* kLabelPin = "PIN Number :";
constexpr const char* kLabelNewPin = "NEW PIN Number:";
constexpr const char* kLabelUnblock = "UnBlock :";
constexpr const char* kLabelConfirm = "Confirm PIN :";
constexpr const char* kMsgNoPin = "You must input Pin Code";
constexpr const char* kMsgNotMatched = "New Pin Number is not matched.";
constexpr const char* kMsgNoUnblock = "You must input Unblock Code";

constexpr int kWidth = 230;
constexpr int kHeightPin = 110;
constexpr int kHeightUnblock = 170;
constexpr int kLabelX = 10, kLabelW = 110, kLabelH = 16;
constexpr int kFieldX = 120, kFieldW = 96, kFieldH = 22;
const QColor kLabelColour(0xe6, 0xee, 0xf8);

QLineEdit* MakeField(QWidget* parent, int id)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::number(id));
    e->setEchoMode(QLineEdit::Password);
    e->setAlignment(Qt::AlignCenter);
    e->setMaxLength(kvui::PIN_MAX_CHARS);
    e->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), e));
    return e;
}
} // namespace

QPointer<CPinDlg> CPinDlg::s_open;

CPinDlg::CPinDlg(kvui::IModalOwner* owner, QWidget* parent) : QDialog(parent), m_pOwner(owner)
{
    setObjectName(QString::number(kvui::IDD_PIN));
    m_pUnblock = MakeField(this, kvui::IDC_PIN_UNBLOCK);
    m_pPin = MakeField(this, kvui::IDC_PIN_NEW);
    m_pConfirm = MakeField(this, kvui::IDC_PIN_CONFIRM);
    m_pLabelUnblock = new CTextStatic(this, kvui::IDC_PIN_LABEL_UNBLOCK);
    m_pLabelPin = new CTextStatic(this, kvui::IDC_PIN_LABEL_PIN);
    m_pLabelConfirm = new CTextStatic(this, kvui::IDC_PIN_LABEL_CONFIRM);
    m_pOk = new CHoverButton(this, kvui::IDOK);
    m_pExit = new CHoverButton(this, kvui::IDC_PIN_EXIT);
    m_pOk->SetBitmap(kvui::IDB_PIN_VERIFY);
    m_pExit->SetBitmap(kvui::IDB_PIN_EXIT);
    m_pExit->SetTooltipText("Exit !");
    connect(m_pOk, &QAbstractButton::clicked, this, &CPinDlg::OnOK);
    connect(m_pExit, &QAbstractButton::clicked, this, &CPinDlg::OnExit);
}

CPinDlg::~CPinDlg() = default;

void CPinDlg::OnInitDialog()
{
    if (m_bInitDone)
        return;
    m_bInitDone = true;
    s_open = this;
    if (m_pOwner)
        m_pOwner->SetModalWindow(this);

    const bool unblock = m_nMode == kvui::PIN_MODE_UNBLOCK;
    setFixedSize(kWidth, unblock ? kHeightUnblock : kHeightPin);
    for (CTextStatic* l : {m_pLabelUnblock, m_pLabelPin, m_pLabelConfirm}) {
        l->SetBackColor(Qt::transparent);
        l->SetTextColor(kLabelColour);
        l->SetAlignment(CTextStatic::ALIGN_LEFT);
        l->SetTextFont(11, 500, "MS Sans Serif");
    }
    m_pLabelUnblock->SetText(kLabelUnblock);
    m_pLabelConfirm->SetText(kLabelConfirm);

    if (unblock) {
        // Rows: unblock code, new PIN, confirmation; buttons below.
        m_pLabelUnblock->setGeometry(kLabelX, 14, kLabelW, kLabelH);
        m_pUnblock->setGeometry(kFieldX, 10, kFieldW, kFieldH);
        m_pLabelPin->setGeometry(kLabelX, 44, kLabelW, kLabelH);
        m_pPin->setGeometry(kFieldX, 40, kFieldW, kFieldH);
        m_pLabelConfirm->setGeometry(kLabelX, 74, kLabelW, kLabelH);
        m_pConfirm->setGeometry(kFieldX, 70, kFieldW, kFieldH);
        m_pOk->move(40, 102);
        m_pExit->move(140, 102);
        m_pLabelPin->SetText(kLabelNewPin);
        m_pOk->SetTooltipText("UnBlock");
        const int left = kv::GetProfileInt(kv::kSecChv1PukCnt, kv::kKeyNum, 0, kv::kIniDialer);
        setWindowTitle(QString::asprintf("%s (%d)", kLabelUnblock, left));
    } else {
        m_pLabelPin->setGeometry(kLabelX, 14, kLabelW, kLabelH);
        m_pPin->setGeometry(kFieldX, 10, kFieldW, kFieldH);
        m_pOk->move(60, 50);
        m_pExit->move(140, 50);
        m_pLabelPin->SetText(kLabelPin);
        m_pOk->SetTooltipText("Verify");
        for (QWidget* w : std::initializer_list<QWidget*>{m_pUnblock, m_pLabelUnblock, m_pConfirm, m_pLabelConfirm})
            w->hide();
        const int left = kv::GetProfileInt(kv::kSecChv1Cnt, kv::kKeyNum, 0, kv::kIniDialer);
        setWindowTitle(QString::asprintf("%s (%d)", kLabelPin, left));
    }
    m_pPin->setFocus();
}

int CPinDlg::exec()
{
    OnInitDialog();
    return QDialog::exec();
}

void CPinDlg::Fail(QLineEdit* focus, const char* message)
{
    if (message)
        kvui::PageMessageBox(this, QMessageBox::Critical, QString::fromLatin1(message));
    if (focus)
        focus->setFocus();
}

void CPinDlg::OnOK()
{
    const QString pin = m_pPin->text();
    if (pin.isEmpty()) {
        Fail(m_pPin, kMsgNoPin);
        return;
    }
    accepted = 1;
    kv::WriteProfileString(kv::kSecChv1, kv::kKeyNum, pin.toStdString(), kv::kIniDialer);
    if (m_nMode != kvui::PIN_MODE_UNBLOCK) {
        QDialog::accept();
        return;
    }
    const QString confirm = m_pConfirm->text();
    const QString code = m_pUnblock->text();
    if (pin.size() < kvui::PIN_MIN_CHARS) {
        Fail(m_pPin, nullptr);
        return;
    }
    if (confirm.size() < kvui::PIN_MIN_CHARS) {
        Fail(m_pConfirm, nullptr);
        return;
    }
    if (pin != confirm) {
        Fail(nullptr, kMsgNotMatched);
        return;
    }
    if (code.size() < kvui::PIN_MIN_CHARS) {
        Fail(m_pUnblock, kMsgNoUnblock);
        return;
    }
    kv::WriteProfileString(kv::kSecChv1Temp, kv::kKeyNum, code.toStdString(), kv::kIniDialer);
    QDialog::accept();
}

void CPinDlg::OnExit()
{
    accepted = 0;
    QDialog::reject();
}

void CPinDlg::keyPressEvent(QKeyEvent* e)
{
    // Enter is the OK button's key (the dialog's default action): the
    // bitmap buttons are no push buttons, so the dialog presses it itself.
    if (e->modifiers() == Qt::NoModifier || e->modifiers() == Qt::KeypadModifier) {
        if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
            e->accept();
            OnOK();
            return;
        }
    }
    QDialog::keyPressEvent(e);
}

void CPinDlg::reject()
{
    OnExit();
}

void CPinDlg::paintEvent(QPaintEvent*)
{
    const QPixmap back = kvui::SkinPixmap(kvui::IDB_PIN_BACK);
    if (back.isNull())
        return;   // the default background stays
    QPainter p(this);
    p.drawPixmap(rect(), back);
}

quint8 CPinDlg::Run(kvui::IModalOwner* owner, int mode)
{
    quint8 result = 0;
    kvui::RunOnUiThread([&] {
        CPinDlg dlg(owner);
        dlg.SetMode(mode);
        dlg.exec();
        result = dlg.accepted;
    });
    return result;
}

void CPinDlg::CancelOpen()
{
    if (s_open)
        s_open->OnExit();
}

CPinDlg* CPinDlg::OpenDialog()
{
    return s_open.data();
}
