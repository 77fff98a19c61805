// Page switching and the status panel's drawing on the main window's
// controls.
#include "app/Dialer_oneDlg.h"

#include "app/AppIds.h"
#include "controls/EditEx.h"
#include "controls/HoverButton.h"
#include "controls/PageDialogs.h"
#include "controls/Skin.h"
#include "controls/TextStatic.h"
#include "engine/DeviceWatcher.h"
#include "log/DebugLog.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>

using namespace kv;
using namespace kvapp;

namespace {
// Texts from the modem are bytes in the system code page: UTF-8 when they
// are valid UTF-8, else Latin-1.
QString FromModemText(const std::string& s)
{
    const QByteArray bytes = QByteArray::fromStdString(s);
    QString u = QString::fromUtf8(bytes);
    if (u.toUtf8() == bytes)
        return u;
    return QString::fromLatin1(bytes);
}

constexpr uint8_t kCallProcessing = 0x82;
constexpr int kMainButtons[] = {IDC_NET_CONNECT, IDC_SETTING, IDC_DIAL_TOGGLE, IDC_SMS_TOGGLE,
                                IDC_PHONEBOOK};
} // namespace

QWidget* CDialer_oneDlg::DialPadWidget() const { return m_pDialPad ? m_pDialPad->Widget() : nullptr; }
QWidget* CDialer_oneDlg::SmsPageWidget() const { return m_pSmsPage ? m_pSmsPage->Widget() : nullptr; }

void CDialer_oneDlg::RefuseBox(const std::string& message)
{
    kvui::PageMessageBox(this, QMessageBox::Critical, QString::fromStdString(message));
}

void CDialer_oneDlg::SetMainButtonsEnabled(bool on)
{
    for (int id : kMainButtons)
        m_buttons[id]->setEnabled(on && !kv::KeptDisabledWhileRemoved(RegNotifyState(), id));
}

int CDialer_oneDlg::UserActiveView(int page, int sub)
{
    if (!IsUiThread()) {
        int r = 0;
        RunOnUi([&] { r = UserActiveView(page, sub); });
        return r;
    }
    return m_core.UserActiveView(page, sub);
}

int CDialer_oneDlg::ShowPage(int page, int sub)
{
    ModemState& st = m_state;
    const QRect area = m_pPageArea->geometry();
    QWidget* dial = DialPadWidget();
    QWidget* sms = SmsPageWidget();

    switch (page) {
    case VIEW_STATUS:
        if (dial)
            dial->hide();
        if (sms)
            sms->hide();
        if (m_pSmsPage)
            m_pSmsPage->ResetSelection();
        m_pTextField->clear();
        m_pTextField->hide();
        st.m_nActiveView = VIEW_STATUS;
        setFocus();
        update();
        return 1;

    case VIEW_DIAL_PAD:
        if (!dial) {
            DEBUG_LOG(LEVEL_ST, "UserActiveView: no dial pad page");
            return 0;
        }
        if (sms)
            sms->hide();
        if (st.m_ucLastCallState.load() <= kCallProcessing && sub == 0)
            m_pDialPad->ClearNumber();
        m_pTextField->hide();
        for (int id : std::initializer_list<int>{IDC_MESSAGE_LINE, IDC_STATUS_LINE_1071, IDC_STATUS_LINE_1115})
            m_lines[id]->show();
        dial->setGeometry(area);
        dial->show();
        dial->setFocus();
        st.m_nActiveView = VIEW_DIAL_PAD;
        update();
        return 1;

    case VIEW_SMS: {
        // The first switch after an engine start loads the message mirror.
        // Events are served while it waits: a second click meanwhile does nothing.
        if (m_bSmsSwitchBusy)
            return 0;
        if (m_pMessaging) {
            m_bSmsSwitchBusy = true;
            const bool loaded = m_pMessaging->LoadMirror();
            m_bSmsSwitchBusy = false;
            if (!loaded)
                return 0;
        }
        if (!sms) {
            DEBUG_LOG(LEVEL_ST, "UserActiveView: no sms page");
            return 0;
        }
        if (dial)
            dial->hide();
        sms->setGeometry(area);
        m_pSmsPage->SetComposeMode(sub != 0);
        sms->show();
        sms->setFocus();
        st.m_nActiveView = VIEW_SMS;
        update();
        return 1;
    }

    case VIEW_PICKER: {
        const uint8_t both = UIF_PB_RUIM_LOADED | UIF_PB_MEMORY_LOADED;
        if ((st.m_ucUiFlags.load() & both) != both)
            return 0;
        SetMainButtonsEnabled(false);
        if (sub == 2) {
            SetMainButtonsEnabled(true);
            return 1;
        }
        st.m_nModalView = MODAL_PICKER;
        if (Hooks().runPicker)
            Hooks().runPicker(*this, sub);
        else
            DEBUG_LOG(LEVEL_ST, "UserActiveView: no phonebook page");
        SetMainButtonsEnabled(true);
        break;
    }

    case VIEW_SETTINGS:
    case VIEW_TRAFFIC:
        st.m_nModalView = MODAL_SETTINGS;
        if (Hooks().runSettings)
            Hooks().runSettings(*this, page == VIEW_TRAFFIC ? 9 : sub);
        else
            DEBUG_LOG(LEVEL_ST, "UserActiveView: no settings page");
        break;

    case VIEW_ACTIVATION:
        st.m_nModalView = MODAL_SETTINGS;
        break;

    default:
        DEBUG_LOG(LEVEL_ST, "%s", logtext::kViewError);
        return 0;
    }
    st.m_nModalView = MODAL_NONE;
    SetModalWindow(nullptr);
    return 1;
}

