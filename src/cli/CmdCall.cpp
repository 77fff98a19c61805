// "call": voice calls headless, as one script of steps run in order on one
// engine session (the session ends any call still running when it stops):
//   dial NUMBER   place a call and wait until it is answered
//   answer        wait for an incoming call and answer it
//   dtmf DIGITS   send DTMF digits during the call
//   wait SECONDS  keep the call for a while
//   hangup        end the call and wait until it is released
// Each event is printed as one line; the call leaves its history row in the
// database as it does from the window.
#include "cli/CliArgs.h"
#include "cli/CliBus.h"
#include "cli/CliOwnerWatch.h"
#include "cli/CliCommand.h"
#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "engine/DmCall.h"
#include "host/ArgChecks.h"
#include "log/DebugLog.h"
#include "messaging/MessagingSession.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using kv::CMessagingSession;
using kv::ModemState;

constexpr const char* kUsage =
    "usage: call [--timeout S] STEP... with STEP: dial NUMBER | answer | dtmf DIGITS | wait SECONDS | hangup";

struct Step {
    std::string verb;
    std::string arg;
};

class CallScript {
public:
    CallScript(CMessagingSession& s, int64_t timeoutMs) : m_s(s), m_timeoutMs(timeoutMs) {}

    int Run(const std::vector<Step>& steps)
    {
        ModemState& st = m_s.Host().State();
        st.m_nActiveView = kv::VIEW_DIAL_PAD; // keys go to the modem as from the dial pad
        st.m_ucUiFlags |= kv::UIF_PB_RUIM_LOADED | kv::UIF_PB_MEMORY_LOADED;
        for (const Step& step : steps) {
            int rc = kvcli::kExitOk;
            if (step.verb == "dial")
                rc = Dial(step.arg);
            else if (step.verb == "answer")
                rc = Answer();
            else if (step.verb == "dtmf")
                rc = Dtmf(step.arg);
            else if (step.verb == "wait")
                rc = Wait(kvcli::ParseNumber(step.arg, 0, 999999).value_or(0) * 1000);
            else if (step.verb == "hangup")
                rc = Hangup();
            if (rc != kvcli::kExitOk)
                return rc;
        }
        return kvcli::kExitOk;
    }

private:
    ModemState& St() { return m_s.Host().State(); }
    // Without a usable card the phase stays at its start-up value: only the
    // two call phases mean a call.
    bool InCall()
    {
        const uint16_t p = St().m_wUiPhase.load();
        return p == kv::UI_PHASE_INCOMING || p == kv::UI_PHASE_OUTGOING;
    }
    bool Connected() { return St().m_ucLastCallState.load() == kv::CALL_STATE_CONVERSATION; }
    // The engine ends when the modem stops answering (unplugged): every wait
    // below ends with it.
    bool Gone() { return !m_s.Engine().ThreadRunning(); }
    bool Until(const std::function<bool()>& pred, int64_t ms)
    {
        const auto done = [&] { return pred() || Gone(); };
        return (m_s.Host().RunUntil(done, ms) || done()) && pred();
    }
    int Fail(const std::string& what) { return kvcli::Fail(kvcli::kExitFailure, what); }
    int ModemGone()
    {
        return kvcli::Fail(kvcli::kExitNoDevice, "the modem went away (unplugged or no longer answering)");
    }
    void Event(const std::string& text)
    {
        std::string line = text;
        for (char& c : line)
            if (c == '\n')
                c = ' ';
        // The caller's number and name come from the network.
        std::printf("%s\n", kvcli::Shown(line).c_str());
        std::fflush(stdout);
    }

    int Dial(const std::string& number)
    {
        if (Gone())
            return ModemGone();
        if (InCall())
            return Fail("a call is already in progress");
        if (kv::QueueDial(m_s.Engine(), number) == 0)
            return Gone() ? ModemGone() : Fail("the call was refused (a data connection is up)");
        const auto refused = [&] { return m_s.Host().MessageLine().find("No Emergency") != std::string::npos; };
        if (!Until([&] { return InCall() || refused(); }, m_timeoutMs) || !InCall()) {
            if (Gone())
                return ModemGone();
            if (refused())
                return Fail("without a usable card only the emergency numbers 911, 100, 101 and 102 are dialled");
            return Fail("the call was not placed");
        }
        Event("dialling " + number);
        if (!Until([&] { return Connected() || !InCall(); }, m_timeoutMs) || !Connected())
            return Gone() ? ModemGone() : Fail("the call was not answered");
        Event("connected");
        return kvcli::kExitOk;
    }

    int Answer()
    {
        if (!Until([&] { return St().m_wUiPhase.load() == kv::UI_PHASE_INCOMING
                                && St().m_ucLastCallState.load() == kv::CALL_STATE_RINGING; },
                   m_timeoutMs))
            return Gone() ? ModemGone() : Fail("no incoming call");
        Event("ringing " + m_s.Host().MessageLine());
        if (kv::QueueCallKey(m_s.Engine(), kv::CALL_KEY_SEND) == 0 && Gone())
            return ModemGone();
        if (!Until([&] { return Connected() || !InCall(); }, m_timeoutMs) || !Connected())
            return Gone() ? ModemGone() : Fail("the call could not be answered");
        Event("connected");
        return kvcli::kExitOk;
    }

