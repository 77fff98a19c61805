// The phonebook page: its controls, placement, page switching and the
// input guard.
#include "contacts/PhoneBookView.h"

#include "contacts/PbTexts.h"
#include "contacts/PhoneBookTexts.h"
#include "controls/EditEx.h"
#include "controls/HoverButton.h"
#include "controls/ModalOwner.h"
#include "controls/Skin.h"
#include "controls/TextStatic.h"
#include "controls/UserMessage.h"
#include "data/DataConstants.h"
#include "engine/DmEngine.h"
#include "log/DebugLog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QTableWidget>

namespace kvpb {

using namespace kv;
using namespace kv::pbpage;

namespace {

// Control places in dialog pixels (the dialog is 344 x 326).
constexpr int kMargin = 10;
constexpr int kListTop = 74;
constexpr int kListHeight = 156;
constexpr int kFieldTop = 238;
constexpr int kCounterTop = 264;
constexpr int kBottomTop = 290;

QPixmap CallIcon(int kind)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor colour = kind == kCallOutgoing ? QColor(40, 140, 60)
                          : kind == kCallAnswered ? QColor(40, 80, 180)
                                                  : QColor(200, 40, 40);
    p.setPen(QPen(colour, 2));
    // An arrow leaving (outgoing) or arriving (answered, missed).
    const QPointF a(4, 12), b(12, 4);
    const QPointF tip = kind == kCallOutgoing ? b : a;
    const QPointF tail = kind == kCallOutgoing ? a : b;
    p.drawLine(tail, tip);
    const qreal s = kind == kCallOutgoing ? -1 : 1;
    p.drawLine(tip, tip + QPointF(s * 5, 0));
    p.drawLine(tip, tip + QPointF(0, -s * 5));
    if (kind == kCallMissed) {
        p.setPen(QPen(colour, 1.5));
        p.drawLine(QPointF(10, 10), QPointF(14, 14));
        p.drawLine(QPointF(14, 10), QPointF(10, 14));
    }
    return pm;
}

} // namespace

QPixmap PbButtonStrip(const QString& label, int width, int height)
{
    QPixmap pm(width * 4, height);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QFont f = p.font();
    f.setPixelSize(11);
    f.setBold(true);
    p.setFont(f);
    for (int frame = 0; frame < 4; ++frame) {
        p.save();
        p.translate(frame * width, 0);
        QColor base(88, 120, 190);
        QColor text = Qt::white;
        if (frame == 1)
            base = base.lighter(125);
        if (frame == 2)
            base = base.darker(130);
        if (frame == 3) {
            // Disabled: the page shown now, or an action not available.
            base = QColor(236, 240, 248);
            text = QColor(70, 90, 140);
        }
        const int sink = frame == 2 ? 1 : 0;
        const QRectF body(0.5, 0.5 + sink, width - 1.0, height - 1.0 - sink);
        QLinearGradient g(0, body.top(), 0, body.bottom());
        g.setColorAt(0, base.lighter(frame == 3 ? 102 : 140));
        g.setColorAt(0.5, base);
        g.setColorAt(1, base.darker(frame == 3 ? 108 : 125));
        p.setPen(QPen(frame == 3 ? QColor(120, 140, 190) : base.darker(180), 1));
        p.setBrush(g);
        p.drawRoundedRect(body, 5, 5);
        p.setPen(text);
        p.drawText(body, Qt::AlignCenter, label);
        p.restore();
    }
    return pm;
}

CPhoneBookView::BusyScope::~BusyScope()
{
    if (--m_v.m_nBusy == 0 && m_v.m_bCloseWanted) {
        m_v.m_bCloseWanted = false;
        // Later, once every frame of the action has returned.
        QMetaObject::invokeMethod(&m_v, [v = &m_v] { v->done(v->m_nCloseResult); }, Qt::QueuedConnection);
    }
}

