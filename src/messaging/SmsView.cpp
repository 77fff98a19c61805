// The SMS page: its controls, the state machine's display, the home
// counters, the symbol palette, the character counter and the window
// messages it receives.
#include "messaging/SmsView.h"

#include "controls/EditEx.h"
#include "controls/HoverButton.h"
#include "controls/Skin.h"
#include "controls/SkinIds.h"
#include "controls/MacProgressCtrl.h"
#include "controls/TextStatic.h"
#include "controls/UserMessage.h"
#include "host/HostIds.h"
#include "log/DebugLog.h"
#include "messaging/SmsViewText.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTreeWidget>

namespace kvsms {

using namespace kv;
using namespace kv::smspage;

namespace {

const QColor kGridColour(134, 165, 255);
const QColor kHighlightColour(255, 96, 116);
const QColor kSymbolColour(105, 105, 105);
constexpr int kButtonW = 46, kButtonH = 18, kButtonY = 96;

struct ButtonSpec {
    int id;
    const char* label;
    const char* tooltip;
    int x, y, w;
};

constexpr ButtonSpec kButtons[] = {
    {IDC_SMS_NEW, "New", "Write Message", 5, kButtonY, kButtonW},
    {IDC_SMS_INBOX, "InBox", "InBox", 57, kButtonY, kButtonW},
    {IDC_SMS_OUTBOX, "OutBox", "OutBox", 109, kButtonY, kButtonW},
    {IDC_SMS_PREV, "Prev", "Previous", 5, kButtonY, kButtonW},
    {IDC_SMS_NEXT, "Next", "Next", 109, kButtonY, kButtonW},
    {IDC_SMS_SEND, "Send", "Send Message", 109, kButtonY, kButtonW},
    {IDC_SMS_PHONEBOOK, "PhoneBook", "PhoneBook", 55, kButtonY, 52},
    {IDC_SMS_DEL, "Del", "Delete Message", 57, kButtonY, kButtonW},
    {IDC_SMS_REPLY, "Reply", "Reply Message", 109, kButtonY, kButtonW},
    {IDC_SMS_OK, "OK", "OK !", 57, kButtonY, kButtonW},
    {IDC_SMS_CALL, "Call", nullptr, 102, 16, 26},
    {IDC_SMS_ADD_PB, "Add", nullptr, 130, 16, 26},
};

} // namespace

// A three-frame strip (normal, hover, pressed) and a disabled frame.
QPixmap SmsButtonStrip(const char* label, int w, int h, bool withText)
{
    // Dark enough that the white labels read on every lit frame.
    const QColor faces[4] = {QColor(44, 74, 168), QColor(56, 90, 190), QColor(30, 52, 128),
                             QColor(150, 150, 160)};
    QPixmap strip(w * 4, h);
    strip.fill(Qt::transparent);
    QPainter p(&strip);
    p.setRenderHint(QPainter::Antialiasing);
    QFont f("Sans Serif");
    f.setPixelSize(10);
    f.setBold(true);
    // A long label takes a narrower face rather than a smaller one: below
    // 10 pixels the letters no longer read.
    const QString text = QString::fromLatin1(label);
    for (int stretch : {QFont::SemiCondensed, QFont::Condensed, QFont::ExtraCondensed}) {
        if (QFontMetrics(f).horizontalAdvance(text) <= w - 4)
            break;
        f.setStretch(stretch);
    }
    p.setFont(f);
    for (int i = 0; i < 4; ++i) {
        const QRectF r(i * w + 0.5, 0.5, w - 1, h - 1);
        QLinearGradient g(r.topLeft(), r.bottomLeft());
        g.setColorAt(0, faces[i].lighter(115));
        g.setColorAt(1, faces[i]);
        p.setBrush(g);
        p.setPen(QPen(faces[i].darker(140), 1));
        p.drawRoundedRect(r, 4, 4);
        if (!withText)
            continue;
        p.setPen(i == 3 ? QColor(220, 220, 220) : Qt::white);
        p.drawText(QRect(i * w + (i == 2 ? 1 : 0), i == 2 ? 1 : 0, w, h), Qt::AlignCenter, QString::fromLatin1(label));
    }
    return strip;
}

std::vector<SmsButtonFace> SmsButtonFaces()
{
    std::vector<SmsButtonFace> out;
    for (const ButtonSpec& b : kButtons)
        out.push_back({b.label, b.w, kButtonH});
    return out;
}

namespace {

// The list's icons: memory in blue, card in green; an open envelope read,
// a closed one unread, an arrow for stored and sent, "VM" for voice mail.
std::vector<QPixmap> ListIcons()
{
    std::vector<QPixmap> icons;
    for (int i = 0; i < ICON_COUNT; ++i) {
        QPixmap pm(16, 12);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        const bool ruim = i >= ICON_RUIM_READ;
        const int kind = i == ICON_VOICE_MAIL ? -1 : (ruim ? i - ICON_RUIM_READ : i);
        const QColor c = i == ICON_VOICE_MAIL ? QColor(200, 90, 30) : ruim ? QColor(30, 140, 60) : QColor(40, 80, 200);
        p.setPen(QPen(c, 1));
        p.setBrush(kind == 1 ? c.lighter(150) : QColor(255, 255, 255));
        p.drawRect(QRectF(1.5, 2.5, 12, 8));
        if (kind == 0) { // read: open flap
            p.drawLine(QPointF(1.5, 2.5), QPointF(7.5, 0.5));
            p.drawLine(QPointF(7.5, 0.5), QPointF(13.5, 2.5));
        } else {
            p.drawLine(QPointF(1.5, 2.5), QPointF(7.5, 7));
            p.drawLine(QPointF(7.5, 7), QPointF(13.5, 2.5));
        }
        if (kind == 2 || kind == 3) {
            p.setPen(QPen(kind == 3 ? QColor(200, 40, 40) : c, 1.5));
            p.drawLine(QPointF(9, 10), QPointF(15, 10));
            p.drawLine(QPointF(13, 8), QPointF(15, 10));
        }
        if (i == ICON_VOICE_MAIL) {
            QFont f("Sans Serif");
            f.setPixelSize(7);
            f.setBold(true);
            p.setFont(f);
            p.setPen(c);
            p.drawText(QRect(1, 3, 13, 8), Qt::AlignCenter, "VM");
        }
        icons.push_back(pm);
    }
    return icons;
}

QPixmap Envelope(int w, int h)
{
    QPixmap pm(w, h);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(kGridColour.darker(130), 1.5));
    p.setBrush(QColor(235, 240, 255));
    p.drawRect(QRectF(1, 1, w - 2, h - 2));
    p.drawLine(QPointF(1, 1), QPointF(w / 2.0, h * 0.6));
    p.drawLine(QPointF(w / 2.0, h * 0.6), QPointF(w - 1, 1));
    return pm;
}

} // namespace

