// The simulated modem's voice call: the call-processing state it reports in
// the status record, the incoming-call indication, the caller-id record and
// the timed steps a real network takes (the far end answering, the release
// that lingers for a moment before the modem is idle again).
//
// Indications are events: each one is latched until the next status reply
// carries it (TakeIndication), then cleared, so a poll sees each event once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kv::sim {

// Call-processing states as the status record reports them.
constexpr uint8_t kCallNoService = 0;
constexpr uint8_t kCallVcInit = 131;  // 0x83
constexpr uint8_t kCallWfa = 133;     // 0x85 ringing (waiting for answer)
constexpr uint8_t kCallConv = 134;    // 0x86 conversation
constexpr uint8_t kCallRelease = 135; // 0x87
constexpr uint8_t kCallOrig = 137;
constexpr uint8_t kCallIdle = 130;    // 0x82

// Incoming-call indication values.
constexpr uint8_t kIndNone = 0;
constexpr uint8_t kIndIncoming = 1;
constexpr uint8_t kIndMissed = 2;
constexpr uint8_t kIndEnded = 3;
constexpr uint8_t kIndOriginated = 4;

// Caller presentation (the caller-id record's byte 7).
constexpr uint8_t kPresentAllowed = 0;
constexpr uint8_t kPresentRestricted = 1;
constexpr uint8_t kPresentUnavailable = 2;

// Keys of the key-press request.
constexpr uint8_t kKeySend = 0x50;
constexpr uint8_t kKeyEnd = 0x51;
constexpr uint8_t kKeyClr = 0x52;

struct CallParty {
    std::string number;
    std::string name;
    uint8_t presentation = kPresentAllowed;
};

class SimCall {
public:
    // Time the far end takes to answer an outgoing call (negative: never, it
    // waits for RemoteAnswer), how long an unanswered call rings before it
    // becomes a missed call, and how long the release state is reported.
    int64_t answerDelayMs = 2000;
    int64_t ringTimeoutMs = 30000;
    int64_t releaseMs = 1200;
    int64_t waitingTimeoutMs = 20000;
    // Some modems show the release for a number of status records instead
    // of a time, and report the end only with the first idle record after
    // it. 0: the end comes with the release and it lasts releaseMs.
    int releaseStatusRecords = 0;

    // Advances timed steps up to now (milliseconds on any monotonic clock).
    void Advance(int64_t nowMs);
    // Earliest time at which Advance has something to do; -1 for none.
    int64_t NextDeadline() const;

    // The status record's state byte (idle is reported as 130 in service,
    // 0 without service).
    uint8_t State(bool inService) const;
    // The latched indication, cleared by this call.
    uint8_t TakeIndication();
    uint8_t PendingIndication() const { return m_indication; }
    // One status record carried the state and the indication (counts the
    // release of releaseStatusRecords).
    void StatusReported();

    // The modem places a call (from the origination request).
    bool Originate(const std::string& digits, bool inService, int64_t nowMs);
    // A key press from the host. Returns false when it means nothing now.
    bool Key(uint8_t key, int64_t nowMs);
    // Scenario steps: a call comes in (call waiting during a conversation),
    // the far end answers an outgoing call or hangs up.
    bool Incoming(const CallParty& caller, int64_t nowMs);
    bool RemoteAnswer(int64_t nowMs);
    bool RemoteHangup(int64_t nowMs);

    bool InCall() const { return m_state != kCallIdle; }
    const CallParty& Active() const { return m_active; }
    const CallParty* Waiting() const { return m_hasWaiting ? &m_waiting : nullptr; }
    // Most recent caller (kept after the call for the caller-id record).
    const CallParty& LastCaller() const { return m_last; }
    const std::vector<std::string>& Dtmf() const { return m_dtmf; }
    const std::vector<std::string>& History() const { return m_history; }
    std::string Describe() const;

private:
    void Release(uint8_t indication, int64_t nowMs, const char* why);
    void Latch(uint8_t ind) { m_indication = ind; }

    uint8_t m_state = kCallIdle; // kCallIdle stands for "no call"
    uint8_t m_indication = kIndNone;
    int64_t m_deadline = -1; // next timed step of the current state
    int64_t m_waitingDeadline = -1;
    int m_releaseRecordsLeft = 0;   // status records the release still shows
    uint8_t m_lateIndication = kIndNone; // reported when that release is over
    bool m_outgoing = false;
    CallParty m_active;
    CallParty m_waiting;
    bool m_hasWaiting = false;
    CallParty m_last;
    std::vector<std::string> m_dtmf;
    std::vector<std::string> m_history; // "out 5551234 answered", "in ... missed"
};

} // namespace kv::sim