CPhoneBookView::CPhoneBookView(PhoneBookEnv env, int page, int startPage, QWidget* parent)
    : QDialog(parent), m_env(std::move(env)), m_nStartPage(startPage), m_bBeside(page < 0)
{
    setObjectName(QString::number(IDD_PHONEBOOK));
    setWindowTitle(QString::fromLatin1(kCaption));
    setFixedSize(kDialogWidth, kDialogHeight);
    for (int k = 0; k < 3; ++k)
        m_icons[k] = CallIcon(k + 1);
    CreateControls();
    // Every input of the page passes the busy guard.
    for (QWidget* w : findChildren<QWidget*>())
        w->installEventFilter(this);
    installEventFilter(this);

    UserMovePage(PAGE_MEMORY);
    if (m_nStartPage > 0 && m_nStartPage != PAGE_MEMORY)
        UserMovePage(m_nStartPage);
}

CPhoneBookView::~CPhoneBookView()
{
    if (m_env.owner)
        m_env.owner->SetModalWindow(nullptr);
}

CHoverButton* CPhoneBookView::MakeButton(int id, const char* label, const char* tip, QRect place)
{
    auto* b = new CHoverButton(this, id);
    b->setObjectName(QString::number(id));
    b->SetBitmap(PbButtonStrip(QString::fromLatin1(label), place.width(), place.height()), 4);
    b->MarkLook(CHoverButton::LOOK_DISABLED_FRAME3);
    b->SetTooltipText(QString::fromLatin1(tip));
    b->move(place.topLeft());
    m_buttons.emplace_back(id, b);
    return b;
}

