// Texts the DM engine shows to the user and the settings it reads and
// writes (all in the main settings file "teal_dialer.ini", key "num" unless
// stated).
#pragma once

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

// Settings sections.
inline constexpr const char* kKeyNum = "num";
inline constexpr const char* kSecBaudrate = "baudrate";
inline constexpr const char* kSecUserflag = "userflag";
inline constexpr const char* kSecRssi = "rssi";
inline constexpr const char* kSecSmsC = "SmsC";
inline constexpr const char* kKeySmsCnt = "smscnt";
inline constexpr const char* kSecPrefMode = "pref_mode";
inline constexpr const char* kSecHybrid = "hybrid";
inline constexpr const char* kSecCallbackMax = "callback_max";
inline constexpr const char* kSecUnicodeMax = "unicode_max";
inline constexpr const char* kSecAsciiMax = "ascii_max";
inline constexpr const char* kSecModem = "modem";
inline constexpr const char* kKeySwVer = "sw_ver";
inline constexpr const char* kKeyCompDate = "comp_date";
inline constexpr const char* kKeyHwVer = "hw_ver";
inline constexpr const char* kKeyEsn = "esn";
inline constexpr const char* kKeyMin = "min";
inline constexpr const char* kKeyMdn = "mdn";
inline constexpr const char* kSecChgUsb = "chg_usb";
inline constexpr const char* kSecChv1 = "chv1";
inline constexpr const char* kSecChv1Temp = "chv1_temp";
inline constexpr const char* kSecChvEnable = "chv_enable";
inline constexpr const char* kSecChv1Cnt = "chv1_cnt";
inline constexpr const char* kSecChv1PukCnt = "chv1_pukcnt";
inline constexpr const char* kSecEmgCall = "emg_call";
inline constexpr const char* kDefaultPin = "9352";
inline constexpr const char* kNoDirNumber = "----------";

} // namespace kv::dmtext
