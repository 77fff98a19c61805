// Resource ids of the skin: every picture the windows load by number. The
// artwork behind each id is drawn by Skin.cpp at the size and frame layout
// the windows expect (button strips hold normal, hover, pressed and, for the
// four-frame strips, disabled frames side by side).
#pragma once

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

// Battery (19 x 13): empty, levels 2 to 5, full.
constexpr int IDB_BATT_EMPTY = 135;
constexpr int IDB_BATT_2 = 175;
constexpr int IDB_BATT_3 = 176;
constexpr int IDB_BATT_4 = 177;
constexpr int IDB_BATT_5 = 178;
constexpr int IDB_BATT_FULL = 245;
// The picture for the low-battery value 1 (one bar, drawn in warning red).
constexpr int IDB_BATT_LOW = IDB_BATT_2;

// Signal, first set (1x, 17 x 13): no signal, levels 1 to 5.
constexpr int IDB_SIG1_NONE = 136;
constexpr int IDB_SIG1_L1 = 179;
constexpr int IDB_SIG1_L2 = 183;
constexpr int IDB_SIG1_L3 = 181;
constexpr int IDB_SIG1_L4 = 182;
constexpr int IDB_SIG1_L5 = 180;
// Signal, second set (EV-DO, 17 x 13): no signal, levels 1 to 5, level 7.
constexpr int IDB_SIG2_NONE = 214;
constexpr int IDB_SIG2_L1 = 215;           // 215..219 = levels 1..5
constexpr int IDB_SIG2_L7 = 220;

// Service (24 x 13): hybrid 1x + EV-DO, 1x only, EV-DO only.
constexpr int IDB_SERVICE_HYBRID = 137;
constexpr int IDB_SERVICE_1X = 171;
constexpr int IDB_SERVICE_DO = 172;

// SMS (14 x 13): new message, with one voice mail, with several.
constexpr int IDB_SMS_NEW = 139;
constexpr int IDB_SMS_VOICE = 231;
constexpr int IDB_SMS_VOICES = 230;

constexpr int IDB_ROAMING = 260;           // 13 x 13
constexpr int IDB_RXD_OFF = 226;           // receive diversity, 17 x 13
constexpr int IDB_RXD_ON = 312;

// Charge (17 x 14): charging, and three fuller stages.
constexpr int IDB_CHARGE_1 = 246;
constexpr int IDB_CHARGE_2 = 255;
constexpr int IDB_CHARGE_3 = 258;
constexpr int IDB_CHARGE_4 = 257;

// Ear volume (25 x 10): mute, levels 1 to 4.
constexpr int IDB_VOL_0 = 134;
constexpr int IDB_VOL_1 = 225;
constexpr int IDB_VOL_2 = 223;
constexpr int IDB_VOL_3 = 224;
constexpr int IDB_VOL_4 = 222;

// Data rate bar (171 x 10): 236 empty, then 235, 233, 234, 232, 237..244
// from the lowest to the highest rate.
constexpr int IDB_DRC_EMPTY = 236;
constexpr int IDB_DRC_FIRST = 232;
constexpr int IDB_DRC_LAST = 245 - 1;

// Pictures of our own for windows that name no resource: the PIN dialog's
// background and buttons. Kept far above the resource range.
constexpr int IDB_PIN_BACK = 100001;
constexpr int IDB_PIN_VERIFY = 100002;
constexpr int IDB_PIN_EXIT = 100003;

} // namespace kvui
