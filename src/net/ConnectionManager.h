// The connection manager: the data connection over the modem. It keeps the
// dial-up entry in step with the modem and the settings, turns Net Connect
// and Net Disconnect into requests, and runs the requests on the RAS monitor
// thread, which dials, checks the live connection every half second, shows
// its duration, adopts a connection another dialler made over the modem,
// never reconnects by itself, and hands the counters of every ended
// connection to the traffic statistics.
//
// The manager reaches the window only through the host (IDmHost): the Qt
// main window and the headless host of the command-line tool serve the same
// manager. The monitor thread's host calls wait for the UI thread, so every
// wait for the thread on the UI thread pumps (host.WaitPumping).
#pragma once

#include "engine/DmHost.h"
#include "platform/Event.h"
#include "net/RasClient.h"
#include "net/RasCodes.h"
#include "net/Reconnect.h"
#include "traffic/SessionJournal.h"
#include "traffic/TrafficStats.h"

#include <atomic>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kvnet {

// Window parts the manager uses beyond the host; each may be left empty.
struct ConnectionUi {
    std::function<bool()> dialPadShown;
    std::function<std::string()> dialPadNumber;
    std::function<void()> clearDialPadNumber;
    std::function<void()> focusDialPad;
    std::function<void()> showStatusPanel;
    // The AT path's IMSI text ("" when none is known).
    std::function<std::string()> imsi;
    // Where an ended connection's counters go (the traffic files by default).
    std::function<bool(const kvtraffic::TrafficRecord&)> appendTraffic;
    // Makes and initialises a client; nullptr when that fails. Default: a
    // CRasClient over the process-wide dial-up service.
    std::function<std::unique_ptr<CRasClient>()> makeClient;
    // Pulses the device presence watcher's removal event when it is
    // handling a removal (the thread's end and the stop).
    std::function<void()> pulseRemoval;
    // The running session's journal: its counters every intervalMs, so a
    // crash loses at most that much. Left empty, the manager keeps one in the
    // user data folder when the records go to the traffic files
    // (appendTraffic left empty too), and none otherwise.
    std::shared_ptr<kvtraffic::CSessionJournal> journal;
    int64_t journalIntervalMs = 0; // 0: JournalIntervalSeconds()
    // Reconnecting after a lost link (the user's setting, read at each loss;
    // default: the settings file) and the pauses before each attempt
    // (default: 5, 10, 30, then 60 s).
    std::function<bool()> reconnectEnabled;
    std::vector<int64_t> reconnectDelaysMs;
    // The usage meter: the running session's counters after each statistics
    // read (true asks for a hang-up, the quota being reached), their restart
    // from zero (a session begins, a traffic reset) and the session's end.
    // confirmDial, asked before Net Connect dials, may refuse the dial.
    std::function<bool(uint32_t received, uint32_t sent, uint32_t durationMs)> countersRead;
    std::function<void()> countersCleared;
    std::function<void()> sessionEnded;
    std::function<bool()> confirmDial;
    // Whether the modem is there to dial over (default: the engine has not
    // reported it gone).
    std::function<bool()> modemPresent;
};

// The duration line's text: "%02d:%02d:%02d" (hours modulo 24) or, when the
// connection has lasted a day or more, "%02d)%02d:%02d:%02d" with the days
// first.
std::string FormatDuration(uint32_t connectDurationMs, uint32_t durationMs);
// Whether a message-line text puts something on the line's first row, where
// the duration line (which shares the message line's place) draws. The
// resting texts ("\nKorvia", " ") leave it free; dial texts do not.
bool TextTakesFirstLine(const std::string& text);
// The dial string of Net Connect: "#777" for a CDMA card ("46003" in the
// IMSI, or no IMSI while the modem reports CDMA service, system mode 2 or 4),
// else "*99#".
bool IsCdmaDial(const std::string& imsi, uint8_t sysMode);

class CConnectionManager {
public:
    CConnectionManager(kv::IDmHost& host, ConnectionUi ui = {});
    ~CConnectionManager();
    CConnectionManager(const CConnectionManager&) = delete;
    CConnectionManager& operator=(const CConnectionManager&) = delete;

    // User name, password and dial string from the settings.
    void ReadAccount();
    void SetAccount(const std::string& user, const std::string& password, const std::string& dialString);

    // Window initialisation: create and initialise the client; on success
    // create the entry, hide Net Disconnect, start the thread looking.
    // False when the client cannot be created (Net Disconnect is hidden
    // then too, and Net Connect disabled).
    bool Start();
    // Timer 114 after the modem came back: a new client (its dial-up
    // service chosen by the modem now there), an empty queue, state 4, a new
    // event, the thread started again (a previous one is waited for first).
    void RestartThread();
    // Close procedure: stop the thread (request 240, pumping until
    // m_nRasState is 0, bounded), empty the queue, release the event.
    void StopThread(int64_t timeoutMs = 30000);
    // Window destruction: the stop again, then the client unloaded.
    void Shutdown();

    // Buttons 1000, 1001 (UI thread) and 1075.
    void NetConnect();
    void NetDisconnect();
    bool CreateDialUpEntry();
    // Why the entry is not ready (Ready when it is).
    enum class EntryOutcome { Ready, NoClient, NoModem, Failed };
    EntryOutcome MakeDialUpEntry();

    // The request queue.
    bool RasRequest(uint8_t code, bool atFront);
    void RasRequestRemove(uint8_t code);
    bool RasRequestPending(uint8_t code) const;
    size_t RasRequestCount() const;