void CPhoneBookView::CreateControls()
{
    // Page buttons and Exit.
    connect(MakeButton(IDC_PB_MEMORY, "Memory", kTipMemory, {kMargin, 8, 78, 24}), &QAbstractButton::clicked, this,
            [this] {
                if (!Busy())
                    UserMovePage(PAGE_MEMORY);
            });
    connect(MakeButton(IDC_PB_RUIM, "RUIM Card", kTipRuim, {92, 8, 78, 24}), &QAbstractButton::clicked, this, [this] {
        if (Busy())
            return;
        DEBUG_LOG(LEVEL_PB, "%s", kLogClickRuim);
        UserMovePage(PAGE_RUIM);
    });
    connect(MakeButton(IDC_PB_HISTORY, "History", kTipHistory, {174, 8, 78, 24}), &QAbstractButton::clicked, this,
            [this] {
                if (Busy())
                    return;
                DEBUG_LOG(LEVEL_PB, "%s", kLogClickHistory);
                UserMovePage(PAGE_HISTORY);
            });
    connect(MakeButton(IDC_PB_EXIT, "X", kTipExit, {306, 8, 28, 24}), &QAbstractButton::clicked, this,
            [this] { reject(); });

    // Search row.
    m_pSearch = new CEditEx(this, IDC_PB_SEARCH_TEXT);
    m_pSearch->SetInputMode(CEditEx::MODE_ENTER_COMMAND);
    m_pSearch->SetOwner(this);
    m_pSearch->setGeometry(kMargin, 42, 168, 24);
    m_pColumn = new QComboBox(this);
    m_pColumn->setObjectName(QString::number(IDC_PB_COLUMN));
    m_pColumn->setGeometry(184, 42, 88, 24);
    connect(MakeButton(IDC_PB_SEARCH, "Search", kTipSearch, {278, 42, 56, 24}), &QAbstractButton::clicked, this,
            [this] { OnSearch(); });

    // The list.
    m_pList = new QTableWidget(0, 3, this);
    m_pList->setObjectName(QString::number(IDC_PB_LIST));
    m_pList->setGeometry(kMargin, kListTop, kDialogWidth - 2 * kMargin, kListHeight);
    m_pList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pList->setShowGrid(true);
    m_pList->setWordWrap(false);
    m_pList->verticalHeader()->hide();
    m_pList->verticalHeader()->setDefaultSectionSize(18);
    m_pList->horizontalHeader()->setHighlightSections(false);
    m_pList->horizontalHeader()->setStretchLastSection(false);
    m_pList->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    QPalette pal = m_pList->palette();
    pal.setColor(QPalette::Base, kvui::FromColorRef(kListBack));
    pal.setColor(QPalette::Text, kvui::FromColorRef(kListText));
    m_pList->setPalette(pal);
    connect(m_pList, &QTableWidget::cellClicked, this, [this](int row, int) {
        if (!Busy() && m_pList->item(row, 0) && m_pList->item(row, 0)->isSelected())
            ShowItemData(row);
    });
    connect(m_pList, &QTableWidget::cellDoubleClicked, this, [this](int, int) {
        if (!Busy() && m_env.smsState && m_env.smsState() == kSmsRecipientsState)
            OnWriteMessage();
    });
    connect(m_pList, &QTableWidget::currentCellChanged, this, [this](int row, int, int previous, int) {
        // Up and Down move the selection: show what it reached.
        if (!Busy() && row >= 0 && row != previous && m_pList->hasFocus()
            && !(QApplication::mouseButtons() & Qt::LeftButton))
            ShowItemData(row);
    });

    // Entry fields and Insert; the history detail takes their place.
    m_pIndex = new CEditEx(this, IDC_PB_INDEX);
    m_pIndex->SetInputMode(CEditEx::MODE_DIGITS);
    m_pIndex->SetLimitText(kIndexDigits);
    m_pIndex->setGeometry(kMargin, kFieldTop, 44, 24);
    m_pName = new CEditEx(this, IDC_PB_NAME);
    m_pName->setGeometry(58, kFieldTop, 112, 24);
    connect(m_pName, &QPlainTextEdit::textChanged, this, [this] {
        // The name must fit the record's name field in bytes; a character is
        // never cut in half.
        const QString t = m_pName->Text();
        m_pName->SetLimitText(CEditEx::HasWideChar(t) ? m_nWideNameLimit : m_nNameLimit);
        if (m_nNameBytes > 0 && t.toUtf8().size() > m_nNameBytes) {
            QString cut = t;
            while (!cut.isEmpty() && cut.toUtf8().size() > m_nNameBytes)
                cut.chop(cut.size() >= 2 && cut.at(cut.size() - 1).isLowSurrogate() ? 2 : 1);
            const QSignalBlocker block(m_pName);
            m_pName->SetText(cut);
            m_pName->moveCursor(QTextCursor::End);
        }
    });
    m_pNumber = new CEditEx(this, IDC_PB_NUMBER);
    m_pNumber->SetInputMode(CEditEx::MODE_PHONE);
    m_pNumber->setGeometry(174, kFieldTop, 112, 24);
    for (CEditEx* e : {m_pSearch, m_pIndex, m_pName, m_pNumber}) {
        e->setLineWrapMode(QPlainTextEdit::NoWrap);
        e->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        e->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        e->setTabChangesFocus(true);
        e->SetBackColor(QColor(255, 255, 255));
        e->document()->setDocumentMargin(2);
    }
    connect(MakeButton(IDC_PB_INSERT, "Insert", kTipInsert, {290, kFieldTop, 44, 24}), &QAbstractButton::clicked, this,
            [this] { OnInsert(); });
    m_pDetail = new CTextStatic(this, IDC_PB_DETAIL);
    m_pDetail->setObjectName(QString::number(IDC_PB_DETAIL));
    m_pDetail->setGeometry(kMargin, kFieldTop, kDialogWidth - 2 * kMargin, 24);
    m_pDetail->SetAlignment(CTextStatic::ALIGN_LEFT);
    m_pDetail->SetBackColor(kvui::FromColorRef(kListBack));
    m_pDetail->SetTextColor(kvui::FromColorRef(kListText));

    m_pCounter = new CTextStatic(this, IDC_PB_COUNTER);
    m_pCounter->setObjectName(QString::number(IDC_PB_COUNTER));
    m_pCounter->setGeometry(244, kCounterTop, 90, 20);
    m_pCounter->SetAlignment(CTextStatic::ALIGN_RIGHT);
    m_pCounter->SetBackColor(QColor(214, 226, 246));
    m_pCounter->SetTextColor(kvui::FromColorRef(kListText));

    // Bottom row.
    connect(MakeButton(IDC_PB_MESSAGE, "Message", kTipMessage, {kMargin, kBottomTop, 76, 26}),
            &QAbstractButton::clicked, this, [this] { OnWriteMessage(); });
    connect(MakeButton(IDC_PB_CALL, "Call", kTipCall, {90, kBottomTop, 60, 26}), &QAbstractButton::clicked, this,
            [this] { OnVoiceCall(); });
    connect(MakeButton(IDC_PB_DELETE, "Delete", kTipDelete, {154, kBottomTop, 66, 26}), &QAbstractButton::clicked,
            this, [this] { OnDelete(); });
    connect(MakeButton(IDC_PB_DELETE_ALL, "Delete All", kTipDeleteAll, {254, kBottomTop, 80, 26}),
            &QAbstractButton::clicked, this, [this] { OnDeleteAll(); });
}

