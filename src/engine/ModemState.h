// ModemState: the main window's fields that the DM engine writes and the
// pages read, and the DM command queue. The main window object owns one
// instance; the engine, the pages and the worker threads reach it through the
// host interface (engine/DmHost.h).
//
// Each field has one writer at a time by convention. The small numeric
// fields are atomics so that a reader on another thread always sees a whole
// value; the few texts are guarded by m_textLock.
#pragma once

#include "engine/DmCallState.h"
#include "engine/DmCodes.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

namespace kv {

// The DM command queue: producers insert at the head or the tail, the engine
// takes from the head. Every operation is one whole insertion, removal or
// search under the queue's own lock; no lock is ever held across a wait.
class CDmQueue {
public:
    void Push(uint16_t code, bool atHead);
    // Takes the head; false when the queue is empty.
    bool PopHead(uint16_t& code);
    bool Contains(uint16_t code) const;
    // Removes the first entry equal to code; true when one was removed.
    bool RemoveFirst(uint16_t code);
    void Clear();
    bool Empty() const;
    size_t Size() const;

private:
    mutable std::mutex m_lock;
    std::deque<uint16_t> m_list;
};

// Bits of the UI flags.
enum : uint8_t {
    UIF_SMS_LOADED = 0x01,
    UIF_SMS_WAITING = 0x02,
    UIF_PB_RUIM_LOADED = 0x04,
    UIF_PB_MEMORY_LOADED = 0x08,
    UIF_BATTERY_WARNING = 0x10,
};
// Bits of the card flags.
enum : uint8_t {
    CARDF_EMERGENCY_CALL = 0x02,
    CARDF_PIN_CANCELLED = 0x10,
    CARDF_NO_CARD = 0x20,
    CARDF_NOT_READY = 0x40, // the card never became ready during start-up
    CARDF_BLOCKED = 0x80,   // blocked, its unblock code left for later (PinResult::Later)
    CARDF_NO_USABLE_CARD = 0xF0,
};
// Bits of the preference flags.
enum : uint8_t {
    PREFF_HYBRID_1 = 0x01,
    PREFF_HYBRID_0 = 0x02,
    PREFF_MODE_1 = 0x10,
    PREFF_MODE_10 = 0x20,
};
// Bits of the power flags.
enum : uint8_t { POWERF_CHARGER_4 = 0x01, POWERF_OTHER = 0x04 };

// The card's PIN check as the card check last reported it (m_ucPinCheck).
enum : uint8_t { PINCHECK_UNKNOWN = 0, PINCHECK_OFF = 1, PINCHECK_ON = 2 };

// Service state values (what indicator 1042 shows).
enum : uint8_t {
    SERVICE_1X_HYBRID = 1,
    SERVICE_1X = 2,
    SERVICE_NONE = 3,
    SERVICE_EVDO = 4,
};

// RAS monitor states that the engine reads (m_nRasState).
enum : uint8_t { RAS_STATE_CONNECTING = 1, RAS_STATE_CONNECTED = 2, RAS_STATE_LOOKUP = 4 };

// The phonebook-read flag (m_ucPbReadDone) is kept per storage: a storage
// read once after the window was created (or the modem returned) is only
// marked loaded at later engine starts.
inline constexpr uint8_t kPbReadRuim = 0x01;
inline constexpr uint8_t kPbReadMemory = 0x02;

inline constexpr uint8_t kCardRetryAbsent = 20; // card retry count meaning "declared absent"
inline constexpr size_t kModemInfoSize = 75;

struct ModemState {
    // --- engine control ---
    std::atomic<uint16_t> m_nPortState{DM_STOPPED}; // the DM state word
    CDmQueue m_DmRequests;                           // the DM command queue
    std::atomic<uint32_t> m_dwWait{200};             // pause of each engine cycle, ms

    // --- main window fields the engine reads or writes ---
    std::atomic<uint8_t> m_nActiveView{0};   // 0 status panel, 1 dial pad, 2 SMS page
    std::atomic<uint8_t> m_nModalView{0};    // open modal page (ModalView)
    std::atomic<intptr_t> m_hModalWnd{0};    // handle of the open modal page, 0 none
    std::atomic<uint8_t> m_nRasState{0};     // RAS monitor state
    std::atomic<int> m_nComPort{0};          // COM number from port discovery
    std::atomic<int> m_nDeviceKind{0};       // device kind from port discovery