    // What the window, the settings page and tests look at.
    bool HasClient() const { return m_bClientReady.load(); }
    bool ThreadRunning() const { return m_bThreadAlive.load(); }
    uint8_t State() const { return m_host.State().m_nRasState.load(); }
    int FailCount() const { return m_nRasFailCount.load(); }
    uint8_t ConnectionFlags() const { return m_ucConnFlags.load(); }
    uint32_t Duration() const { return m_dwDuration.load(); }
    uint32_t ReceivedBytes() const { return m_dwRxBytes.load(); }
    uint32_t SentBytes() const { return m_dwTxBytes.load(); }
    std::time_t LastChange() const { return m_tLastChange.load(); }
    std::string DurationText() const;
    std::string EntryErrorText() const;
    std::string DialString() const;
    std::string DeviceName() const;
    // A lost link will be dialled again (or is being dialled now).
    bool ReconnectPending() const { return m_reconnect.Armed(); }
    int ReconnectAttempts() const { return m_reconnect.Attempts(); }

    // Suspend and resume (SleepResume.cpp; any thread, never waiting).
    // A session is up or being dialled, or a lost link waits to be dialled
    // again: what a sleep would take from the user.
    bool SessionWanted() const;
    // Before sleep: such a session's hang-up is queued ahead of everything
    // (its record appended as at Net Disconnect) and it is remembered for
    // the resume. False when there was none.
    bool SleepHangUp();
    // The hang-up SleepHangUp queued is done (or the thread has ended).
    bool SleepHangUpDone() const;
    // After the resume: true when the session hung up for the sleep is to
    // be dialled again; the monitor thread dials it once the modem is
    // there (within kResumeDialWaitMs of the resume).
    bool ResumeAfterSleep();
    bool SleepDialPending() const { return m_nSleepDial.load() != kSleepDialNone; }
    static constexpr int64_t kResumeDialWaitMs = 120000;

private:
    void ThreadMain();
    // Empty queue, state 4, the event armed, the thread started.
    void StartLoop();
    // One pass of each request; false ends the thread.
    void DoConnect();
    void DoMonitor();
    void DoLook();
    bool DoDisconnect(uint8_t code);
    void DoReset();
    bool DialUp();
    bool RecreateClient();
    void LostCheck();
    void AppendRecord();
    void SetDurationText(const std::string& text);
    // Draws the duration of the last statistics read, unless the dial's
    // closing text still holds the place the two lines share.
    void ShowDuration();
    void SetEntryError(const std::string& text);
    // A failed dial's text: the message box, and the message line after the
    // disconnect that follows (monitor thread only).
    void ReportDialFailure(const std::string& text);
    void NoteChange() { m_tLastChange = std::time(nullptr); }
    bool EventAlive() const { return m_bEventAlive.load(); }
    bool DialPadShown() const { return m_ui.dialPadShown && m_ui.dialPadShown(); }
    void JoinThread();
    // The session journal (SessionCheckpoint.cpp) and the reconnect after a
    // lost link (Reconnect.cpp); monitor thread.
    void BeginJournal();
    void CheckpointJournal();
    void ClearJournal();
    void EndJournal();
    // The usage meter's side of the same path (SessionCheckpoint.cpp).
    void MeterCounters();
    void MeterCleared();
    void NoteLinkLost();
    void NoteDisconnected(uint8_t code);
    void NoteConnected(bool ok);
    bool MaybeReconnect();
    bool MaybeResumeDial();
    // Whether a dial the user did not press for may start now (the modem
    // there, the card ready, no call being set up), and its steps.
    bool CanDialByItself() const;
    void QueueDial();

    kv::IDmHost& m_host;
    ConnectionUi m_ui;

    // The client: replaced only by the monitor thread (and Start/Shutdown
    // when it is not running); the UI thread uses it under m_clientLock and
    // only while m_bClientReady.
    mutable std::mutex m_clientLock;
    std::unique_ptr<CRasClient> m_pClient;
    std::atomic<bool> m_bClientReady{false};

    mutable std::mutex m_queueLock;
    std::deque<uint8_t> m_RasRequests;

    std::atomic<int> m_nRasFailCount{0};
    std::atomic<uint8_t> m_ucConnFlags{0};
    std::atomic<uint32_t> m_dwDuration{0};
    std::atomic<uint32_t> m_dwBaseline{0};
    std::atomic<uint32_t> m_dwRxBytes{0};
    std::atomic<uint32_t> m_dwTxBytes{0};
    std::atomic<uint32_t> m_dwConnectDuration{0}; // of the last statistics read
    std::atomic<std::time_t> m_tLastChange{0};

    std::string m_strDialFailure; // monitor thread only

    mutable std::mutex m_textLock;
    std::string m_strEntryError;
    std::string m_strDurationText;
    std::string m_strDeviceName;
    std::string m_strUserName, m_strPassword, m_strDialString;

    // Monitor thread state.
    std::thread m_thread;
    std::atomic<bool> m_bThreadAlive{false};
    std::atomic<bool> m_bEventAlive{false};
    kv::CEvent m_rasEvent{true, false};
    bool m_bConnected = false;            // monitor thread only
    int64_t m_tDialTextSince = 0;         // monitor thread only: the dial's last text went up (0: handed over)
    std::unique_ptr<RasStats> m_pStats;   // monitor thread only
    int64_t m_tLastCheckpoint = 0;        // monitor thread only: 0 none since the session (or reset) began
    bool m_bLinkLost = false;             // monitor thread only: the disconnect queued was a lost link's
    CReconnectPlan m_reconnect;
    // A session hung up for a sleep: none, asleep (hung up), resumed (due).
    enum : int { kSleepDialNone, kSleepDialAsleep, kSleepDialDue };
    std::atomic<int> m_nSleepDial{kSleepDialNone};
    std::atomic<int64_t> m_tResumedAt{0};
};

} // namespace kvnet
