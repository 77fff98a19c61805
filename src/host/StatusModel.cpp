// The indicator table, the signal levels, the battery blink and the message
// line's idle texts.
#include "host/StatusModel.h"

#include "host/HostIds.h"
#include "engine/StatusIds.h"
#include "link/DiagCatalog.h"

namespace kv {

using namespace statusid;
namespace text = statustext;

namespace {
constexpr uint8_t kBatteryBlinkPhase = 0x08;
constexpr uint8_t kBatteryCountMask = 0x07;
constexpr uint8_t kRoamingBlinkPhase = 0x80;
constexpr uint8_t kCallNoDevice = 0x81;
constexpr uint8_t kServiceModeBatteryCap = 0x20;
constexpr uint8_t kCallProcessing = 0x82; // last call states above it: a call is up
constexpr int kSignalRedraw = 0xFFFFFF;

// A text telling of an event the user may not have seen yet (a missed call,
// a new message): idle updates leave it until something replaces it.
bool ShowsEvent(const std::string& line)
{
    return line.find(text::kMissedCall) != std::string::npos || line.find(text::kNewMessage) != std::string::npos;
}
} // namespace

void CStatusModel::Draw(int control, int bitmap)
{
    m_view.SetIndicatorBitmap(control, bitmap);
    m_view.ShowIndicator(control, true);
}

bool CStatusModel::Unchanged(bool sameValue, int control) const
{
    return sameValue && m_view.IndicatorShown(control);
}

void CStatusModel::InitialState()
{
    m_battery = kUnknown;
    m_signal = kUnknown;
    m_noSignalCount = 0;
    SetSignal(IND_SIGNAL_1X, kSignalNone);
    m_signal = kUnknown;
    SetSignal(IND_SIGNAL_EVDO, kSignalNone);
    m_service = kUnknown;
    m_sms = 0;
    m_view.ShowIndicator(IDC_SMS, false);
    m_roaming = 0;
    m_view.SetIndicatorBitmap(IDC_ROAMING, IDB_ROAMING);
    m_view.ShowIndicator(IDC_ROAMING, false);
    m_rxd = 0;
    m_view.SetIndicatorBitmap(IDC_RXD, IDB_RXD_OFF);
    m_view.ShowIndicator(IDC_RXD, false);
    m_state.m_ucChargeDisplay = 0;
    m_view.ShowIndicator(IDC_CHARGE, false);
    m_call = kCallNoDevice;
    m_idle = kIdleNone;
}

void CStatusModel::ResetForRemoval()
{
    m_battery = m_signal = m_service = m_sms = m_call = m_roaming = m_rxd = kUnknown;
    m_rateA = m_rateB = kUnknown;
    m_state.m_ucChargeDisplay = kUnknown;
    SetIndicator(IND_BATTERY, 1);
    SetSignal(IND_SIGNAL_1X, kSignalNone);
    m_signal = kUnknown;
    SetSignal(IND_SIGNAL_EVDO, kSignalNone);
    SetIndicator(IND_SERVICE, SERVICE_NONE);
    SetIndicator(IND_CALL, 1);
    SetIndicator(IND_SMS, 0);
    SetIndicator(IND_ROAMING, 128);
    SetIndicator(IND_RX_DIVERSITY, 0);
    SetIndicator(IND_CHARGE, 0);
    SetIndicator(IND_DATA_RATE_A, 128);
    m_idle = kIdleNone;
    m_noSignalCount = 0;
    m_bUnplugged = true;
    m_view.SetMessageLine(text::kModemUnplugged, false);
}

void CStatusModel::SetIndicator(int id, int value)
{
    switch (id) {
    case IND_MESSAGE_LINE: SetIdleText(value); break;
    case IND_BATTERY: SetBattery(value); break;
    case IND_SERVICE: SetService(value); break;
    case IND_SMS: SetSms(value); break;
    case IND_CALL: SetCall(value); break;
    case IND_ROAMING: SetRoaming(value); break;
    case IND_RX_DIVERSITY: SetRxDiversity(value); break;
    case IND_CHARGE: SetCharge(value); break;
    case IND_EAR_VOLUME: SetEarVolume(value); break;
    // A rate read just before the connection ended must not come back after
    // the bar was emptied: rates count only while the connection is up.
    case IND_DATA_RATE_A:
        if (value == kRateReset || m_state.m_nRasState.load() == RAS_STATE_CONNECTED)
            SetRateA(value);
        break;
    case IND_DATA_RATE_B:
        if (m_state.m_nRasState.load() == RAS_STATE_CONNECTED)
            SetRateB(value);
        break;
    default: break; // 2, 3, 1041, 1045, 1046 and unknown ids
    }
}

// ---------------------------------------------------------------------------
// Battery

void CStatusModel::SetBattery(int value)
{
    const int level = m_battery >> 4;
    if (value == level && level != 0) {
        if (level == 7 || Unchanged(true, IDC_VBAT))
            return;
    } else if (value == level) {
        // An empty battery blinks: every repeated report flips the phase,
        // and every eighth one beeps when the modem has a battery.
        m_battery ^= kBatteryBlinkPhase;
        m_view.ShowIndicator(IDC_VBAT, !(m_battery & kBatteryBlinkPhase));
        const uint8_t count = m_battery & kBatteryCountMask;
        if (count == 7) {
            m_battery &= uint8_t(~kBatteryCountMask);
            if (m_state.m_ucServiceMode.load() & kServiceModeBatteryCap)
                m_view.Beep();
        } else {
            m_battery = uint8_t((m_battery & ~kBatteryCountMask) | (count + 1));
        }
        return;
    }
    int bitmap = 0;
    switch (value) {
    case 0: bitmap = IDB_BATT_EMPTY; break;
    // Between the modem's first two thresholds, and the value the link-loss
    // and removal resets report: a low battery, never a connect request.
    case 1: bitmap = IDB_BATT_LOW; break;
    case 2: bitmap = IDB_BATT_2; break;
    case 3: bitmap = IDB_BATT_3; break;
    case 4: bitmap = IDB_BATT_4; break;
    case 5: bitmap = IDB_BATT_5; break;
    case 6: bitmap = IDB_BATT_FULL; break;
    case 7: break;
    default: return;
    }
    if (value == 7)
        m_view.ShowIndicator(IDC_VBAT, false);
    else
        Draw(IDC_VBAT, bitmap);
    m_battery = uint8_t(value << 4);
}

// ---------------------------------------------------------------------------
// Signal

int CStatusModel::SignalBitmap(int setId, int level)
{
    static const int kSet1[] = {0, IDB_SIG1_L1, IDB_SIG1_L2, IDB_SIG1_L3,
                                IDB_SIG1_L4, IDB_SIG1_L5};
    if (level == kLevelNoSignal)
        return setId == IND_SIGNAL_1X ? IDB_SIG1_NONE : IDB_SIG2_L7;
    if (level < 1 || level > 5)
        return 0;
    return setId == IND_SIGNAL_1X ? kSet1[level] : IDB_SIG2_L1 + level - 1;
}

int CStatusModel::SignalLevelOf(int dbm)
{
    if (dbm <= -102)
        return kLevelNoSignal;
    if (dbm <= -96)
        return 1;
    if (dbm <= -90)
        return 2;
    if (dbm <= -84)
        return 3;
    if (dbm <= -77)
        return 4;
    if (dbm <= -20)
        return 5;
    return 0;
}

void CStatusModel::SetSignal(int id, int value)
{
    if (id != IND_SIGNAL_1X && id != IND_SIGNAL_EVDO)
        return;
    const int level = m_signal >> 4;
    if (value == kSignalNone) {
        if (m_noSignalCount < 255)
            ++m_noSignalCount;
        if (Unchanged(level == kLevelNoSignal, IDC_ANTENNA))
            return;
        m_signal = uint8_t((kLevelNoSignal << 4) | (m_signal & 0x0F));
        Draw(IDC_ANTENNA, id == IND_SIGNAL_1X ? IDB_SIG1_NONE : IDB_SIG2_NONE);
        m_signalHistory.fill(0);
        return;
    }
    if (value == kSignalRedraw) {
        if (const int bmp = SignalBitmap(id, level))
            Draw(IDC_ANTENNA, bmp);
        return;
    }
    if (value == kSignalBlank) {
        // The alternating display hands the control to the other set: its
        // next report draws whatever the level.
        m_signal &= 0x0F;
        return;
    }
    m_noSignalCount = 0;
    const int newLevel = SignalLevelOf(value);
    if (newLevel == 0)
        return;
    if (newLevel == kLevelNoSignal) {
        Draw(IDC_ANTENNA, SignalBitmap(id, kLevelNoSignal));
        return;
    }
    if (Unchanged(newLevel == level, IDC_ANTENNA))
        return;
    m_signal = uint8_t((newLevel << 4) | (m_signal & 0x0F));
    Draw(IDC_ANTENNA, SignalBitmap(id, newLevel));
}

// ---------------------------------------------------------------------------
// The other indicators

void CStatusModel::SetService(int value)
{
    if (value == kUnknown)
        value = m_lastService;
    if (value == m_service && (value == SERVICE_NONE || Unchanged(true, IDC_SERVICE)))
        return;
    int bitmap = 0;
    switch (value) {
    case SERVICE_1X_HYBRID: bitmap = IDB_SERVICE_HYBRID; break;
    case SERVICE_1X: bitmap = IDB_SERVICE_1X; break;
    case SERVICE_EVDO: bitmap = IDB_SERVICE_DO; break;
    case SERVICE_NONE: break;
    default: return;
    }
    if (value == SERVICE_NONE)
        m_view.ShowIndicator(IDC_SERVICE, false);
    else
        Draw(IDC_SERVICE, bitmap);
    m_service = uint8_t(value);
    m_lastService = uint8_t(value);
    m_state.m_ucServiceState = uint8_t(value);
}

void CStatusModel::SetSms(int value)
{
    static const int kBitmaps[] = {0, IDB_SMS_NEW, IDB_SMS_VOICE, IDB_SMS_VOICES};
    if (value < 0 || value > 3)
        return;
    if (value == m_sms && (value == 0 || Unchanged(true, IDC_SMS)))
        return;
    if (value == 0)
        m_view.ShowIndicator(IDC_SMS, false);
    else
        Draw(IDC_SMS, kBitmaps[value]);
    m_sms = uint8_t(value);
}

void CStatusModel::SetCall(int value)
{
    if (value == m_call)
        return;
    if (m_call == kCallNoDevice)
        m_view.ShowIndicator(IDC_CALL, true);
    m_call = uint8_t(value);
}

void CStatusModel::SetRoaming(int value)
{
    const int last = m_roaming & 0x0F;
    if (value == 2 && last == 2) {
        // Repeated "roaming 2" blinks the indicator.
        m_roaming ^= kRoamingBlinkPhase;
        m_view.ShowIndicator(IDC_ROAMING, !(m_roaming & kRoamingBlinkPhase));
        return;
    }
    if (value == last && m_roaming != kUnknown && (value != 1 || Unchanged(true, IDC_ROAMING)))
        return;
    const bool show = value == 1 || value == 2;
    m_view.ShowIndicator(IDC_ROAMING, show);
    m_roaming = uint8_t(show ? value : 0);
}

void CStatusModel::SetRxDiversity(int value)
{
    if (value == m_rxd && (value == 0 || Unchanged(true, IDC_RXD)))
        return;
    switch (value) {
    case 0:
        m_view.SetIndicatorBitmap(IDC_RXD, IDB_RXD_OFF);
        m_view.ShowIndicator(IDC_RXD, false);
        break;
    case 1: Draw(IDC_RXD, IDB_RXD_OFF); break;
    case 0x82: Draw(IDC_RXD, IDB_RXD_ON); break;
    default: return;
    }
    m_rxd = uint8_t(value);
}

void CStatusModel::SetCharge(int value)
{
    static const int kBitmaps[] = {0, IDB_CHARGE_1, IDB_CHARGE_2, IDB_CHARGE_3,
                                   IDB_CHARGE_4};
    const uint8_t now = m_state.m_ucChargeDisplay.load();
    if (value < 0 || value > 4)
        return;
    if (now != kUnknown && value == (now & 0x7F) && (value == 0 || Unchanged(true, IDC_CHARGE)))
        return;
    if (value == 0) {
        m_view.ShowIndicator(IDC_CHARGE, false);
        m_state.m_ucChargeDisplay = 0;
        return;
    }
    Draw(IDC_CHARGE, kBitmaps[value]);
    const uint8_t blink = now == kUnknown ? 0 : (now & kChargeBlinkBit);
    m_state.m_ucChargeDisplay = uint8_t(blink | value);
}

void CStatusModel::SetEarVolume(int value)
{
    static const int kBitmaps[] = {IDB_VOL_0, IDB_VOL_1, IDB_VOL_2,
                                   IDB_VOL_3, IDB_VOL_4};
    if (value >= 0 && value <= 4)
        Draw(IDC_EAR_VOLUME, kBitmaps[value]);
}

void CStatusModel::SetRateA(int value)
{
    // 128 is the reset of a connection's end and of a removal: the bar
    // empties and the next rate, whichever it is, is drawn again (the bar
    // must not show a rate while there is no connection).
    if (value == kRateReset) {
        Draw(IDC_DATA_RATE, IDB_DRC_EMPTY);
        m_rateA = kUnknown;
        m_rateB = kUnknown;
        m_state.m_ucDataRateA = kUnknown;
        return;
    }
    if (Unchanged(value == m_rateA, IDC_DATA_RATE))
        return;
    int bitmap = 0;
    if (value >= 1 && value <= 4) {
        static const int kLow[] = {235, 233, 234, 232};
        bitmap = kLow[value - 1];
    } else if (value >= 5 && value <= 12) {
        bitmap = 237 + (value - 5);
    } else if (value == 13) {
        bitmap = 242;
    } else if (value == 15) {
        if (m_rateA == 12)
            return;
        bitmap = 244;
    } else {
        return;
    }
    Draw(IDC_DATA_RATE, bitmap);
    m_rateA = uint8_t(value);
    m_state.m_ucDataRateA = uint8_t(value);
}

void CStatusModel::SetRateB(int value)
{
    static const int kBitmaps[] = {IDB_DRC_EMPTY, 234, 238, 241, 244};
    if (value < 0 || value > 4 || Unchanged(value == m_rateB, IDC_DATA_RATE))
        return;
    Draw(IDC_DATA_RATE, kBitmaps[value]);
    m_rateB = uint8_t(value);
}

// ---------------------------------------------------------------------------
// Message line

void CStatusModel::SetIdleText(int code)
{
    const uint8_t cf = m_state.m_ucCardFlags.load();
    if ((cf & (CARDF_PIN_CANCELLED | CARDF_NO_CARD)) || m_state.m_wUiPhase.load() == UI_PHASE_OUTGOING)
        return;
    const std::string line = m_view.MessageLine();
    if (ShowsEvent(line))
        return;
    if (m_view.DialPadHoldsNumber())
        return;
    if (m_state.m_ucLastCallState.load() > kCallProcessing) {
        m_idle = kIdleNone;
        return;
    }
    // While the modem is away the blank texts (the engine's stop draws one)
    // leave the removal on the line; the next start's texts end it.
    const bool blank = code == 0 || code == 3;
    if (m_bUnplugged && blank) {
        m_view.SetMessageLine(text::kModemUnplugged, false);
        m_idle = uint8_t(code);
        return;
    }
    if (code >= 1 && code <= 5)
        m_bUnplugged = false;
    if (code == m_idle && !line.empty())
        return;
    switch (code) {
    case 0: m_view.SetMessageLine(" ", false); break;
    case 1:
    case 2: m_view.SetMessageLine(text::kIdleKorvia, false); break;
    case 3: m_view.SetMessageLine(" ", true); break;
    case 4: m_view.SetMessageLine("Modem \nReset", false); break;
    case 5: m_view.SetMessageLine("\nRUIM Initializing", false); break;
    default: return;
    }
    m_idle = uint8_t(code);
}

void CStatusModel::AppendMessageLine(const std::string& text, bool replace)
{
    const std::string line = m_view.MessageLine();
    if (replace || line.empty())
        m_view.SetMessageLine(text, true);
    else
        m_view.SetMessageLine(line + text, false);
}

void CStatusModel::RestoreMessageLine()
{
    std::string pending;
    const bool hasPending = m_view.TakePendingCallText(pending);
    const uint8_t callFlags = m_state.m_ucCallFlags.load();
    if (hasPending || callFlags == 1 || callFlags == 2) {
        if (!pending.empty())
            m_view.SetMessageLine(pending, true);
        return;
    }
    if (m_state.m_nRasState.load() != RAS_STATE_CONNECTING && ShowsEvent(m_view.MessageLine()))
        return;
    if (m_view.DialPadHoldsNumber())
        return;
    const uint8_t cf = m_state.m_ucCardFlags.load();
    if (cf & CARDF_PIN_CANCELLED)
        m_view.SetMessageLine(text::kNoPinEmergency, false);
    else if (cf & CARDF_NO_CARD)
        m_view.SetMessageLine(text::kNoCardEmergency, false);
    else if (m_bUnplugged)
        m_view.SetMessageLine(text::kModemUnplugged, false);
    else if (m_state.m_ucLastCallState.load() > kCallProcessing)
        m_view.SetMessageLine(text::kIdleKorvia, false);
    else
        m_idle = kIdleNone;
}

void CStatusModel::ChargeBlink()
{
    const uint8_t power = m_state.m_ucPowerFlags.exchange(0);
    if (power & POWERF_OTHER)
        m_state.m_ucChargeDisplay ^= kChargeBlinkBit;
}

std::string CStatusModel::DataRateTip() const
{
    if (m_state.m_nRasState.load() != RAS_STATE_CONNECTED)
        return {};
    return m_state.m_ucDataSysMode.load() == sys_mode::k1x ? text::kRate1x : text::kRateEvdo;
}

} // namespace kv