    int Dtmf(const std::string& digits)
    {
        if (Gone())
            return ModemGone();
        if (!Connected())
            return Fail("no call to send digits to");
        for (char c : digits) {
            kv::QueueCallKey(m_s.Engine(), c);
            if (!Until([&] { return St().m_call.KeysEmpty(); }, m_timeoutMs))
                return Gone() ? ModemGone() : Fail("a key was not sent");
            m_s.Host().PumpFor(100);
        }
        Event("sent dtmf " + digits);
        return kvcli::kExitOk;
    }

    // With a call: keeps it up to ms, returning early when the far end ends
    // it. Without one: waits up to ms for a call to come in.
    int Wait(int64_t ms)
    {
        if (Gone())
            return ModemGone();
        if (!InCall()) {
            if (Until([&] { return InCall(); }, ms))
                Event("incoming call " + m_s.Host().MessageLine());
            return Gone() ? ModemGone() : kvcli::kExitOk;
        }
        const bool ended = Until([&] { return !InCall(); }, ms);
        if (Gone())
            return ModemGone();
        if (ended)
            Event("ended by the far end");
        return kvcli::kExitOk;
    }

    int Hangup()
    {
        if (Gone())
            return ModemGone();
        if (InCall()) {
            if (kv::QueueCallKey(m_s.Engine(), kv::CALL_KEY_END) == 0 && Gone())
                return ModemGone();
            if (!Until([&] { return !InCall(); }, m_timeoutMs))
                return Gone() ? ModemGone() : Fail("the call did not end");
        }
        Event("ended");
        // The history row comes with the poll after the release.
        m_s.Host().PumpFor(600);
        return kvcli::kExitOk;
    }

    CMessagingSession& m_s;
    int64_t m_timeoutMs;
};

// The same script through the owner of the modem on the session bus: the
// steps are its methods, the waits follow its CallState and call signals.
class OwnerCallScript {
public:
    OwnerCallScript(kvcli::OwnerBus& bus, kvcli::OwnerWatch& watch, int64_t timeoutMs)
        : m_bus(bus), m_w(watch), m_timeoutMs(timeoutMs)
    {
    }

    int Run(const std::vector<Step>& steps)
    {
        int rc = kvcli::kExitOk;
        for (const Step& step : steps) {
            if (step.verb == "dial")
                rc = Dial(step.arg);
            else if (step.verb == "answer")
                rc = Answer();
            else if (step.verb == "dtmf")
                rc = Dtmf(step.arg);
            else if (step.verb == "wait")
                rc = Wait(kvcli::ParseNumber(step.arg, 0, 999999).value_or(0) * 1000);
            else if (step.verb == "hangup")
                rc = Hangup();
            if (rc != kvcli::kExitOk)
                break;
        }
        // As the command's own session would on its way out: a call still
        // up ends with the script.
        if (!m_w.OwnerGone() && State() != "idle" && m_took) {
            kvcli::BusMessage reply;
            m_bus.Call("Hangup", kvcli::kBusCallMs, reply);
        }
        return rc;
    }

private:
    std::string State() const { return m_w.Text("CallState"); }
    bool InCall() const { return State() == "incoming" || State() == "dialing" || State() == "active"; }
    bool Connected() const { return State() == "active"; }
    int Fail(const std::string& what) { return kvcli::Fail(kvcli::kExitFailure, what); }
    int OwnerGone() { return kvcli::Fail(kvcli::kExitNoDevice, "Korvianet (the owner of the modem) left the session bus"); }
    bool Until(const std::function<bool()>& pred, int64_t ms) { return m_w.Until(pred, ms); }
    void Event(const std::string& text)
    {
        std::printf("%s\n", kvcli::Shown(text).c_str());
        std::fflush(stdout);
    }
    std::string Caller() const
    {
        const std::string name = m_w.Text("CallName"), number = m_w.Text("CallNumber");
        return name.empty() ? number : name + " " + number;
    }
    int Method(const char* name, const char* types = nullptr, const char* arg = nullptr)
    {
        kvcli::BusMessage reply;
        return types ? m_bus.Call(name, kvcli::kBusCallMs, reply, types, arg) : m_bus.Call(name, kvcli::kBusCallMs, reply);
    }

    int Dial(const std::string& number)
    {
        if (InCall())
            return Fail("a call is already in progress");
        if (const int st = Method("Dial", "s", number.c_str()); st != kvcli::kExitOk)
            return st;
        m_took = true;
        if (!Until([&] { return InCall(); }, m_timeoutMs))
            return m_w.OwnerGone() ? OwnerGone() : Fail("the call was not placed");
        Event("dialling " + number);
        if (!Until([&] { return Connected() || !InCall(); }, m_timeoutMs) || !Connected())
            return m_w.OwnerGone() ? OwnerGone() : Fail("the call was not answered");
        Event("connected");
        return kvcli::kExitOk;
    }