CSmsView::CSmsView(SmsViewEnv env, QWidget* parent) : QWidget(parent), m_env(std::move(env))
{
    setObjectName("CSmsView");
    setFocusPolicy(Qt::StrongFocus);
    resize(160, 117);
    m_icons = ListIcons();
    CreateControls();
    if (m_env.textField) {
        m_env.textField->SetOwner(this);
        // The window may destroy its text field before the page.
        connect(m_env.textField, &QObject::destroyed, this, [this] { m_env.textField = nullptr; });
    }
    // Page initialisation: home, nothing counted, no encoding chosen yet.
    if (m_env.shared) {
        m_env.shared->m_sendRecord = SmsOutgoing{};
        m_env.shared->m_sendRecord.encoding = 255;
        m_env.shared->m_nVoiceSlot = -1;
    }
    HideAll();
}

CSmsView::~CSmsView()
{
    if (m_env.textField)
        m_env.textField->SetOwner(nullptr);
}

void CSmsView::CreateControls()
{
    for (const ButtonSpec& s : kButtons) {
        auto* b = new CHoverButton(this, s.id);
        b->setObjectName(QStringLiteral("sms_%1").arg(s.id));
        b->SetBitmap(SmsButtonStrip(s.label, s.w, kButtonH), 4);
        b->MarkLook(CHoverButton::LOOK_DISABLED_FRAME3);
        b->move(s.x, s.y);
        if (s.tooltip)
            b->SetTooltipText(QString::fromLatin1(s.tooltip));
        b->setFocusPolicy(Qt::NoFocus);
        const int id = s.id;
        connect(b, &QAbstractButton::clicked, this, [this, id] { OnCommand(id); });
        m_buttons[id] = b;
    }
    m_pNumber = new CEditEx(this, IDC_SMS_NUMBER);
    m_pNumber->setObjectName("sms_number");
    m_pNumber->setGeometry(5, 16, 95, 20);
    m_pNumber->SetInputMode(CEditEx::MODE_PHONE);
    m_pNumber->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_pNumber->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_pNumber->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_pNumber->SetFontEx(12, 400, false, "Sans Serif");

    m_pRecipients = new QTreeWidget(this);
    m_pRecipients->setObjectName("sms_recipients");
    m_pRecipients->setGeometry(5, 16, 150, 78);
    m_pRecipients->setColumnCount(2);
    m_pRecipients->setHeaderLabels({"N", "Phone Number"});
    m_pRecipients->setColumnWidth(0, 20);
    m_pRecipients->setColumnWidth(1, 120);
    m_pRecipients->setRootIsDecorated(false);
    m_pRecipients->setIndentation(0);
    m_pRecipients->setUniformRowHeights(true);
    m_pRecipients->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_pRecipients->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_pRecipients->header()->setSectionsMovable(false);
    m_pRecipients->header()->setStretchLastSection(false);
    m_pRecipients->header()->setMinimumSectionSize(10);
    m_pRecipients->header()->setFixedHeight(14);
    QFont small("Sans Serif");
    small.setPixelSize(10);
    m_pRecipients->setFont(small);
    for (int i = 0; i < kRecipientRows; ++i) {
        auto* item = new QTreeWidgetItem(m_pRecipients);
        item->setText(0, QString::number(i + 1));
        item->setSizeHint(0, QSize(20, 12));
    }
    m_pRecipients->installEventFilter(this);
    connect(m_pRecipients, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item, int column) {
        BeginRecipientEdit(m_pRecipients->indexOfTopLevelItem(item), column);
    });

    m_pList = new QTreeWidget(this);
    m_pList->setObjectName("sms_list");
    m_pList->setGeometry(5, 2, 150, 92);
    m_pList->setColumnCount(2);
    m_pList->setHeaderLabels({"N", "Message"});
    m_pList->setColumnWidth(0, 20);
    m_pList->setColumnWidth(1, 130);
    m_pList->setRootIsDecorated(false);
    m_pList->setIndentation(0);
    m_pList->setUniformRowHeights(true);
    m_pList->setIconSize(QSize(16, 12));
    m_pList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_pList->header()->setFixedHeight(14);
    m_pList->header()->setStretchLastSection(false);
    m_pList->header()->setSectionsMovable(false);
    m_pList->header()->setMinimumSectionSize(10);
    m_pList->setFont(small);
    connect(m_pList, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem*, int) { OpenItem(true); });

    m_pProgress = new CMacProgressCtrl(this, IDC_SMS_PROGRESS);
    m_pProgress->setGeometry(5, 84, 150, 8);
    m_pProgress->setRange(0, 100);
    m_pProgress->SetStep(1);
    m_pProgress->setValue(0);

    struct TextSpec {
        int id;
        int x, y, w, h;
    };
    for (const TextSpec& t : {TextSpec{IDC_SMS_LABEL, 5, 1, 150, 14}, TextSpec{IDC_SMS_STATUS, 5, 40, 150, 42},
                              TextSpec{IDC_SMS_COUNTER, 55, kButtonY, 50, kButtonH}}) {
        auto* s = new CTextStatic(this, t.id);
        s->setObjectName(QStringLiteral("sms_text_%1").arg(t.id));
        s->setGeometry(t.x, t.y, t.w, t.h);
        s->SetBackColor(QColor(Qt::transparent));
        s->SetTextColor(QColor(20, 40, 120));
        s->SetTextFont(11, 400, "Sans Serif");
        s->SetAlignment(t.id == IDC_SMS_COUNTER ? CTextStatic::ALIGN_CENTER : CTextStatic::ALIGN_FORMAT,
                        Qt::AlignLeft | Qt::AlignTop);
        m_texts[t.id] = s;
    }
    m_pIcon = new QLabel(this);
    m_pIcon->setObjectName("sms_icon");
    m_pIcon->setPixmap(Envelope(14, 10));
    m_pIcon->setGeometry(140, 2, 14, 10);
    m_pPicture = new QLabel(this);
    m_pPicture->setObjectName("sms_picture");
    m_pPicture->setPixmap(Envelope(40, 26));
    m_pPicture->setGeometry(55, 16, 40, 26);
    m_pPicture->setFocusPolicy(Qt::StrongFocus);
}

