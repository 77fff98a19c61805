// The voice call's shared fields: the texts the DM engine and the dial pad
// exchange (caller and waiting party, the dial number, the key and pause
// queues), the call start and the duration's day count, and the small rules
// on them that both the main window and the headless host apply (timers 104,
// 108 and 1000, Clear during call waiting).
//
// Every text is guarded by the one lock; no lock is held while calling out.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <deque>
#include <mutex>
#include <string>

namespace kv {

class IDmHost;
struct ModemState;

// Call flags (ModemState::m_ucCallFlags).
enum : uint8_t {
    CALLF_CONVERSATION = 0x01,
    CALLF_WAITING = 0x02,
    CALLF_MISSED = 0x04,
    CALLF_FOREIGN_ORIG = 0x08,
    CALLF_ANNOUNCED = 0x10,
};

// Keys of the key-press request.
enum : uint8_t { CALL_KEY_SEND = 0x50, CALL_KEY_END = 0x51, CALL_KEY_CLR = 0x52 };
// The code the dial pad queues for a pause and for a key release.
inline constexpr int kKeyCodePause = 12;
inline constexpr int kKeyCodeRelease = 255;

// Call-processing states.
enum : uint8_t {
    CALL_STATE_INIT = 0x81,
    CALL_STATE_IDLE = 0x82,
    CALL_STATE_VC_INIT = 0x83,
    CALL_STATE_RINGING = 0x85,
    CALL_STATE_CONVERSATION = 0x86,
    CALL_STATE_RELEASE = 0x87,
};

// Each call text holds at most this many characters (32-byte fields).
inline constexpr size_t kCallTextMax = 31;
inline constexpr size_t kDialNumberMax = 32;

// Arguments of UM_UI_REQUEST sub-code 4 besides the record kinds 1 to 3.
inline constexpr intptr_t kCallDisplayShow = 0xFFFF;    // a call started: show it
inline constexpr intptr_t kCallDisplayNoCard = 0xFFFFF; // dialled without a usable card
// The record kind of a missed call.
inline constexpr intptr_t kCallRecordMissed = 3;

// The fall-back period of timer 108 (ms).
inline constexpr uint32_t kWaitingCallTimeoutMs = 20000;

struct CallTexts {
    std::string callerNumber;
    std::string callerName;
    std::string waitingNumber;
    std::string waitingName;
};

class CCallState {
public:
    // --- texts ---
    CallTexts Texts() const;
    void SetTexts(const CallTexts& t);
    void ClearTexts();
    std::string DisplayText() const;
    void SetDisplayText(const std::string& s);

    // The number the dial pad hands to DM_OUT_CALL (cut to 32 characters).
    std::string DialNumber() const;
    void SetDialNumber(const std::string& s);

    // The key queue: key codes as decimal texts.
    void PushKey(int code);
    bool PopKey(int& code);
    // Takes the newest entry back off (the command queue refused the key).
    void DropLastKey();
    std::string FirstKeyText() const;
    bool KeysEmpty() const;
    void ClearKeys();

    // The pause-digit queue.
    void SetPauses(const std::deque<std::string>& parts);
    bool PopPause(std::string& digits);
    std::string FirstPause() const;
    bool PausesEmpty() const;
    void ClearPauses();

    // Call start (timer 1000) and the days of the call duration.
    std::tm CallStart() const;
    void SetCallStart(const std::tm& t);
    std::atomic<uint32_t> m_dwDays{0};

    // "Missed call" is on the message line (shown by the call family; a new
    // call takes it away).
    std::atomic<bool> m_bMissedShown{false};

    // A missed call waits for its caller before its history row is written
    // (the caller-id read that follows the modem's "missed" report).
    std::atomic<bool> m_bMissedRecordDue{false};

    // The ring flag: set while the ring sound should play.
    std::atomic<bool> m_bRinging{false};

    // The fall-back period of timer 108 (tests shorten it).
    std::atomic<uint32_t> m_dwWaitingTimeoutMs{kWaitingCallTimeoutMs};

private:
    mutable std::mutex m_lock;
    CallTexts m_texts;
    std::string m_display;
    std::string m_dial;
    std::deque<std::string> m_keys;
    std::deque<std::string> m_pauses;
    std::tm m_start{};
};

// Timer 1000: the call start is now (local time).
void RecordCallStart(ModemState& st);
// Timer 104: one second more of the call duration.
void TickCallDuration(ModemState& st);
// Clears the duration (hours, minutes, seconds, days).
void ClearCallDuration(ModemState& st);
// Total duration in seconds.
int64_t CallDurationSeconds(const ModemState& st);

// Call waiting is on while call flag 0x02 is set and the call list holds two
// entries.
bool CallWaitingActive(const ModemState& st);
// Gives the message line back to the first call: its name and number, list
// index 1, flag 0x02 cleared, call indicator steady. Timer 108 runs it when
// the waiting call was not taken; Clear runs it (with timer 108 stopped and
// the active entry 1) when the user refuses the waiting call. False when no
// call was waiting.
bool WaitingCallFallback(IDmHost& host);
bool ClearWaitingCall(IDmHost& host);

// Wraps a text for the two-line message line at width columns, between words.
std::string WrapCallText(const std::string& text, size_t width = 16);

} // namespace kv
