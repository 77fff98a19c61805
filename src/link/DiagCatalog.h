// The DIAG message catalog: command codes, the vendor sub-commands, every
// request the program sends (exact bytes, exact length, time-out) and a
// reader for every reply field the program uses. Pure functions, no port:
// the DM engine builds a request here, hands it to CCommPort::Transact and
// reads the reply back here. The simulator uses the same offsets and the
// reply encoders (Encode*) to answer.
//
// Rules shared by all records: little-endian fields at fixed offsets from
// the command byte. Vendor commands (0xCF, 0xD0, 0xD1, 0xD2) carry a 16-bit
// sub-command at 1..2; their replies repeat command and sub-command and hold
// a 16-bit result at 3..4, data from 5. A reader returns false when the
// reply is too short for the fields it reads or does not echo the request's
// command and sub-command; lengths carried inside a reply are clamped to
// their field and to the bytes actually received.
//
// SMS records are in DiagCatalogSms.h, phonebook records in DiagCatalogPbook.h.
#pragma once

#include "link/DiagRecord.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kv {

// ---- command codes ---------------------------------------------------------
constexpr uint8_t DIAG_VERNO_F = 0x00;      // version request (diag_verno_f)
constexpr uint8_t DIAG_STATUS_F = 0x0C;     // status request (diag_state_f): ESN, MIN
constexpr uint8_t DIAG_HS_KEY_REQ = 0x20;   // key press
constexpr uint8_t DIAG_NV_READ_REQ = 0x26;  // NV read, sent wrapped in DIAG_EXT_REQ
constexpr uint8_t DIAG_ORIG_REQ = 0x35;     // place a voice call
constexpr uint8_t KVA_CMD_GENERAL = 0xCF;
constexpr uint8_t KVA_CMD_SMS = 0xD0;
constexpr uint8_t KVA_CMD_PBOOK = 0xD1;
constexpr uint8_t KVA_CMD_RUIM = 0xD2;
constexpr uint8_t DIAG_EXT_REQ = 0xD5;

// ---- KVA_CMD_GENERAL sub-commands -----------------------------------------
constexpr uint16_t KVA_SUB_SERVICE = 0;
constexpr uint16_t KVA_SUB_STATUS = 1;
constexpr uint16_t KVA_SUB_CALLER_ID = 2;
constexpr uint16_t KVA_SUB_CM_SYS_SEL = 4;
constexpr uint16_t KVA_SUB_1X_DRC = 5;
constexpr uint16_t KVA_SUB_HDR_DRC = 7;
constexpr uint16_t KVA_SUB_EAR_LEVEL = 9;
constexpr uint16_t KVA_SUB_INF_VER = 10;
constexpr uint16_t KVA_SUB_BATT_INFO = 11;
constexpr uint16_t KVA_SUB_GET_INFO = 17;

// ---- KVA_CMD_RUIM sub-commands --------------------------------------------
constexpr uint16_t KVA_SUB_RUIM_STATUS = 0;
constexpr uint16_t KVA_SUB_RUIM_VERIFY_CHV = 1;
constexpr uint16_t KVA_SUB_RUIM_UNBLOCK_CHV = 5;

// ---- KVA_CMD_SMS sub-commands ---------------------------------------------
constexpr uint16_t KVA_SUB_SMS_SEND = 0;
constexpr uint16_t KVA_SUB_SMS_WRITE = 1;
constexpr uint16_t KVA_SUB_SMS_REMOVEAT = 2;
constexpr uint16_t KVA_SUB_SMS_REMOVEALL = 3;
constexpr uint16_t KVA_SUB_SMS_GET_LIST = 4;
constexpr uint16_t KVA_SUB_SMS_SETTAG = 5;
constexpr uint16_t KVA_SUB_SMS_READ = 6;
constexpr uint16_t KVA_SUB_SMS_INSPECTED = 7;
constexpr uint16_t KVA_SUB_INFO = 8; // SMS storage information