CTextStatic* CSmsView::TextControl(int id) const
{
    auto it = m_texts.find(id);
    return it == m_texts.end() ? nullptr : it->second;
}

CHoverButton* CSmsView::Button(int id) const
{
    auto it = m_buttons.find(id);
    return it == m_buttons.end() ? nullptr : it->second;
}

void CSmsView::SetText(int id, const std::string& text)
{
    if (CTextStatic* t = TextControl(id))
        t->SetText(ShownText(text));
}

void CSmsView::Box(const std::string& text, MsgIcon icon)
{
    if (m_env.messageBox)
        m_env.messageBox(text, icon);
    else
        Host().MessageBox(text, icon);
}

int CSmsView::Popup(const std::string& text, AskIcon icon, int mode, int countdown, bool defaultOk)
{
    if (m_env.timedPopup)
        return m_env.timedPopup(text, icon, mode, countdown, defaultOk);
    const MsgIcon shown = icon == AskIcon::Warning ? MsgIcon::Warning
                          : icon == AskIcon::Error ? MsgIcon::Error
                                                   : MsgIcon::Information;
    return Host().RunTimedPopup(text, shown, mode, countdown, defaultOk);
}

uint16_t CSmsView::Sub(uint16_t code, uintptr_t type)
{
    // Events are served while the request waits: the page's commands are
    // refused meanwhile (see OnCommand).
    ++m_nBusy;
    const uint16_t r = m_env.engine->DmSubRequest(code, type, false);
    --m_nBusy;
    return r;
}

