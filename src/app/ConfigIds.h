// The settings page's control ids, page numbers and every text it shows.
#pragma once

namespace kvapp::cfg {

// Pages (the number an opener may request).
enum Page : int {
    PAGE_NONE = -1,
    PAGE_ABOUT = 1,
    PAGE_BASIC = 2,
    PAGE_RUIM = 3,
    PAGE_NAMING = 4,
    PAGE_ADVANCED = 5,
    PAGE_USER = 6,
    PAGE_BOOST = 7,
    PAGE_TRAFFIC = 8,
    PAGE_MONTH = 9,
    PAGE_PREV_MONTH = 10,
};

// Page buttons.
constexpr int IDC_PAGE_ABOUT = 1148;
constexpr int IDC_PAGE_BASIC = 1149;
constexpr int IDC_PAGE_RUIM = 1145;
constexpr int IDC_PAGE_NAMING = 1146;
constexpr int IDC_PAGE_ADVANCED = 1147;
constexpr int IDC_PAGE_USER = 1001;
constexpr int IDC_PAGE_BOOST = 1028;
constexpr int IDC_PAGE_TRAFFIC = 1169;
constexpr int IDC_PAGE_MONTH = 1041;
constexpr int IDC_PAGE_PREV_MONTH = 1185;
constexpr int IDC_EXIT = 2;

// Basic.
constexpr int IDC_ACCOUNT_CHECK = 1151;   // also the User page's on-top box
constexpr int IDC_USERNAME = 1008;
constexpr int IDC_PASSWORD = 1009;
constexpr int IDC_APN_DYNAMIC = 1072;
constexpr int IDC_APN_STATIC = 1073;
constexpr int IDC_APN_LIST = 1077;
constexpr int IDC_APPLY = 1016;
constexpr int IDC_APN_DELETE = 1078;
constexpr int IDC_RECONNECT = 1190;       // our own: "Reconnect when the link drops"
// RUIM Card.
constexpr int IDC_PIN_ACTION = 1155;
constexpr int IDC_PIN_1 = 1159;
constexpr int IDC_PIN_2 = 1156;
constexpr int IDC_PIN_3 = 1166;
// Advanced.
constexpr int IDC_AUTORUN = 1070;
constexpr int IDC_ADV_OK = 1079;
constexpr int IDC_RESTART_LINK = 1080;    // our own: restart of the modem link
constexpr int IDC_NOTIFICATIONS = 1191;   // our own: "Desktop notifications"
// User.
constexpr int IDC_TOP_LIST = 1004;
constexpr int IDC_TOP_CHECK = IDC_ACCOUNT_CHECK;
constexpr int IDC_BAT_LIST = 1011;
constexpr int IDC_BAT_CHECK = 1152;
// Traffic.
constexpr int IDC_TRAFFIC_RESET = 1170;
// Month pages.
constexpr int IDC_LIMIT_DOWN = 1021;
constexpr int IDC_LIMIT_UP = 1022;
constexpr int IDC_LIMIT_DOWN_PREV = 1042;
constexpr int IDC_LIMIT_UP_PREV = 1043;
constexpr int IDC_APPLY_DOWN = 1040;
constexpr int IDC_APPLY_UP = 1100;

// UM_CONFIG_UPDATE codes.
constexpr long CFG_SETUP_OK = 2;
constexpr long CFG_CALL_STATE = 3;
constexpr long CFG_TRAFFIC_LIVE = 4;
constexpr long CFG_TRAFFIC_FILES = 44;
constexpr long CFG_SETUP_FAIL = -1;

// The request that resets the running session's counters.
constexpr int RAS_TRAFFIC_RESET = 7;

// Geometry.
constexpr int kWidth = 344;
constexpr int kHeight = 326;
constexpr int kOffsetX = -80;
constexpr int kOffsetY = 10;

namespace text {
constexpr const char* kCaption = "Korvianet";
constexpr const char* kSetupOk = "Setup OK    ";
constexpr const char* kSetupFail = "Setting Fail";
constexpr const char* kSelectApn = "Please Select One APN!";
constexpr const char* kApnEmpty = "APN is empty,please input APN!";
constexpr const char* kCheckAnItem = "Before Pressing OK Button, You have to check an item.";
constexpr const char* kPinDisableOk = "Pin disable success!";
constexpr const char* kPinDisableFail = "Pin disable fail!";
constexpr const char* kPinChangeOk = "Pin change success!";
constexpr const char* kPinChangeFail = "Pin change fail!";
constexpr const char* kPinEnableOk = "Pin enable success!";
constexpr const char* kPinEnableFail = "Pin enable fail!";
constexpr const char* kLimitOutOfRange = "The limit must be a number from 10 to 1048576 (MB).\n50 MB is used.";
constexpr const char* kRestartLinkDone = "The modem link is being restarted.";

constexpr const char* kVersionFormat = "SW Ver : %s";
constexpr const char* kVersionName = "Korvia Module UI v"; // and the build's version
constexpr const char* kNotice =
    "Korvianet connects this computer to the network through the USB modem and its card.";
constexpr const char* kRuimStatusFormat = "[%s] [%s:%d]";
constexpr const char* kEnabled = "Enabled";
constexpr const char* kDisabled = "Disabled";
constexpr const char* kPinCount = "PIN Count";
constexpr const char* kActionDisable = "Disable";
constexpr const char* kActionChange = "Change";
constexpr const char* kActionEnable = "Enable";
constexpr const char* kPinNumber = "PIN Number :";
constexpr const char* kOldPin = "OLD PIN Number:";
constexpr const char* kNewPin = "NEW PIN Number:";
constexpr const char* kVerifyPin = "NEW PIN Verify:";
constexpr const char* kOff = "OFF";
constexpr const char* kOn = "ON";
constexpr const char* kDialCdma = "#777";
constexpr const char* kDialGsm = "*99#";
constexpr const char* kCdmaOperator = "46003";

// Tooltips.
constexpr const char* kTipAbout = "About";
constexpr const char* kTipBasic = "Basic";
constexpr const char* kTipRuim = "RUIM Card";
constexpr const char* kTipNaming = "Naming";
constexpr const char* kTipAdvanced = "Advanced";
constexpr const char* kTipTraffic = "Traffic Statistics";
constexpr const char* kTipExit = "Exit !";
constexpr const char* kTipOk = "Setting OK";
constexpr const char* kTipDelete = "Delete APN";
constexpr const char* kTipReset = "Traffic Reset";
constexpr const char* kTipRestartLink = "Restart the modem link";
} // namespace text

} // namespace kvapp::cfg