CEditEx* CPhoneBookView::Field(int id) const
{
    switch (id) {
    case IDC_PB_SEARCH_TEXT: return m_pSearch;
    case IDC_PB_INDEX: return m_pIndex;
    case IDC_PB_NAME: return m_pName;
    case IDC_PB_NUMBER: return m_pNumber;
    default: return nullptr;
    }
}

CHoverButton* CPhoneBookView::Button(int id) const
{
    for (const auto& [bid, b] : m_buttons)
        if (bid == id)
            return b;
    return nullptr;
}

QString CPhoneBookView::CounterText() const { return m_pCounter->Text(); }
QString CPhoneBookView::DetailText() const { return m_pDetail->Text(); }

kv::ModemState& CPhoneBookView::State() const { return m_env.engine->State(); }

void CPhoneBookView::Place()
{
    QWidget* main = m_env.owner ? m_env.owner->OwnerWindow() : parentWidget();
    if (!main)
        return;
    const QRect frame = main->frameGeometry();
    QScreen* screen = main->screen();
    const QRect avail = screen ? screen->availableGeometry() : QRect(0, 0, 1 << 14, 1 << 14);
    QPoint at;
    if (m_bBeside) {
        // Beside the main window so that both stay visible.
        if (avail.right() - frame.right() < kBesideMinRoom)
            at = QPoint(frame.left() - kDialogWidth, frame.top());
        else
            at = QPoint(frame.right() + 1, frame.top());
    } else {
        at = frame.topLeft() + QPoint(-kOffsetLeft, kOffsetDown);
    }
    // Never off the screen.
    at.setX(std::clamp(at.x(), avail.left(), std::max(avail.left(), avail.right() - kDialogWidth)));
    at.setY(std::clamp(at.y(), avail.top(), std::max(avail.top(), avail.bottom() - kDialogHeight)));
    move(at);
}

void CPhoneBookView::ShowPhonebookFields(bool show)
{
    for (QWidget* w : {static_cast<QWidget*>(m_pIndex), static_cast<QWidget*>(m_pName),
                       static_cast<QWidget*>(m_pNumber), static_cast<QWidget*>(Button(IDC_PB_INSERT))})
        w->setVisible(show);
    m_pDetail->setVisible(!show);
    Button(IDC_PB_DELETE_ALL)->setVisible(!show);
}

