// The start-up chain: preferred mode, service capabilities with the version
// and number read, the SMS storage and phonebook steps, DM_UI_ENABLE; and
// DmResetFunc, which writes the stored preferred mode back to the modem.
#include "engine/DmEngine.h"

#include "engine/DmTexts.h"
#include "host/PageButtons.h"
#include "link/DiagCatalogPbook.h"
#include "link/DiagCatalogSms.h"
#include "log/DebugLog.h"
#include "settings/Profile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace kv {

namespace {

std::string Upper(std::string s)
{
    for (char& ch : s)
        ch = char(std::toupper(static_cast<unsigned char>(ch)));
    return s;
}

bool WriteMain(const char* section, const std::string& value, const char* key = dmtext::kKeyNum)
{
    return WriteProfileString(section, key, value, kMainIni);
}

// Three digits of a 10-bit MIN group: each digit is stored plus one, and
// 10 stands for 0. A group above 999 (only the untested middle group can
// be) yields digit values above 10, written modulo 10.
std::string MinDigits(uint32_t g)
{
    const uint32_t d[3] = {g / 100 + 1, (g / 10) % 10 + 1, g % 10 + 1};
    std::string out;
    for (uint32_t v : d)
        out += char('0' + v % 10);
    return out;
}

} // namespace

std::string DecodeMin(uint32_t min1, uint16_t min2)
{
    // Thousands digit by its 4-bit field: 1..9 as is, 10 is 0, the rest invalid.
    static const int kThousands[16] = {-1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, -1, -1, -1, -1, -1};
    const uint32_t thousandsField = (min1 >> 10) & 0x0F;
    const uint32_t low = min1 & 0x3FF;
    const uint32_t mid = (min1 >> 14) & 0x3FF;
    if (min2 >= 1000 || kThousands[thousandsField] < 0 || low > 999)
        return "";
    std::string out;
    if (min2 != 0)
        out += "(" + MinDigits(min2) + ") ";
    if (min1 != 0)
        out += MinDigits(mid) + "-" + char('0' + kThousands[thousandsField]) + MinDigits(low);
    return out;
}

void CDmEngine::CmdPrefRead()
{
    ModemState& st = State();
    DEBUG_LOG(LEVEL_DM, "DM_PREF_READ");
    const bool nvKind = st.m_nDeviceKind.load() == DEVICE_KIND_NV;
    if (nvKind) {
        uint16_t mode = 0;
        if (Exchange(BuildNvReadReq(NV_PREF_MODE_I)) != DIAG_OK
            || !ParseNvPrefMode(Reply(), ReplyLength(), mode)) {
            DEBUG_LOG(LEVEL_ST, "read pef mode error ");
            ++m_nErrorCount;
            return;
        }
        m_nErrorCount = 0;
        DEBUG_LOG(LEVEL_ST, "===> PrfMode = %d", int(mode));
        WriteMain(dmtext::kSecPrefMode, std::to_string(mode));
        if (mode == 1)
            st.m_ucPrefFlags |= PREFF_MODE_1;
        else if (mode == 10)
            st.m_ucPrefFlags |= PREFF_MODE_10;
        st.m_wPrefMode = mode;
    }
    if (!(st.m_ucPrefFlags.load() & PREFF_MODE_10)) {
        if (!nvKind) {
            // No NV reads on this device: go on with the service read now;
            // the state word stays DM_PREF_READ.
            CmdGetService();
            return;
        }
        uint8_t hybrid = 0;
        if (Exchange(BuildNvReadReq(NV_HYBRID_PREF_I)) != DIAG_OK
            || !ParseNvHybridPref(Reply(), ReplyLength(), hybrid)) {
            DEBUG_LOG(LEVEL_ST, "read hybrid pref error ");
            ++m_nErrorCount;
            return;
        }
        DEBUG_LOG(LEVEL_ST, "===> hybrid = %d", int(hybrid));
        WriteMain(dmtext::kSecHybrid, std::to_string(hybrid));
        if (hybrid == 0)
            st.m_ucPrefFlags |= PREFF_HYBRID_0;
        else if (hybrid == 1)
            st.m_ucPrefFlags |= PREFF_HYBRID_1;
        m_nErrorCount = 0;
    }
    st.m_DmRequests.Push(DM_GET_SERVICE, false);
}

