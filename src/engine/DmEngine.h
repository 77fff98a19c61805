// The DM engine: the worker thread that owns the conversation with the modem.
// It runs the start-up chain, then polls the modem's status whenever its
// command queue is empty, and runs the commands the user interface queues.
// Work that needs the UI thread to wait for an answer runs as a sub-request:
// the caller parks the engine, talks to the modem itself and resumes it.
//
// The main window owns one CDmEngine next to its ModemState and serial port
// and forwards UserDmRestart, StopDmEngine, RestartDmEngine, PostDmCommand
// and DmSubRequest to it. Command families that live in other folders (calls,
// SMS, phonebook) plug in through RegisterCommand, RegisterSubRequest and the
// poll hooks.
#pragma once

#include "engine/DmCodes.h"
#include "engine/DmHost.h"
#include "engine/DmLink.h"
#include "link/DiagCatalog.h"
#include "platform/Event.h"
#include "settings/SettingsKeys.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>

namespace kv {

class CDmEngine;

// What port discovery found: the COM number (0 none) and the device kind.
struct PortChoice {
    int comPort = 0;
    int deviceKind = 0;
};

// Steps of the status poll that belong to the call and SMS families.
class IDmPollHooks {
public:
    virtual ~IDmPollHooks() = default;
    // Incoming-call indication of the status record (values 0 to 4).
    virtual void OnIncomingIndication(CDmEngine&, const StatusRecord&) {}
    // The SMS checks of the poll (new-SMS count, storage full, voice mail).
    // Returns false when it did not handle them, so the engine's own minimal
    // checks run instead.
    virtual bool OnSmsChecks(CDmEngine&, const StatusRecord&) { return false; }
    // The call-processing state handling (skipped in system mode 4).
    virtual void OnCallState(CDmEngine&, const StatusRecord&) {}
};

// What one good status record said of the radio, for the signal history:
// levels in dBm as the display takes them (kSignalNone without a signal).
struct PollSignal {
    int oneXDbm = 99;
    int evdoDbm = 99;
    uint8_t sysMode = 0;
    uint8_t roaming = 0;
};

class CDmEngine {
public:
    using DiscoverFn = std::function<PortChoice()>;
    using CommandFn = std::function<void(CDmEngine&)>;
    using SubRequestFn = std::function<uint16_t(CDmEngine&, uint16_t code, uintptr_t type)>;

    CDmEngine(IDmHost& host, IDmLink& link);
    ~CDmEngine();
    CDmEngine(const CDmEngine&) = delete;
    CDmEngine& operator=(const CDmEngine&) = delete;

    // Port discovery used by UserDmRestart (default: none found, kind 0).
    void SetDiscovery(DiscoverFn fn) { m_discover = std::move(fn); }
    void RegisterCommand(uint16_t code, CommandFn fn);
    void RegisterSubRequest(uint16_t code, SubRequestFn fn);
    void SetPollHooks(IDmPollHooks* hooks) { m_pollHooks = hooks; }
    // Called on the engine thread with every good status record's levels;
    // set it before the engine starts. It must not block for long.
    void SetSignalSink(std::function<void(const PollSignal&)> fn) { m_signalSink = std::move(fn); }

    // --- main-window operations ---
    // Opens the port and starts the engine. True when the engine runs.
    bool UserDmRestart();
    // Stops the engine and closes the port; pumps the caller's events while
    // it waits for the engine to end.
    void StopDmEngine();
    void RestartDmEngine();
    // 1 when queued (or dropped because the engine is stopping), 0 refused.
    int PostDmCommand(uint16_t code, bool atHead);
    // A sub-request started while another one of the same thread is still
    // under way further down its stack (a handler run while it pumps) is
    // refused at once with DM_RESULT_BUSY: the outer one owns the parked
    // engine and cannot resume it before the inner one returns.
    uint16_t DmSubRequest(uint16_t code, uintptr_t type, bool fromEngine);
    uint16_t DmResetFunc(uint16_t code);

    // --- for command handlers (engine thread) ---
    IDmHost& Host() { return m_host; }
    ModemState& State() { return m_host.State(); }
    IDmLink& Link() { return m_link; }
    // One exchange with the request's own time-out; the reply lands in the
    // engine's reply buffer. Returns the DiagResult.
    int Exchange(const DiagRequest& request);
    const uint8_t* Reply() const { return m_reply.data(); }
    size_t ReplyLength() const { return m_replyLength; }
    int& ErrorCount() { return m_nErrorCount; }
    // Ends the engine thread after the current handler without the join
    // rules (the unblock-code entry was cancelled).
    void EndThreadNow() { m_bEndNow = true; }
    bool IsEngineThread() const { return std::this_thread::get_id() == m_engineThreadId.load(); }
    // The "**" progress text on the message line, growing up to a cap.
    void ShowProgressStars();
    // Start-up steps that repeat while the modem is not ready give up after
    // this long (ms); tests shorten it.
    void SetRetryWindowMs(int64_t ms) { m_nRetryWindowMs = ms; }
    // Pause of the sub-request routine before its exchange (ms); tests may shorten.
    int64_t RetryWindowMs() const { return m_nRetryWindowMs; }
    bool ThreadRunning() const { return m_bThreadRunning.load(); }
    // The last engine ended because its port hung up (the modem was pulled
    // out); cleared when UserDmRestart starts an engine again.
    bool EndedByHangup() const { return m_bEndedByHangup.load(); }
    // Port discovery as UserDmRestart runs it.
    PortChoice Discover() const { return m_discover ? m_discover() : PortChoice{}; }

