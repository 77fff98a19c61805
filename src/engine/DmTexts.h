// Texts the DM engine shows to the user and the settings it reads and
// writes (all in the main settings file "teal_dialer.ini", key "num" unless
// stated).
#pragma once

#include "settings/SettingsKeys.h"

namespace kv::dmtext {

// Message line.
inline constexpr const char* kPortNotOpened = "ComPort is not opened.";
inline constexpr const char* kNoRuimCard = "\nNO RUIM Card \nInserted";
inline constexpr const char* kInvalidRuimCard = "\nInvalid\nRUIM Card.";
// Shown when a start-up step gave up waiting for the modem.
inline constexpr const char* kCardNotReady = "\nRUIM Card\nNot Ready";
inline constexpr const char* kSmsNotReady = "\nSMS Storage\nNot Ready";
inline constexpr const char* kPhonebookNotReady = "\nPhonebook\nNot Ready";

// Message boxes.
inline constexpr const char* kCannotCallWhileConnecting =
    "Cannot make outgoing call under network connecting";
inline constexpr const char* kUnblockCodeBlocked =
    "Your card PIN UnBlock Code is blocked!. Cannot use this card";
inline constexpr const char* kInsertCardAndRestart = "Insert RUIM Card and Restart Modem. ";
inline constexpr const char* kPinOk = "Successful Pin Code Verification.";
inline constexpr const char* kUnblockOk = "Successful UnBlock Pin Code Verification.";
inline constexpr const char* kPinWrongLeft = "Unsuccessful PIN verification, at least one attempt left";
inline constexpr const char* kUnblockWrongLeft =
    "Unsuccessful Unblock Pin verification, at least one attempt left";
inline constexpr const char* kPinBlocked =
    "Unsuccessful PIN verification, no attempt left (PIN blocked)";
inline constexpr const char* kUnblockBlocked =
    "Unsuccessful Unblock Pin verification, no attempt left (Unblock Pin blocked)";
inline constexpr const char* kCardDisabled = "RUIM Card is disabled.";
inline constexpr const char* kSmsStorageFull =
    "Not enough space to store new message\nPlease delete the old messege.";

// Settings sections (names from the settings table).
inline constexpr const char* kKeyNum = kv::kKeyNum;
inline constexpr const char* kSecBaudrate = kv::kSecBaudRate;
inline constexpr const char* kSecUserflag = kv::kSecUserFlag;
inline constexpr const char* kSecRssi = kv::kSecRssi;
inline constexpr const char* kSecSmsC = kv::kSecSmsC;
inline constexpr const char* kKeySmsCnt = kv::kKeySmsCnt;
inline constexpr const char* kSecPrefMode = kv::kSecPrefMode;
inline constexpr const char* kSecHybrid = kv::kSecHybrid;
inline constexpr const char* kSecCallbackMax = kv::kSecCallbackMax;
inline constexpr const char* kSecUnicodeMax = kv::kSecUnicodeMax;
inline constexpr const char* kSecAsciiMax = kv::kSecAsciiMax;
inline constexpr const char* kSecModem = kv::kSecModem;
inline constexpr const char* kKeySwVer = kv::kKeySwVer;
inline constexpr const char* kKeyCompDate = kv::kKeyCompDate;
inline constexpr const char* kKeyHwVer = kv::kKeyHwVer;
inline constexpr const char* kKeyEsn = kv::kKeyEsn;
inline constexpr const char* kKeyMin = kv::kKeyMin;
inline constexpr const char* kKeyMdn = kv::kKeyMdn;
inline constexpr const char* kSecChgUsb = kv::kSecChgUsb;
inline constexpr const char* kSecChv1 = kv::kSecChv1;
inline constexpr const char* kSecChv1Temp = kv::kSecChv1Temp;
inline constexpr const char* kSecChvEnable = kv::kSecChvEnable;
inline constexpr const char* kSecChv1Cnt = kv::kSecChv1Cnt;
inline constexpr const char* kSecChv1PukCnt = kv::kSecChv1PukCnt;
inline constexpr const char* kSecEmgCall = kv::kSecEmgCall;
inline constexpr const char* kDefaultPin = kv::kDefPin;
inline constexpr const char* kNoDirNumber = "----------";

} // namespace kv::dmtext