void CSmsView::HideAll()
{
    for (auto& [id, b] : m_buttons)
        b->hide();
    for (auto& [id, t] : m_texts)
        t->hide();
    m_pNumber->hide();
    m_pRecipients->hide();
    m_pList->hide();
    m_pProgress->hide();
    m_pIcon->hide();
    m_pPicture->hide();
    if (m_pCellEditor)
        EndRecipientEdit();
}

void CSmsView::ShowTextField(bool show, bool editable)
{
    CEditEx* f = m_env.textField;
    if (!f)
        return;
    if (m_env.showStatusLines)
        m_env.showStatusLines(!show);
    f->setVisible(show);
    f->setReadOnly(!editable);
    f->SetInputMode(editable ? CEditEx::MODE_TEXT_NOTIFY : 0);
    if (show)
        f->raise();
}

// ---------------------------------------------------------------------------
// The state machine's display

void CSmsView::ShowSmsState(uint16_t state, unsigned flags)
{
    m_wState = EffectiveState(state, m_bSending);
    HideAll();
    switch (m_wState) {
    case SMS_COMPOSE: {
        update();
        m_buttons[IDC_SMS_NEXT]->show();
        m_buttons[IDC_SMS_PREV]->show();
        ShowTextField(true, true);
        if (CEditEx* f = m_env.textField) {
            // The engine's limits: ASCII text, and text with other characters.
            const int ascii = int(St().m_dwAsciiMax.load());
            const int wide = int(St().m_dwUnicodeMax.load());
            if (ascii > 0)
                f->SetLengthLimits(ascii, wide > 0 ? wide : ascii);
            f->setFocus();
        }
        m_texts[IDC_SMS_COUNTER]->show();
        if (!(flags & KEEP_FIELDS))
            m_pNumber->clear();
        UpdateCounter();
        if (m_nFocusTimer)
            killTimer(m_nFocusTimer);
        m_nFocusTimer = startTimer(int(kTimerFocusMs));
        break;
    }
    case SMS_RECIPIENTS:
        ShowRecipients(flags);
        break;
    case SMS_CALLBACK:
        ShowCallback();
        break;
    case SMS_INBOX_LIST:
    case SMS_OUTBOX_LIST:
        ShowList(m_wState);
        break;
    case SMS_INBOX_MSG:
    case SMS_OUTBOX_MSG: {
        const bool inbox = m_wState == SMS_INBOX_MSG;
        for (int id : {IDC_SMS_PREV, IDC_SMS_DEL, IDC_SMS_REPLY, IDC_SMS_CALL, IDC_SMS_ADD_PB})
            m_buttons[id]->show();
        m_buttons[IDC_SMS_ADD_PB]->setVisible(inbox);
        m_buttons[IDC_SMS_REPLY]->SetTooltipText(inbox ? "Reply Message" : "Forward Message");
        SetText(IDC_SMS_LABEL, inbox ? "Sender Number" : "Forward Number :");
        m_texts[IDC_SMS_LABEL]->show();
        m_pNumber->setReadOnly(true);
        m_pNumber->show();
        m_pIcon->show();
        if (inbox)
            m_texts[IDC_SMS_STATUS]->show();
        ShowTextField(true, false);
        break;
    }
    default:
        ShowHome();
        break;
    }
    if (flags & SHOW_WARNINGS)
        ShowStorageWarnings();
}

