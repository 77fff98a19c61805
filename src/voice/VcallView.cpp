// The dial pad page.
#include "voice/VcallView.h"

#include "controls/HoverButton.h"
#include "controls/Skin.h"
#include "controls/SkinIds.h"
#include "host/HostIds.h"
#include "log/DebugLog.h"

#include <QKeyEvent>
#include <QMetaObject>
#include <QPainter>

namespace kvvoice {

using namespace kv;

namespace {

struct ButtonPlace {
    int id;
    const char* label;
    int x, y;
};

// Page pixels: the three function buttons on top, then four rows of keys.
constexpr ButtonPlace kPlaces[] = {
    {IDC_VCALL_SEND, "SEND", 19, 3},   {IDC_VCALL_CLEAR, "Clear", 68, 5}, {IDC_VCALL_END, "END", 102, 3},
    {1020, "1", 22, 32},  {1021, "2", 65, 32},  {1022, "3", 107, 32},
    {1023, "4", 22, 53},  {1024, "5", 65, 53},  {1025, "6", 107, 53},
    {1026, "7", 22, 74},  {1027, "8", 65, 74},  {1028, "9", 107, 74},
    {IDC_VCALL_STAR, "*", 22, 95}, {IDC_VCALL_KEY0, "0", 65, 95}, {IDC_VCALL_HASH, "#", 107, 95},
};

int BitmapOf(int buttonId)
{
    switch (buttonId) {
    case IDC_VCALL_SEND: return kvui::IDB_BTN_SEND;
    case IDC_VCALL_END: return kvui::IDB_BTN_END;
    case IDC_VCALL_CLEAR: return kvui::IDB_BTN_CLEAR;
    default: return kvui::IDB_BTN_KEY_FIRST + (buttonId - IDC_VCALL_KEY1);
    }
}

bool InCall(const ModemState& st)
{
    const uint16_t p = st.m_wUiPhase.load();
    return p == UI_PHASE_INCOMING || p == UI_PHASE_OUTGOING;
}

} // namespace

CVcallView::CVcallView(CDmEngine& engine, QWidget* parent) : QWidget(parent), m_engine(engine)
{
    setObjectName("CVcallView");
    setFocusPolicy(Qt::StrongFocus);
    resize(150, 120);
    for (const ButtonPlace& p : kPlaces) {
        auto* b = new CHoverButton(this, p.id);
        b->setObjectName(QStringLiteral("vcall_%1").arg(p.id));
        b->setFocusPolicy(Qt::NoFocus);
        b->move(p.x, p.y);
        const bool fn = p.id == IDC_VCALL_SEND || p.id == IDC_VCALL_END || p.id == IDC_VCALL_CLEAR;
        if (!b->SetBitmap(BitmapOf(p.id))) {
            // Without its picture the button still works, with its label.
            b->setText(QString::fromLatin1(p.label));
            b->resize(fn ? 40 : 30, fn ? 24 : 19);
        }
        m_buttons[p.id] = b;
        if (fn) {
            const int code = p.id == IDC_VCALL_SEND ? 'P' : p.id == IDC_VCALL_END ? 'Q' : 'R';
            connect(b, &QAbstractButton::clicked, this, [this, code] { Key(code, KEY_BUTTON); });
        } else {
            // Digits act on the press (and send their release with the tone flag).
            b->installEventFilter(this);
            b->setProperty("keyChar", int(p.label[0]));
        }
    }
}

void CVcallView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QPixmap back = kvui::SkinPixmap(kvui::IDB_PAGE_BACK);
    if (!back.isNull())
        p.drawPixmap(rect(), back);
}

QAbstractButton* CVcallView::Button(int id) const
{
    auto it = m_buttons.find(id);
    return it == m_buttons.end() ? nullptr : it->second;
}

bool CVcallView::eventFilter(QObject* watched, QEvent* e)
{
    const QVariant ch = watched->property("keyChar");
    if (ch.isValid() && (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonRelease)) {
        auto* me = static_cast<QMouseEvent*>(e);
        if (me->button() == Qt::LeftButton) {
            if (e->type() == QEvent::MouseButtonPress)
                Key(ch.toInt(), KEY_BUTTON);
            else if (ToneFlag())
                Key(kKeyCodeRelease, KEY_BUTTON);
        }
    }
    return QWidget::eventFilter(watched, e);
}

void CVcallView::keyPressEvent(QKeyEvent* e)
{
    const QString t = e->text();
    const int k = e->key();
    const size_t typed = size_t(m_nTyped);
    const size_t len = m_strNumber.size();
    if (k == Qt::Key_Backspace) {
        if (m_nTyped > 0) {
            --m_nTyped;
            Key('R', KEY_KEYBOARD);
        }
        return;
    }
    if (t.size() == 1) {
        const char c = char(t.at(0).toLatin1());
        if ((c >= '0' && c <= '9') || c == '+') {
            if (typed < kMaxDigits && len < kMaxDigits && (c != '+' || len == 0))
                Key(c, KEY_KEYBOARD);
            return;
        }
        if (c == '#' || c == '*') {
            if (typed < kMaxDigits)
                Key(c, KEY_KEYBOARD);
            return;
        }
        if (c == 'p') {
            if (typed < kMaxDigits)
                Key(kKeyCodePause, KEY_KEYBOARD);
            return;
        }
    }
    QWidget::keyPressEvent(e);
}