void CDmEngine::CmdGetService()
{
    ModemState& st = State();
    DEBUG_LOG(LEVEL_DM, "DM_GET_SERVICE Start");
    ++m_nErrorCount;
    const uint16_t r = DmSubRequest(DM_GET_SERVICE, 0, true);
    if (r != DM_GET_SERVICE) {
        DEBUG_LOG(LEVEL_ST, "dm_get_service error=0x%x", unsigned(r));
        return;
    }
    SleepMs(1000);
    DEBUG_LOG(LEVEL_ST, "DM_GET_SERVICE in KVA_SUB_SERVICE");
    ServiceReply svc;
    int rc = Exchange(BuildServiceReq());
    if (rc == DIAG_OK && !ParseServiceReply(Reply(), ReplyLength(), svc))
        rc = DIAG_NO_MATCH;
    if (rc != DIAG_OK) {
        DEBUG_LOG(LEVEL_ST, "dm_get_service status error=%d", rc);
        return;
    }
    DEBUG_LOG(LEVEL_ST, "ServiceMode=0x%2X", unsigned(svc.serviceMode));
    WriteMain(dmtext::kSecCallbackMax, std::to_string(svc.callbackMax));
    WriteMain(dmtext::kSecUnicodeMax, std::to_string(svc.unicodeMax));
    WriteMain(dmtext::kSecAsciiMax, std::to_string(svc.asciiMax));
    st.m_dwUnicodeMax = svc.unicodeMax;
    st.m_dwAsciiMax = svc.asciiMax;
    m_host.SetTextLimit(svc.asciiMax);
    m_host.SetIndicator(IND_1045, 0);
    st.m_ucInCallVolume = svc.inCallVolume;
    st.m_ucIdleVolume = svc.idleVolume;
    m_host.SetIndicator(IND_EAR_VOLUME, svc.idleVolume);
    m_host.SetIndicator(IND_RX_DIVERSITY, svc.rxDiversity);
    st.m_ucServiceMode = svc.serviceMode;

    DEBUG_LOG(LEVEL_ST, "DM_GET_SERVICE in KVA_SUB_INF_VER");
    InfVerReply ver;
    rc = Exchange(BuildInfVerReq());
    if (rc == DIAG_OK && !ParseInfVerReply(Reply(), ReplyLength(), ver))
        rc = DIAG_NO_MATCH;
    if (rc != DIAG_OK) {
        DEBUG_LOG(LEVEL_ST, "get info version error=%d", rc);
        return;
    }
    DEBUG_LOG(LEVEL_ST, "version=%d.%d", int(ver.major), int(ver.minor));
    st.m_wModemVersion = ver.modemVersion;
    st.m_wUiPhase = UI_PHASE_STARTUP;
    st.m_DmRequests.Push(DM_RUIM_STATUS, false);
    m_host.SetIndicator(IND_CALL, 0);
    m_nErrorCount = 0;
}

uint16_t CDmEngine::SubGetService()
{
    ModemState& st = State();
    DEBUG_LOG(LEVEL_DM, "Dm Sub DM_GET_SERVICE:");
    VersionReply ver;
    if (Exchange(BuildVersionReq()) != DIAG_OK || !ParseVersionReply(Reply(), ReplyLength(), ver)) {
        DEBUG_LOG(LEVEL_ST, "diag_verno_f error");
        return DM_RESULT_EXCHANGE_FAILED;
    }
    DEBUG_LOG(LEVEL_ST, "get version");
    char hw[8];
    std::snprintf(hw, sizeof hw, "%04x", unsigned(ver.hwVersion));
    WriteMain(dmtext::kSecModem, Upper(ver.swVersion), dmtext::kKeySwVer);
    WriteMain(dmtext::kSecModem, Upper(ver.buildDate), dmtext::kKeyCompDate);
    WriteMain(dmtext::kSecModem, Upper(hw), dmtext::kKeyHwVer);

    EsnMinReply em;
    int rc = Exchange(BuildStatusReq());
    if (rc == DIAG_OK && !ParseEsnMinReply(Reply(), ReplyLength(), em))
        rc = DIAG_NO_MATCH;
    if (rc != DIAG_OK) {
        DEBUG_LOG(LEVEL_ST, "diag_state_f error=%d", rc);
        return DM_RESULT_EXCHANGE_FAILED;
    }
    DEBUG_LOG(LEVEL_ST, "get diag status");
    char esn[12];
    std::snprintf(esn, sizeof esn, "%08x", unsigned(em.esn));
    WriteMain(dmtext::kSecModem, Upper(DecodeMin(em.min1, em.min2)), dmtext::kKeyMin);
    WriteMain(dmtext::kSecModem, Upper(esn), dmtext::kKeyEsn);
    WriteMain(dmtext::kSecChgUsb, "0");

    // Only kind-2 devices answer NV reads; for the others this read fails.
    std::string digits;
    if (st.m_nDeviceKind.load() != DEVICE_KIND_NV || Exchange(BuildNvReadReq(NV_DIR_NUMBER_I)) != DIAG_OK
        || !ParseNvDirNumber(Reply(), ReplyLength(), digits)) {
        DEBUG_LOG(LEVEL_ST, "read nv_dir_number pcs error ");
        return DM_RESULT_EXCHANGE_FAILED;
    }
    DEBUG_LOG(LEVEL_ST, "dir number value");
    for (char ch : digits) {
        if (ch < '0' || ch > '9') {
            digits = dmtext::kNoDirNumber;
            break;
        }
    }
    WriteMain(dmtext::kSecModem, Upper(digits), dmtext::kKeyMdn);
    return DM_GET_SERVICE;
}