void CSmsView::ShowHome()
{
    m_wState = SMS_HOME;
    HideAll();
    for (int id : {IDC_SMS_NEW, IDC_SMS_OUTBOX, IDC_SMS_INBOX})
        m_buttons[id]->show();
    ShowTextField(false, false);
    if (m_env.textField)
        m_env.textField->clear();
    m_pNumber->clear();
    update();
    m_pPicture->setFocus();
}

void CSmsView::UpdateCounter()
{
    const int ascii = int(St().m_dwAsciiMax.load());
    int length = 0, limit = ascii;
    if (CEditEx* f = m_env.textField) {
        length = int(f->Text().size());
        limit = f->LimitText();
    }
    SetText(IDC_SMS_COUNTER, CounterText(length, limit, ascii));
}

void CSmsView::ShowStorageWarnings()
{
    const int items = (m_wState == SMS_INBOX_LIST || m_wState == SMS_OUTBOX_LIST) ? ListItemCount() : 0;
    const std::string text = StorageWarnings(m_wState, int(St().m_wSmsMaxSlot.load()),
                                             m_env.shared ? int(m_env.shared->m_nRuimCount.load()) : 0, items);
    if (!text.empty())
        Box(text, MsgIcon::Warning);
}

void CSmsView::EnterPage(int mode)
{
    if (mode == 0) {
        ShowSmsState(SMS_HOME, SHOW_WARNINGS);
    } else {
        m_bRecipientSelection = true;
        ShowSmsState(SMS_COMPOSE, 0);
    }
}

void CSmsView::ResetSmsPage(int kind)
{
    if (kind == 0) {
        m_dwSymbolSet = 0;
        m_nReadMark = -1;
        m_nEditItem = m_nEditSubItem = -1;
        m_bSending = false;
        m_nSent = m_nFailed = 0;
        if (m_env.shared) {
            m_env.shared->m_sendRecord.encoding = 255;
            m_env.shared->m_nMemoryCount = 0;
            m_env.shared->m_nRuimCount = 0;
            m_env.shared->m_nVoiceSlot = -1;
            m_env.shared->m_nVoiceCount = 0;
        }
        St().m_wSmsMaxSlot = 0;
        m_pNumber->setEnabled(true);
        m_buttons[IDC_SMS_SEND]->setEnabled(true);
        m_pProgress->setValue(0);
        m_recipients.clear();
        ShowSmsState(SMS_HOME, 0);
        return;
    }
    m_recipients.clear();
    if (!m_bSending)
        ShowSmsState(SMS_HOME, 0);
}

// ---------------------------------------------------------------------------
// Commands

