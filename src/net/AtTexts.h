// The AT path's command texts, answer markers and the texts it shows. One
// place, so that the poll, the settings page's commands, the simulator tests
// and the command-line tool agree on them.
#pragma once

namespace kv::attext {

// Commands of the poll.
inline constexpr const char* kQuerySignal = "AT+CSQ\r";
inline constexpr const char* kQueryImsi = "AT+CIMI\r";
inline constexpr const char* kQueryCard = "AT+CPIN?\r";
// The APN command: prefix, the quoted APN, carriage return.
inline constexpr const char* kApnCommandPrefix = "at+cgdcont=1,\"ip\",";
// Settings page commands.
inline constexpr const char* kPinLockOffPrefix = "AT+CLCK=\"SC\",0,";
inline constexpr const char* kPinLockOnPrefix = "AT+CLCK=\"SC\",1,";
inline constexpr const char* kPinChangePrefix = "AT+CPWD=\"SC\",";
inline constexpr const char* kQueryFirmware = "AT+CGMR\r";
inline constexpr const char* kResetCommand = "AT^RESET\r";
inline constexpr const char* kFunctionOff = "AT+CFUN=7,0\r";
inline constexpr const char* kFunctionReset = "AT+CFUN=6,0\r";

// Answer markers.
inline constexpr const char* kSignalMarker = "+CSQ:";
inline constexpr const char* kImsiMarker = "+CIMI:";
inline constexpr const char* kCardMarker = "+CPIN:";
inline constexpr const char* kCardReady = "READY";
inline constexpr const char* kError = "ERROR";
inline constexpr const char* kOk = "OK";
inline constexpr const char* kFirmwareKind = "818";

// Status line texts.
inline constexpr const char* kSignalName = "Network Signal";
inline constexpr const char* kApnLabel = "APN:";
inline constexpr const char* kCardLabel = "UIM:";
inline constexpr const char* kCardError = " ERROR"; // after the label: the card cannot be read
// The signal as the user reads it, after the label.
inline constexpr const char* kSignalUnit = " dBm";
inline constexpr const char* kSignalNoSignal = " no signal";
inline constexpr const char* kSignalUnknown = " unknown";
// What "+CPIN:" answers, and the shorter words the card line shows for them
// (the line has room for six characters).
inline constexpr const char* kCardPrefixes[] = {"SIM ", "UIM ", "RUIM "};

// Settings "apn_type" / "dynamic" value of the automatic APN.
inline constexpr const char* kApnAutomatic = "checked";

// Refusals of the settings page's PIN commands (caption "Korvianet").
inline constexpr const char* kPinTooShort = "Pin empty Or Pin too short!";
inline constexpr const char* kPinConfirmFail = "Pin confirm pin fail";
inline constexpr const char* kPinNotDigits = "Pin must be 4 to 8 digits!";

} // namespace kv::attext
