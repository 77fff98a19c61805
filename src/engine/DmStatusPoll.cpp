// The status poll (DM_GET_INFO): battery, info text and status record turned
// into indicator values, the charge blink, the alternating signal display,
// the data-rate indicators and the new-SMS count; and the two data-rate
// sub-requests it runs while a data connection is up.
#include "engine/DmEngine.h"

#include "engine/DmTexts.h"
#include "engine/StatusIds.h"
#include "log/DebugLog.h"
#include "settings/Profile.h"

#include <algorithm>

namespace kv {

int BatteryLevel(const BattInfo& b)
{
    const uint8_t c = uint8_t(b.chgVal & 0xFF);
    if (c == 3 || c == 6)
        return 6;
    if (c == 1 || c == 4)
        return 7;
    const uint16_t v = b.battVal;
    if (v < b.bar[0])
        return 0;
    if (v < b.bar[1])
        return 1;
    if (v < b.bar[2])
        return 2;
    if (v < b.bar[3])
        return 3;
    if (v < b.bar[4])
        return 4;
    return 5;
}

int ChargeIndicator(uint16_t chgVal)
{
    switch (chgVal & 0xFF) {
    case 0: return 0;
    case 1:
    case 2:
    case 3: return 1;
    case 4: return 2;
    case 5: return 3;
    case 6: return 4;
    default: return -1;
    }
}

int OneXRateLevel(uint16_t r)
{
    if (r == 0)
        return 0;
    if (r < 200)
        return 1;
    if (r < 500)
        return 2;
    if (r < 900)
        return 3;
    return 4;
}

int HdrRateValue(uint8_t byte) { return std::max(byte >> 4, byte & 0x0F); }

// The short status layout carries each signal as one unsigned byte holding
// the magnitude of the level in dBm (80 means -80 dBm); 99, as in the long
// layout, and 0 mean no signal. The display takes signed dBm, as the long
// layout reports them. A level no receiver reports (a broken record) counts
// as no signal rather than reaching the display.
int SignalDbm(int32_t raw, bool longLayout)
{
    if (!longLayout) {
        const int v = int(raw & 0xFF);
        if (v == 0 || v == kSignalNone)
            return kSignalNone;
        if (v > -kSignalMinDbm) {
            DEBUG_LOG(LEVEL_ST, "signal out of range: %d", v);
            return kSignalNone;
        }
        return -v;
    }
    if (raw == kSignalNone)
        return kSignalNone;
    if (raw < kSignalMinDbm || raw > 0) {
        DEBUG_LOG(LEVEL_ST, "signal out of range: %d", int(raw));
        return kSignalNone;
    }
    return int(raw);
}

void CDmEngine::ShowSignal(int id, int32_t value, bool longLayout)
{
    if (value == kSignalBlank) {
        m_host.SetSignal(id, kSignalBlank);
        return;
    }
    m_host.SetSignal(id, SignalDbm(value, longLayout));
}

void CDmEngine::CmdGetInfo()
{
    ModemState& st = State();

    // 1. Battery. A failure ends the cycle without counting an error.
    BattInfo batt;
    if (Exchange(BuildBattInfoReq()) != DIAG_OK || !ParseBattInfo(Reply(), ReplyLength(), batt)) {
        DEBUG_LOG(LEVEL_ST, "get vbat info error");
        return;
    }
    const uint8_t c = uint8_t(batt.chgVal & 0xFF);
    m_host.SetIndicator(IND_BATTERY, BatteryLevel(batt));
    if (c == 4) {
        if (!(st.m_ucChargeDisplay.load() & kChargeBlinkBit))
            st.m_ucPowerFlags |= POWERF_CHARGER_4;
    } else {
        st.m_ucPowerFlags |= POWERF_OTHER;
    }
    const int charge = ChargeIndicator(batt.chgVal);
    if (charge >= 0)
        m_host.SetIndicator(IND_CHARGE, charge);

    // One poll counts at most one error, and only a good status record
    // clears the count: a status read that fails in two consecutive polls
    // ends the engine even when the info text was answered in between.
    const int errorsBefore = m_nErrorCount;

    // 2. Info text.
    SleepMs(50);
    GetInfoReply info;
    if (Exchange(BuildGetInfoReq()) != DIAG_OK || !ParseGetInfoReply(Reply(), ReplyLength(), info)) {
        DEBUG_LOG(LEVEL_ERR, "DM_GET_INFO error.");
        m_nErrorCount = errorsBefore + 1;
    } else if (info.reportedLength != 0) {
        st.SetModemInfo(info.text);
    } else {
        DEBUG_LOG(LEVEL_ST, "GET_INFO TYPE ERROR.");
    }

    // 3. Status record.
    SleepMs(50);
    const bool longLayout = (st.m_ucServiceMode.load() & kServiceModeLongStatus) != 0;
    StatusRecord rec;
    if (Exchange(BuildModemStatusReq()) != DIAG_OK
        || !ParseStatusRecord(Reply(), ReplyLength(), longLayout, rec)) {
        DEBUG_LOG(LEVEL_ST, "dm_status error");
        m_nErrorCount = errorsBefore + 1;
        return;
    }
    m_nErrorCount = 0;
    // The count is signed on the wire: a negative one is no count at all.
    if (int16_t(rec.newSmsCnt) < 0) {
        DEBUG_LOG(LEVEL_ST, "new_sms_cnt out of range: %d", int(int16_t(rec.newSmsCnt)));
        rec.newSmsCnt = 0;
    }
    m_wPollSmsCount = rec.newSmsCnt;
    if (m_signalSink)
        m_signalSink(PollSignal{SignalDbm(rec.rx1xRssi, longLayout), SignalDbm(rec.rxHdrRssi, longLayout), rec.sysMode,
                                rec.roaming});

    if (rec.rxDiversity != 0)
        m_host.SetIndicator(IND_RX_DIVERSITY, 130);

    // Charge blink: the charger is on (state 4) while the signal is low.
    if (st.m_ucPowerFlags.load() == POWERF_CHARGER_4
        && !(st.m_ucChargeDisplay.load() & kChargeBlinkBit)) {
        bool blink = false;
        if (rec.hybridPref != 0) {
            blink = rec.rx1xRssi < GetProfileInt(dmtext::kSecRssi, "OneOne", 9, kMainIni)
                && rec.rxHdrRssi < GetProfileInt(dmtext::kSecRssi, "OneEVDO", 16, kMainIni);
        } else if (rec.sysMode == sys_mode::k1x) {
            blink = rec.rx1xRssi < GetProfileInt(dmtext::kSecRssi, "One", 16, kMainIni);
        } else if (rec.sysMode == sys_mode::kEvdo) {
            blink = rec.rxHdrRssi < GetProfileInt(dmtext::kSecRssi, "EVDO", 21, kMainIni);
        }
        if (blink) {
            st.m_ucChargeDisplay |= kChargeBlinkBit;
            m_host.StartTimer(TIMER_CHARGE_BLINK, 5000);
        }
    }

    // Service and signal by system mode.
    const bool cardAbsent = st.m_ucCardRetry.load() == kCardRetryAbsent;
    auto cardLine = [&] {
        if (cardAbsent) {
            m_host.SetIndicator(IND_CALL, 1);
            m_host.SetIndicator(IND_MESSAGE_LINE, 0);
            m_host.ResetDialPad();
        } else {
            m_host.SetIndicator(IND_MESSAGE_LINE, 2);
        }
    };
    st.m_ucSysMode = rec.sysMode;
    switch (rec.sysMode) {
    case sys_mode::kNone:
        // No system: the service badge goes whatever the card, or the
        // last service stays on show while there is none.
        m_host.SetIndicator(IND_SERVICE, SERVICE_NONE);
        if (cardAbsent) {
            m_host.SetIndicator(IND_MESSAGE_LINE, 2);
            m_host.SetIndicator(IND_CALL, 1);
        } else {
            ShowSignal(IND_SIGNAL_1X, rec.rx1xRssi, longLayout);
        }
        break;
    case sys_mode::k1x:
        if (rec.hybridPref != 0) {
            m_host.SetIndicator(IND_SERVICE, SERVICE_1X_HYBRID);
            cardLine();
            uint8_t tick = st.m_ucSignalTick.load();
            if (!(tick & 0x80))
                ShowSignal(IND_SIGNAL_1X, rec.rx1xRssi, longLayout);
            else
                ShowSignal(IND_SIGNAL_EVDO, rec.rxHdrRssi, longLayout);
            if ((tick & 0x7F) >= 16) {
                tick &= 0x80;
                if (!(tick & 0x80)) {
                    ShowSignal(IND_SIGNAL_EVDO, kSignalBlank, longLayout);
                    tick |= 0x80;
                } else {
                    ShowSignal(IND_SIGNAL_1X, kSignalBlank, longLayout);
                    tick = 0;
                }
            }
            st.m_ucSignalTick = uint8_t(tick + 1);
        } else {
            m_host.SetIndicator(IND_SERVICE, SERVICE_1X);
            cardLine();
            ShowSignal(IND_SIGNAL_1X, rec.rx1xRssi, longLayout);
        }
        break;
    case sys_mode::kEvdo:
        m_host.SetIndicator(IND_SERVICE, SERVICE_EVDO);
        st.m_ucLastCallState = 129;
        if (!cardAbsent) {
            m_host.SetIndicator(IND_MESSAGE_LINE, 2);
        } else {
            m_host.SetIndicator(IND_MESSAGE_LINE, 0);
            m_host.ResetDialPad();
        }
        ShowSignal(IND_SIGNAL_EVDO, rec.rxHdrRssi, longLayout);
        m_host.SetIndicator(IND_SMS, 0);
        break;
    default:
        m_host.SetIndicator(IND_SERVICE, SERVICE_NONE);
        m_host.SetIndicator(IND_MESSAGE_LINE, 2);
        break;
    }

    if (m_pollHooks)
        m_pollHooks->OnIncomingIndication(*this, rec);

    m_host.SetIndicator(IND_ROAMING, rec.roaming);

    // Data-rate indicators while the data connection is up.
    if (st.m_nRasState.load() == RAS_STATE_CONNECTED) {
        SleepMs(50);
        st.m_ucDataSysMode = rec.curSysmode;
        if (rec.curSysmode == sys_mode::kEvdo)
            DmSubRequest(DM_PREF_HDR_DRC, 0, true);
        else if (rec.curSysmode == sys_mode::k1x)
            DmSubRequest(DM_PREF_1X_DRC, 0, true);
    }

    if (rec.sysMode == sys_mode::kEvdo) {
        if (st.m_nRasState.load() == RAS_STATE_LOOKUP)
            m_host.SetIndicator(IND_CALL, 0x81);
        return;
    }

    if (!(m_pollHooks && m_pollHooks->OnSmsChecks(*this, rec)))
        DefaultSmsChecks(rec);

    if (m_pollHooks)
        m_pollHooks->OnCallState(*this, rec);
}

// The SMS checks without the SMS engine: the send-report request, the
// storage-full notice and the new-message indicator and count.
void CDmEngine::DefaultSmsChecks(const StatusRecord& rec)
{
    ModemState& st = State();
    if (st.m_ucSmsCheckStage.load() == 1) {
        st.m_ucSmsCheckStage = 2;
        st.m_DmRequests.Push(DM_SMS_INSPECTED, false);
    }
    if (rec.smsFull != 0)
        m_host.RunTimedPopup(dmtext::kSmsStorageFull, MsgIcon::Error, POPUP_NOTICE_NO_CANCEL, 3,
                             true);
    const uint16_t count = rec.newSmsCnt;
    if (count != 0) {
        if (count != st.m_wLastSmsCount.load()) {
            st.m_ucUiFlags |= UIF_SMS_WAITING;
            st.m_wLastSmsCount = count;
            DEBUG_LOG(LEVEL_ST, "new_sms_cnt = %d", int(count));
        }
        m_host.SetIndicator(IND_SMS, 1);
    } else {
        if (st.m_wLastSmsCount.load() != 0)
            st.m_wLastSmsCount = 0;
        m_host.SetIndicator(IND_SMS, 0);
    }
    WriteSmsCount(count);
}

void CDmEngine::ShowNewMessage()
{
    // The window comes to the front for the message: the line must tell of
    // it, not of whatever it showed last (an ended or missed call). A call
    // in progress keeps its display, and without a usable card the line
    // keeps its emergency-call text.
    const ModemState& st = State();
    const uint16_t phase = st.m_wUiPhase.load();
    if (phase == UI_PHASE_INCOMING || phase == UI_PHASE_OUTGOING || st.m_ucLastCallState.load() > CALL_STATE_IDLE
        || (st.m_ucCallFlags.load() & (CALLF_CONVERSATION | CALLF_WAITING))
        || (st.m_ucCardFlags.load() & (CARDF_PIN_CANCELLED | CARDF_NO_CARD)))
        return;
    m_host.AppendMessageLine(statustext::kNewMessageLine, true);
}

void CDmEngine::WriteSmsCount(uint16_t count)
{
    // The value is the same most of the time: rewrite the file only on change.
    if (m_nWrittenSmsCount == int(count))
        return;
    if (WriteProfileString(dmtext::kSecSmsC, dmtext::kKeySmsCnt, std::to_string(count), kMainIni))
        m_nWrittenSmsCount = int(count);
}

uint16_t CDmEngine::SubPrefHdrDrc()
{
    DEBUG_LOG(LEVEL_DM, "Dm Sub DM_PREF_HDR_DRC:");
    std::array<uint8_t, 8> rates{};
    if (Exchange(BuildHdrDrcReq()) != DIAG_OK || !ParseHdrDrcReply(Reply(), ReplyLength(), rates))
        return DM_RESULT_EXCHANGE_FAILED;
    ModemState& st = State();
    for (uint8_t b : rates) {
        const int v = HdrRateValue(b);
        if (v != st.m_ucDataRateA.load()) {
            m_host.SetIndicator(IND_DATA_RATE_A, v);
            st.m_ucDataRateA = uint8_t(v);
        }
    }
    return DM_PREF_HDR_DRC;
}

uint16_t CDmEngine::SubPref1xDrc()
{
    DEBUG_LOG(LEVEL_DM, "Dm Sub DM_PREF_1X_DRC:");
    uint16_t rate = 0;
    if (Exchange(Build1xDrcReq()) != DIAG_OK || !Parse1xDrcReply(Reply(), ReplyLength(), rate))
        return DM_RESULT_EXCHANGE_FAILED;
    m_host.SetIndicator(IND_DATA_RATE_B, OneXRateLevel(rate));
    return DM_PREF_1X_DRC;
}

} // namespace kv
