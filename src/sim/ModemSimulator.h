// The modem simulator: a pseudo-terminal that behaves like the modem's
// diagnostic port. It answers every DIAG request and the AT commands from a
// stateful ModemModel, sends unsolicited log and event packets between
// answers as real modems do, registers itself as a modem of the current
// driver (so port discovery finds it) and can be driven through scenarios:
// calls, messages, signal, card, unplug and replug, silence and line faults.
// With Options::dataPort it also serves the modem's data interface on a
// second pty (SimDataPort), where a dialler's chat script gets its CONNECT.
//
// In-process use (integration tests):
//
//     kv::sim::ModemSimulator sim;            // demo state, registered
//     ASSERT_TRUE(sim.Start());
//     std::string tty = sim.SlavePath();      // "/dev/pts/7"
//     std::string com = sim.DevicePath();     // "<settings>/dosdevices/com3"
//     sim.Command("call 6195550199 Alice");   // an incoming call
//     sim.WaitFor([](ModemModel& m) { return m.call.State(true) == 134; }, 10000);
//     sim.WithModel([](ModemModel& m) { m.battVal = 3400; });
//     sim.Stop();                             // also done by the destructor
//
// Registration goes to the settings folder of the process (SettingsDir(),
// i.e. $KORVIANET_CONFIG_DIR in tests). One thread serves the pty: it blocks
// in poll() on the pty and a wake-up pipe, with a time-out only when a timed
// step (a delayed answer, an unsolicited packet, a call progressing) is due.
//
// Control language (Command(), the program's stdin and its --control
// socket; one command per line, the reply is zero or more lines followed by
// "OK" or "ERR <why>"):
//
//   help                          list the commands
//   state                         the model in key=value lines
//   call NUMBER [NAME...]         an incoming call (call waiting during a call)
//   call-restricted | call-unavailable   an incoming call without a number
//   answer                        the far end answers our outgoing call
//   hangup                        the far end hangs up (a ringing call is missed)
//   sms NUMBER TEXT...            a new message into the modem's memory
//   sms-ruim NUMBER TEXT...       a new message onto the card
//   voicemail N                   voice-mail notification with N messages
//   signal DBM_1X [DBM_EVDO]      signal strengths in dBm
//   service on|off|1x|evdo|hybrid network service and system selection
//   roaming 0|1|2
//   battery MILLIVOLTS [CHARGER]  battery voltage and charger state (0..6)
//   card absent|invalid|present|pin-locked|puk-locked|unlocked
//   pin CODE | puk CODE           the card's codes
//   layout short|long             status record layout (bit 7 of service mode)
//   imsi DIGITS [prefixed|plain]  the card's IMSI; its AT+CIMI answer with or
//                                 without the "+CIMI: " prefix
//   apn-log                       every APN set by AT+CGDCONT, in order
//   send-report N                 report value of the next sent message (0 delivered)
//   report-delay MS               time until the delivery report is ready
//   unplug | replug | replug-after MS   the modem leaves (and comes back)
//   silent on|off                 stop / resume answering
//   drop                          the data link over the modem goes down (the
//                                 simulated dial-up service of every program
//                                 using this settings folder sees it)
//   no-carrier                    the data interface loses the carrier: a call
//                                 on it ends with NO CARRIER; without a call,
//                                 the next dial is answered NO CARRIER
//   garbage N                     N random bytes on the line now
//   garbage-next N                N random bytes before the next answer
//   delay MS [COUNT]              hold answers back (COUNT answers, default all)
//   split MS [COUNT]              write answers in two parts MS apart
//   bad-fcs [COUNT]               answers with a broken FCS (default 1)
//   half-packet [COUNT]           half a packet after the answer (default 1)
//   noise-before [COUNT]          an unsolicited packet just before the answer
//   unsolicited on|off|MS         periodic log/event packets (period in ms)
//   list-sms [memory|ruim]        "slot tag time number text" lines
//   pb-count memory|ruim IN_USE [CAPACITY]   the phonebook's information reply
//                                 reports these counts ("real": the truth again)
//   pb-rewind on|off              whether the information request starts the
//                                 phonebook read over (off: reads go on where
//                                 they were and start over after the last entry)
//   pb-lose memory|ruim N [AFTER] after AFTER answered phonebook reads, the next N
//                                 are taken (the position moves) but never answered
//   pb-lose-delete memory|ruim N  the next N phonebook deletes are carried out
//                                 but never answered
//   list-pb [memory|ruim]         "index number name" lines
//   sent                          messages the modem sent
//   calls                         call history and DTMF keys
//   empty                         remove every message and phonebook entry
//   quit                          (program only) stop the simulator
#pragma once

