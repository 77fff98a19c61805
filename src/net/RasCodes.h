// Codes, states and texts of the dial-up client and the connection manager,
// in one place. Result codes keep the numbers of the dial-up interface the
// program was first written against, so log lines and the traffic tools read
// the same everywhere.
#pragma once

#include <cstdint>

namespace kvnet {

// --- result codes of the dial-up operations (0 = success) ---
enum RasResult : int {
    RAS_OK = 0,
    RAS_ERR_ACCESS_DENIED = 5,        // the user may not run the dialler (not in group dip)
    RAS_ERR_PORT_IN_USE = 602,        // the modem's data tty is locked by another program
    RAS_ERR_BUFFER_TOO_SMALL = 603,   // enumeration: grow the buffer and ask again
    RAS_ERR_PROFILE_MISSING = 623,    // the dialler's root-owned profile is not installed
    RAS_ERR_OPTION_REFUSED = 625,     // the dialler refused an option of the entry
    RAS_ERR_NO_CONNECTION = 668,      // the handle names no live connection
    RAS_ERR_REMOTE_DISCONNECT = 629,  // the link went down while dialling
    RAS_ERR_PORT_NOT_AVAILABLE = 633, // the modem's data tty could not be opened
    RAS_ERR_NO_ANSWER = 678,          // the modem or the network did not answer
    RAS_ERR_AUTHENTICATION = 691,     // user name or password refused
    RAS_ERR_HARDWARE = 692,           // the dialler could not run / ended badly
    RAS_ERR_NO_PPP_SUPPORT = 720,     // the kernel has no PPP support
    RAS_ERR_ALREADY_EXISTS = 183,     // the entry exists already
    RAS_ERR_ENTRY_NOT_FOUND = 807,    // the entry does not exist
    RAS_ERR_NO_ERROR_TEXT = 808,      // error 0 has no text
    RAS_ERR_BAD_ARGUMENT = 87,        // a value that cannot go into the entry
    RAS_ERR_CANNOT_WRITE = 1359,      // the phonebook could not be written
    RAS_ERR_NOT_LOADED = 1157,        // the client was not initialised
};

// Attempts of the grow-and-retry enumeration.
inline constexpr int kEnumAttempts = 5;

// --- connection states reported by the status query ---
enum RasConnState : uint32_t {
    RASCS_OpenPort = 0,
    RASCS_PortOpened = 1,
    RASCS_ConnectDevice = 2,
    RASCS_DeviceConnected = 3,
    RASCS_AllDevicesConnected = 4,
    RASCS_Authenticate = 5,
    RASCS_Authenticated = 14,
    RASCS_AuthProject = 10,
    RASCS_Projected = 18,
    RASCS_LogonNetwork = 21,
    RASCS_Connected = 0x2000,
    RASCS_Disconnected = 0x2001,
};

// Entry constants.
inline constexpr const char* kPhonebook = "PINGPB";
inline constexpr const char* kEntryLabel = "Korvia NetWork";
inline constexpr const char* kDeviceTypeModem = "modem";
inline constexpr uint32_t kProtocolsIp = 4;
inline constexpr uint32_t kFramingPpp = 1;
// Options 0x318: software compression, modem lights, remote default gateway,
// IP header compression.
enum : uint32_t {
    RASEO_IpHeaderCompression = 0x008,
    RASEO_RemoteDefaultGateway = 0x010,
    RASEO_ModemLights = 0x100,
    RASEO_SwCompression = 0x200,
};
inline constexpr uint32_t kEntryOptions = 0x318;

// --- monitor thread requests ---
enum RasRequestCode : uint8_t {
    RAS_REQ_CONNECT = 1,
    RAS_REQ_MONITOR = 2,
    RAS_REQ_LOOK = 4,
    RAS_REQ_DISCONNECT = 5,
    RAS_REQ_RESET = 7,
    RAS_REQ_TERMINATE = 240,
    RAS_REQ_ALL = 255,
};

// The connection duration line of the main window.
inline constexpr int kDurationLineId = 1059;

// Bit 7 of the connection flags: the connection was adopted, not dialled.
inline constexpr uint8_t kConnAdopted = 0x80;
// Consecutive failed checks before a lost connection is given up.
inline constexpr int kMaxFailedChecks = 7;
// Failed lookups of an adopted connection while "dialling" it.
inline constexpr int kMaxAdoptedDialFailures = 3;
// Monitor pace and dial-state poll.
inline constexpr int kMonitorPeriodMs = 500;
inline constexpr int kDialPollMs = 100;
// How long the message line shows the dial's closing text after a connect
// (timer 101), and how long at most that text keeps the duration line empty.
inline constexpr uint32_t kDialTextMs = 5000;
inline constexpr int64_t kDialTextHoldMs = 10000;

namespace rastext {
inline constexpr const char* kGetErrorFailed = "Fail to get error string";
inline constexpr const char* kExtendedError = " Extended Error Code: %d";
inline constexpr const char* kEntryFailed = "Fail to Set My Network Entry!";
inline constexpr const char* kOutgoingCall = "Can not connect to network during outgoing call.";
// Net Connect with no maker modem among the dial-up devices: said once,
// instead of dialling an entry that could not be made.
inline constexpr const char* kNoModem = "No modem found.\nPlug in the modem and try again.";
// Net Connect on a CDMA card without an account: said on the message line
// as the settings page opens at the account fields.
inline constexpr const char* kNoAccount = "Enter your account";
inline constexpr const char* kDisconnecting = "Please Wait\nDisconnecting\t\n...";
inline constexpr const char* kLostDuration = "00:00:00:00";
inline constexpr const char* kDurationFormat = "%02u:%02u:%02u";
inline constexpr const char* kDurationDaysFormat = "%02u)%02u:%02u:%02u";
inline constexpr const char* kDialCdma = "#777";
inline constexpr const char* kDialGsm = "*99#";
inline constexpr const char* kCdmaImsiMark = "46003";
} // namespace rastext

namespace raslog {
inline constexpr const char* kSetUserModem = "setusermodem (ret=%ld), (line=%d)\n";
inline constexpr const char* kErrorText = "Error %d: %s\n";
inline constexpr const char* kErrorTextFailed = "RasGetErrorString failed, Return Value: %d\n";
inline constexpr const char* kClearOk = "Clear ConnectionStatistic Success !!\n";
inline constexpr const char* kClearFail = "Clear ConnectionStatistic Fail !!\n";
inline constexpr const char* kCreateEntryError = "createdialupentry error";
inline constexpr const char* kThreadError = "userrasthread error";
inline constexpr const char* kRasStats = "RAS ori=%d, last=%d, cp=%d ";
inline constexpr const char* kExternConnecting = "extern connecting";
inline constexpr const char* kHangUpError = "hang up connection error ";
inline constexpr const char* kInitError = "Ras userinitinstance() error";
inline constexpr const char* kThreadClose3 = "ras thread close 3";
inline constexpr const char* kRasClose = "ras close ";
inline constexpr const char* kThreadClosed1 = "ras thread closed 1";
inline constexpr const char* kResetOk = "RAS CLEAR RESET - Connection OK ";
inline constexpr const char* kResetFail = "RAS CLEAR RESET - Connection FAIL";
} // namespace raslog

// The text of a connection state; result 1 when dialling has ended
// (connected or disconnected), 0 while it runs.
int DialStateText(uint32_t state, const char*& text, bool& connected);

} // namespace kvnet