    // --- stopping ---
    // Asks the engine and the long loops of its families (phonebook read,
    // SMS read pass, remove-all) to stop between two exchanges. Safe from a
    // signal handler. Cleared by UserDmRestart.
    void RequestStop() { m_bStopRequested.store(true); }
    // An extra stop condition of the owner (a deadline, a signal flag),
    // asked between exchanges; it must not block.
    void SetStopCheck(std::function<bool()> fn) { m_stopCheck = std::move(fn); }
    // True when a long loop should stop now: a stop was requested, the
    // owner's check holds, or the engine's end or the device's removal is
    // queued.
    bool StopRequested() const;
    // How long StopDmEngine waits for the engine thread before it closes
    // the port under it, and again after that (ms).
    void SetStopWaitMs(int64_t ms) { m_nStopWaitMs = ms; }
    static constexpr int64_t kStopWaitMs = 10000;
    // Whether the end of work also refuses a call that is still ringing (the
    // window does: its user saw the call). A host that never offered the
    // call to anyone (a command-line script) leaves it ringing.
    void SetEndRefusesRingingCall(bool on) { m_bEndRefusesRinging = on; }

    // The state word, with a wake-up of pumping waiters on change.
    void SetPortState(uint16_t s);
    uint16_t PortState() const { return m_host.State().m_nPortState.load(); }

    static constexpr size_t kReplyBufferSize = 4096;
    static constexpr size_t kProgressCap = 16;

private:
    void ThreadMain();
    void Dispatch(uint16_t code);
    void Join();
    void DeclareLinkDead();
    void EndWork();
    void DeviceNull();
    void PortHungUp();
    void JoinThreadIfDone();
    bool RunRegistered(uint16_t code);
    uint16_t RunSubRequest(uint16_t code, uintptr_t type);

    // Command handlers (defined in the files of their families).
    void CmdGetInfo();
    void CmdPrefRead();
    void CmdGetService();
    void CmdUiEnable();
    void CmdSmsInfo2();
    void CmdPbookInfo();
    void CmdRuimStatus();
    void CmdRuimVerify(uint16_t type);
    uint16_t SubPrefHdrDrc();
    uint16_t SubPref1xDrc();
    uint16_t SubGetService();
    uint16_t SubRuimVerify(uintptr_t type);
    uint16_t SubPbookInfo(uintptr_t type);
    void DefaultSmsChecks(const StatusRecord& st);
    void WriteSmsCount(uint16_t count);
    // A new message came: the message line says so (unless a call is shown).
    void ShowNewMessage();
    void ShowSignal(int id, int32_t value, bool longLayout);
    void FinishChainUnavailable(const char* text);
    bool RetryWindowExpired(int64_t& since);

    IDmHost& m_host;
    IDmLink& m_link;
    DiscoverFn m_discover;
    IDmPollHooks* m_pollHooks = nullptr;
    std::map<uint16_t, CommandFn> m_commands;
    std::map<uint16_t, SubRequestFn> m_subRequests;

    std::thread m_thread;
    std::atomic<std::thread::id> m_engineThreadId{};
    std::atomic<bool> m_bThreadRunning{false};
    std::atomic<bool> m_bEndedByHangup{false};
    std::atomic<bool> m_bStopRequested{false};
    std::atomic<bool> m_bEndRefusesRinging{true};
    std::function<bool()> m_stopCheck;
    std::function<void(const PollSignal&)> m_signalSink;
    int64_t m_nStopWaitMs = kStopWaitMs;
    std::unique_ptr<CEvent> m_pDmWaitEvent;

    // Engine-thread state.
    int m_nErrorCount = 0;
    int16_t m_nPrevSmsCount = 0;
    uint16_t m_wPollSmsCount = 0;
    bool m_bEndNow = false;
    std::array<uint8_t, kReplyBufferSize> m_reply{};
    size_t m_replyLength = 0;
    std::string m_strProgress;
    int64_t m_nRetryWindowMs = 30000;
    int64_t m_tSmsInfoSince = 0;
    int64_t m_tPbookSince = 0;
    int64_t m_tCardSince = 0;
    int m_nWrittenSmsCount = -1;

    // Parking: the sub-request that owns the parked engine.
    std::atomic<uint64_t> m_parkOwner{0};
    std::atomic<uint64_t> m_parkTicket{0};
    std::atomic<std::thread::id> m_parkOwnerThread{};
    std::atomic<bool> m_bParkResumed{true};
};

// Settings file of the engine's keys.
inline constexpr const char* kMainIni = kIniDialer;

// The status display of a modem that is not there (the values the device
// watcher shows on removal): battery 1, no signal in both sets, no service,
// call 1, no SMS, connect and net 1, roaming 128, no diversity, no charge,
// data rate 128.
void ShowNoDeviceState(IDmHost& host);

// Pure mappings of the status poll and the start-up chain (unit-tested).
int BatteryLevel(const BattInfo& b);      // value for indicator 1040
int ChargeIndicator(uint16_t chgVal);     // value for 1128, or -1: unchanged
int OneXRateLevel(uint16_t rate);         // value for indicator 6
int HdrRateValue(uint8_t byte);           // the larger 4-bit half
// Signal in dBm of a status record field (kSignalNone: no signal, also for
// a level outside kSignalMinDbm..0, which is logged).
int SignalDbm(int32_t raw, bool longLayout);
inline constexpr int kSignalMinDbm = -150;
std::string DecodeMin(uint32_t min1, uint16_t min2);

// No phonebook of these modems holds more entries: a larger count is damaged.
inline constexpr int kPbEntriesMax = 1000;
// The in-use count of a phonebook information reply, taken only within the
// capacity the same reply reports (0: not reported) and kPbEntriesMax.
int PbCountInUse(uint16_t inUse, uint16_t capacity);

} // namespace kv