// ---------------------------------------------------------------------------
// The status panel's view

void CDialer_oneDlg::ShowIndicator(int controlId, bool show)
{
    if (QWidget* w = Control(controlId))
        w->setVisible(show);
}

bool CDialer_oneDlg::IndicatorShown(int controlId) const
{
    QWidget* w = Control(controlId);
    return w && !w->isHidden();
}

void CDialer_oneDlg::SetIndicatorBitmap(int controlId, int bitmapId)
{
    auto it = m_indicators.find(controlId);
    if (it == m_indicators.end())
        return;
    const QPixmap p = kvui::SkinPixmap(bitmapId);
    if (p.isNull())
        return; // the control keeps its picture
    it->second->setPixmap(p);
    m_indicatorBitmaps[controlId] = bitmapId;
}

int CDialer_oneDlg::IndicatorBitmap(int controlId) const
{
    auto it = m_indicatorBitmaps.find(controlId);
    return it == m_indicatorBitmaps.end() ? 0 : it->second;
}

void CDialer_oneDlg::Beep() { QApplication::beep(); }

std::string CDialer_oneDlg::MessageLine() const
{
    auto it = m_lines.find(IDC_MESSAGE_LINE);
    return it == m_lines.end() ? std::string() : it->second->Text().toStdString();
}

void CDialer_oneDlg::SetMessageLine(const std::string& text, bool wrap)
{
    CTextStatic* line = m_lines[IDC_MESSAGE_LINE];
    line->SetText(FromModemText(text), wrap);
    line->show();
}

void CDialer_oneDlg::SetLineText(int id, const std::string& text)
{
    RunOnUi([&] {
        auto it = m_lines.find(id);
        if (it != m_lines.end())
            it->second->SetText(FromModemText(text), false);
    });
}

bool CDialer_oneDlg::DialPadHoldsNumber() const
{
    return m_pDialPad && m_state.m_nActiveView.load() == VIEW_DIAL_PAD && !m_pDialPad->Number().empty();
}

bool CDialer_oneDlg::TakePendingCallText(std::string& text)
{
    return m_pDialPad && m_pDialPad->TakePendingCallText(text);
}

bool CDialer_oneDlg::SetTopMost(bool on)
{
    // Changing the flag hides a shown window; it comes back in place.
    const bool shown = isVisible();
    const QRect place = geometry();
    setWindowFlag(Qt::WindowStaysOnTopHint, on);
    if (shown) {
        setGeometry(place);
        show();
    }
    m_bTopMost = on;
    return true;
}
