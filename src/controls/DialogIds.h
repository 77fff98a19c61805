// Ids, texts and fixed colours of the small dialogs: the timed popup, the PIN
// dialog and the log window. Each control's objectName is its id in decimal.
#pragma once

#include <cstdint>

namespace kvui {

constexpr const char* kCaption = "Korvianet";            // message box caption

// Common button ids.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

// Timed popup.
constexpr int IDD_USER_MSG = 196;
constexpr int IDC_MSG_TEXT = 1072;
constexpr int IDC_MSG_ICON1 = 1080;
constexpr int IDC_MSG_ICON2 = 1081;
constexpr int MSG_TIMER_ID = 101;
constexpr int MSG_TIMER_MS = 1000;
// The grey text reads at 4.5:1 only on a near-black ground, as on the main
// window's text panel: a pale ground left it at 3.3:1.
constexpr uint32_t MSG_TEXT_BACK = 0x080605;   // COLORREF
constexpr uint32_t MSG_TEXT_FORE = 0x787878;

// PIN dialog.
constexpr int IDD_PIN = 273;
constexpr int IDC_PIN_UNBLOCK = 1160;
constexpr int IDC_PIN_NEW = 1137;
constexpr int IDC_PIN_CONFIRM = 1138;
constexpr int IDC_PIN_LABEL_PIN = 1005;
constexpr int IDC_PIN_LABEL_UNBLOCK = 1006;
constexpr int IDC_PIN_LABEL_CONFIRM = 1007;
constexpr int IDC_PIN_EXIT = 1144;
constexpr int PIN_MODE_PIN = 2;
constexpr int PIN_MODE_UNBLOCK = 4;
constexpr int PIN_MAX_CHARS = 8;
constexpr int PIN_MIN_CHARS = 4;   // unblock mode only

// Log window.
constexpr int IDD_DEBUG_VIEWS = 287;
constexpr int IDC_LOG_AUTOSCROLL = 1030;
constexpr int IDC_LOG_FILTER = 1031;
constexpr int IDC_LOG_CLEAR = 1032;
constexpr int IDC_LOG_SAVE = 1033;
constexpr int IDC_LOG_LIST = 1034;

} // namespace kvui