#include "sim/ModemModel.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace kv::sim {

class ModemSimulator {
public:
    struct Options {
        bool registerDevice = true;   // write the registry keys and the dosdevices link
        bool demoState = true;        // seed messages, contacts, signal, battery
        bool pinLocked = false;       // the card asks for its PIN
        int unsolicitedPeriodMs = 4000; // 0: no periodic packets
        int comNumber = 0;            // 0: the lowest free number
        bool dataPort = false;        // also serve the data interface (SimDataPort)
        uint32_t seed = 1;            // randomness of garbage and packets
    };

    ModemSimulator();
    explicit ModemSimulator(const Options& options);
    ~ModemSimulator();
    ModemSimulator(const ModemSimulator&) = delete;
    ModemSimulator& operator=(const ModemSimulator&) = delete;

    // Opens the pty, registers it and starts serving. False on failure.
    bool Start();
    // Stops serving, unregisters and closes the pty. Safe to call twice.
    void Stop();
    bool Running() const;

    // The pty's slave side ("/dev/pts/N"); "" while unplugged.
    std::string SlavePath() const;
    // The dosdevices link when registered, else the slave path.
    std::string DevicePath() const;
    int ComNumber() const;
    bool Plugged() const;
    // The data interface (with Options::dataPort): its pty, its dosdevices
    // link ("" while unplugged) and its COM number. It comes and goes with
    // the diagnostic port.
    std::string DataSlavePath() const;
    std::string DataDevicePath() const;
    int DataComNumber() const;

    // One control command (language above). The reply ends with "OK\n" or
    // "ERR ...\n".
    std::string Command(const std::string& line);
    // Unplug: unregister and close the pty. Replug: a new pty, registered
    // again on the same COM number. Both wait until done.
    bool Unplug();
    bool Replug();

    // Runs f on the model under the simulator's lock.
    template <class F>
    auto WithModel(F&& f)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return f(m_model);
    }
    // Waits until pred(model) holds (checked after every answer and state
    // change) or timeoutMs passes. True when it held.
    bool WaitFor(const std::function<bool(ModemModel&)>& pred, int timeoutMs);
    // Requests answered so far, and requests received (answered or not).
    uint64_t Answered() const;
    uint64_t Received() const;

private:
    struct Outgoing {
        int64_t dueMs;
        std::vector<uint8_t> bytes;
    };

    bool OpenPty();        // loop thread or before it starts
    void ClosePty();
    bool PlugIn(); // a new pty, registered; then Plugged()
    void Loop();
    void Wake();
    void OnBytes(const uint8_t* data, size_t len, int64_t now);
    void OnDiagPiece(const uint8_t* piece, size_t len, int64_t now);
    void OnAtLine(const std::string& line, int64_t now);
    void QueueAnswer(std::vector<uint8_t> frame, int64_t now);
    void Queue(std::vector<uint8_t> bytes, int64_t due);
    void FlushDue(int64_t now);
    int64_t NextTimeout(int64_t now) const;
    std::vector<uint8_t> UnsolicitedFrame();
    std::vector<uint8_t> Garbage(size_t n);
    void RunOnLoop(std::function<void()> fn);
    std::string Exec(const std::vector<std::string>& words, const std::string& line);

    Options m_opt;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    ModemModel m_model;
    class SimRegistration* m_reg = nullptr;
    class SimDataPort* m_data = nullptr;

    std::thread m_thread;
    bool m_running = false;
    bool m_stop = false;
    int m_wake[2] = {-1, -1};
    int m_master = -1;
    bool m_hangup = false;  // nobody has the slave open
    bool m_plugged = false;
    std::string m_slave;
    std::vector<uint8_t> m_rx;
    std::deque<Outgoing> m_out;
    std::deque<std::function<void()>> m_tasks;
    uint64_t m_answered = 0;
    uint64_t m_received = 0;
    int64_t m_nextUnsolicited = -1;
    int64_t m_replugAt = -1;
    std::mt19937 m_rng;

    // scenario switches
    bool m_silent = false;
    int64_t m_delayMs = 0;
    int m_delayCount = 0;    // answers still to delay; -1 all
    int64_t m_splitMs = 0;
    int m_splitCount = 0;
    int m_badFcs = 0;
    int m_halfPacket = 0;
    int m_noiseBefore = 0;
    size_t m_garbageNext = 0;
    uint32_t m_packetSeq = 0;
};

} // namespace kv::sim