// ---- KVA_CMD_PBOOK sub-commands -------------------------------------------
constexpr uint16_t KVA_SUB_PB_INIT = 0;
constexpr uint16_t KVA_SUB_PB_WRITE = 1;
constexpr uint16_t KVA_SUB_PB_READ = 2;
constexpr uint16_t KVA_SUB_PB_DEL = 3;
constexpr uint16_t KVA_SUB_PB_DEL_ALL = 4;

// ---- NV items --------------------------------------------------------------
constexpr uint16_t NV_PREF_MODE_I = 10;
constexpr uint16_t NV_DIR_NUMBER_I = 215;
constexpr uint16_t NV_HYBRID_PREF_I = 562;

// ---- time-outs (ms) --------------------------------------------------------
constexpr uint32_t kDiagTimeoutDefault = 3000;
constexpr uint32_t kDiagTimeoutRuim = 60000;
constexpr uint32_t kDiagTimeoutSmsList = 5000;
constexpr uint32_t kDiagTimeoutPbook = 6000;
constexpr uint32_t kDiagTimeoutLong = 10000; // SMS write/remove/tag, phonebook delete-all
constexpr uint32_t kDiagTimeoutSmsSend = 15000;

// ---- common layout -----------------------------------------------------------
constexpr size_t kVendorSubOffset = 1;
constexpr size_t kVendorResultOffset = 3;
constexpr size_t kVendorDataOffset = 5;
constexpr size_t kVendorHeaderLength = 3; // request header: command + sub-command
constexpr size_t kVendorReplyHeader = 5;  // reply header: command, sub-command, result

// Largest request (the SMS outbox write) and largest reply (the SMS list).
constexpr size_t kDiagMaxRequest = 322;
constexpr size_t kDiagMaxReply = 1605;

// One request ready for Transact: the bytes, their exact count and the
// time-out the caller waits for the first flag byte.
struct DiagRequest {
    std::array<uint8_t, kDiagMaxRequest> bytes{};
    int length = 0;
    uint32_t timeoutMs = kDiagTimeoutDefault;

    const uint8_t* Data() const { return bytes.data(); }
    uint8_t Command() const { return bytes[0]; }
    uint16_t SubCommand() const { return GetU16(bytes.data(), kVendorSubOffset); }
};

// What the catalog knows about one request kind: the table of every request.
struct DiagRequestInfo {
    uint8_t command;
    uint16_t sub;         // 0 for standard commands
    bool vendor;          // carries a sub-command
    const char* name;     // record name for logs and traces
    int requestLength;    // exact; -1 when it depends on the content
    uint32_t timeoutMs;
    size_t minReplyLength; // shortest reply a reader accepts (0: nothing read)
};

// Finds the entry for a request (command plus sub-command for vendor
// commands). Null when the catalog does not list it.
const DiagRequestInfo* FindRequestInfo(uint8_t command, uint16_t sub);
const DiagRequestInfo* FindRequestInfo(const uint8_t* request, size_t length);
const std::vector<DiagRequestInfo>& RequestCatalog();

// A vendor request of the catalog with no parameters (3 bytes) or with a
// given exact length (parameters zero), with the catalog's time-out.
DiagRequest BuildVendorReq(uint8_t command, uint16_t sub, int length = 3);

// How many leading bytes of a request its answer repeats: the command and
// sub-command of a vendor command (3), the command, wrapped command and item
// of an NV read (5), the command alone for the rest (1).
size_t AnswerEchoLength(const uint8_t* request, size_t length);

// True when the reply is at least a vendor header and echoes command and sub.
bool CheckVendorReply(const ReplyView& r, uint8_t command, uint16_t sub);
// Reads the 16-bit result of a vendor reply (after CheckVendorReply).
bool ParseVendorResult(const uint8_t* reply, size_t length, uint8_t command, uint16_t sub,
                       uint16_t& result);
// Reply of a vendor command that carries only a result (5 bytes).
std::vector<uint8_t> EncodeVendorResultReply(uint8_t command, uint16_t sub, uint16_t result);