void CSmsView::OnCommand(int id)
{
    if (Busy()) {
        DEBUG_LOG(LEVEL_SMS, "sms page busy: command %d ignored\n", id);
        // A delete the user chose must not vanish without a word.
        if (id == ID_SMS_DELETE || id == ID_SMS_DELETE_ALL)
            Box(DeleteStopText(DeleteStop::PageBusy), MsgIcon::Warning);
        return;
    }
    switch (id) {
    case IDC_SMS_NEW:
        ShowSmsState(SMS_COMPOSE, 0);
        break;
    case IDC_SMS_INBOX:
        ShowSmsState(SMS_INBOX_LIST, SHOW_WARNINGS);
        break;
    case IDC_SMS_OUTBOX:
        ShowSmsState(SMS_OUTBOX_LIST, SHOW_WARNINGS);
        break;
    case IDC_SMS_NEXT:
        OnNext();
        break;
    case IDC_SMS_PREV:
        OnPrev();
        break;
    case IDC_SMS_REPLY:
        OnReply();
        break;
    case IDC_SMS_SEND:
        OnSend();
        break;
    case IDC_SMS_DEL:
        PopupDeleteMenu();
        break;
    case ID_SMS_DELETE:
        DeleteOne();
        break;
    case ID_SMS_DELETE_ALL:
        DeleteAll();
        break;
    case IDC_SMS_PHONEBOOK:
        Host().PostUserMessage(MsgTarget::MainWindow, UM_UI_REQUEST, UI_REQ_PICKER, 0);
        break;
    case IDC_SMS_CALL:
        OnCall();
        break;
    case IDC_SMS_ADD_PB:
        OnAddToPhonebook();
        break;
    default: // 1069: no action
        break;
    }
}

void CSmsView::OnNext()
{
    switch (m_wState) {
    case SMS_INBOX_LIST:
    case SMS_OUTBOX_LIST:
        OpenItem(false);
        return;
    case SMS_COMPOSE: {
        CEditEx* f = m_env.textField;
        const int length = f ? int(f->Text().size()) : 0;
        const int limit = f ? f->LimitText() : 0;
        if (limit > 0 && length > limit) {
            char buf[96];
            std::snprintf(buf, sizeof buf, "Message Length is out of range ! (Max:%d, Now:%d)", limit, length);
            Box(buf, MsgIcon::Error);
            if (f)
                f->setFocus();
            return;
        }
        ShowSmsState(SMS_RECIPIENTS, 0);
        return;
    }
    case SMS_RECIPIENTS:
        if (!TakeRecipientRows()) {
            Box("Please insert a phone number that you want to dial.", MsgIcon::Error);
            return;
        }
        ShowSmsState(SMS_CALLBACK, 0);
        return;
    default:
        ShowSmsState(uint16_t(m_wState + 1), 0);
        return;
    }
}

void CSmsView::OnPrev()
{
    if (m_wState == SMS_CALLBACK) {
        ShowSmsState(SMS_RECIPIENTS, KEEP_FIELDS);
        return;
    }
    m_bRecipientSelection = false;
    ShowSmsState(uint16_t(m_wState - 1), 0);
}

void CSmsView::OnReply()
{
    if (StateGroup(m_wState) == 2) {
        if (m_env.textField)
            m_env.textField->clear();
        ShowSmsState(SMS_COMPOSE, KEEP_FIELDS);
    } else {
        ShowSmsState(SMS_COMPOSE, 0);
    }
}

// ---------------------------------------------------------------------------
// Messages, paint, palette

bool CSmsView::event(QEvent* e)
{
    if (e->type() == kvui::CUserMessageEvent::EventType()) {
        auto* m = static_cast<kvui::CUserMessageEvent*>(e);
        if (m->Message() == UM_SMS_SEND_STATUS)
            OnSendStatus(m->WParam(), m->LParam());
        else if (m->Message() == UM_SMS_TEXT_UPDATE)
            OnTextUpdate(m->WParam(), m->LParam());
        return true;
    }
    return QWidget::event(e);
}

void CSmsView::OnTextUpdate(uintptr_t kind, intptr_t arg)
{
    switch (kind) {
    case 0:
        UpdateCounter();
        break;
    case 1:
        if (m_env.textField && arg) {
            m_env.textField->SetText(ShownText(*reinterpret_cast<const std::string*>(arg)));
            ShowTextField(true, !m_env.textField->isReadOnly());
        }
        break;
    case 2:
        ShowSmsState(m_wState, 0);
        break;
    default:
        break;
    }
}

void CSmsView::timerEvent(QTimerEvent* e)
{
    if (e->timerId() == m_nFocusTimer) {
        killTimer(m_nFocusTimer);
        m_nFocusTimer = 0;
        if (m_wState == SMS_COMPOSE && m_env.textField)
            m_env.textField->setFocus();
        return;
    }
    QWidget::timerEvent(e);
}

