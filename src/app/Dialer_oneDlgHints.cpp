// The main window telling the user in words what it is doing: the start-up's
// first line, why a control does nothing, the wait cursor while a page
// waits on the modem, and the names a screen reader gives the controls.
// The texts and the rules of the message line are the core's
// (engine/ControlHints.h); this file only puts them on the face.
#include "app/Dialer_oneDlg.h"

#include "app/AppIds.h"
#include "controls/HoverButton.h"
#include "controls/TextStatic.h"
#include "engine/ControlHints.h"

#include <QApplication>
#include <QLabel>
#include <QTimer>

using namespace kv;
using namespace kvapp;

namespace {

// What each line and indicator of the face is, for a screen reader.
struct AccessibleName {
    int id;
    const char* name;
};
constexpr AccessibleName kLineNames[] = {
    {IDC_MESSAGE_LINE, "Message line"},  {IDC_STATUS_LINE_1115, "Card state"},
    {IDC_STATUS_LINE_1116, "Network signal"}, {IDC_STATUS_LINE_1071, "Access point"},
    {IDC_STATUS_LINE_1072, "Settings"},  {IDC_DURATION_LINE, "Connection time"},
    {IDC_CONN_MSG_1, "Connection state"}, {IDC_CONN_MSG_2, "Connection details"},
};
constexpr AccessibleName kIndicatorNames[] = {
    {IDC_VBAT, "Battery"},         {IDC_ANTENNA, "Signal strength"}, {IDC_SERVICE, "Service"},
    {IDC_SMS, "New message"},      {IDC_CALL, "Call"},               {IDC_IND_1045, "Spare indicator"},
    {IDC_IND_1046, "Spare indicator"},  {IDC_ROAMING, "Roaming"},         {IDC_EAR_VOLUME, "Ear volume"},
    {IDC_RXD, "Receive diversity"}, {IDC_DATA_RATE, "Data rate"},    {IDC_CHARGE, "Charging"},
};
constexpr AccessibleName kButtonNames[] = {
    {IDC_GET_NUMBER, "Get Number"}, {IDC_NOP_1019, "No action"}, {IDC_RESET_STATS, "Reset Statistics"},
};
// Tab order of the face: the connection first, then the pages, the volume
// and the window's own buttons.
constexpr int kTabOrder[] = {IDC_NET_CONNECT, IDC_NET_DISCONNECT, IDC_SETTING, IDC_TRAFFIC_TAB,
                             IDC_DIAL_TOGGLE, IDC_SMS_TOGGLE, IDC_PHONEBOOK, IDC_VOLUME_DOWN,
                             IDC_VOLUME_UP, IDC_TEXT_FIELD, IDC_ACTIVATION, IDC_GET_BALANCE,
                             IDC_SWITCH_OFF, IDC_MINIMIZE, IDC_EXIT};

} // namespace

void CDialer_oneDlg::SetUpAccessibility()
{
    // Presses on disabled buttons reach TellWhyUnavailableOf (eventFilter).
    for (const auto& [id, button] : m_buttons)
        button->installEventFilter(this);
    setAccessibleName(kvapp::text::kProductName);
    for (const AccessibleName& n : kLineNames)
        if (auto it = m_lines.find(n.id); it != m_lines.end())
            it->second->setAccessibleName(n.name);
    for (const AccessibleName& n : kIndicatorNames)
        if (auto it = m_indicators.find(n.id); it != m_indicators.end())
            it->second->setAccessibleName(n.name);
    for (const AccessibleName& n : kButtonNames)
        if (auto it = m_buttons.find(n.id); it != m_buttons.end())
            it->second->setAccessibleName(n.name);
    if (QWidget* field = Control(IDC_TEXT_FIELD))
        field->setAccessibleName("Number or text");
    if (QWidget* progress = Control(IDC_PROGRESS))
        progress->setAccessibleName("Start-up progress");
    QWidget* previous = nullptr;
    for (int id : kTabOrder) {
        QWidget* w = Control(id);
        if (!w)
            continue;
        if (previous)
            setTabOrder(previous, w);
        previous = w;
    }
}

bool CDialer_oneDlg::TellWhyUnavailable(int controlId)
{
    m_panel.AppendMessageLine(WhyControlUnavailable(controlId, m_state), true);
    StartTimer(TIMER_RESTORE_MESSAGE_LINE, 5000);
    return true;
}

bool CDialer_oneDlg::TellWhyUnavailableAt(const QPoint& pos)
{
    // By place, not by the topmost child there: a transparent page or text
    // line laid over a button must not hide it.
    for (const auto& [id, button] : m_buttons)
        if (button->parentWidget() == this && button->isVisible() && !button->isEnabled()
            && button->geometry().contains(pos))
            return TellWhyUnavailable(id);
    return false;
}

bool CDialer_oneDlg::TellWhyUnavailableOf(QObject* watched)
{
    for (const auto& [id, button] : m_buttons)
        if (button == watched && !button->isEnabled())
            return TellWhyUnavailable(id);
    return false;
}

void CDialer_oneDlg::ShowSearching()
{
    m_panel.AppendMessageLine(hint::kSearching, true);
}

void CDialer_oneDlg::RunWaiting(const std::function<void()>& fn)
{
    bool shown = false;
    QTimer later;
    later.setSingleShot(true);
    QObject::connect(&later, &QTimer::timeout, [this, &shown] {
        shown = true;
        SetWaitCursor(true);
    });
    later.start(kWaitCursorDelayMs);
    fn();
    later.stop();
    if (shown)
        SetWaitCursor(false);
}
