// Identifiers shared between the core and the main window: user window
// messages, UM_UI_REQUEST sub-codes, timer ids, indicator ids, control ids,
// page numbers and modal page numbers. The main window (Qt) and the headless
// host use the same values.
#pragma once

#include <cstdint>

namespace kv {

// User window messages (WM_USER + n).
enum UserMessage : uint32_t {
    UM_OPEN_SETTINGS = 0x401,
    UM_TRACE_PACKET = 0x5F4,
    UM_SMS_SEND_STATUS = 0x5F5,
    UM_CONFIG_UPDATE = 0x5F7,
    UM_SMS_TEXT_UPDATE = 0x5F8,
    UM_UI_REQUEST = 0x5F9,
    UM_RING_STOP = 0x5FB,
    UM_RING_START = 0x5FC,
    UM_BRING_TO_FRONT = 0x5FD,
    UM_OPEN_CALL_PICKER = 0x5FE,
    UM_LOOKUP_NAME = 0x5FF,
};

// The registered tray message's name.
inline constexpr const char* kTrayNotifyMessageName = "ModemTrayNotifyMsg";

// UM_UI_REQUEST sub-codes (wParam).
enum UiRequest : uint32_t {
    UI_REQ_PICKER = 1,
    UI_REQ_COMPOSE = 2,
    UI_REQ_DIAL = 3,
    UI_REQ_CALL_DISPLAY = 4,
    UI_REQ_FILL_RECIPIENTS = 5,
    UI_REQ_WIPE_PHONEBOOK = 6,
    UI_REQ_LOAD_PHONEBOOK = 10,
    UI_REQ_SETTINGS_NOP = 11,
    UI_REQ_RESTORE_TRAY = 12,
    UI_REQ_LOOKUP_NOP = 13,
};

// Phonebook storage words carried by UI_REQ_LOAD_PHONEBOOK and the read request.
enum : uint32_t { PB_STORAGE_WORD_RUIM = 0xFF01, PB_STORAGE_WORD_MEMORY = 0 };

// UM_CONFIG_UPDATE codes (wParam).
enum : int32_t {
    CONFIG_UPDATE_PREF_WRITTEN = 2,
    CONFIG_UPDATE_PREF_NOT_WRITTEN = -1,
    CONFIG_UPDATE_CALL = 3,
    CONFIG_UPDATE_TRAFFIC = 4,
    CONFIG_UPDATE_SESSION_ENDED = 44,
};

// Main window timers.
enum TimerId : uint32_t {
    TIMER_RESTORE_MESSAGE_LINE = 101,
    TIMER_CALL_DURATION = 104,
    TIMER_SMS_SEND_TIMEOUT = 106,
    TIMER_BACK_TO_STATUS = 107,
    TIMER_WAITING_CALL = 108,
    TIMER_RESTORE_FROM_TRAY = 109,
    TIMER_VOICE_MAIL_UPDATE = 110,
    TIMER_CHARGE_BLINK = 111,
    TIMER_CLOSE_PROGRAM = 113,
    TIMER_RESTART_RAS = 114,
    TIMER_CALL_PICKER_END = 115,
    TIMER_CALL_START = 1000,
    TIMER_ENABLE_1008 = 1001,
    TIMER_ENABLE_1007 = 1002,
    TIMER_AT_POLL = 100003,
};

// Indicator ids of SetIndicator / SetSignal.
enum IndicatorId : int {
    IND_MESSAGE_LINE = 1,  // idle message line code
    IND_SIGNAL_B = 2,      // accepted and ignored
    IND_SIGNAL_EVDO = 3,   // EV-DO signal (SetSignal set two)
    IND_EAR_VOLUME = 4,
    IND_DATA_RATE_A = 5,
    IND_DATA_RATE_B = 6,
    IND_BATTERY = 1040,
    IND_SIGNAL_1X = 1041,  // 1x signal (SetSignal set one)
    IND_SERVICE = 1042,
    IND_SMS = 1043,
    IND_CALL = 1044,
    IND_1045 = 1045,
    IND_1046 = 1046,
    IND_ROAMING = 1117,
    IND_RX_DIVERSITY = 1121,
    IND_CHARGE = 1128,
};

// Signal value meaning "no signal" and the blank value of the alternating display.
inline constexpr int kSignalNone = 99;
inline constexpr int kSignalBlank = 255;
// Charge display blink bit.
inline constexpr uint8_t kChargeBlinkBit = 0x80;

// Controls of the main window.
enum ControlId : int {
    IDC_NET_CONNECT = 1000,
    IDC_NET_DISCONNECT = 1001,
    IDC_PAGE_AREA = 1002,
    IDC_SETTING = 1003,
    IDC_MESSAGE_LINE = 1004,
    IDC_TRAFFIC_TAB = 1005,
    IDC_ACTIVATION = 1006,
    IDC_GET_BALANCE = 1007,
    IDC_GET_NUMBER = 1008,
    IDC_DIAL_TOGGLE = 1017,
    IDC_MINIMIZE = 1018,
    IDC_NOP_1019 = 1019,
    IDC_SMS_TOGGLE = 1034,
    IDC_LINE_APN = 1071,    // status line: the APN of the AT path
    IDC_LINE_CARD = 1115,   // status line: the card state of the AT path
    IDC_LINE_SIGNAL = 1116, // status line: the signal of the AT path
    IDC_PHONEBOOK = 1035,
    IDC_VOLUME_DOWN = 1047,
    IDC_VOLUME_UP = 1048,
    IDC_TEXT_FIELD = 1049,
    IDC_SWITCH_OFF = 1067,
    IDC_RESET_STATS = 1075,
    IDC_EXIT = 1136,
    IDC_PROGRESS = 1153, // the start-up progress indicator
};

// Controls that the start-up chain keeps disabled until DM_UI_ENABLE.
inline constexpr int kUiEnableControls[8] = {
    IDC_NET_CONNECT, IDC_SETTING, IDC_GET_BALANCE, IDC_DIAL_TOGGLE,
    IDC_SMS_TOGGLE, IDC_PHONEBOOK, IDC_VOLUME_DOWN, IDC_VOLUME_UP,
};
// Enabled when the user cancels the PIN entry (emergency calls only).
inline constexpr int kPinCancelControls[3] = {IDC_SETTING, IDC_DIAL_TOGGLE, IDC_ACTIVATION};
// Enabled when no card is inserted.
inline constexpr int kNoCardControls[4] = {IDC_SETTING, IDC_DIAL_TOGGLE, IDC_ACTIVATION, IDC_NET_CONNECT};

// Pages of UserActiveView.
enum ViewPage : int {
    VIEW_STATUS = 0,
    VIEW_DIAL_PAD = 1,
    VIEW_SMS = 2,
    VIEW_PICKER = 3,
    VIEW_SETTINGS = 4,
    VIEW_TRAFFIC = 5,
    VIEW_ACTIVATION = 6,
};
// The settings page's Basic page (the dial-up account), as the sub-page of
// VIEW_SETTINGS.
inline constexpr int kSettingsPageBasic = 2;

// Values of m_nModalView.
enum ModalView : uint8_t {
    MODAL_NONE = 0,
    MODAL_SETTINGS = 1,
    MODAL_POPUP = 4,
    MODAL_PICKER = 5,
    MODAL_PIN = 6,
    MODAL_SMS_DIALOG = 7,
};

// Message box icons (caption is always "Korvianet").
enum class MsgIcon { Information, Warning, Error };
inline constexpr const char* kMessageBoxCaption = "Korvianet";

// Timed popup modes.
enum PopupMode : int { POPUP_NOTICE = 0, POPUP_QUESTION = 1, POPUP_NOTICE_NO_CANCEL = 2 };

// PIN dialog modes and outcomes.
enum PinMode : int { PIN_MODE_ENTER = 2, PIN_MODE_UNBLOCK = 4 };
enum class PinResult {
    Cancel = 0,        // the user cancelled
    Ok = 1,            // the user confirmed (the dialog wrote chv1 / chv1_temp)
    EndedByEngine = 2, // StopDmEngine ended it (engine stopping, modem unplugged)
    Later = 3,         // no code now: a blocked card stays blocked and the engine goes on
                       // without it (a host that only reports, e.g. the command line)
};

} // namespace kv