void CPhoneBookView::UserMovePage(int page)
{
    if (page != PAGE_MEMORY && page != PAGE_RUIM && page != PAGE_HISTORY)
        return;
    BusyScope busy(*this);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    for (int id : {IDC_PB_MEMORY, IDC_PB_RUIM, IDC_PB_HISTORY})
        Button(id)->setEnabled(true);
    m_pSearch->clear();
    ClearFields();
    DEBUG_LOG(LEVEL_PB, "%s", kLogInit);
    if (m_nPage == PAGE_HISTORY || m_nPage == 0) {
        ShowPhonebookFields(true);
        m_pColumn->clear();
        m_pColumn->addItems({kColAll, kColIndex, kColName, kColPhone});
        m_pColumn->setCurrentIndex(0);
        SetColumns(35, 110, 161, false);
        DEBUG_LOG(LEVEL_PB, "%s", kLogSetColumn);
    }
    m_pDetail->hide();
    Button(IDC_PB_DELETE_ALL)->hide();
    m_nPage = page;

    switch (page) {
    case PAGE_MEMORY:
        Button(IDC_PB_MEMORY)->setEnabled(false);
        FillPhonebook(page);
        break;
    case PAGE_RUIM:
        DEBUG_LOG(LEVEL_PB, "%s", kLogRuim);
        Button(IDC_PB_RUIM)->setEnabled(false);
        FillPhonebook(page);
        break;
    case PAGE_HISTORY:
        DEBUG_LOG(LEVEL_PB, "%s", kLogHistory);
        Button(IDC_PB_HISTORY)->setEnabled(false);
        m_pColumn->clear();
        m_pColumn->addItems({kColAll, kColName, kColPhone});
        m_pColumn->setCurrentIndex(0);
        SetColumns(20, 120, 166, true);
        ShowPhonebookFields(false);
        m_pDetail->SetText(QString());
        FillHistory();
        break;
    }
    QApplication::restoreOverrideCursor();
}

// ---------------------------------------------------------------------------
// Events

bool CPhoneBookView::event(QEvent* e)
{
    if (e->type() == kvui::CUserMessageEvent::EventType()) {
        auto* m = static_cast<kvui::CUserMessageEvent*>(e);
        // Enter in the search field.
        if (m->Message() == kvui::WM_COMMAND && m->WParam() == uintptr_t(IDC_PB_SEARCH))
            QMetaObject::invokeMethod(this, [this] { OnSearch(); }, Qt::QueuedConnection);
        return true;
    }
    return QDialog::event(e);
}

bool CPhoneBookView::eventFilter(QObject* watched, QEvent* e)
{
    switch (e->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyRelease:
        return Busy();
    case QEvent::KeyPress: {
        if (Busy())
            return true;
        auto* k = static_cast<QKeyEvent*>(e);
        const bool enter = k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter;
        // The entry fields hold one line: Enter adds nothing.
        if (enter && (watched == m_pIndex || watched == m_pName || watched == m_pNumber))
            return true;
        return false;
    }
    default:
        return QDialog::eventFilter(watched, e);
    }
}

void CPhoneBookView::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    if (m_env.owner) {
        m_env.owner->SetModalWindow(this);
    }
    if (!m_bPlaced) {
        m_bPlaced = true;
        Place();
    }
}

void CPhoneBookView::reject()
{
    if (Busy()) {
        m_bCloseWanted = true;
        m_nCloseResult = QDialog::Rejected;
        return;
    }
    QDialog::reject();
}

void CPhoneBookView::accept()
{
    if (Busy()) {
        m_bCloseWanted = true;
        m_nCloseResult = QDialog::Accepted;
        return;
    }
    QDialog::accept();
}

void CPhoneBookView::closeEvent(QCloseEvent* e)
{
    if (Busy()) {
        m_bCloseWanted = true;
        e->ignore();
        return;
    }
    QDialog::closeEvent(e);
}

void CPhoneBookView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    QLinearGradient g(0, 0, 0, height());
    g.setColorAt(0, QColor(232, 240, 252));
    g.setColorAt(1, QColor(196, 212, 240));
    p.fillRect(rect(), g);
}

} // namespace kvpb