// ---- standard requests -------------------------------------------------------
namespace verno_layout {
constexpr size_t kBuildDate = 1, kBuildDateLen = 11;
constexpr size_t kSwVersion = 39, kSwVersionLen = 8;
constexpr size_t kHwVersion = 50;
constexpr size_t kReplyLength = 52;
} // namespace verno_layout

namespace status_f_layout {
constexpr size_t kEsn = 4, kMin1 = 14, kMin2 = 20;
constexpr size_t kReplyLength = 22;
} // namespace status_f_layout

namespace orig_layout {
constexpr size_t kDigitCount = 1, kDigits = 2, kDigitsLen = 32, kTail = 34;
constexpr uint16_t kTailValue = 11;
constexpr int kLength = 36;
} // namespace orig_layout

namespace nv_layout {
constexpr size_t kWrapped = 1, kItem = 3, kData = 7;
constexpr int kLength = 24;
constexpr size_t kPrefMode = kData + 1;   // 16-bit
constexpr size_t kHybridPref = kData;     // 8-bit
constexpr size_t kDirLength = kData + 1;  // 8-bit
constexpr size_t kDirDigits = kData + 2;
constexpr size_t kDirDigitsMax = size_t(kLength) - kDirDigits; // 15: the rest of the record
} // namespace nv_layout

struct VersionReply {
    std::string buildDate; // 11 characters (fewer when zero-terminated)
    std::string swVersion; // 8 characters
    uint16_t hwVersion = 0;
};
struct EsnMinReply {
    uint32_t esn = 0;
    uint32_t min1 = 0;
    uint16_t min2 = 0;
};

DiagRequest BuildVersionReq();
DiagRequest BuildStatusReq();
// hold: 8-bit hold flag; key: key code ('0'..'9', '*', '#', SEND 0x50, END 0x51, CLR 0x52).
DiagRequest BuildHsKeyReq(uint8_t hold, uint8_t key);
// digits longer than 32 are cut to 32 (the field's width).
DiagRequest BuildOrigReq(const std::string& digits);
DiagRequest BuildNvReadReq(uint16_t item);

bool ParseVersionReply(const uint8_t* reply, size_t length, VersionReply& out);
bool ParseEsnMinReply(const uint8_t* reply, size_t length, EsnMinReply& out);
bool ParseNvPrefMode(const uint8_t* reply, size_t length, uint16_t& mode);
bool ParseNvHybridPref(const uint8_t* reply, size_t length, uint8_t& hybrid);
// The directory number's digits: the reported length clamped to the field
// and to the bytes received (the raw reported length is also returned).
bool ParseNvDirNumber(const uint8_t* reply, size_t length, std::string& digits,
                      uint8_t* reportedLength = nullptr);

std::vector<uint8_t> EncodeVersionReply(const VersionReply& v);
std::vector<uint8_t> EncodeEsnMinReply(const EsnMinReply& v);
// NV read reply for item with data bytes copied from offset 7 (24 bytes).
std::vector<uint8_t> EncodeNvReadReply(uint16_t item, const std::vector<uint8_t>& data);

// ---- KVA_CMD_GENERAL -------------------------------------------------------
constexpr uint8_t kServiceModeLongStatus = 0x80;

struct ServiceReply {
    uint8_t serviceMode = 0; // bit 7: the status record uses the long layout
    uint8_t rxDiversity = 0;
    uint8_t asciiMax = 0;
    uint8_t unicodeMax = 0;
    uint8_t callbackMax = 0;
    uint8_t inCallVolume = 0;
    uint8_t idleVolume = 0;
};

// Field offsets of the general replies: the parsers and the simulator's
// encoders read these same tables.
namespace service_layout {
constexpr size_t kServiceMode = 5, kRxDiversity = 6, kAsciiMax = 7, kUnicodeMax = 8, kCallbackMax = 9,
                 kInCallVolume = 10, kIdleVolume = 11, kLength = 12;
} // namespace service_layout

