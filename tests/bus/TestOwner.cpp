// A stand-in owner of the modem for the bus tests: hosts CBusService on the
// bus given with --address, with a hub the test changes and scripted
// actions, all driven by lines on standard input:
//   set PROPERTY VALUE       changes the hub's snapshot (the bus's names)
//   event KIND ARG...        publishes an event (arguments as the signal's)
//   fail METHOD ERROR TEXT   METHOD answers with OwnerError ERROR and TEXT
//   hold METHOD              METHOD never answers
//   ok METHOD                METHOD answers as scripted again
//   stop                     stops the service ("stopped N ms")
//   quit
// It prints "note: ..." for the service's log lines, "call: METHOD ARGS"
// for each action the service asked for, "state: NAME" once the start has
// settled, and "done COMMAND" after each command.
#include "bus/BusService.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>

using namespace kv;

namespace {

std::mutex g_out;

void Say(const std::string& line)
{
    std::lock_guard<std::mutex> g(g_out);
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

const char* StateName(bus::BusServiceState s)
{
    switch (s) {
    case bus::BusServiceState::Idle: return "idle";
    case bus::BusServiceState::Starting: return "starting";
    case bus::BusServiceState::Offered: return "offered";
    case bus::BusServiceState::NameTaken: return "name-taken";
    case bus::BusServiceState::NoBus: return "no-bus";
    }
    return "?";
}

OwnerError ErrorNamed(const std::string& n)
{
    static const std::map<std::string, OwnerError> names{
        {"NotReady", OwnerError::NotReady},   {"InvalidArgument", OwnerError::InvalidArgument},
        {"AccessDenied", OwnerError::AccessDenied}, {"Busy", OwnerError::Busy},
        {"Refused", OwnerError::Refused},     {"NotFound", OwnerError::NotFound},
        {"TimedOut", OwnerError::TimedOut},   {"Database", OwnerError::Database},
        {"Failed", OwnerError::Failed}};
    const auto it = names.find(n);
    return it == names.end() ? OwnerError::Failed : it->second;
}

class ScriptedActions : public IOwnerActions {
public:
    void Fail(const std::string& method, OwnerError e, const std::string& text)
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_fail[method] = {e, text};
        m_hold.erase(method);
    }
    void Hold(const std::string& method)
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_hold.insert(method);
    }
    void Ok(const std::string& method)
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_fail.erase(method);
        m_hold.erase(method);
    }

    void GetStatus(std::function<void(const OwnerResult&, const std::string&)> done) override
    {
        if (Called("GetStatus", ""))
            done(Result("GetStatus"),
                 R"({"port":"/dev/ttyUSB0","engine_ready":true,"service":{"state":"in service","code":2},)"
                 R"("signal":{"1x":{"dbm":-75,"bars":4},"evdo":{"dbm":null,"bars":0}},"roaming":false,)"
                 R"("battery":{"level":3},"counters":{"received":18446744073709551615}})");
    }
    void Connect(const std::string& user, const std::string& password, Done done) override
    {
        if (Called("Connect", user + " | " + password))
            done(Result("Connect"));
    }
    void Disconnect(Done done) override
    {
        if (Called("Disconnect", ""))
            done(Result("Disconnect"));
    }
    void Dial(const std::string& number, Done done) override
    {
        if (Called("Dial", number))
            done(Result("Dial"));
    }
    void Answer(Done done) override
    {
        if (Called("Answer", ""))
            done(Result("Answer"));
    }
    void Hangup(Done done) override
    {
        if (Called("Hangup", ""))
            done(Result("Hangup"));
    }
    void SendDtmf(const std::string& digits, Done done) override
    {
        if (Called("SendDtmf", digits))
            done(Result("SendDtmf"));
    }
    void SendSms(const std::vector<std::string>& numbers, const std::string& text, const std::string& callback,
                 bool save, std::function<void(const OwnerResult&, const std::vector<OwnerSmsOutcome>&)> done) override
    {
        std::string all;
        for (const std::string& n : numbers)
            all += (all.empty() ? "" : ",") + n;
        if (!Called("SendSms", all + " | " + text + " | " + callback + " | save=" + (save ? "1" : "0")))
            return;
        std::vector<OwnerSmsOutcome> out;
        for (size_t i = 0; i < numbers.size(); ++i)
            out.push_back(i == 0 ? OwnerSmsOutcome{numbers[i], "delivered", 0, true}
                                 : OwnerSmsOutcome{numbers[i], "no report", 0, false});
        done(Result("SendSms"), out);
    }
    void ListSms(const std::string& store,
                 std::function<void(const OwnerResult&, const std::vector<OwnerSms>&)> done) override
    {
        if (Called("ListSms", store))
            done(Result("ListSms"), {{393217, "memory", 1, "unread", "2026-12-11 10:00:00", "5551234", "Hello there"},
                                     {327680, "ruim", 0, "outbox", "2026-12-10 09:30:00", "5559876", "On my way"}});
    }
    void ReadSms(uint32_t index, std::function<void(const OwnerResult&, const OwnerSms&)> done) override
    {
        if (Called("ReadSms", std::to_string(index)))
            done(Result("ReadSms"), {index, "memory", 1, "read", "2026-12-11 10:00:00", "5551234", "Hello there"});
    }
    void DeleteSms(uint32_t index, Done done) override
    {
        if (Called("DeleteSms", std::to_string(index)))
            done(Result("DeleteSms"));
    }
    void DeleteAllSms(const std::string& box,
                      std::function<void(const OwnerResult&, uint32_t, uint32_t)> done) override
    {
        if (Called("DeleteAllSms", box))
            done(Result("DeleteAllSms"), 3, 0);
    }
    void ListPhonebook(const std::string& storage,
                       std::function<void(const OwnerResult&, const std::vector<OwnerPbEntry>&, int, int)> done) override
    {
        if (Called("ListPhonebook", storage))
            done(Result("ListPhonebook"), {{storage, 1, "5551234", "Alice"}, {storage, 2, "5559876", "Bob"}}, 2, 250);
    }
    void AddPhonebookEntry(const std::string& storage, int index, const std::string& name, const std::string& number,
                           std::function<void(const OwnerResult&, uint32_t)> done) override
    {
        if (Called("AddPhonebookEntry", storage + " " + std::to_string(index) + " " + name + " " + number))
            done(Result("AddPhonebookEntry"), index < 0 ? 7u : uint32_t(index));
    }
    void ModifyPhonebookEntry(const std::string& storage, uint32_t index, const std::string& name,
                              const std::string& number, Done done) override
    {
        if (Called("ModifyPhonebookEntry", storage + " " + std::to_string(index) + " " + name + " " + number))
            done(Result("ModifyPhonebookEntry"));
    }
    void DeletePhonebookEntry(const std::string& storage, uint32_t index, Done done) override
    {
        if (Called("DeletePhonebookEntry", storage + " " + std::to_string(index)))
            done(Result("DeletePhonebookEntry"));
    }

