// What the status panel shows, by number: the indicator controls of the main
// window, the skin pictures each indicator value selects, and the message
// line's fixed texts. The window's skin (controls/SkinIds.h) and its control
// table (app/AppIds.h) take these names from here, so the rules in
// StatusModel and the window that paints them agree by construction.
#pragma once

namespace kv::statusid {

// Indicator controls of the main window.
constexpr int IDC_VBAT = 1040;
constexpr int IDC_ANTENNA = 1041;
constexpr int IDC_SERVICE = 1042;
constexpr int IDC_SMS = 1043;
constexpr int IDC_CALL = 1044;
constexpr int IDC_IND_1045 = 1045;
constexpr int IDC_IND_1046 = 1046;
constexpr int IDC_ROAMING = 1117;
constexpr int IDC_EAR_VOLUME = 1120;
constexpr int IDC_RXD = 1121;
constexpr int IDC_DATA_RATE = 1123;
constexpr int IDC_CHARGE = 1128;

// Every indicator control, in the order the window creates them.
constexpr int kIndicatorControls[] = {IDC_VBAT, IDC_ANTENNA, IDC_SERVICE, IDC_SMS, IDC_CALL,
                                      IDC_IND_1045, IDC_IND_1046, IDC_ROAMING, IDC_EAR_VOLUME,
                                      IDC_RXD, IDC_DATA_RATE, IDC_CHARGE};

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

} // namespace kv::statusid

// Message line texts.
namespace kv::statustext {
constexpr const char* kRate1x = "1X Data Rate bar";
constexpr const char* kRateEvdo = "EVDO Data Rate bar";
constexpr const char* kMissedCall = "Missed call";
// Shown when a new message arrives (and the window comes to the front for it).
constexpr const char* kNewMessage = "New message";
constexpr const char* kNewMessageLine = "\nNew message";
constexpr const char* kIdleKorvia = "\nKorvia";
constexpr const char* kNoPinEmergency = "\nEmergency Call\nWithout PIN";
constexpr const char* kNoCardEmergency = "\nEmergency Call\nWithout RUIM.";
// Shown from the modem's removal until it is back and starting again: the
// empty antenna alone does not say that the modem went away.
constexpr const char* kModemUnplugged = "\nModem unplugged";
} // namespace kv::statustext