void CSmsView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    // The face's screen behind the page, without the emblem it carries
    // there: one column of its left edge, stretched across.
    const QPixmap face = kvui::SkinPixmap(kvui::IDB_MAIN_SKIN);
    if (!face.isNull() && parentWidget())
        p.drawPixmap(rect(), face, QRect(8, y(), 1, height()));
    else
        p.fillRect(rect(), QColor(199, 221, 237));
    if (m_wState == SMS_HOME)
        PaintHome(p);
    else if (m_wState == SMS_COMPOSE)
        PaintPalette(p);
}

void CSmsView::PaintHome(QPainter& p)
{
    const HomeCounts c = ComputeHomeCounts(int(St().m_wLastSmsCount.load()),
                                           m_env.shared ? m_env.shared->m_nVoiceCount.load() : 0,
                                           m_env.shared ? m_env.shared->m_nMemoryCount.load() : 0,
                                           m_env.shared ? m_env.shared->m_nRuimCount.load() : 0);
    p.drawPixmap(51, 54, Envelope(40, 26));
    QFont f("Sans Serif");
    f.setPixelSize(11);
    f.setBold(true);
    p.setFont(f);
    p.setPen(kGridColour);
    p.drawText(QRect(0, 0, 96, 52), Qt::AlignRight | Qt::AlignTop, "\nNot Read:\nVoice:\nTotal:");
    p.drawText(QRect(102, 0, 56, 52), Qt::AlignLeft | Qt::AlignTop,
               QString("\n%1\n%2\n%3").arg(c.notRead).arg(c.voice).arg(c.total));
}

void CSmsView::PaintPalette(QPainter& p)
{
    QFont f("Sans Serif");
    f.setPixelSize(11);
    f.setWeight(QFont::Normal);
    p.setFont(f);
    p.setPen(QPen(kGridColour, 2));
    const int right = kPaletteLeft + kPaletteColumns * kCellWidth;
    const int bottom = kPaletteTop + kPaletteRows * kCellHeight;
    for (int r = 0; r <= kPaletteRows; ++r)
        p.drawLine(kPaletteLeft, kPaletteTop + r * kCellHeight, right, kPaletteTop + r * kCellHeight);
    for (int c = 0; c <= kPaletteColumns; ++c)
        p.drawLine(kPaletteLeft + c * kCellWidth, kPaletteTop, kPaletteLeft + c * kCellWidth, bottom);
    if (m_nHighlight >= 0) {
        const int x = kPaletteLeft + (m_nHighlight % kPaletteColumns) * kCellWidth;
        const int y = kPaletteTop + (m_nHighlight / kPaletteColumns) * kCellHeight;
        p.setPen(QPen(kHighlightColour, 2));
        p.drawRect(x, y, kCellWidth, kCellHeight);
    }
    if (m_dwSymbolSet != 0)
        return;
    p.setPen(kSymbolColour);
    for (int i = 0; i < kPaletteSymbols; ++i) {
        const int x = kPaletteLeft + (i % kPaletteColumns) * kCellWidth;
        const int y = kPaletteTop + (i / kPaletteColumns) * kCellHeight;
        p.drawText(QRect(x + 4, y + 1, kCellWidth - 4, kCellHeight - 1), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::fromLatin1(PaletteSymbol(i)));
    }
}

void CSmsView::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && m_wState == SMS_COMPOSE)
        PaletteClick(e->position().toPoint());
    QWidget::mousePressEvent(e);
}

void CSmsView::PaletteClick(const QPoint& pos)
{
    if (m_dwSymbolSet != 0 || m_wState != SMS_COMPOSE)
        return;
    const int cell = PaletteCellAt(pos.x(), pos.y());
    if (cell < 0 || cell >= kPaletteSymbols)
        return;
    CEditEx* f = m_env.textField;
    if (f) {
        // As a typed character: the field's own limit and notification apply.
        f->setFocus();
        const QString sym = QString::fromLatin1(PaletteSymbol(cell));
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, sym);
        QCoreApplication::sendEvent(f, &press);
    }
    m_nHighlight = cell;
    update();
}

} // namespace kvsms