private:
    // Records the call; false when the method is held (no answer).
    bool Called(const std::string& method, const std::string& args)
    {
        Say("call: " + method + (args.empty() ? "" : " " + args));
        std::lock_guard<std::mutex> g(m_lock);
        return !m_hold.count(method);
    }
    OwnerResult Result(const std::string& method)
    {
        std::lock_guard<std::mutex> g(m_lock);
        const auto it = m_fail.find(method);
        return it == m_fail.end() ? OwnerResult{} : it->second;
    }

    std::mutex m_lock;
    std::map<std::string, OwnerResult> m_fail;
    std::set<std::string> m_hold;
};

// Sets the snapshot's field named as the bus names it; false for a name
// not known.
bool SetField(OwnerSnapshot& s, const std::string& name, const std::string& v)
{
    const auto i = [&v] { return int(std::strtol(v.c_str(), nullptr, 10)); };
    const auto u = [&v] { return uint32_t(std::strtoul(v.c_str(), nullptr, 10)); };
    const auto t = [&v] { return uint64_t(std::strtoull(v.c_str(), nullptr, 10)); };
    const auto b = [&v] { return v == "true" || v == "1"; };
    if (name == "EngineReady") s.engineReady = b();
    else if (name == "Port") s.port = v;
    else if (name == "ComPort") s.comPort = i();
    else if (name == "DeviceKind") s.deviceKind = i();
    else if (name == "ServiceState") s.serviceState = v;
    else if (name == "ServiceStateCode") s.serviceStateCode = i();
    else if (name == "SystemMode") s.systemMode = v;
    else if (name == "SystemModeCode") s.systemModeCode = i();
    else if (name == "Roaming") s.roaming = b();
    else if (name == "Signal1xDbm") s.signal1xDbm = i();
    else if (name == "Signal1xBars") s.signal1xBars = u();
    else if (name == "SignalEvdoDbm") s.signalEvdoDbm = i();
    else if (name == "SignalEvdoBars") s.signalEvdoBars = u();
    else if (name == "BatteryState") s.batteryState = v;
    else if (name == "BatteryLevel") s.batteryLevel = i();
    else if (name == "ChargerConnected") s.chargerConnected = b();
    else if (name == "CardState") s.cardState = v;
    else if (name == "PinCheck") s.pinCheck = b();
    else if (name == "PinAttemptsLeft") s.pinAttemptsLeft = i();
    else if (name == "UnblockAttemptsLeft") s.unblockAttemptsLeft = i();
    else if (name == "NewMessages") s.newMessages = u();
    else if (name == "MessagesMemory") s.messagesMemory = i();
    else if (name == "MessagesRuim") s.messagesRuim = i();
    else if (name == "ConnectionState") s.connectionState = v;
    else if (name == "ConnectionText") s.connectionText = v;
    else if (name == "ConnectionDuration") s.connectionDuration = u();
    else if (name == "BytesReceived") s.bytesReceived = t();
    else if (name == "BytesSent") s.bytesSent = t();
    else if (name == "CallState") s.callState = v;
    else if (name == "CallNumber") s.callNumber = v;
    else if (name == "CallName") s.callName = v;
    else return false;
    return true;
}