namespace drc_layout {
constexpr size_t k1xRate = 5, k1xLength = 7; // one 16-bit rate
constexpr size_t kHdrRates = 5, kHdrLength = 13; // eight one-byte rates
} // namespace drc_layout

namespace infver_layout {
constexpr size_t kMajor = 5, kMinor = 7, kModemVersion = 9, kLength = 11;
} // namespace infver_layout

namespace batt_layout {
constexpr size_t kChgVal = 5, kBattVal = 7, kBars = 9, kLength = 19; // five 16-bit bar levels
} // namespace batt_layout

// The requests that carry arguments.
namespace syssel_layout {
constexpr size_t kPrefMode = 3, kHybridPref = 5, kLength = 7;
} // namespace syssel_layout

namespace earlevel_layout {
constexpr size_t kInCallVolume = 3, kIdleVolume = 4, kLength = 5;
} // namespace earlevel_layout

namespace status_layout {
constexpr size_t kSysMode = 5, kHybridPref = 6, kRfMode = 7, kState = 9, kSoMode = 10,
                 kCurrChan = 11, kBandClass = 13;
// short layout
constexpr size_t kShort1xRssi = 14, kShortHdrRssi = 15, kShortCurSysmode = 16,
                 kShortIncoming = 17, kShortNewSms = 18, kShortRoaming = 20, kShortSmsFull = 21,
                 kShortRxDiversity = 25, kShortLength = 26;
// long layout
constexpr size_t kLong1xRssi = 14, kLongHdrRssi = 18, kLongCurSysmode = 22, kLongIncoming = 23,
                 kLongNewSms = 24, kLongRoaming = 26, kLongSmsFull = 27, kLongRxDiversity = 30,
                 kLongLength = 31;
} // namespace status_layout

// The system modes of the status record (and of the data session's system).
namespace sys_mode {
constexpr uint8_t kNone = 0, k1x = 2, kEvdo = 4;
} // namespace sys_mode

struct StatusRecord {
    uint8_t sysMode = 0;     // sys_mode: none, CDMA 1x, EV-DO
    uint8_t hybridPref = 0;
    uint16_t rfMode = 0;
    uint8_t state = 0;       // call-processing state
    uint8_t soMode = 0;
    uint16_t currChan = 0;
    uint8_t bandClass = 0;
    int32_t rx1xRssi = 0;    // short layout: the unsigned byte; long: signed 32-bit
    int32_t rxHdrRssi = 0;
    uint8_t curSysmode = 0;
    uint8_t incomingCallIndicate = 0;
    uint16_t newSmsCnt = 0;
    uint8_t roaming = 0;
    uint8_t smsFull = 0;
    uint8_t rxDiversity = 0;
};

namespace callerid_layout {
constexpr size_t kPresentation = 7, kNumberLength = 9, kNumber = 10, kName = 75,
                 kSecondNumber = 139, kSecondIndication = 203, kSecondName = 204,
                 kSecondIndication2 = 268, kSecondPresentation = 269, kTextLen = 64,
                 kLength = 270;
constexpr size_t kNumberMax = 63; // the number field keeps room for its terminator
} // namespace callerid_layout

struct CallerIdRecord {
    uint8_t presentation = 0; // 1 restricted, 2 unavailable, else number present
    uint8_t numberLength = 0; // as reported, clamped to 63
    std::string number;       // at most numberLength characters, zero-terminated
    std::string name;
    std::string secondNumber;
    uint8_t secondIndication = 0;  // offset 203
    std::string secondName;
    uint8_t secondIndication2 = 0; // offset 268
    uint8_t secondPresentation = 0;
};

struct InfVerReply {
    uint16_t major = 0;
    uint16_t minor = 0;
    uint16_t modemVersion = 0;
};

struct BattInfo {
    uint16_t chgVal = 0;
    uint16_t battVal = 0;
    std::array<uint16_t, 5> bar{};
};

namespace getinfo_layout {
constexpr size_t kTextLength = 6, kText = 7, kTextMax = 64;
} // namespace getinfo_layout

