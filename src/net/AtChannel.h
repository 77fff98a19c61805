// The AT exchange on the modem port that the DIAG link also uses.
//
// Separation from the DIAG link: every exchange (drain what is stale, write
// the command, read the answer until its final result line) runs inside the
// port's exchange lock, the lock every DIAG transaction holds. The UI thread
// never blocks on it: it tries for a short, bounded time and skips the
// exchange when the DM engine keeps the port busy. An exchange also reads
// the answers of commands whose answer it does not need, so no AT text is
// left on the line for the next DIAG transaction, and cleans what it read
// (CleanAtAnswer), so no DIAG bytes end up in an answer.
#pragma once

#include "link/CommPort.h"
#include "platform/Event.h"

#include <cstdint>
#include <string>

namespace kv {

// The port as the AT path needs it. CCommPortAt puts it over CCommPort;
// tests may script one.
class IAtPort {
public:
    virtual ~IAtPort() = default;
    virtual bool IsOpen() const = 0;
    virtual bool TryBeginExchange() = 0;
    virtual void EndExchange() = 0;
    // Applies the port's configured event mask again (ending the reader's
    // pending wait) and reports it. False when it cannot be applied.
    virtual bool RearmEventMask(uint16_t& mask) = 0;
    // One write of the whole text; the bytes written.
    virtual int SendAtCommand(const std::string& text) = 0;
    // What the port holds, at most size bytes, without waiting; 0 on a line
    // error or when nothing is queued.
    virtual int ReadAtAnswer(uint8_t* buffer, int size) = 0;
    virtual void Pause(int ms) = 0;
    // The clock the deadlines of an exchange are measured on (ms); a
    // scripted port that pauses in virtual time gives its own.
    virtual int64_t NowMs() { return TickMs(); }
};

class CCommPortAt : public IAtPort {
public:
    explicit CCommPortAt(CCommPort& port) : m_port(port) {}
    bool IsOpen() const override { return m_port.IsOpen(); }
    bool TryBeginExchange() override { return m_port.TryBeginExchange(); }
    void EndExchange() override { m_port.EndExchange(); }
    bool RearmEventMask(uint16_t& mask) override;
    int SendAtCommand(const std::string& text) override;
    int ReadAtAnswer(uint8_t* buffer, int size) override;
    void Pause(int ms) override;

private:
    CCommPort& m_port;
};

// How an exchange reads: attempts × (pause, read), stopping at the first
// read that returned data; then, within completeMs, further reads until the
// answer holds its final result line.
struct AtReadPlan {
    int attempts = 3;
    int waitMs = 100;
    int completeMs = 400;
};

inline constexpr AtReadPlan kSignalReadPlan{3, 50, 400};
inline constexpr AtReadPlan kQueryReadPlan{3, 100, 400};
inline constexpr AtReadPlan kSettingsReadPlan{5, 500, 500};
// Commands whose answer only has to be taken off the line.
inline constexpr AtReadPlan kDiscardReadPlan{3, 100, 400};
// How long the UI thread tries for the exchange lock.
inline constexpr int kExchangeLockWaitMs = 250;
inline constexpr int kExchangeLockStepMs = 5;
// Pause after each exchange, so that a waiting DIAG transaction goes first.
inline constexpr int kExchangeYieldMs = 2;
// No deadline: the exchange runs its whole plan.
inline constexpr int64_t kNoDeadline = INT64_MAX;

enum class AtExchangeResult {
    Answered,   // answer holds the cleaned answer
    NoAnswer,   // written, nothing came back within the plan
    NotWritten, // port closed or the write failed
    Busy,       // the DIAG link kept the port for the whole lock wait
};

// One exchange (see above). answer is emptied first. Every wait of it (the
// lock, the reads, the completion) ends at deadlineMs on port.NowMs(): what
// has arrived by then is the answer, and the rest is drained by the next
// exchange before its command.
AtExchangeResult AtExchange(IAtPort& port, const std::string& command, const AtReadPlan& plan,
                            std::string& answer, int lockWaitMs = kExchangeLockWaitMs,
                            int64_t deadlineMs = kNoDeadline);

} // namespace kv
