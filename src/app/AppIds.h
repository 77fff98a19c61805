// Ids and texts of the application shell: the main window's controls that
// the core does not name, its menu commands, the tray's ids, the window
// layout, and every text the shell shows or logs. The core's ids (messages,
// timers, indicators, buttons) are in host/HostIds.h.
#pragma once

#include "host/HostIds.h"
#include "host/HostTexts.h"
#include "engine/StatusIds.h"
#include "settings/SettingsKeys.h"

namespace kvapp {

// Dialog resources.
constexpr int IDD_MAIN = 102;
constexpr int IDD_DIAL_PAD = 131;
constexpr int IDD_SMS_PAGE = 133;

// Static controls of the main window (buttons are kv::ControlId).
constexpr int IDC_STATUS_LINE_1071 = 1071;
constexpr int IDC_STATUS_LINE_1072 = 1072;
constexpr int IDC_STATUS_LINE_1115 = 1115;
constexpr int IDC_STATUS_LINE_1116 = 1116;
constexpr int IDC_DURATION_LINE = 1059;
constexpr int IDC_CONN_MSG_1 = 1060;
constexpr int IDC_CONN_MSG_2 = 1061;
// Indicator controls (the status rules name them in the core).
using kv::statusid::IDC_VBAT;
using kv::statusid::IDC_ANTENNA;
using kv::statusid::IDC_SERVICE;
using kv::statusid::IDC_SMS;
using kv::statusid::IDC_CALL;
using kv::statusid::IDC_IND_1045;
using kv::statusid::IDC_IND_1046;
using kv::statusid::IDC_ROAMING;
using kv::statusid::IDC_EAR_VOLUME;
using kv::statusid::IDC_RXD;
using kv::statusid::IDC_DATA_RATE;
using kv::statusid::IDC_CHARGE;

using kv::statusid::kIndicatorControls;

// Commands.
constexpr int IDM_SETTINGS = 0x10;     // appended to the window menu
constexpr int IDR_TRAY_MENU = 227;     // tray menu resource and tray icon id
constexpr int ID_TRAY_RESTORE = 32775;
constexpr int ID_TRAY_EXIT = 32776;
constexpr int ID_TRAY_USAGE = 32900; // ours: opens the usage window
constexpr int ID_TRAY_TOGGLE = 32901; // ours: a single click on the icon shows or hides the window

// Texts shown to the user.
namespace text {
constexpr const char* kCaption = "Korvianet";
constexpr const char* kProductName = "Korvianet";
constexpr const char* kTitleFormat = "%s USB Modem";
constexpr const char* kAppMenuItem = "Korvia";
constexpr const char* kAlreadyRunning = "This program is already running !! ";
constexpr const char* kLockFailed = "Cannot check for a running copy of this program.\n%1";
constexpr const char* kFolderRefused = "Korvianet does not use files that another user can change.\n%1";
constexpr const char* kPortNotOpened = "ComPort is not opened.";
constexpr const char* kNoCallEvdoOnly = kv::hosttext::kNoCallEvdoOnly;
constexpr const char* kNoSmsEvdoOnly = kv::hosttext::kNoSmsEvdoOnly;
constexpr const char* kConfigButton = "\rSettings";
constexpr const char* kEntryLabel = "Korvia NetWork";
constexpr const char* kDunPhonebook = "PINGPB";
constexpr const char* kTrayTip = "Korvianet";
constexpr const char* kTrayRestore = "Restore";
constexpr const char* kTrayExit = "Exit";
constexpr const char* kTrayUsage = "Data Usage"; // ours
using kv::statustext::kRate1x;
using kv::statustext::kRateEvdo;
using kv::statustext::kMissedCall;
using kv::statustext::kNoPinEmergency;
using kv::statustext::kNoCardEmergency;
using kv::statustext::kIdleKorvia;
constexpr const char* kBalanceNumber = "51230";
constexpr const char* kBalanceText = "bal";
constexpr const char* kNumberText = "num";

// Button tooltips.
constexpr const char* kTipConnect = "Net Connect";
constexpr const char* kTipDisconnect = "Net Disconnect";
constexpr const char* kTipSetting = "Setting";
constexpr const char* kTipActivation = "RCV/STV Activation";
constexpr const char* kTipBalance = "Get Balance";
constexpr const char* kTipSwitchOff = "Switch Off";
constexpr const char* kTipMinimize = "Minimize";
constexpr const char* kTipExit = "Exit !";
constexpr const char* kTipDialPad = "Dial Pad";
constexpr const char* kTipSmsPage = "SMS";
constexpr const char* kTipPhonebook = "Phonebook";
// The volume buttons' idle labels; during a call the dial pad names them
// "- Vol" and "+ Vol".
constexpr const char* kTipVolumeDown = "- Ring";
constexpr const char* kTipVolumeUp = "+ Ring";
constexpr const char* kTipTraffic = "Traffic Statistics";
} // namespace text

// Log lines.
namespace logtext {
constexpr const char* kDunPhonebook = "DUN_PHONEBOOK = %s";
constexpr const char* kSelectComPort = "Select ComPort=COM%d";
constexpr const char* kInitStart = "OnInitDialog() Start";
constexpr const char* kNoNotify = "not use notify change registry key";
constexpr const char* kRasInitError = "Ras userinitinstance() error ";
constexpr const char* kViewError = "UserActiveView error";
} // namespace logtext

// Settings sections read by the shell (file "teal_dialer.ini").
namespace key {
constexpr const char* kIni = kv::kIniDialer;
constexpr const char* kComPort = kv::kSecComPort;
constexpr const char* kUserName = kv::kSecUserName;
constexpr const char* kPassword = kv::kSecPassword;
constexpr const char* kPhoneNumber = kv::kSecPhoneNumber;
constexpr const char* kBaudRate = kv::kSecBaudRate;
constexpr const char* kTop = kv::kSecTop;
constexpr const char* kBatSound = kv::kSecBatSound;
constexpr const char* kDtmfLen = kv::kSecDtmfLen;
constexpr const char* kNum = kv::kKeyNum;
constexpr const char* kText = kv::kKeyText;
} // namespace key

// Fixed colours (COLORREF 0x00BBGGRR) and fonts.
constexpr unsigned kDurationColour = 0xA85959;
constexpr unsigned kLineColour = 0x787878;
constexpr unsigned kProgressColour = 0xD346F7;
constexpr const char* kLineFont = "MS Serif";
constexpr const char* kFieldFont = "Courier";

// Environment switch of a diagnostic run: the log window is shown.
constexpr const char* kEnvLogWindow = "KORVIANET_LOG_WINDOW";

} // namespace kvapp
