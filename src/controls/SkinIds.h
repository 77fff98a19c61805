// Resource ids of the skin: every picture the windows load by number. The
// artwork behind each id is drawn by Skin.cpp at the size and frame layout
// the windows expect (button strips hold normal, hover, pressed and, for the
// four-frame strips, disabled frames side by side).
#pragma once

#include "engine/StatusIds.h"

namespace kvui {

// Icons.
constexpr int IDI_MAIN = 128;              // window icon
constexpr int IDI_TRAY = 228;              // tray icon

// Window faces and page backgrounds.
constexpr int IDB_MAIN_SKIN = 346;         // main window face, 500 x 640, key colour magenta
constexpr int IDB_PAGE_BACK = 170;         // popup and dial pad background (stretched)

// Main window buttons (strips of three frames unless noted).
constexpr int IDB_BTN_NET = 355;           // "Net Connect" / "Net Disconnect"
constexpr int IDB_BTN_SETTING = 353;       // "Setting"
constexpr int IDB_BTN_RCV_STV = 318;       // "RCV/STV Activation" (four frames)
constexpr int IDB_BTN_BALANCE = 340;       // "Get Balance" (four frames)
constexpr int IDB_BTN_SWITCH_OFF = 319;    // "Switch Off" (four frames)
constexpr int IDB_BTN_MINIMIZE = 358;      // "Minimize"
constexpr int IDB_BTN_EXIT = 357;          // "Exit !"

// Timed popup buttons.
constexpr int IDB_BTN_OK = 191;
constexpr int IDB_BTN_CANCEL = 279;

// Dial pad buttons: SEND, the twelve keys "1".."9", "0", "*", "#", Clear, END.
constexpr int IDB_BTN_SEND = 153;
constexpr int IDB_BTN_KEY_FIRST = 154;     // "1"; 154 + 9 = "0", 164 "*", 165 "#"
constexpr int IDB_BTN_KEY_LAST = 165;
constexpr int IDB_BTN_CLEAR = 166;
constexpr int IDB_BTN_END = 167;

// The indicator pictures: the status rules in the core choose them by these
// numbers (engine/StatusIds.h); they are part of this skin's names.
using namespace kv::statusid;

// Pictures of our own for windows that name no resource: the PIN dialog's
// background and buttons. Kept far above the resource range.
constexpr int IDB_PIN_BACK = 100001;
constexpr int IDB_PIN_VERIFY = 100002;
constexpr int IDB_PIN_EXIT = 100003;

// The main window's page buttons (four frames: the disabled one is shown
// while the modem is away): dial pad, SMS page, phonebook, volume down / up.
constexpr int IDB_BTN_DIAL_PAD = 100004;
constexpr int IDB_BTN_SMS_PAGE = 100005;
constexpr int IDB_BTN_PHONEBOOK = 100006;
constexpr int IDB_BTN_VOL_DOWN = 100007;
constexpr int IDB_BTN_VOL_UP = 100008;
// The traffic statistics button (four frames, like the page buttons).
constexpr int IDB_BTN_TRAFFIC = 100009;
// Net Disconnect's own picture (the globe struck through), so that it is
// never taken for Net Connect, which keeps picture 355.
constexpr int IDB_BTN_NET_OFF = 100010;

} // namespace kvui