    int Answer()
    {
        if (!Until([&] { return State() == "incoming"; }, m_timeoutMs))
            return m_w.OwnerGone() ? OwnerGone() : Fail("no incoming call");
        Event("ringing " + Caller());
        if (const int st = Method("Answer"); st != kvcli::kExitOk)
            return st;
        m_took = true;
        if (!Until([&] { return Connected() || !InCall(); }, m_timeoutMs) || !Connected())
            return m_w.OwnerGone() ? OwnerGone() : Fail("the call could not be answered");
        Event("connected");
        return kvcli::kExitOk;
    }

    int Dtmf(const std::string& digits)
    {
        if (!Connected())
            return Fail("no call to send digits to");
        if (const int st = Method("SendDtmf", "s", digits.c_str()); st != kvcli::kExitOk)
            return st;
        Event("sent dtmf " + digits);
        return kvcli::kExitOk;
    }

    int Wait(int64_t ms)
    {
        if (!InCall()) {
            if (Until([&] { return InCall(); }, ms))
                Event("incoming call " + Caller());
            return m_w.OwnerGone() ? OwnerGone() : kvcli::kExitOk;
        }
        const bool ended = Until([&] { return !InCall(); }, ms);
        if (m_w.OwnerGone())
            return OwnerGone();
        if (ended)
            Event("ended by the far end");
        return kvcli::kExitOk;
    }

    int Hangup()
    {
        if (InCall()) {
            if (const int st = Method("Hangup"); st != kvcli::kExitOk)
                return st;
            if (!Until([&] { return !InCall(); }, m_timeoutMs))
                return m_w.OwnerGone() ? OwnerGone() : Fail("the call did not end");
        }
        Event("ended");
        return kvcli::kExitOk;
    }

    kvcli::OwnerBus& m_bus;
    kvcli::OwnerWatch& m_w;
    int64_t m_timeoutMs;
    bool m_took = false; // this script placed or answered a call
};

int RunCall(const kvcli::GlobalOptions& opts, const std::vector<std::string>& args)
{
    int64_t timeoutMs = 30000;
    std::vector<Step> steps;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--timeout" && i + 1 < args.size()) {
            // A day is more than any call step waits for.
            const auto seconds = kvcli::ParseNumber(args[++i], 1, 86400);
            if (!seconds)
                return kvcli::UsageError("--timeout '" + kvcli::Shown(args[i]) + "' is not a number of seconds");
            timeoutMs = *seconds * 1000;
        } else if (a == "dial" || a == "dtmf" || a == "wait") {
            if (i + 1 >= args.size())
                return kvcli::UsageError(a + " needs an argument; " + kUsage);
            const std::string& v = args[++i];
            if (const std::string why = a == "dial" ? kv::DialStringProblem(v) : std::string(); !why.empty())
                return kvcli::UsageError(why);
            if (const std::string why = a == "dtmf" ? kv::DtmfProblem(v) : std::string(); !why.empty())
                return kvcli::UsageError(why);
            if (a == "wait" && (v.empty() || v.find_first_not_of("0123456789") != std::string::npos || v.size() > 6))
                return kvcli::UsageError("SECONDS '" + kvcli::Shown(v) + "' is not a number of seconds");
            steps.push_back({a, v});
        } else if (a == "answer" || a == "hangup") {
            steps.push_back({a, {}});
        } else {
            return kvcli::UsageError("unknown step '" + kvcli::Shown(a) + "'; " + kUsage);
        }
    }
    if (steps.empty())
        return kvcli::UsageError(kUsage);
    if (auto bus = kvcli::OwnerBus::Find()) {
        kvcli::OwnerWatch watch(*bus);
        if (const int st = watch.Start(); st != kvcli::kExitOk)
            return st;
        return OwnerCallScript(*bus, watch, timeoutMs).Run(steps);
    }

    // Start-up stops at the card when there is no usable one: emergency
    // numbers are still dialled then.
    int status = kvcli::kExitOk;
    auto s = kvcli::OpenSession(opts, false, status, true,
                                [](CMessagingSession& session) { session.Engine().SetEndRefusesRingingCall(false); });
    if (!s)
        return status;
    const int rc = CallScript(*s, timeoutMs).Run(steps);
    s->Stop(); // ends a call still running
    return rc;
}

} // namespace

KV_CLI_COMMAND("call", "call [--timeout S] STEP...  (dial NUMBER | answer | dtmf DIGITS | wait SECONDS | hangup)",
               "voice calls as one script of steps: place a call, wait for and answer one, send DTMF\n"
               "      digits, keep the call, end it; NUMBER: digits, *, #, a leading +, p for a pause\n"
               "      (at most 30); the session ends a call still running when the steps are done",
               RunCall);