void CVcallView::Key(int code, int source)
{
    if (source == KEY_LOCAL) {
        LocalEdit(code, source);
        return;
    }
    m_nLastKey = code;
    ModemState& st = St();
    // Clear while a second call waits refuses the waiting call.
    const bool refused = code == 'R' && ClearWaitingCall(Host());
    if (!refused) {
        if (code == 'R' && m_strNumber.empty()) {
            if (st.m_ucCallFlags.load() != 0 || st.m_wUiPhase.load() == UI_PHASE_OUTGOING) {
                m_bPending = true;
                Host().AppendMessageLine("", true);
                Host().StartTimer(TIMER_RESTORE_MESSAGE_LINE, 20);
            }
            return;
        }
        if (code == kKeyCodePause && m_strNumber.empty())
            return;
    }
    const int sendCode = code == 'p' ? kKeyCodePause : code;
    if (QueueCallKey(m_engine, sendCode) == 0 || !InCall(st))
        LocalEdit(code, source);
}

void CVcallView::LocalEdit(int code, int source)
{
    const bool fn = code == 'P' || code == 'Q' || code == 'R';
    if (!fn && m_strNumber.size() >= kMaxDigits)
        return;
    ModemState& st = St();
    switch (code) {
    case 'P':
        if (!m_strNumber.empty() || st.m_wUiPhase.load() == UI_PHASE_INCOMING || m_bPicker) {
            m_bPicker = false;
            QueueDial(m_engine, m_strNumber);
            // The number is cut at its first pause: the groups after it wait
            // in the pause list, and tones typed during the call follow the
            // number actually dialled.
            m_strNumber = m_strNumber.substr(0, m_strNumber.find('p'));
        } else {
            m_bPicker = true;
            Host().PostUserMessage(MsgTarget::MainWindow, UM_OPEN_CALL_PICKER, 0, 0);
            return;
        }
        break;
    case 'Q':
        if (m_strNumber.empty()) {
            Host().AppendMessageLine("", true);
            Host().StartTimer(TIMER_RESTORE_MESSAGE_LINE, 20);
            return;
        }
        st.m_call.ClearPauses();
        m_strNumber.clear();
        Host().StartTimer(TIMER_RESTORE_MESSAGE_LINE, 20);
        break;
    case 'R':
        if (!m_strNumber.empty()) {
            m_strNumber.pop_back();
            if (source == KEY_BUTTON && m_nTyped > 0)
                --m_nTyped;
        }
        if (m_strNumber.empty()) {
            Host().StartTimer(TIMER_RESTORE_MESSAGE_LINE, 20);
            return;
        }
        break;
    case kKeyCodeRelease:
        return;
    default:
        m_strNumber += code == kKeyCodePause ? 'p' : char(code);
        m_nTyped = int(m_strNumber.size());
        break;
    }
    ShowNumber();
}

void CVcallView::ShowNumber() { Host().AppendMessageLine(WrapCallText(m_strNumber), true); }

void CVcallView::SetNumber(const std::string& number)
{
    m_strNumber = number.substr(0, kMaxDigits);
    m_nTyped = int(m_strNumber.size());
}

void CVcallView::ResetDialPad(int mode)
{
    if (mode == 1) {
        if (!m_strNumber.empty())
            ShowNumber();
    } else {
        m_strNumber.clear();
        m_nTyped = 0;
        if (mode == 0)
            Host().AppendMessageLine("", true);
    }
    St().m_call.ClearKeys();
    St().m_call.ClearPauses();
}

void CVcallView::VolumeUp()
{
    RequestVolumeChange(m_engine, true);
    if (isVisible())
        setFocus();
}

void CVcallView::VolumeDown()
{
    RequestVolumeChange(m_engine, false);
    if (isVisible())
        setFocus();
}

// --- engine side --------------------------------------------------------

void CVcallView::IncomingMode()
{
    QMetaObject::invokeMethod(this, [this] { ResetDialPad(2); }, Qt::QueuedConnection);
}

void CVcallView::EngineKey(uint8_t key)
{
    QMetaObject::invokeMethod(this, [this, key] { FollowEngineKey(key); }, Qt::QueuedConnection);
}

void CVcallView::FollowEngineKey(int key)
{
    switch (key) {
    case CALL_KEY_END:
        // The engine ended the call or refused to place it: the number goes
        // and the engine's own text (a refusal) stays on the line.
        ResetDialPad(2);
        return;
    case CALL_KEY_SEND:
        // SEND reaches the page only during a call: it answered the call or
        // switched to the waiting party, whose texts the engine shows. There
        // is nothing to dial and no picker to open, and the line keeps the
        // party (an empty number shown would blank it).
        m_bPicker = false;
        return;
    default:
        // A digit sent as a tone is added to the number, CLR takes the last
        // character off; the line shows the number.
        LocalEdit(key, KEY_LOCAL);
        return;
    }
}

void CVcallView::LabelVolumeButtons(bool inCall)
{
    QMetaObject::invokeMethod(
        this,
        [this, inCall] {
            if (m_labelSink)
                m_labelSink(inCall ? "+ Vol" : "+ Ring", inCall ? "- Vol" : "- Ring");
        },
        Qt::QueuedConnection);
}

} // namespace kvvoice