    // --- ModemState proper ---
    std::atomic<uint8_t> m_ucServiceMode{0};     // capability byte; bit 7: long status layout
    std::atomic<uint16_t> m_wModemVersion{0};
    std::atomic<uint16_t> m_wPrefMode{0};
    std::atomic<uint8_t> m_ucServiceState{0};    // last value shown on indicator 1042
    std::atomic<uint8_t> m_ucPrefFlags{0};
    std::atomic<uint16_t> m_wUiPhase{UI_PHASE_IDLE};
    std::atomic<uint8_t> m_ucLastCallState{0};
    std::atomic<uint8_t> m_ucCardRetry{0};
    std::atomic<uint8_t> m_ucSignalTick{0};
    std::atomic<uint8_t> m_ucChargeDisplay{0};   // bits 0-6 value on 1128, bit 7 blink
    std::atomic<uint8_t> m_ucCallFlags{0};
    std::atomic<uint8_t> m_ucCallHours{0};
    std::atomic<uint8_t> m_ucCallMinutes{0};
    std::atomic<uint8_t> m_ucCallSeconds{0};
    std::atomic<uint32_t> m_dwCallTicks{0};
    std::atomic<uint16_t> m_wLastSmsCount{0};    // new-SMS count of the last status poll
    std::atomic<uint8_t> m_ucSmsCheckStage{0};   // 1 requests DM_SMS_INSPECTED, 2 queued
    std::atomic<uint8_t> m_ucServiceMsgFlag{0};
    std::atomic<uint8_t> m_ucUiFlags{0};
    std::atomic<uint8_t> m_ucCardFlags{0};
    std::atomic<uint8_t> m_ucPinCheck{PINCHECK_UNKNOWN}; // engine/PinCheck.h
    std::atomic<uint8_t> m_ucCallRecordKind{0};
    std::atomic<uint8_t> m_ucCallListIndex{0};
    std::atomic<uint8_t> m_ucCallListActive{0};
    std::atomic<uint8_t> m_ucInCallVolume{0};
    std::atomic<uint8_t> m_ucIdleVolume{0};
    std::atomic<int32_t> m_bRxDiversity{0};
    std::atomic<uint8_t> m_ucPowerFlags{0};
    std::atomic<uint32_t> m_dwUnicodeMax{0};
    std::atomic<uint32_t> m_dwAsciiMax{0};
    std::atomic<uint8_t> m_ucSysMode{0};         // system mode of the last status poll (2 1x, 4 EV-DO)
    std::atomic<uint8_t> m_ucDataSysMode{0};     // current system for data (settings page state)
    std::atomic<uint8_t> m_ucDataRateA{0};       // value last shown on data-rate indicator A

    // SMS storage and phonebook sizes learnt by the start-up chain.
    std::atomic<uint16_t> m_wSmsMaxSlot{0};
    std::atomic<uint16_t> m_wPbRuimMax{0};
    std::atomic<uint16_t> m_wPbMemoryMax{0};
    std::atomic<uint16_t> m_wPbRuimUsed{0};
    std::atomic<uint16_t> m_wPbMemoryUsed{0};
    std::atomic<uint16_t> m_wPbLen{65};
    std::atomic<uint16_t> m_wPbLimit2{32};
    std::atomic<uint8_t> m_ucPbReadDone{0};      // the phonebook-read flags (kPbRead*)

    // Texts (guarded by m_textLock).
    mutable std::mutex m_textLock;
    std::string m_strModemInfo;                  // at most kModemInfoSize - 1 bytes
    std::string m_strCallNumber[2];              // call list entries
    std::string m_strCallName[2];

    // The voice call's texts, queues and call start (engine/DmCallState.h).
    CCallState m_call;

    std::string ModemInfo() const
    {
        std::lock_guard<std::mutex> g(m_textLock);
        return m_strModemInfo;
    }
    void SetModemInfo(const std::string& s)
    {
        std::lock_guard<std::mutex> g(m_textLock);
        m_strModemInfo = s.substr(0, kModemInfoSize - 1);
    }
};

} // namespace kv