void CDmEngine::CmdUiEnable()
{
    DEBUG_LOG(LEVEL_DM, "DM_UI_ENABLE");
    EnableStartupControls(m_host, kUiEnableControls);
}

void CDmEngine::FinishChainUnavailable(const char* text)
{
    ModemState& st = State();
    m_host.AppendMessageLine(text, true);
    m_host.ShowControl(IDC_PROGRESS, false);
    if (st.m_wUiPhase.load() == UI_PHASE_STARTUP)
        st.m_wUiPhase = UI_PHASE_IDLE;
    st.m_DmRequests.Push(DM_UI_ENABLE, true);
    st.m_DmRequests.Push(DM_GET_INFO, false);
}

void CDmEngine::CmdSmsInfo2()
{
    ModemState& st = State();
    DEBUG_LOG(LEVEL_DM, "DM_SMS_INFO2");
    SmsInfoReply info;
    if (Exchange(BuildSmsInfoReq()) != DIAG_OK || !ParseSmsInfoReply(Reply(), ReplyLength(), info)) {
        DEBUG_LOG(LEVEL_ST, "get ruim info2 error ");
        ++m_nErrorCount;
    } else {
        m_nErrorCount = 0;
        if (info.inited != 0) {
            m_tSmsInfoSince = 0;
            st.m_wSmsMaxSlot = info.smsMaxSlot;
            DEBUG_LOG(LEVEL_ST, "sms_max_slot = 0x%02x", unsigned(info.smsMaxSlot));
            st.m_wPbLen = 65;
            st.m_wPbLimit2 = 32;
            st.m_DmRequests.Push(DM_PBOOK_INFO, true);
            if (GetProfileInt(dmtext::kSecEmgCall, dmtext::kKeyNum, 0, kMainIni) == 1) {
                DmResetFunc(DM_PREF_CM_SYS_SEL);
                WriteMain(dmtext::kSecEmgCall, "0");
            }
        } else {
            DEBUG_LOG(LEVEL_ST, "false sms_max_slot = 0x%02x", unsigned(info.smsMaxSlot));
            if (RetryWindowExpired(m_tSmsInfoSince)) {
                // The SMS storage never became ready: go on without it.
                DEBUG_LOG(LEVEL_ST, "sms storage not ready, going on without it");
                st.m_wSmsMaxSlot = 0;
                m_host.AppendMessageLine(dmtext::kSmsNotReady, true);
                st.m_DmRequests.Push(DM_PBOOK_INFO, true);
            } else {
                ShowProgressStars();
                st.m_DmRequests.Push(DM_SMS_INFO2, false);
            }
        }
    }
    if (st.m_wUiPhase.load() == UI_PHASE_STARTUP)
        st.m_wUiPhase = UI_PHASE_IDLE;
    m_host.ShowControl(IDC_PROGRESS, false);
}

void CDmEngine::CmdPbookInfo()
{
    ModemState& st = State();
    DEBUG_LOG(LEVEL_DM, "DM_PBOOK_INFO");
    if (!(st.m_ucUiFlags.load() & UIF_PB_RUIM_LOADED)) {
        if (DmSubRequest(DM_PBOOK_INFO, 1, true) == DM_PBOOK_INFO)
            m_host.SendUserMessage(UM_UI_REQUEST, UI_REQ_LOAD_PHONEBOOK, PB_STORAGE_WORD_RUIM);
        DEBUG_LOG(LEVEL_ST, "ruim phonebook info again!");
    }
    const uint8_t flags = st.m_ucUiFlags.load();
    if ((flags & UIF_PB_RUIM_LOADED) && !(flags & UIF_PB_MEMORY_LOADED)) {
        if (DmSubRequest(DM_PBOOK_INFO, 9, true) == DM_PBOOK_INFO)
            m_host.SendUserMessage(UM_UI_REQUEST, UI_REQ_LOAD_PHONEBOOK, PB_STORAGE_WORD_MEMORY);
        DEBUG_LOG(LEVEL_ST, "memory phonebook info again!");
    }
    const uint8_t both = UIF_PB_RUIM_LOADED | UIF_PB_MEMORY_LOADED;
    if ((st.m_ucUiFlags.load() & both) == both) {
        m_tPbookSince = 0;
        st.m_DmRequests.Push(DM_UI_ENABLE, true);
        st.m_DmRequests.Push(DM_GET_INFO, false);
    } else if (RetryWindowExpired(m_tPbookSince)) {
        DEBUG_LOG(LEVEL_ST, "phonebook not ready, going on without it");
        FinishChainUnavailable(dmtext::kPhonebookNotReady);
    } else {
        st.m_DmRequests.Push(DM_PBOOK_INFO, true);
        ShowProgressStars();
    }
}

