// Standard, general and card records of the DIAG catalog, and the table of
// every request kind.
#include "link/DiagCatalog.h"

#include "link/DiagCatalogPbook.h"
#include "link/DiagCatalogSms.h"

#include <algorithm>

namespace kv {

namespace {

DiagRequest NewRequest(uint8_t command, int length, uint32_t timeoutMs)
{
    DiagRequest r;
    r.bytes[0] = command;
    r.length = length;
    r.timeoutMs = timeoutMs;
    return r;
}

std::vector<uint8_t> VendorReply(uint8_t command, uint16_t sub, size_t length, uint16_t result = 0)
{
    std::vector<uint8_t> v(std::max(length, kVendorReplyHeader), 0);
    v[0] = command;
    PutU16(v.data(), kVendorSubOffset, sub);
    PutU16(v.data(), kVendorResultOffset, result);
    return v;
}

// Checks length and echo of a vendor reply in one step.
bool VendorReplyOk(const ReplyView& r, uint8_t command, uint16_t sub, size_t need)
{
    return r.Has(need) && CheckVendorReply(r, command, sub);
}

void PutCode(uint8_t* p, size_t off, const std::string& code)
{
    for (size_t i = 0; i < ruim_layout::kCodeLen; ++i)
        p[off + i] = i < code.size() ? uint8_t(code[i]) : ruim_layout::kCodeFill;
}

} // namespace

// The one table of every request: name, exact length, time-out and the
// shortest reply its reader accepts.
const std::vector<DiagRequestInfo>& RequestCatalog()
{
    using namespace status_layout;
    static const std::vector<DiagRequestInfo> table = {
        {DIAG_VERNO_F, 0, false, "diag_verno_f", 1, kDiagTimeoutDefault, verno_layout::kReplyLength},
        {DIAG_STATUS_F, 0, false, "diag_state_f", 1, kDiagTimeoutDefault, status_f_layout::kReplyLength},
        {DIAG_HS_KEY_REQ, 0, false, "diag_hs_key_req_type", 3, kDiagTimeoutDefault, 0},
        {DIAG_ORIG_REQ, 0, false, "diag_orig_req_type", orig_layout::kLength, kDiagTimeoutDefault, 0},
        {DIAG_EXT_REQ, 0, false, "DIAG_EXT_REQ", nv_layout::kLength, kDiagTimeoutDefault, nv_layout::kData + 1},
        {KVA_CMD_GENERAL, KVA_SUB_SERVICE, true, "KVA_SUB_SERVICE", 3, kDiagTimeoutDefault, 12},
        {KVA_CMD_GENERAL, KVA_SUB_STATUS, true, "kva_status_req_type", 3, kDiagTimeoutDefault, kShortLength},
        {KVA_CMD_GENERAL, KVA_SUB_CALLER_ID, true, "KVA_SUB_CALLER_ID", 3, kDiagTimeoutDefault, callerid_layout::kLength},
        {KVA_CMD_GENERAL, KVA_SUB_CM_SYS_SEL, true, "kva_cm_sys_sel_req_type", 7, kDiagTimeoutDefault, 5},
        {KVA_CMD_GENERAL, KVA_SUB_1X_DRC, true, "KVA_SUB_1X_DRC", 3, kDiagTimeoutDefault, 7},
        {KVA_CMD_GENERAL, KVA_SUB_HDR_DRC, true, "KVA_SUB_HDR_DRC", 3, kDiagTimeoutDefault, 13},
        {KVA_CMD_GENERAL, KVA_SUB_EAR_LEVEL, true, "KVA_SUB_EAR_LEVEL", 5, kDiagTimeoutDefault, 0},
        {KVA_CMD_GENERAL, KVA_SUB_INF_VER, true, "KVA_SUB_INF_VER", 3, kDiagTimeoutDefault, 11},
        {KVA_CMD_GENERAL, KVA_SUB_BATT_INFO, true, "KVA_SUB_BATT_INFO", 3, kDiagTimeoutDefault, 19},
        {KVA_CMD_GENERAL, KVA_SUB_GET_INFO, true, "KVA_SUB_GET_INFO", 3, kDiagTimeoutDefault, getinfo_layout::kText},
        {KVA_CMD_RUIM, KVA_SUB_RUIM_STATUS, true, "KVA_SUB_RUIM_STATUS", 3, kDiagTimeoutRuim, ruim_layout::kReplyLength},
        {KVA_CMD_RUIM, KVA_SUB_RUIM_VERIFY_CHV, true, "kva_ruim_chvveri_req_type", ruim_layout::kVerifyLength, kDiagTimeoutRuim, ruim_layout::kReplyLength},
        {KVA_CMD_RUIM, KVA_SUB_RUIM_UNBLOCK_CHV, true, "kva_ruim_unblock_req_type", ruim_layout::kUnblockLength, kDiagTimeoutRuim, ruim_layout::kReplyLength},
        {KVA_CMD_SMS, KVA_SUB_SMS_SEND, true, "kva_sms_send_req_type", sms_send_layout::kLength, kDiagTimeoutSmsSend, kVendorReplyHeader},
        {KVA_CMD_SMS, KVA_SUB_SMS_WRITE, true, "kva_sms_write_req_type", sms_write_layout::kLength, kDiagTimeoutLong, kVendorReplyHeader},
        {KVA_CMD_SMS, KVA_SUB_SMS_REMOVEAT, true, "kva_sms_removeat_req_type", sms_slot_layout::kLength, kDiagTimeoutLong, kVendorReplyHeader},
        {KVA_CMD_SMS, KVA_SUB_SMS_REMOVEALL, true, "kva_sms_removeall_req_type", sms_slot_layout::kLength, kDiagTimeoutLong, kVendorReplyHeader},
        {KVA_CMD_SMS, KVA_SUB_SMS_GET_LIST, true, "kva_sms_get_list_req_type", sms_list_layout::kRequestLength, kDiagTimeoutSmsList, sms_list_layout::kEntries},
        {KVA_CMD_SMS, KVA_SUB_SMS_SETTAG, true, "kva_sms_settag_req_type", sms_slot_layout::kSetTagLength, kDiagTimeoutLong, kVendorReplyHeader},
        {KVA_CMD_SMS, KVA_SUB_SMS_READ, true, "kva_sms_read_req_type", sms_slot_layout::kLength, kDiagTimeoutDefault, sms_read_layout::kData},
        {KVA_CMD_SMS, KVA_SUB_SMS_INSPECTED, true, "kva_sms_inspected_req_type", 3, kDiagTimeoutDefault, sms_inspect_layout::kLength},
        {KVA_CMD_SMS, KVA_SUB_INFO, true, "KVA_SUB_INFO", 3, kDiagTimeoutDefault, sms_info_layout::kLength},
        {KVA_CMD_PBOOK, KVA_SUB_PB_INIT, true, "kva_pb_init_req_type", pb_layout::kInitLength, kDiagTimeoutDefault, pb_layout::kInfoReplyLength},
        {KVA_CMD_PBOOK, KVA_SUB_PB_WRITE, true, "kva_pb_write_req_type", -1, kDiagTimeoutPbook, kVendorReplyHeader},
        {KVA_CMD_PBOOK, KVA_SUB_PB_READ, true, "kva_pb_read_req_type", pb_layout::kReadLength, kDiagTimeoutPbook, kVendorReplyHeader},
        {KVA_CMD_PBOOK, KVA_SUB_PB_DEL, true, "kva_pb_del_req_type", pb_layout::kDelLength, kDiagTimeoutPbook, kVendorReplyHeader},
        {KVA_CMD_PBOOK, KVA_SUB_PB_DEL_ALL, true, "kva_pb_del_all_req_type", pb_layout::kDelAllLength, kDiagTimeoutLong, kVendorReplyHeader},
    };
    return table;
}

const DiagRequestInfo* FindRequestInfo(uint8_t command, uint16_t sub)
{
    for (const auto& e : RequestCatalog()) {
        if (e.command == command && (!e.vendor || e.sub == sub))
            return &e;
    }
    return nullptr;
}

const DiagRequestInfo* FindRequestInfo(const uint8_t* request, size_t length)
{
    if (request == nullptr || length == 0)
        return nullptr;
    const uint8_t cmd = request[0];
    const bool vendor = cmd == KVA_CMD_GENERAL || cmd == KVA_CMD_SMS || cmd == KVA_CMD_PBOOK
        || cmd == KVA_CMD_RUIM;
    if (vendor && length < kVendorHeaderLength)
        return nullptr;
    return FindRequestInfo(cmd, vendor ? GetU16(request, kVendorSubOffset) : 0);
}

DiagRequest BuildVendorReq(uint8_t command, uint16_t sub, int length)
{
    const DiagRequestInfo* info = FindRequestInfo(command, sub);
    DiagRequest r = NewRequest(command, std::clamp(length, 3, int(kDiagMaxRequest)),
                               info ? info->timeoutMs : kDiagTimeoutDefault);
    PutU16(r.bytes.data(), kVendorSubOffset, sub);
    return r;
}

size_t AnswerEchoLength(const uint8_t* request, size_t length)
{
    if (request == nullptr || length == 0)
        return 0;
    const uint8_t c = request[0];
    if (c >= KVA_CMD_GENERAL && c <= KVA_CMD_RUIM && length >= kVendorHeaderLength)
        return kVendorHeaderLength;
    if (c == DIAG_EXT_REQ && length >= nv_layout::kItem + 2)
        return nv_layout::kItem + 2;
    return 1;
}

bool CheckVendorReply(const ReplyView& r, uint8_t command, uint16_t sub)
{
    return r.Has(kVendorReplyHeader) && r.U8(0) == command && r.U16(kVendorSubOffset) == sub;
}

bool ParseVendorResult(const uint8_t* reply, size_t length, uint8_t command, uint16_t sub,
                       uint16_t& result)
{
    ReplyView r{reply, length};
    if (!CheckVendorReply(r, command, sub))
        return false;
    result = r.U16(kVendorResultOffset);
    return true;
}

std::vector<uint8_t> EncodeVendorResultReply(uint8_t command, uint16_t sub, uint16_t result)
{
    return VendorReply(command, sub, kVendorReplyHeader, result);
}

// ---- standard requests ---------------------------------------------------------

DiagRequest BuildVersionReq() { return NewRequest(DIAG_VERNO_F, 1, kDiagTimeoutDefault); }
DiagRequest BuildStatusReq() { return NewRequest(DIAG_STATUS_F, 1, kDiagTimeoutDefault); }

DiagRequest BuildHsKeyReq(uint8_t hold, uint8_t key)
{
    DiagRequest r = NewRequest(DIAG_HS_KEY_REQ, 3, kDiagTimeoutDefault);
    r.bytes[1] = hold;
    r.bytes[2] = key;
    return r;
}

DiagRequest BuildOrigReq(const std::string& digits)
{
    using namespace orig_layout;
    DiagRequest r = NewRequest(DIAG_ORIG_REQ, kLength, kDiagTimeoutDefault);
    const size_t n = std::min(digits.size(), kDigitsLen);
    r.bytes[kDigitCount] = uint8_t(n);
    PutText(r.bytes.data(), kDigits, kDigitsLen, digits.substr(0, n));
    PutU16(r.bytes.data(), kTail, kTailValue);
    return r;
}

DiagRequest BuildNvReadReq(uint16_t item)
{
    DiagRequest r = NewRequest(DIAG_EXT_REQ, nv_layout::kLength, kDiagTimeoutDefault);
    PutU16(r.bytes.data(), nv_layout::kWrapped, DIAG_NV_READ_REQ);
    PutU16(r.bytes.data(), nv_layout::kItem, item);
    return r;
}

bool ParseVersionReply(const uint8_t* reply, size_t length, VersionReply& out)
{
    using namespace verno_layout;
    ReplyView r{reply, length};
    if (!r.Has(kReplyLength) || r.U8(0) != DIAG_VERNO_F)
        return false;
    out.buildDate = r.Text(kBuildDate, kBuildDateLen);
    out.swVersion = r.Text(kSwVersion, kSwVersionLen);
    out.hwVersion = r.U16(kHwVersion);
    return true;
}

bool ParseEsnMinReply(const uint8_t* reply, size_t length, EsnMinReply& out)
{
    using namespace status_f_layout;
    ReplyView r{reply, length};
    if (!r.Has(kReplyLength) || r.U8(0) != DIAG_STATUS_F)
        return false;
    out.esn = r.U32(kEsn);
    out.min1 = r.U32(kMin1);
    out.min2 = r.U16(kMin2);
    return true;
}

// An NV read reply answers our item only when it repeats the wrapped
// command and the item: a late reply for another item is not this one.
static bool IsNvReply(const ReplyView& r, uint16_t item, size_t need)
{
    return r.Has(std::max(need, nv_layout::kData)) && r.U8(0) == DIAG_EXT_REQ
        && r.U16(nv_layout::kWrapped) == DIAG_NV_READ_REQ && r.U16(nv_layout::kItem) == item;
}

bool ParseNvPrefMode(const uint8_t* reply, size_t length, uint16_t& mode)
{
    ReplyView r{reply, length};
    if (!IsNvReply(r, NV_PREF_MODE_I, nv_layout::kPrefMode + 2))
        return false;
    mode = r.U16(nv_layout::kPrefMode);
    return true;
}

bool ParseNvHybridPref(const uint8_t* reply, size_t length, uint8_t& hybrid)
{
    ReplyView r{reply, length};
    if (!IsNvReply(r, NV_HYBRID_PREF_I, nv_layout::kHybridPref + 1))
        return false;
    hybrid = r.U8(nv_layout::kHybridPref);
    return true;
}

bool ParseNvDirNumber(const uint8_t* reply, size_t length, std::string& digits,
                      uint8_t* reportedLength)
{
    using namespace nv_layout;
    ReplyView r{reply, length};
    if (!IsNvReply(r, NV_DIR_NUMBER_I, kDirDigits))
        return false;
    const uint8_t reported = r.U8(kDirLength);
    if (reportedLength)
        *reportedLength = reported;
    const size_t n = std::min({size_t(reported), kDirDigitsMax, length - kDirDigits});
    digits.assign(reinterpret_cast<const char*>(reply + kDirDigits), n);
    return true;
}

std::vector<uint8_t> EncodeVersionReply(const VersionReply& v)
{
    using namespace verno_layout;
    std::vector<uint8_t> out(kReplyLength, 0);
    out[0] = DIAG_VERNO_F;
    PutText(out.data(), kBuildDate, kBuildDateLen, v.buildDate);
    PutText(out.data(), kSwVersion, kSwVersionLen, v.swVersion);
    PutU16(out.data(), kHwVersion, v.hwVersion);
    return out;
}

std::vector<uint8_t> EncodeEsnMinReply(const EsnMinReply& v)
{
    using namespace status_f_layout;
    std::vector<uint8_t> out(kReplyLength, 0);
    out[0] = DIAG_STATUS_F;
    PutU32(out.data(), kEsn, v.esn);
    PutU32(out.data(), kMin1, v.min1);
    PutU16(out.data(), kMin2, v.min2);
    return out;
}

std::vector<uint8_t> EncodeNvReadReply(uint16_t item, const std::vector<uint8_t>& data)
{
    using namespace nv_layout;
    std::vector<uint8_t> out(size_t(kLength), 0);
    out[0] = DIAG_EXT_REQ;
    PutU16(out.data(), kWrapped, DIAG_NV_READ_REQ);
    PutU16(out.data(), kItem, item);
    for (size_t i = 0; i < data.size() && kData + i < out.size(); ++i)
        out[kData + i] = data[i];
    return out;
}

// ---- KVA_CMD_GENERAL -------------------------------------------------------

DiagRequest BuildServiceReq() { return BuildVendorReq(KVA_CMD_GENERAL, KVA_SUB_SERVICE); }
DiagRequest BuildModemStatusReq() { return BuildVendorReq(KVA_CMD_GENERAL, KVA_SUB_STATUS); }
DiagRequest BuildCallerIdReq() { return BuildVendorReq(KVA_CMD_GENERAL, KVA_SUB_CALLER_ID); }
DiagRequest Build1xDrcReq() { return BuildVendorReq(KVA_CMD_GENERAL, KVA_SUB_1X_DRC); }
DiagRequest BuildHdrDrcReq() { return BuildVendorReq(KVA_CMD_GENERAL, KVA_SUB_HDR_DRC); }
DiagRequest BuildInfVerReq() { return BuildVendorReq(KVA_CMD_GENERAL, KVA_SUB_INF_VER); }
DiagRequest BuildBattInfoReq() { return BuildVendorReq(KVA_CMD_GENERAL, KVA_SUB_BATT_INFO); }
DiagRequest BuildGetInfoReq() { return BuildVendorReq(KVA_CMD_GENERAL, KVA_SUB_GET_INFO); }

DiagRequest BuildCmSysSelReq(uint16_t prefMode, uint16_t hybridPref)
{
    using namespace syssel_layout;
    DiagRequest r = BuildVendorReq(KVA_CMD_GENERAL, KVA_SUB_CM_SYS_SEL, kLength);
    PutU16(r.bytes.data(), kPrefMode, prefMode);
    PutU16(r.bytes.data(), kHybridPref, hybridPref);
    return r;
}

DiagRequest BuildEarLevelReq(uint8_t inCallVolume, uint8_t idleVolume)
{
    using namespace earlevel_layout;
    DiagRequest r = BuildVendorReq(KVA_CMD_GENERAL, KVA_SUB_EAR_LEVEL, kLength);
    r.bytes[kInCallVolume] = inCallVolume;
    r.bytes[kIdleVolume] = idleVolume;
    return r;
}

bool ParseServiceReply(const uint8_t* reply, size_t length, ServiceReply& out)
{
    using namespace service_layout;
    ReplyView r{reply, length};
    if (!VendorReplyOk(r, KVA_CMD_GENERAL, KVA_SUB_SERVICE, kLength))
        return false;
    out.serviceMode = r.U8(kServiceMode);
    out.rxDiversity = r.U8(kRxDiversity);
    out.asciiMax = r.U8(kAsciiMax);
    out.unicodeMax = r.U8(kUnicodeMax);
    out.callbackMax = r.U8(kCallbackMax);
    out.inCallVolume = r.U8(kInCallVolume);
    out.idleVolume = r.U8(kIdleVolume);
    return true;
}

bool ParseStatusRecord(const uint8_t* reply, size_t length, bool longLayout, StatusRecord& out)
{
    using namespace status_layout;
    ReplyView r{reply, length};
    if (!VendorReplyOk(r, KVA_CMD_GENERAL, KVA_SUB_STATUS, longLayout ? kLongLength : kShortLength))
        return false;
    out.sysMode = r.U8(kSysMode);
    out.hybridPref = r.U8(kHybridPref);
    out.rfMode = r.U16(kRfMode);
    out.state = r.U8(kState);
    out.soMode = r.U8(kSoMode);
    out.currChan = r.U16(kCurrChan);
    out.bandClass = r.U8(kBandClass);
    if (longLayout) {
        out.rx1xRssi = r.I32(kLong1xRssi);
        out.rxHdrRssi = r.I32(kLongHdrRssi);
        out.curSysmode = r.U8(kLongCurSysmode);
        out.incomingCallIndicate = r.U8(kLongIncoming);
        out.newSmsCnt = r.U16(kLongNewSms);
        out.roaming = r.U8(kLongRoaming);
        out.smsFull = r.U8(kLongSmsFull);
        out.rxDiversity = r.U8(kLongRxDiversity);
    } else {
        out.rx1xRssi = r.U8(kShort1xRssi);
        out.rxHdrRssi = r.U8(kShortHdrRssi);
        out.curSysmode = r.U8(kShortCurSysmode);
        out.incomingCallIndicate = r.U8(kShortIncoming);
        out.newSmsCnt = r.U16(kShortNewSms);
        out.roaming = r.U8(kShortRoaming);
        out.smsFull = r.U8(kShortSmsFull);
        out.rxDiversity = r.U8(kShortRxDiversity);
    }
    return true;
}

bool ParseCallerIdRecord(const uint8_t* reply, size_t length, CallerIdRecord& out)
{
    using namespace callerid_layout;
    ReplyView r{reply, length};
    if (!VendorReplyOk(r, KVA_CMD_GENERAL, KVA_SUB_CALLER_ID, kLength))
        return false;
    out.presentation = r.U8(kPresentation);
    out.numberLength = uint8_t(std::min<size_t>(r.U8(kNumberLength), kNumberMax));
    out.number = r.Text(kNumber, out.numberLength);
    out.name = r.Text(kName, kTextLen);
    out.secondNumber = r.Text(kSecondNumber, kTextLen);
    out.secondIndication = r.U8(kSecondIndication);
    out.secondName = r.Text(kSecondName, kTextLen);
    out.secondIndication2 = r.U8(kSecondIndication2);
    out.secondPresentation = r.U8(kSecondPresentation);
    return true;
}

bool ParseCmSysSelReply(const uint8_t* reply, size_t length, uint16_t& result)
{
    return ParseVendorResult(reply, length, KVA_CMD_GENERAL, KVA_SUB_CM_SYS_SEL, result);
}

bool Parse1xDrcReply(const uint8_t* reply, size_t length, uint16_t& rate)
{
    using namespace drc_layout;
    ReplyView r{reply, length};
    if (!VendorReplyOk(r, KVA_CMD_GENERAL, KVA_SUB_1X_DRC, k1xLength))
        return false;
    rate = r.U16(k1xRate);
    return true;
}

bool ParseHdrDrcReply(const uint8_t* reply, size_t length, std::array<uint8_t, 8>& rates)
{
    using namespace drc_layout;
    ReplyView r{reply, length};
    if (!VendorReplyOk(r, KVA_CMD_GENERAL, KVA_SUB_HDR_DRC, kHdrLength))
        return false;
    for (size_t i = 0; i < rates.size(); ++i)
        rates[i] = r.U8(kHdrRates + i);
    return true;
}

bool ParseInfVerReply(const uint8_t* reply, size_t length, InfVerReply& out)
{
    using namespace infver_layout;
    ReplyView r{reply, length};
    if (!VendorReplyOk(r, KVA_CMD_GENERAL, KVA_SUB_INF_VER, kLength))
        return false;
    out.major = r.U16(kMajor);
    out.minor = r.U16(kMinor);
    out.modemVersion = r.U16(kModemVersion);
    return true;
}

bool ParseBattInfo(const uint8_t* reply, size_t length, BattInfo& out)
{
    using namespace batt_layout;
    ReplyView r{reply, length};
    if (!VendorReplyOk(r, KVA_CMD_GENERAL, KVA_SUB_BATT_INFO, kLength))
        return false;
    out.chgVal = r.U16(kChgVal);
    out.battVal = r.U16(kBattVal);
    for (size_t i = 0; i < out.bar.size(); ++i)
        out.bar[i] = r.U16(kBars + 2 * i);
    return true;
}

bool ParseGetInfoReply(const uint8_t* reply, size_t length, GetInfoReply& out)
{
    using namespace getinfo_layout;
    ReplyView r{reply, length};
    if (!VendorReplyOk(r, KVA_CMD_GENERAL, KVA_SUB_GET_INFO, kText))
        return false;
    out.reportedLength = r.U8(kTextLength);
    const size_t n = std::min({size_t(out.reportedLength), kTextMax, length - kText});
    out.text.assign(reinterpret_cast<const char*>(reply + kText), n);
    return true;
}

std::vector<uint8_t> EncodeServiceReply(const ServiceReply& v)
{
    using namespace service_layout;
    auto out = VendorReply(KVA_CMD_GENERAL, KVA_SUB_SERVICE, kLength);
    out[kServiceMode] = v.serviceMode;
    out[kRxDiversity] = v.rxDiversity;
    out[kAsciiMax] = v.asciiMax;
    out[kUnicodeMax] = v.unicodeMax;
    out[kCallbackMax] = v.callbackMax;
    out[kInCallVolume] = v.inCallVolume;
    out[kIdleVolume] = v.idleVolume;
    return out;
}

std::vector<uint8_t> EncodeStatusRecord(const StatusRecord& v, bool longLayout)
{
    using namespace status_layout;
    auto out = VendorReply(KVA_CMD_GENERAL, KVA_SUB_STATUS, longLayout ? kLongLength : kShortLength);
    uint8_t* p = out.data();
    p[kSysMode] = v.sysMode;
    p[kHybridPref] = v.hybridPref;
    PutU16(p, kRfMode, v.rfMode);
    p[kState] = v.state;
    p[kSoMode] = v.soMode;
    PutU16(p, kCurrChan, v.currChan);
    p[kBandClass] = v.bandClass;
    if (longLayout) {
        PutU32(p, kLong1xRssi, uint32_t(v.rx1xRssi));
        PutU32(p, kLongHdrRssi, uint32_t(v.rxHdrRssi));
        p[kLongCurSysmode] = v.curSysmode;
        p[kLongIncoming] = v.incomingCallIndicate;
        PutU16(p, kLongNewSms, v.newSmsCnt);
        p[kLongRoaming] = v.roaming;
        p[kLongSmsFull] = v.smsFull;
        p[kLongRxDiversity] = v.rxDiversity;
    } else {
        p[kShort1xRssi] = uint8_t(v.rx1xRssi);
        p[kShortHdrRssi] = uint8_t(v.rxHdrRssi);
        p[kShortCurSysmode] = v.curSysmode;
        p[kShortIncoming] = v.incomingCallIndicate;
        PutU16(p, kShortNewSms, v.newSmsCnt);
        p[kShortRoaming] = v.roaming;
        p[kShortSmsFull] = v.smsFull;
        p[kShortRxDiversity] = v.rxDiversity;
    }
    return out;
}

std::vector<uint8_t> EncodeCallerIdRecord(const CallerIdRecord& v)
{
    using namespace callerid_layout;
    auto out = VendorReply(KVA_CMD_GENERAL, KVA_SUB_CALLER_ID, kLength);
    uint8_t* p = out.data();
    p[kPresentation] = v.presentation;
    const size_t n = std::min(v.number.size(), kNumberMax);
    p[kNumberLength] = uint8_t(n);
    PutText(p, kNumber, kTextLen, v.number.substr(0, n));
    PutText(p, kName, kTextLen, v.name);
    PutText(p, kSecondNumber, kTextLen, v.secondNumber);
    p[kSecondIndication] = v.secondIndication;
    PutText(p, kSecondName, kTextLen, v.secondName);
    p[kSecondIndication2] = v.secondIndication2;
    p[kSecondPresentation] = v.secondPresentation;
    return out;
}

std::vector<uint8_t> Encode1xDrcReply(uint16_t rate)
{
    using namespace drc_layout;
    auto out = VendorReply(KVA_CMD_GENERAL, KVA_SUB_1X_DRC, k1xLength);
    PutU16(out.data(), k1xRate, rate);
    return out;
}

std::vector<uint8_t> EncodeHdrDrcReply(const std::array<uint8_t, 8>& rates)
{
    using namespace drc_layout;
    auto out = VendorReply(KVA_CMD_GENERAL, KVA_SUB_HDR_DRC, kHdrLength);
    std::copy(rates.begin(), rates.end(), out.begin() + std::ptrdiff_t(kHdrRates));
    return out;
}

std::vector<uint8_t> EncodeInfVerReply(const InfVerReply& v)
{
    using namespace infver_layout;
    auto out = VendorReply(KVA_CMD_GENERAL, KVA_SUB_INF_VER, kLength);
    PutU16(out.data(), kMajor, v.major);
    PutU16(out.data(), kMinor, v.minor);
    PutU16(out.data(), kModemVersion, v.modemVersion);
    return out;
}

std::vector<uint8_t> EncodeBattInfo(const BattInfo& v)
{
    using namespace batt_layout;
    auto out = VendorReply(KVA_CMD_GENERAL, KVA_SUB_BATT_INFO, kLength);
    PutU16(out.data(), kChgVal, v.chgVal);
    PutU16(out.data(), kBattVal, v.battVal);
    for (size_t i = 0; i < v.bar.size(); ++i)
        PutU16(out.data(), kBars + 2 * i, v.bar[i]);
    return out;
}

std::vector<uint8_t> EncodeGetInfoReply(const std::string& text)
{
    using namespace getinfo_layout;
    const size_t n = std::min(text.size(), kTextMax);
    auto out = VendorReply(KVA_CMD_GENERAL, KVA_SUB_GET_INFO, kText + kTextMax);
    out[kTextLength] = uint8_t(n);
    PutText(out.data(), kText, kTextMax, text.substr(0, n));
    return out;
}

// ---- KVA_CMD_RUIM ----------------------------------------------------------

DiagRequest BuildRuimStatusReq() { return BuildVendorReq(KVA_CMD_RUIM, KVA_SUB_RUIM_STATUS); }

DiagRequest BuildRuimVerifyReq(const std::string& pin)
{
    DiagRequest r = BuildVendorReq(KVA_CMD_RUIM, KVA_SUB_RUIM_VERIFY_CHV, ruim_layout::kVerifyLength);
    PutCode(r.bytes.data(), ruim_layout::kCode1, pin);
    return r;
}

DiagRequest BuildRuimUnblockReq(const std::string& unblockCode, const std::string& newPin)
{
    DiagRequest r = BuildVendorReq(KVA_CMD_RUIM, KVA_SUB_RUIM_UNBLOCK_CHV, ruim_layout::kUnblockLength);
    PutCode(r.bytes.data(), ruim_layout::kCode1, unblockCode);
    PutCode(r.bytes.data(), ruim_layout::kCode2, newPin);
    return r;
}

bool ParseRuimStatus(const uint8_t* reply, size_t length, RuimStatus& out)
{
    ReplyView r{reply, length};
    if (!VendorReplyOk(r, KVA_CMD_RUIM, KVA_SUB_RUIM_STATUS, ruim_layout::kReplyLength))
        return false;
    out.connected = r.U8(5);
    out.uimState = r.U8(6);
    out.lockState = r.U8(7);
    out.retryCnt = r.U8(8);
    return true;
}

bool ParseRuimChvReply(const uint8_t* reply, size_t length, uint16_t sub, RuimChvReply& out)
{
    ReplyView r{reply, length};
    if (!VendorReplyOk(r, KVA_CMD_RUIM, sub, ruim_layout::kReplyLength))
        return false;
    out.sw1 = r.U8(5);
    out.sw2 = r.U8(6);
    out.numOfRetries = r.U8(7);
    out.status = r.U8(8);
    return true;
}

std::vector<uint8_t> EncodeRuimStatus(const RuimStatus& v)
{
    auto out = VendorReply(KVA_CMD_RUIM, KVA_SUB_RUIM_STATUS, ruim_layout::kReplyLength);
    out[5] = v.connected;
    out[6] = v.uimState;
    out[7] = v.lockState;
    out[8] = v.retryCnt;
    return out;
}

std::vector<uint8_t> EncodeRuimChvReply(uint16_t sub, const RuimChvReply& v)
{
    auto out = VendorReply(KVA_CMD_RUIM, sub, ruim_layout::kReplyLength);
    out[5] = v.sw1;
    out[6] = v.sw2;
    out[7] = v.numOfRetries;
    out[8] = v.status;
    return out;
}

} // namespace kv
