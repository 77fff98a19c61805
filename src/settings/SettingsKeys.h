// The names of the settings files, their sections and keys, and the defaults
// their readers use. Each setting is a section of its own with its value
// under "num" (numbers and flags) or "text" (free text); only "modem", "rssi",
// "apn_type", "UserSetMaxLimit", "SmsC", "sysinf" and "Curdir" hold other keys.
#pragma once

#include <cstddef>

namespace kv {

// Files.
inline constexpr const char* kIniDialer = "teal_dialer.ini";
inline constexpr const char* kIniSys = "syskor.ini";
inline constexpr const char* kStaticApnFile = "static_apn.txt"; // in the current directory
// Our own settings, kept apart so the two files above hold only their own.
inline constexpr const char* kIniOurs = "korvianet.ini";

// Generic keys.
inline constexpr const char* kKeyNum = "num";
inline constexpr const char* kKeyText = "text";

// Sections of teal_dialer.ini read or written with kKeyText.
inline constexpr const char* kSecUserName = "username";
inline constexpr const char* kSecPassword = "password";
inline constexpr const char* kSecPhoneNumber = "phonenumber";

// Sections of teal_dialer.ini read or written with kKeyNum.
inline constexpr const char* kSecComPort = "comport";
inline constexpr const char* kSecBaudRate = "baudrate";
inline constexpr const char* kSecPrefMode = "pref_mode";
inline constexpr const char* kSecHybrid = "hybrid";
inline constexpr const char* kSecVoicePriv = "voice_priv";
inline constexpr const char* kSecDtmfLen = "dtmf_len";
inline constexpr const char* kSecChgUsb = "chg_usb";
inline constexpr const char* kSecTop = "top";
inline constexpr const char* kSecBatSound = "batsound";
inline constexpr const char* kSecChvEnable = "chv_enable";
inline constexpr const char* kSecChv1Cnt = "chv1_cnt";
inline constexpr const char* kSecChv1PukCnt = "chv1_pukcnt";
inline constexpr const char* kSecChv1 = "chv1";
inline constexpr const char* kSecChv1Temp = "chv1_temp";
inline constexpr const char* kSecCallbackMax = "callback_max";
inline constexpr const char* kSecUnicodeMax = "unicode_max";
inline constexpr const char* kSecAsciiMax = "ascii_max";
inline constexpr const char* kSecEmgCall = "emg_call";
inline constexpr const char* kSecCallId = "call_id";
inline constexpr const char* kSecHistoryNum = "history_num";
inline constexpr const char* kSecUserFlag = "userflag";

// "apn_type": "dynamic" / "static", each "checked" or "unchecked".
inline constexpr const char* kSecApnType = "apn_type";
inline constexpr const char* kKeyApnDynamic = "dynamic";
inline constexpr const char* kKeyApnStatic = "static";
inline constexpr const char* kApnChecked = "checked";
inline constexpr const char* kApnUnchecked = "unchecked";
// "apn_content" / "current": the static APN in use.
inline constexpr const char* kSecApnContent = "apn_content";
inline constexpr const char* kKeyApnCurrent = "current";

// "modem": identity values learned from the modem.
inline constexpr const char* kSecModem = "modem";
inline constexpr const char* kKeySwVer = "sw_ver";
inline constexpr const char* kKeyCompDate = "comp_date";
inline constexpr const char* kKeyHwVer = "hw_ver";
inline constexpr const char* kKeyMin = "min";
inline constexpr const char* kKeyEsn = "esn";
inline constexpr const char* kKeyMdn = "mdn";

// "SmsC" / "smscnt": new-SMS count of the last status poll.
inline constexpr const char* kSecSmsC = "SmsC";
inline constexpr const char* kKeySmsCnt = "smscnt";

// "rssi": signal thresholds.
inline constexpr const char* kSecRssi = "rssi";
inline constexpr const char* kKeyRssiOneEvdo = "OneEVDO";
inline constexpr const char* kKeyRssiOneOne = "OneOne";
inline constexpr const char* kKeyRssiOne = "One";
inline constexpr const char* kKeyRssiEvdo = "EVDO";

// "Curdir" / "dir": folder prefix of the traffic files.
inline constexpr const char* kSecCurDir = "Curdir";
inline constexpr const char* kKeyDir = "dir";

// "UserSetMaxLimit": monthly traffic limits in MB.
inline constexpr const char* kSecUserSetMaxLimit = "UserSetMaxLimit";
inline constexpr const char* kKeyDownloadMax = "DownloadMax";
inline constexpr const char* kKeyUploadMax = "UploadMax";
inline constexpr const char* kKeyDownloadMaxPrev = "DownloadMaxPrev";
inline constexpr const char* kKeyUploadMaxPrev = "UploadMaxPrev";

// korvianet.ini (ours): "reconnect" / "num": 1 dials a lost link again.
inline constexpr const char* kSecReconnect = "reconnect";
// korvianet.ini (ours), the data plan: "cycle_day" / "num" (1-28, the day
// the billing cycle starts), "quota_kind" / "text" ("off", "download",
// "upload", "both"), "quota_mb" / "num" (MB of 1048576 bytes),
// "quota_warn" / "text" (percentages, e.g. "80,100"), "quota_hangup" /
// "num" (1 hangs up when the quota is reached).
inline constexpr const char* kSecCycleDay = "cycle_day";
inline constexpr const char* kSecQuotaKind = "quota_kind";
inline constexpr const char* kSecQuotaMb = "quota_mb";
inline constexpr const char* kSecQuotaWarn = "quota_warn";
inline constexpr const char* kSecQuotaHangUp = "quota_hangup";
// korvianet.ini (ours): "notifications" / "num": 0 sends no desktop
// notifications (default 1, on).
inline constexpr const char* kSecNotifications = "notifications";

// syskor.ini: "sysinf" / "slps", pause after a DIAG request in ms.
inline constexpr const char* kSecSysInf = "sysinf";
inline constexpr const char* kKeySlps = "slps";

// Read buffer sizes (a buffer of n holds n-1 characters) and defaults.
inline constexpr size_t kBufText = 64;     // most string reads
inline constexpr size_t kBufApnType = 32;
inline constexpr size_t kBufPin = 9;       // "chv1", "chv1_temp": 8 characters
inline constexpr size_t kBufHistoryNum = 6;
inline constexpr size_t kBufPath = 260;    // "Curdir"
inline constexpr size_t kApnLineMax = 63;  // characters per static_apn.txt line

inline constexpr const char* kDefBaudRate = "115200";
inline constexpr const char* kDefPin = "9352";
inline constexpr const char* kDefHistoryNum = "0";
inline constexpr const char* kDefRssiOneEvdo = "16";
inline constexpr const char* kDefRssiOneOne = "9";
inline constexpr const char* kDefRssiOne = "16";
inline constexpr const char* kDefRssiEvdo = "21";
inline constexpr int kDefPrefMode = -1;
inline constexpr int kDefHybrid = -1;
inline constexpr int kDefVoicePriv = -1;
inline constexpr int kDefDtmfLen = -1;
inline constexpr int kDefChgUsb = 0;
inline constexpr int kDefTop = 0;
inline constexpr int kDefBatSound = 1;
inline constexpr int kDefChvEnable = 0;
inline constexpr int kDefChv1Cnt = 0;
inline constexpr int kDefChv1PukCnt = 0;
inline constexpr int kDefEmgCall = -1;
inline constexpr int kDefSlps = 5;

// A number setting with its file, section (key "num") and default: where a
// setting is read in more than one place, its default is written once here.
struct IntSetting {
    const char* file;
    const char* section;
    int fallback;
};

// The SMS limits the modem reported at start-up (characters of a 7-bit
// text, of a Unicode text, and of the callback number).
inline constexpr IntSetting kSetAsciiMax{kIniDialer, kSecAsciiMax, 160};
inline constexpr IntSetting kSetUnicodeMax{kIniDialer, kSecUnicodeMax, 40};
inline constexpr IntSetting kSetCallbackMax{kIniDialer, kSecCallbackMax, 32};

} // namespace kv
