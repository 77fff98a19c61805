// The settings page's actions: Apply on each page, Delete of an APN, the
// month limits, Traffic Reset and the restart of the modem link.
#include "app/ConfigIds.h"
#include "app/ConfigView.h"

#include "controls/TextStatic.h"
#include "net/AtSettingsCmds.h"
#include "notify/NotifySettings.h"
#include "settings/Autorun.h"
#include "settings/DataDir.h"
#include "settings/Profile.h"
#include "settings/SettingsKeys.h"
#include "settings/StaticApn.h"
#include "traffic/TrafficDisplay.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>

namespace kvapp {

using namespace cfg;

namespace {

std::string TextOf(QWidget* w)
{
    if (auto* e = qobject_cast<QLineEdit*>(w))
        return e->text().toStdString();
    if (auto* c = qobject_cast<QComboBox*>(w))
        return c->currentText().toStdString();
    return {};
}

bool Checked(QWidget* w)
{
    auto* b = qobject_cast<QAbstractButton*>(w);
    return b && b->isChecked();
}

} // namespace

void CConfigView::OnApply()
{
    // Apply runs once at a time: the button stays disabled while a page
    // acts (a PIN command blocks for up to 2.5 s per command).
    QWidget* apply = Control(m_nCurrentPage == PAGE_ADVANCED ? IDC_ADV_OK : IDC_APPLY);
    if (apply && !apply->isEnabled())
        return;
    if (apply)
        apply->setEnabled(false);
    switch (m_nCurrentPage) {
    case PAGE_BASIC:
        ApplyBasic();
        break;
    case PAGE_RUIM:
        ApplyRuim();
        break;
    case PAGE_ADVANCED:
        ApplyAdvanced();
        break;
    case PAGE_USER:
        ApplyUser();
        break;
    default:
        break;
    }
    if (apply)
        apply->setEnabled(true);
}

void CConfigView::ApplyBasic()
{
    // Ours, in its own file; read again at each lost link.
    kv::WriteProfileString(kv::kSecReconnect, kv::kKeyNum, Checked(Control(IDC_RECONNECT)) ? "1" : "0",
                           kv::kIniOurs);
    const std::string user = TextOf(Control(IDC_USERNAME));
    const std::string password = TextOf(Control(IDC_PASSWORD));
    m_strDialUser = user;
    m_strDialPassword = password;
    if (Checked(Control(IDC_ACCOUNT_CHECK))) {
        kv::WriteProfileString(kv::kSecUserName, kv::kKeyText, user, kv::kIniDialer);
        kv::WriteProfileString(kv::kSecPassword, kv::kKeyText, password, kv::kIniDialer);
        const std::string imsi = m_env.imsi ? m_env.imsi() : std::string();
        m_strDialNumber = imsi.find(text::kCdmaOperator) != std::string::npos ? text::kDialCdma : text::kDialGsm;
        if (m_env.setDialAccount)
            m_env.setDialAccount(user, password, &m_strDialNumber);
    } else if (m_env.setDialAccount) {
        // For the next connection only: nothing is stored.
        m_env.setDialAccount(user, password, nullptr);
    }

    const bool dynamic = Checked(Control(IDC_APN_DYNAMIC));
    const bool isStatic = Checked(Control(IDC_APN_STATIC));
    kv::WriteProfileString(kv::kSecApnType, kv::kKeyApnDynamic, dynamic ? kv::kApnChecked : kv::kApnUnchecked,
                           kv::kIniDialer);
    kv::WriteProfileString(kv::kSecApnType, kv::kKeyApnStatic, isStatic ? kv::kApnChecked : kv::kApnUnchecked,
                           kv::kIniDialer);

    if (isStatic) {
        const std::string apn = TextOf(Control(IDC_APN_LIST));
        if (apn.empty()) {
            Box(text::kApnEmpty, BoxIcon::Information);
            return;
        }
        const std::string folded = kv::UpperAscii(apn);
        std::vector<std::string> lines;
        kv::ReadStaticApnList(lines, ApnFilePath());
        bool listed = false;
        for (std::string& line : lines) {
            line = kv::UpperAscii(line);
            listed = listed || line == folded;
        }
        if (!listed) {
            auto* list = static_cast<QComboBox*>(Control(IDC_APN_LIST));
            list->addItem(QString::fromStdString(apn));
        }
        kv::WriteStaticApnList(lines, listed ? nullptr : &folded, ApnFilePath());
        kv::WriteProfileString(kv::kSecApnContent, kv::kKeyApnCurrent, folded, kv::kIniDialer);
    }
    Box(text::kSetupOk, BoxIcon::Information);
}

void CConfigView::OnDeleteApn()
{
    if (!Checked(Control(IDC_APN_STATIC)))
        return;
    auto* list = static_cast<QComboBox*>(Control(IDC_APN_LIST));
    const std::string apn = TextOf(list);
    if (apn.empty()) {
        Box(text::kSelectApn, BoxIcon::Information);
        return;
    }
    const std::string folded = kv::UpperAscii(apn);
    std::vector<std::string> lines, kept;
    kv::ReadStaticApnList(lines, ApnFilePath());
    for (const std::string& line : lines)
        if (kv::UpperAscii(line) != folded)
            kept.push_back(line);
    kv::WriteStaticApnList(kept, nullptr, ApnFilePath());
    // The list loses the entry the file lost (the field may have been typed
    // over after another entry was selected, so the selection is not it).
    const int index = list->findText(QString::fromStdString(apn), Qt::MatchFixedString);
    if (index >= 0)
        list->removeItem(index);
    list->setEditText("");
}

void CConfigView::ApplyRuim()
{
    const bool checkOn = m_bPinListOn;
    auto* pin1 = static_cast<QLineEdit*>(Control(IDC_PIN_1));
    auto* pin2 = static_cast<QLineEdit*>(Control(IDC_PIN_2));
    auto* pin3 = static_cast<QLineEdit*>(Control(IDC_PIN_3));
    // Without a modem nothing can be sent: the command fails as one that
    // got no answer.
    struct NoPort : kv::IAtPort {
        bool IsOpen() const override { return false; }
        bool TryBeginExchange() override { return false; }
        void EndExchange() override {}
        bool RearmEventMask(uint16_t&) override { return false; }
        int SendAtCommand(const std::string&) override { return 0; }
        int ReadAtAnswer(uint8_t*, int) override { return 0; }
        void Pause(int) override {}
    } noPort;
    kv::IAtPort& port = m_env.atPort ? *m_env.atPort : noPort;

    const bool change = checkOn && m_nPinAction == 1;
    kv::AtPinOutcome outcome;
    if (change)
        outcome = kv::AtPinChange(port, pin1->text().toStdString(), pin2->text().toStdString(),
                                  pin3->text().toStdString());
    else if (checkOn || m_nPinAction == 0)
        outcome = kv::AtPinLock(port, !checkOn, pin1->text().toStdString());
    else
        return;

    switch (outcome) {
    case kv::AtPinOutcome::TooShort:
    case kv::AtPinOutcome::NotDigits:
    case kv::AtPinOutcome::ConfirmFail:
        Box(kv::AtPinRefusalText(outcome), BoxIcon::Error);
        if (change) {
            pin1->clear();
            pin2->clear();
            pin3->clear();
        }
        pin1->setFocus();
        break; // nothing was sent: the action failed
    default:
        break;
    }
    const bool ok = outcome == kv::AtPinOutcome::Success;
    if (change)
        Box(ok ? text::kPinChangeOk : text::kPinChangeFail, BoxIcon::Information);
    else if (checkOn)
        Box(ok ? text::kPinDisableOk : text::kPinDisableFail, BoxIcon::Information);
    else
        Box(ok ? text::kPinEnableOk : text::kPinEnableFail, BoxIcon::Information);
    if (!ok)
        return;
    if (!change && m_env.pinCheckChanged)
        m_env.pinCheckChanged(!checkOn);
    // A new or newly enforced PIN takes effect when the modem restarts.
    if (change || !checkOn)
        kv::AtResetModem(port);
    // The list and the status line now offer what the card has.
    LoadRuim();
}

void CConfigView::ApplyAdvanced()
{
    // Ours, in its own file; read again before each notification.
    kvnotify::SetNotificationsOn(Checked(Control(IDC_NOTIFICATIONS)));
    if (Checked(Control(IDC_AUTORUN)))
        kv::SetAutorun();
    else
        kv::ClearAutorun();
    Box(text::kSetupOk, BoxIcon::Information);
}

void CConfigView::ApplyUser()
{
    const bool top = Checked(Control(IDC_TOP_CHECK));
    const bool bat = Checked(Control(IDC_BAT_CHECK));
    if (top) {
        const bool on = static_cast<QComboBox*>(Control(IDC_TOP_LIST))->currentIndex() == 1;
        if (m_env.setTopMost && m_env.setTopMost(on))
            kv::WriteProfileString(kv::kSecTop, kv::kKeyNum, on ? "1" : "0", kv::kIniDialer);
    }
    if (bat) {
        const bool on = static_cast<QComboBox*>(Control(IDC_BAT_LIST))->currentIndex() == 1;
        if (m_env.setBatteryWarning)
            m_env.setBatteryWarning(on);
        kv::WriteProfileString(kv::kSecBatSound, kv::kKeyNum, on ? "1" : "0", kv::kIniDialer);
    }
    if (!top && !bat)
        Box(text::kCheckAnItem, BoxIcon::Warning);
    else
        Box(text::kSetupOk, BoxIcon::Information);
}

void CConfigView::OnApplyLimit(bool download)
{
    if (m_nCurrentPage != PAGE_MONTH && m_nCurrentPage != PAGE_PREV_MONTH)
        return;
    const bool previous = m_nCurrentPage == PAGE_PREV_MONTH;
    const char* key = previous ? (download ? kv::kKeyDownloadMaxPrev : kv::kKeyUploadMaxPrev)
                               : (download ? kv::kKeyDownloadMax : kv::kKeyUploadMax);
    const int fieldId = previous ? (download ? IDC_LIMIT_DOWN_PREV : IDC_LIMIT_UP_PREV)
                                 : (download ? IDC_LIMIT_DOWN : IDC_LIMIT_UP);
    auto* field = static_cast<QLineEdit*>(Control(fieldId));
    const kvtraffic::AppliedLimit a =
        kvtraffic::ApplyTrafficLimit(key, field->text().toStdString(), download ? m_dMonthDown : m_dMonthUp);
    (previous ? (download ? m_dDownLimitPrev : m_dUpLimitPrev) : (download ? m_dDownLimit : m_dUpLimit)) =
        a.limit;
    const std::string p = std::string(previous ? "p_" : "m_") + (download ? "down" : "up");
    m_labels[p + "_top"]->SetText(QString::fromStdString(a.top));
    m_labels[p + "_mid"]->SetText(QString::fromStdString(a.middle));
    auto* bar = static_cast<QProgressBar*>(Control((previous ? 2100 : 2000) + (download ? 0 : 1)));
    bar->setRange(0, a.bar.range);
    bar->setValue(a.bar.pos);
    field->setText(QString::fromStdString(kvtraffic::FormatLimitField(a.limit)));
    // Only this field changes: what the user typed into the other stays.
    if (a.replaced)
        Box(text::kLimitOutOfRange, BoxIcon::Warning);
}

void CConfigView::OnTrafficReset()
{
    if (m_env.trafficReset)
        m_env.trafficReset();
}

void CConfigView::OnRestartLink()
{
    if (!m_env.restartLink)
        return;
    m_env.restartLink();
    Box(text::kRestartLinkDone, BoxIcon::Information);
}

} // namespace kvapp