bool MakeEvent(const std::string& kind, const std::vector<std::string>& a, OwnerEvent& e)
{
    const auto at = [&a](size_t n) { return n < a.size() ? a[n] : std::string(); };
    const auto num = [&](size_t n) { return uint64_t(std::strtoull(at(n).c_str(), nullptr, 10)); };
    static const std::map<std::string, OwnerEventKind> kinds{
        {"SmsReceived", OwnerEventKind::SmsReceived},       {"CallIncoming", OwnerEventKind::CallIncoming},
        {"CallAnswered", OwnerEventKind::CallAnswered},     {"CallEnded", OwnerEventKind::CallEnded},
        {"CallMissed", OwnerEventKind::CallMissed},         {"ConnectionUp", OwnerEventKind::ConnectionUp},
        {"ConnectionDown", OwnerEventKind::ConnectionDown}, {"ConnectionFailed", OwnerEventKind::ConnectionFailed},
        {"ModemAdded", OwnerEventKind::ModemAdded},         {"ModemRemoved", OwnerEventKind::ModemRemoved},
        {"QuotaWarning", OwnerEventKind::QuotaWarning}};
    const auto it = kinds.find(kind);
    if (it == kinds.end())
        return false;
    e.kind = it->second;
    switch (e.kind) {
    case OwnerEventKind::SmsReceived:
        e.storage = at(0);
        e.slot = uint32_t(num(1));
        e.index = uint32_t(num(2));
        e.number = at(3);
        e.name = at(4);
        break;
    case OwnerEventKind::CallIncoming:
    case OwnerEventKind::CallMissed:
        e.number = at(0);
        e.name = at(1);
        break;
    case OwnerEventKind::CallAnswered: e.number = at(0); break;
    case OwnerEventKind::CallEnded:
        e.number = at(0);
        e.seconds = uint32_t(num(1));
        break;
    case OwnerEventKind::ConnectionUp:
    case OwnerEventKind::ConnectionDown:
    case OwnerEventKind::ConnectionFailed: e.text = at(0); break;
    case OwnerEventKind::ModemAdded:
    case OwnerEventKind::ModemRemoved: e.port = at(0); break;
    case OwnerEventKind::QuotaWarning:
        e.percent = uint32_t(num(0));
        e.used = num(1);
        e.quota = num(2);
        break;
    }
    return true;
}

// Words of a line; "_" stands for an empty word, "~" for a blank.
std::vector<std::string> Words(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string w; in >> w;) {
        if (w == "_")
            w.clear();
        for (char& c : w)
            if (c == '~')
                c = ' ';
        out.push_back(w);
    }
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    bus::BusServiceOptions options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--address")
            options.address = argv[i + 1];
        else if (a == "--timeout-ms")
            options.callTimeoutMs = std::atoi(argv[i + 1]);
        else if (a == "--sms-timeout-ms")
            options.smsTimeoutMs = std::atoi(argv[i + 1]);
    }
    options.note = [](const std::string& line) { Say("note: " + line); };
    COwnerHub hub;
    ScriptedActions actions;
    bus::CBusService service(hub, actions, options);
    service.Start();
    service.WaitSettled(10000);
    Say(std::string("state: ") + StateName(service.State()));

    for (std::string line; std::getline(std::cin, line);) {
        const std::vector<std::string> w = Words(line);
        if (w.empty())
            continue;
        const std::string& cmd = w[0];
        if (cmd == "quit")
            break;
        if (cmd == "set" && w.size() >= 2) {
            const std::string value = w.size() >= 3 ? w[2] : std::string();
            bool known = true;
            hub.Update([&](OwnerSnapshot& s) { known = SetField(s, w[1], value); });
            if (!known)
                Say("unknown property " + w[1]);
        } else if (cmd == "event" && w.size() >= 2) {
            OwnerEvent e;
            if (MakeEvent(w[1], std::vector<std::string>(w.begin() + 2, w.end()), e))
                hub.Publish(e);
            else
                Say("unknown event " + w[1]);
        } else if (cmd == "fail" && w.size() >= 3) {
            std::string text;
            for (size_t i = 3; i < w.size(); ++i)
                text += (text.empty() ? "" : " ") + w[i];
            actions.Fail(w[1], ErrorNamed(w[2]), text);
        } else if (cmd == "hold" && w.size() == 2) {
            actions.Hold(w[1]);
        } else if (cmd == "ok" && w.size() == 2) {
            actions.Ok(w[1]);
        } else if (cmd == "stop") {
            const auto t0 = std::chrono::steady_clock::now();
            service.Stop();
            const auto ms =
                std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
            Say("stopped " + std::to_string(ms) + " ms");
        } else if (cmd == "state") {
            Say(std::string("state: ") + StateName(service.State()));
        } else {
            Say("unknown command " + cmd);
        }
        Say("done " + cmd);
    }
    service.Stop();
    return 0;
}
