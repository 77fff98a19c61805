// The RUIM card check of the start-up chain and the PIN requests: what the
// engine does for each card and PIN state, the PIN dialog, and the verify
// and unblock exchanges.
#include "engine/DmEngine.h"

#include "engine/DmTexts.h"
#include "host/PageButtons.h"
#include "engine/PinCheck.h"
#include "log/DebugLog.h"
#include "settings/Profile.h"

namespace kv {

namespace {

enum : uint8_t {
    CARD_NO_CARD = 0,
    CARD_INVALID_CARD = 1,
    CARD_VALID_CARD = 2,
    CARD_NOT_INIT = 3,
    CARD_NOT_READY = 4,
    CARD_CARD_REINIT = 5,
};
enum : uint8_t {
    CARD_PIN_DISABLED = 1,
    CARD_PIN_ENABLED = 2,
    CARD_PIN_VERIFIED = 3,
    CARD_PIN_BLOCKED = 4,
    CARD_PIN_PERM_DISABLED = 5,
    CARD_PIN_NOT_VALID = 6,
};

const char* UimStateName(uint8_t s)
{
    switch (s) {
    case CARD_NO_CARD: return "CARD_NO_CARD";
    case CARD_INVALID_CARD: return "CARD_INVALID_CARD";
    case CARD_VALID_CARD: return "CARD_VALID_CARD";
    case CARD_NOT_INIT: return "CARD_NOT_INIT";
    case CARD_NOT_READY: return "CARD_NOT_READY";
    case CARD_CARD_REINIT: return "CARD_CARD_REINIT";
    default: return "default";
    }
}

const char* LockStateName(uint8_t s)
{
    switch (s) {
    case CARD_PIN_DISABLED: return "CARD_PIN_DISABLED";
    case CARD_PIN_ENABLED: return "CARD_PIN_ENABLED";
    case CARD_PIN_VERIFIED: return "CARD_PIN_VERIFIED";
    case CARD_PIN_BLOCKED: return "CARD_PIN_BLOCKED";
    case CARD_PIN_PERM_DISABLED: return "CARD_PIN_PERM_DISABLED";
    case CARD_PIN_NOT_VALID: return "CARD_PIN_NOT_VALID";
    default: return "CARD_PIN_UNKNOWN";
    }
}

void WriteNum(const char* section, int value)
{
    WriteProfileString(section, dmtext::kKeyNum, std::to_string(value), kMainIni);
}

// A code field holds at most 8 characters.
std::string ReadCode(const char* section, const char* def)
{
    return GetProfileString(section, dmtext::kKeyNum, def, 9, kMainIni);
}

} // namespace

void CDmEngine::CmdRuimStatus()
{
    ModemState& st = State();
    CDmQueue& q = st.m_DmRequests;
    DEBUG_LOG(LEVEL_DM, "DM_RUIM_STATUS");

    // The card is not ready yet: check again, but only for a while; then the
    // chain goes on without the card so that emergency calls stay possible.
    auto recheck = [&](bool atHead) {
        if (RetryWindowExpired(m_tCardSince)) {
            DEBUG_LOG(LEVEL_ST, "ruim card not ready, going on without it");
            st.m_ucCardFlags |= CARDF_NOT_READY;
            m_host.AppendMessageLine(dmtext::kCardNotReady, true);
            m_host.ShowControl(IDC_PROGRESS, false);
            EnableStartupControls(m_host, kNoCardControls);
            q.Push(DM_UI_ENABLE, true);
            return;
        }
        q.Push(DM_RUIM_STATUS, atHead);
    };

    RuimStatus rs;
    if (Exchange(BuildRuimStatusReq()) != DIAG_OK || !ParseRuimStatus(Reply(), ReplyLength(), rs)) {
        ++m_nErrorCount;
        DEBUG_LOG(LEVEL_ST, "get ruim status error ");
    } else {
        m_nErrorCount = 0;
        st.m_wUiPhase = UI_PHASE_STARTUP;
        if (rs.connected != 0) {
            DEBUG_LOG(LEVEL_ST, "%s", UimStateName(rs.uimState));
            if (rs.uimState == CARD_VALID_CARD) {
                m_tCardSince = 0;
                q.Push(DM_SMS_INFO2, true);
            } else if (rs.uimState != CARD_NOT_INIT) {
                recheck(false);
            }
            if (rs.uimState == CARD_VALID_CARD || rs.uimState == CARD_NOT_INIT) {
                DEBUG_LOG(LEVEL_ST, "%s", LockStateName(rs.lockState));
                switch (rs.lockState) {
                case CARD_PIN_DISABLED:
                    NotePinCheck(st, false);
                    WriteNum(dmtext::kSecChv1Cnt, rs.retryCnt);
                    break;
                case CARD_PIN_ENABLED: {
                    WriteNum(dmtext::kSecChv1Cnt, rs.retryCnt);
                    NotePinCheck(st, true);
                    st.m_nModalView = MODAL_PIN;
                    const PinResult r = m_host.RunPinDialog(PIN_MODE_ENTER);
                    st.m_nModalView = MODAL_NONE;
                    st.m_hModalWnd = 0;
                    if (r == PinResult::Ok) {
                        q.RemoveFirst(DM_SMS_INFO2);
                        q.Push(DM_RUIM_VERIFY, true);
                    } else if (r == PinResult::Cancel) {
                        m_host.ShowControl(IDC_PROGRESS, false);
                        st.m_ucCardFlags |= CARDF_PIN_CANCELLED;
                        EnableStartupControls(m_host, kPinCancelControls);
                        m_host.UserActiveView(VIEW_DIAL_PAD, 0);
                        m_host.StartTimer(TIMER_RESTORE_MESSAGE_LINE, 1000);
                    }
                    // Ended by StopDmEngine: the engine is going down, nothing to do.
                    break;
                }
                case CARD_PIN_VERIFIED:
                    // The PIN was entered: the check is on (the card may have
                    // been unlocked before this program started).
                    NotePinCheck(st, true);
                    if (rs.uimState == CARD_NOT_INIT)
                        recheck(true);
                    else
                        WriteNum(dmtext::kSecChv1Cnt, rs.retryCnt);
                    break;
                case CARD_PIN_BLOCKED: {
                    st.m_ucPinCheck = PINCHECK_ON;
                    if (rs.retryCnt == 0) {
                        m_host.MessageBox(dmtext::kUnblockCodeBlocked, MsgIcon::Error);
                        break;
                    }
                    WriteNum(dmtext::kSecChv1PukCnt, rs.retryCnt);
                    st.m_nModalView = MODAL_PIN;
                    const PinResult r = m_host.RunPinDialog(PIN_MODE_UNBLOCK);
                    st.m_nModalView = MODAL_NONE;
                    st.m_hModalWnd = 0;
                    if (r == PinResult::Ok) {
                        q.RemoveFirst(DM_SMS_INFO2);
                        q.Push(DM_RUIM_UNBLOCK, true);
                    } else if (r == PinResult::Later) {
                        // Kept blocked: the engine goes on as without a card
                        // (emergency calls, status), and says why.
                        q.RemoveFirst(DM_SMS_INFO2);
                        m_host.ShowControl(IDC_PROGRESS, false);
                        st.m_ucCardFlags |= CARDF_BLOCKED;
                        EnableStartupControls(m_host, kPinCancelControls);
                    } else if (r == PinResult::Cancel) {
                        // The user refused the unblock code: the program closes.
                        m_host.ShowControl(IDC_PROGRESS, false);
                        m_host.StartTimer(TIMER_CLOSE_PROGRAM, 300);
                        EndThreadNow();
                        return;
                    }
                    break;
                }
                default: // permanently disabled, not valid, unknown
                    recheck(false);
                    break;
                }
                // A card still initialising is checked again unless a PIN
                // step or a re-check is already queued.
                if (rs.uimState == CARD_NOT_INIT && !q.Contains(DM_RUIM_STATUS)
                    && !q.Contains(DM_RUIM_VERIFY) && !q.Contains(DM_RUIM_UNBLOCK)
                    && !(st.m_ucCardFlags.load() & CARDF_NO_USABLE_CARD)
                    && !q.Contains(DM_UI_ENABLE) && rs.lockState != CARD_PIN_BLOCKED)
                    recheck(false);
            }
        } else {
            if (rs.uimState == CARD_NO_CARD) {
                DEBUG_LOG(LEVEL_ST, "CARD_NO_CARD ");
                m_host.AppendMessageLine(dmtext::kNoRuimCard, true);
                m_host.ShowControl(IDC_PROGRESS, false);
                st.m_ucCardFlags |= CARDF_NO_CARD;
                EnableStartupControls(m_host, kNoCardControls);
                m_host.UserActiveView(VIEW_DIAL_PAD, 0);
                m_host.StartTimer(TIMER_RESTORE_MESSAGE_LINE, 1000);
            } else if (rs.uimState == CARD_INVALID_CARD) {
                DEBUG_LOG(LEVEL_ST, "not card CARD_INVALID_CARD ");
                m_host.AppendMessageLine(dmtext::kInvalidRuimCard, true);
                if (st.m_ucCardRetry.load() == kCardRetryAbsent)
                    m_host.MessageBox(dmtext::kInsertCardAndRestart, MsgIcon::Error);
            } else {
                DEBUG_LOG(LEVEL_ST, "no card connetion uim_state = %d ", int(rs.uimState));
            }
            uint8_t retry = uint8_t(st.m_ucCardRetry.load() + 1);
            if (retry > kCardRetryAbsent)
                retry = 0;
            st.m_ucCardRetry = retry;
            if (rs.uimState == CARD_NO_CARD)
                q.Push(DM_RUIM_STATUS, false);
            else
                recheck(false);
        }
    }

    // Without a usable card the engine polls instead of checking the card.
    if (st.m_ucCardFlags.load() & CARDF_NO_USABLE_CARD) {
        q.RemoveFirst(DM_RUIM_STATUS);
        q.Push(DM_GET_INFO, false);
    }
}

void CDmEngine::CmdRuimVerify(uint16_t type)
{
    DEBUG_LOG(LEVEL_DM, type == KVA_SUB_RUIM_UNBLOCK_CHV ? "DM_RUIM_UNBLOCK" : "DM_RUIM_VERIFY");
    DmSubRequest(DM_RUIM_VERIFY, type, true);
    if (State().m_wUiPhase.load() == UI_PHASE_STARTUP)
        State().m_DmRequests.Push(DM_RUIM_STATUS, false);
}

uint16_t CDmEngine::SubRuimVerify(uintptr_t type)
{
    DEBUG_LOG(LEVEL_DM, "Dm Sub DM_RUIM_VERIFY:");
    const bool unblock = type == KVA_SUB_RUIM_UNBLOCK_CHV;
    const std::string pin = ReadCode(dmtext::kSecChv1, dmtext::kDefaultPin);
    const DiagRequest req = unblock ? BuildRuimUnblockReq(ReadCode(dmtext::kSecChv1Temp, ""), pin)
                                    : BuildRuimVerifyReq(pin);
    const uint16_t sub = unblock ? KVA_SUB_RUIM_UNBLOCK_CHV : KVA_SUB_RUIM_VERIFY_CHV;
    RuimChvReply r;
    if (Exchange(req) != DIAG_OK || !ParseRuimChvReply(Reply(), ReplyLength(), sub, r)) {
        DEBUG_LOG(LEVEL_ST, "ruim chv1 verify error ");
        return DM_RESULT_EXCHANGE_FAILED;
    }
    if (r.sw1 == 0x90) {
        m_host.MessageBox(unblock ? dmtext::kUnblockOk : dmtext::kPinOk, MsgIcon::Information);
    } else if (r.sw1 == 0x98) {
        const char* text = nullptr;
        if (r.sw2 == 0x04)
            text = unblock ? dmtext::kUnblockWrongLeft : dmtext::kPinWrongLeft;
        else if (r.sw2 == 0x40)
            text = unblock ? dmtext::kUnblockBlocked : dmtext::kPinBlocked;
        else if (r.sw2 == 0x08)
            text = dmtext::kCardDisabled;
        if (text)
            m_host.MessageBox(text, MsgIcon::Error);
    }
    WriteNum(unblock ? dmtext::kSecChv1PukCnt : dmtext::kSecChv1Cnt, r.numOfRetries);
    DEBUG_LOG(LEVEL_ST, "sw1=0x%02x, sw2=0x%02x, status=0x%02x, number=0x%02x", unsigned(r.sw1),
              unsigned(r.sw2), unsigned(r.status), unsigned(r.numOfRetries));
    return DM_RUIM_VERIFY;
}

} // namespace kv
