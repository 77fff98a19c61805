// The simulated modem's state and its answers: a CDMA 1x / EV-DO data card
// with a RUIM slot, as the DIAG link and the AT port see it. The model is
// plain data plus two request handlers (HandleDiag for unframed DIAG
// requests, HandleAt for one AT command line); it knows nothing of ptys or
// threads, and the caller serialises every access.
//
// Time enters only through the nowMs arguments (a monotonic clock), so the
// timed parts (a call the far end answers, an SMS delivery report) can be
// driven by tests without sleeping.
#pragma once

#include "sim/SimCall.h"

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kv::sim {

// Result codes in vendor replies (0 is success).
constexpr uint16_t kResOk = 0;
constexpr uint16_t kResFailed = 1;       // generic refusal
constexpr uint16_t kResNoEntry = 2;      // no message or entry at that slot/index
constexpr uint16_t kResBadParam = 3;     // unknown storage, bad index
constexpr uint16_t kResCardAbsent = 4;   // the card store is not accessible
constexpr uint16_t kResNoService = 5;    // nothing to send the message over
constexpr uint16_t kResMemoryFull = 0xD0; // outbox write: modem memory full
constexpr uint16_t kResRuimFull = 0xD2;   // outbox write: card full

// Standard DIAG error replies (the request follows the code).
constexpr uint8_t kDiagBadCmd = 0x13;
constexpr uint8_t kDiagBadParm = 0x14;
constexpr uint8_t kDiagBadLen = 0x15;

// Message tags: received read / unread, stored outgoing (two outbox states).
constexpr uint32_t kTagRead = 1;
constexpr uint32_t kTagUnread = 2;
constexpr uint32_t kTagOutbox = 3;
constexpr uint32_t kTagOutboxSent = 4;

// Teleservices of stored messages.
constexpr uint32_t kTeleserviceCmt95 = 4098;
constexpr uint32_t kTeleserviceVmn95 = 4099;

// Seconds between 1970-01-01 and 1980-01-06 (the message time base).
constexpr int64_t kCdmaEpochOffset = 315964800;

struct SimSms {
    uint16_t slot = 0;
    uint32_t tag = kTagUnread;
    uint32_t teleservice = kTeleserviceCmt95;
    uint32_t time = 0;         // seconds since 1980-01-06
    uint8_t encoding = 2;
    std::string number;        // sender (inbox) or destination (outbox)
    std::string callback;      // callback number the sender gave (may be empty)
    std::string text;          // raw bytes in the encoding
    uint8_t voiceCount = 0;    // voice-mail notification only
};

struct SmsStore {
    uint32_t code = 6;
    uint16_t capacity = 50;
    std::map<uint16_t, SimSms> slots;

    int FreeSlot() const; // -1 when full
    uint16_t Unread() const;
};

struct PbEntry {
    std::string number;
    std::string name; // raw name field bytes as written (marker byte included)
};

struct Phonebook {
    uint8_t code = 9;
    uint16_t capacity = 200;
    uint16_t nameLen = 65; // PbLen of the info reply
    std::map<uint32_t, PbEntry> entries; // index 1..capacity
    size_t cursor = 0;                   // position of the next batch read
    // What the information reply reports instead of the truth (-1: the truth).
    int32_t reportInUse = -1;
    int32_t reportCapacity = -1;
    // Read requests still to be taken (the position moves) but not answered,
    // after answerBeforeLoss more that are answered.
    int loseReads = 0;
    int answerBeforeLoss = 0;
    // Write requests still to be refused (result "failed"), after
    // writesBeforeRefusal more that are carried out.
    int refuseWrites = 0;
    int writesBeforeRefusal = 0;
    // Delete requests still to be carried out but not answered: the host
    // waits for an answer while the entry is already gone.
    int loseDeletes = 0;
};

// Card (RUIM) states as the card status reply reports them.
enum class CardState { Absent, Invalid, Valid };

struct SimCard {
    CardState state = CardState::Valid;
    std::string pin = "1234";
    std::string puk = "12345678";
    bool pinEnabled = false;
    bool pinVerified = false;
    uint8_t pinRetries = 3;
    uint8_t pukRetries = 10;
    static constexpr uint8_t kPinTries = 3;
    static constexpr uint8_t kPukTries = 10;

    bool Blocked() const { return pinEnabled && pinRetries == 0; }
    // Card data (SMS, phonebook) is readable.
    bool Usable() const { return state == CardState::Valid && (!pinEnabled || pinVerified); }
};

// A message the modem sent (kept for tests and the control channel).
struct SentSms {
    std::string destination;
    std::string callback;
    uint8_t encoding = 2;
    std::string text;
};

class ModemModel {
public:
    ModemModel();

    // A state a newcomer finds plausible: messages in both stores, a few
    // phonebook entries on the card and in memory, good signal, battery.
    void SeedDemo(int64_t nowMs);
    // Empties both SMS stores and both phonebooks.
    void Clear();

    // One DIAG request (unframed) → its reply (unframed). Empty: no answer.
    std::vector<uint8_t> HandleDiag(const uint8_t* req, size_t len, int64_t nowMs);
    // One AT command line (without CR) → the text to send back (may be empty).
    std::string HandleAt(const std::string& line, int64_t nowMs);

    // Timed steps (call progress, delivery report) up to now.
    void Advance(int64_t nowMs);
    int64_t NextDeadline() const;

    // ---- scenario operations -------------------------------------------
    bool IncomingCall(const std::string& number, const std::string& name, uint8_t presentation,
                      int64_t nowMs);
    bool RemoteAnswer(int64_t nowMs) { return call.RemoteAnswer(nowMs); }
    bool RemoteHangup(int64_t nowMs) { return call.RemoteHangup(nowMs); }
    // A message arrives from the network (storage 6 or 5). False when the
    // store is full (the storage-full flag is then raised).
    bool ReceiveSms(const std::string& from, const std::string& text, uint32_t storage, int64_t nowMs);
    // The voice-mail notification in the memory store: count waiting messages.
    bool SetVoiceMail(int count, int64_t nowMs);
    void SetCardAbsent();
    void SetCardInvalid();
    void SetCardPresent();
    void SetPinLocked(bool locked);
    void SetPukLocked();

    SmsStore* Store(uint32_t storage);
    Phonebook* Book(uint8_t code);
    uint16_t NewSmsCount() const;
    int32_t newSmsCountOverride = -1; // 0..65535: the status record reports this raw count instead
    std::string Describe() const; // one "key=value" line per fact

    // ---- state (public: the simulator's control channel edits it) -------
    // identity
    std::string buildDate = "Mar 18 2009";
    std::string swVersion = "KV6502B3";
    uint16_t hwVersion = 0x6502;
    uint32_t esn = 0x9F2A61C4;
    std::string mdn = "8585550123";
    uint16_t infVerMajor = 2, infVerMinor = 7, modemVersion = 0x0818;
    std::string infoText = "KV6502 CDMA2000 1x EV-DO Rev.A";
    // radio
    uint16_t prefMode = 4;   // NV item 10: 4 automatic, 9 1x only, 10 EV-DO only
    uint8_t hybridPref = 1;  // NV item 562
    bool inService = true;
    int32_t rssi1x = -79;    // dBm
    int32_t rssiEvdo = -84;  // dBm
    uint8_t roaming = 0;
    uint8_t rxDiversity = 0;
    uint16_t currChan = 283;
    uint8_t bandClass = 1;
    bool longStatus = true;  // bit 7 of the service mode
    uint16_t rate1x = 153;   // kbit/s shown by the 1x data-rate request
    std::array<uint8_t, 8> hdrRates{0x35, 0x44, 0x53, 0x45, 0x34, 0x55, 0x43, 0x54};
    // service limits and volumes
    uint8_t asciiMax = 160, unicodeMax = 70, callbackMax = 32;
    uint8_t inCallVolume = 3, idleVolume = 2;
    // battery
    uint16_t chgVal = 0;
    uint16_t battVal = 3950;
    std::array<uint16_t, 5> battBars{3500, 3600, 3700, 3800, 3900};
    // AT side
    std::string imsi = "460030912345678";
    bool imsiPrefixed = true;      // "+CIMI: <imsi>"; false: the bare digits as most modems answer
    std::string apn;
    std::vector<std::string> apnLog; // every APN an AT+CGDCONT set, in order
    uint64_t atCommands = 0;         // AT command lines handled
    std::string firmware = "KV6502-818-B03";
    bool resetRequested = false; // set by AT^RESET / AT+CFUN=6; the simulator replugs

    SimCard card;
    SimCall call;
    SmsStore memory;
    SmsStore ruim;
    bool smsInited = true;
    Phonebook pbRuim;
    Phonebook pbMemory;
    // True: the information request starts a phonebook's read over at its
    // first entry. False: reads go on where they were, and start over only
    // after a batch that reached the last entry.
    bool pbRewindOnInfo = true;
    std::vector<SentSms> sent;
    // delivery report of the last sent message
    bool sendPending = false;
    int64_t reportAt = -1;     // when the report becomes available
    uint8_t closeFlag = 0;
    uint16_t report = 0;       // 0 delivered
    uint16_t nextReport = 0;   // report value for the next send (control channel)
    int64_t reportDelayMs = 1500;
    bool storageFull = false;

private:
    std::vector<uint8_t> General(const uint8_t* req, size_t len, uint16_t sub, int64_t nowMs);
    std::vector<uint8_t> Ruim(const uint8_t* req, size_t len, uint16_t sub);
    std::vector<uint8_t> Sms(const uint8_t* req, size_t len, uint16_t sub, int64_t nowMs);
    std::vector<uint8_t> Pbook(const uint8_t* req, size_t len, uint16_t sub);
    std::vector<uint8_t> NvRead(const uint8_t* req, size_t len);
    std::vector<uint8_t> StatusRecord();
    std::vector<uint8_t> CallerId() const;
    void MinFromMdn(uint32_t& min1, uint16_t& min2) const;
};

// Encodes three decimal digits as a 10-bit MIN group (each digit d → d-1,
// '0' counting as 10).
uint16_t MinGroup(const std::string& three);
// The 1980-based time of a monotonic-free wall clock now.
uint32_t CdmaTimeNow();

} // namespace kv::sim