struct GetInfoReply {
    uint8_t reportedLength = 0; // as sent by the modem
    std::string text;           // clamped to 64 bytes and to the reply
};

DiagRequest BuildServiceReq();
DiagRequest BuildModemStatusReq(); // KVA_SUB_STATUS
DiagRequest BuildCallerIdReq();
DiagRequest BuildCmSysSelReq(uint16_t prefMode, uint16_t hybridPref);
DiagRequest Build1xDrcReq();
DiagRequest BuildHdrDrcReq();
DiagRequest BuildEarLevelReq(uint8_t inCallVolume, uint8_t idleVolume);
DiagRequest BuildInfVerReq();
DiagRequest BuildBattInfoReq();
DiagRequest BuildGetInfoReq();

bool ParseServiceReply(const uint8_t* reply, size_t length, ServiceReply& out);
// longLayout: bit 7 of the service mode.
bool ParseStatusRecord(const uint8_t* reply, size_t length, bool longLayout, StatusRecord& out);
bool ParseCallerIdRecord(const uint8_t* reply, size_t length, CallerIdRecord& out);
bool ParseCmSysSelReply(const uint8_t* reply, size_t length, uint16_t& result);
bool Parse1xDrcReply(const uint8_t* reply, size_t length, uint16_t& rate);
bool ParseHdrDrcReply(const uint8_t* reply, size_t length, std::array<uint8_t, 8>& rates);
bool ParseInfVerReply(const uint8_t* reply, size_t length, InfVerReply& out);
bool ParseBattInfo(const uint8_t* reply, size_t length, BattInfo& out);
bool ParseGetInfoReply(const uint8_t* reply, size_t length, GetInfoReply& out);

std::vector<uint8_t> EncodeServiceReply(const ServiceReply& v);
std::vector<uint8_t> EncodeStatusRecord(const StatusRecord& v, bool longLayout);
std::vector<uint8_t> EncodeCallerIdRecord(const CallerIdRecord& v);
std::vector<uint8_t> Encode1xDrcReply(uint16_t rate);
std::vector<uint8_t> EncodeHdrDrcReply(const std::array<uint8_t, 8>& rates);
std::vector<uint8_t> EncodeInfVerReply(const InfVerReply& v);
std::vector<uint8_t> EncodeBattInfo(const BattInfo& v);
std::vector<uint8_t> EncodeGetInfoReply(const std::string& text);

// ---- KVA_CMD_RUIM ----------------------------------------------------------
namespace ruim_layout {
constexpr size_t kCode1 = 3, kCode2 = 11, kCodeLen = 8;
constexpr int kVerifyLength = 11, kUnblockLength = 19;
constexpr size_t kReplyLength = 9;
constexpr uint8_t kCodeFill = 0xFF;
} // namespace ruim_layout

struct RuimStatus {
    uint8_t connected = 0;
    uint8_t uimState = 0;
    uint8_t lockState = 0;
    uint8_t retryCnt = 0;
};
struct RuimChvReply {
    uint8_t sw1 = 0;
    uint8_t sw2 = 0;
    uint8_t numOfRetries = 0;
    uint8_t status = 0;
};

DiagRequest BuildRuimStatusReq();
// Codes are their characters (at most 8) followed by 0xFF up to 8 bytes.
DiagRequest BuildRuimVerifyReq(const std::string& pin);
DiagRequest BuildRuimUnblockReq(const std::string& unblockCode, const std::string& newPin);

bool ParseRuimStatus(const uint8_t* reply, size_t length, RuimStatus& out);
// sub: KVA_SUB_RUIM_VERIFY_CHV or KVA_SUB_RUIM_UNBLOCK_CHV.
bool ParseRuimChvReply(const uint8_t* reply, size_t length, uint16_t sub, RuimChvReply& out);

std::vector<uint8_t> EncodeRuimStatus(const RuimStatus& v);
std::vector<uint8_t> EncodeRuimChvReply(uint16_t sub, const RuimChvReply& v);

} // namespace kv