uint16_t CDmEngine::SubPbookInfo(uintptr_t type)
{
    ModemState& st = State();
    DEBUG_LOG(LEVEL_DM, "Dm Sub DM_PBOOK_INFO:");
    if (type != 1 && type != 9)
        return DM_RESULT_BAD_ARGUMENT;
    PbInfoReply info;
    if (Exchange(BuildPbInfoReq(uint8_t(type))) != DIAG_OK
        || !ParsePbInfoReply(Reply(), ReplyLength(), info))
        return DM_RESULT_EXCHANGE_FAILED;
    if (info.result != 0)
        return DM_RESULT_MODEM_REFUSED;
    const int inUse = PbCountInUse(info.recordInUse, info.maxRecord);
    if (inUse != info.recordInUse)
        DEBUG_LOG(LEVEL_ST, "phonebook in use %d taken as %d (capacity %d)", int(info.recordInUse), inUse,
                  int(info.maxRecord));
    if (type == 1) {
        st.m_wPbRuimMax = info.maxRecord;
        st.m_wPbRuimUsed = uint16_t(inUse);
    } else {
        st.m_wPbMemoryMax = info.maxRecord;
        st.m_wPbMemoryUsed = uint16_t(inUse);
    }
    // The name field of a record holds 65 bytes; 0 tells nothing.
    if (info.pbLen != 0)
        st.m_wPbLen = std::min<uint16_t>(info.pbLen, uint16_t(pb_layout::kNameMax));
    DEBUG_LOG(LEVEL_ST, "phonebook ruim=%d, memory=%d", int(st.m_wPbRuimUsed.load()),
              int(st.m_wPbMemoryUsed.load()));
    return DM_PBOOK_INFO;
}

uint16_t CDmEngine::DmResetFunc(uint16_t code)
{
    ModemState& st = State();
    if (code != DM_PREF_CM_SYS_SEL)
        return DM_RESULT_BAD_ARGUMENT;
    if (!m_link.IsOpen())
        return DM_RESULT_EXCHANGE_FAILED;
    DEBUG_LOG(LEVEL_DM, "DM Reset Func DM_PREF_CM_SYS_SEL:");
    const int mode = GetProfileInt(dmtext::kSecPrefMode, dmtext::kKeyNum, -1, kMainIni);
    if (mode == -1) {
        DEBUG_LOG(LEVEL_ST, "pref_mode value is unknown ");
        return DM_RESULT_BAD_ARGUMENT;
    }
    const int hybrid = GetProfileInt(dmtext::kSecHybrid, dmtext::kKeyNum, -1, kMainIni);
    const bool ok = Exchange(BuildCmSysSelReq(uint16_t(mode), uint16_t(hybrid))) == DIAG_OK;
    if (!ok) {
        DEBUG_LOG(LEVEL_ST, "dm_pref_cm_sys_sel error");
    } else {
        DEBUG_LOG(LEVEL_ST, "dm_pref_cm_sys_sel Ok");
        uint8_t flags = 0;
        if (mode == 1)
            flags |= PREFF_MODE_1;
        else if (mode == 10)
            flags |= PREFF_MODE_10;
        if (hybrid == 0)
            flags |= PREFF_HYBRID_0;
        else if (hybrid == 1)
            flags |= PREFF_HYBRID_1;
        st.m_ucPrefFlags = flags;
        st.m_ucSignalTick = 0;
        // The signal display forgets what it shows: the next report draws,
        // whatever its level (also "no signal").
        m_host.SetSignal(IND_SIGNAL_1X, kSignalBlank);
        m_host.SetSignal(IND_SIGNAL_EVDO, kSignalBlank);
        st.m_wPrefMode = uint16_t(mode);
    }
    if (st.m_nModalView.load() == MODAL_SETTINGS)
        m_host.PostUserMessage(MsgTarget::ModalWindow, UM_CONFIG_UPDATE,
                               uintptr_t(intptr_t(ok ? CONFIG_UPDATE_PREF_WRITTEN
                                                     : CONFIG_UPDATE_PREF_NOT_WRITTEN)),
                               0);
    return DM_RESULT_RESET_DONE;
}

int PbCountInUse(uint16_t inUse, uint16_t capacity)
{
    int limit = kPbEntriesMax;
    if (capacity != 0)
        limit = std::min(limit, int(capacity));
    return std::min(int(inUse), limit);
}

} // namespace kv
