// The AT exchange over the shared modem port (see AtChannel.h).
#include "net/AtChannel.h"

#include "log/DebugLog.h"
#include "net/AtReply.h"
#include "platform/Event.h"

#include <algorithm>

namespace kv {

namespace {
// Reads of the completion phase and of the stale-byte drain.
constexpr int kCompleteStepMs = 20;
constexpr int kReadChunk = 1024;
constexpr int kDrainLimit = 16 * 1024; // a chattering line cannot keep us here
} // namespace

bool CCommPortAt::RearmEventMask(uint16_t& mask)
{
    mask = m_port.Settings().eventMask;
    return m_port.ApplyEventMask() != 0;
}

int CCommPortAt::SendAtCommand(const std::string& text)
{
    return m_port.WriteBytes(reinterpret_cast<const uint8_t*>(text.data()), int(text.size()));
}

int CCommPortAt::ReadAtAnswer(uint8_t* buffer, int size)
{
    return m_port.ReadAvailable(buffer, size);
}

void CCommPortAt::Pause(int ms) { SleepMs(ms); }

AtExchangeResult AtExchange(IAtPort& port, const std::string& command, const AtReadPlan& plan,
                            std::string& answer, int lockWaitMs, int64_t deadlineMs)
{
    answer.clear();
    if (!port.IsOpen() || command.empty())
        return AtExchangeResult::NotWritten;
    // The time left before the deadline, and a pause cut to it; false when
    // none is left.
    auto left = [&]() -> int64_t {
        return deadlineMs == kNoDeadline ? INT64_MAX : std::max<int64_t>(0, deadlineMs - port.NowMs());
    };
    auto pause = [&](int ms) {
        const int64_t room = left();
        if (room <= 0)
            return false;
        port.Pause(int(std::min<int64_t>(ms, room)));
        return true;
    };
    bool owned = port.TryBeginExchange();
    for (int waited = 0; !owned && waited < lockWaitMs; waited += kExchangeLockStepMs) {
        if (!pause(kExchangeLockStepMs))
            break;
        owned = port.TryBeginExchange();
    }
    if (!owned)
        return AtExchangeResult::Busy;

    uint8_t chunk[kReadChunk];
    // Bytes already queued are not this command's answer (a late DIAG
    // answer, an event packet): take them off first.
    for (int drained = 0; drained < kDrainLimit;) {
        const int n = port.ReadAtAnswer(chunk, sizeof chunk);
        if (n <= 0)
            break;
        drained += n;
    }

    if (port.SendAtCommand(command) != int(command.size())) {
        port.EndExchange();
        DEBUG_LOG(LEVEL_ST, "at command write error");
        return AtExchangeResult::NotWritten;
    }
    std::string rx;
    for (int i = 0; i < plan.attempts && rx.empty(); ++i) {
        if (!pause(plan.waitMs))
            break;
        const int n = port.ReadAtAnswer(chunk, sizeof chunk);
        if (n > 0)
            rx.append(reinterpret_cast<const char*>(chunk), size_t(n));
    }
    // The first read may hold part of the answer: wait for the rest, so
    // none of it is left for the next DIAG transaction.
    for (int waited = 0; !rx.empty() && !HasFinalResult(rx) && waited < plan.completeMs;
         waited += kCompleteStepMs) {
        if (!pause(kCompleteStepMs))
            break;
        const int n = port.ReadAtAnswer(chunk, sizeof chunk);
        if (n > 0 && rx.size() < 4 * kReadChunk)
            rx.append(reinterpret_cast<const char*>(chunk), size_t(n));
    }
    port.EndExchange();
    // A DIAG transaction that waited for the port gets it before our next
    // exchange: the lock has no queue, and without this pause the UI thread
    // would take it again before the engine thread has woken up. Taken even
    // when the deadline has passed: the engine's turn matters more than 2 ms.
    port.Pause(kExchangeYieldMs);
    if (rx.empty())
        return AtExchangeResult::NoAnswer;
    answer = CleanAtAnswer(rx);
    return AtExchangeResult::Answered;
}

} // namespace kv
