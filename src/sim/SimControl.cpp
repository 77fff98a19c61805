// The simulator's control language (documented in ModemSimulator.h): one
// line in, a reply ending in "OK" or "ERR ..." out.
#include "sim/ModemSimulator.h"

#include "log/NumberParse.h"
#include "platform/Event.h"
#include "settings/SimLinkDrop.h"
#include "sim/SimDataPort.h"

#include <cstdlib>
#include <sstream>

namespace kv::sim {

namespace {

std::vector<std::string> Words(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> w;
    std::string s;
    while (in >> s)
        w.push_back(s);
    return w;
}

// The text after the first n words of the line.
std::string Rest(const std::string& line, size_t n)
{
    size_t pos = 0;
    for (size_t i = 0; i < n; ++i) {
        pos = line.find_first_not_of(" \t", pos);
        if (pos == std::string::npos)
            return "";
        pos = line.find_first_of(" \t", pos);
        if (pos == std::string::npos)
            return "";
    }
    pos = line.find_first_not_of(" \t", pos);
    return pos == std::string::npos ? "" : line.substr(pos);
}

// A whole number within int's range: every value the commands take fits one.
bool ToInt(const std::string& s, long& out)
{
    int v = 0;
    if (!ParseDecimal(s, v))
        return false;
    out = v;
    return true;
}

// Switch words: on/off → 1/0, -1 for anything else.
int OnOff(const std::string& s)
{
    return s == "on" || s == "1" ? 1 : s == "off" || s == "0" ? 0 : -1;
}

const char* const kHelp =
    "state | call NUMBER [NAME] | call-restricted | call-unavailable | answer | hangup\n"
    "sms NUMBER TEXT | sms-ruim NUMBER TEXT | voicemail N\n"
    "signal DBM_1X [DBM_EVDO] | service on|off|1x|evdo|hybrid | roaming N | battery MV [CHARGER]\n"
    "card absent|invalid|present|pin-locked|puk-locked|unlocked | pin CODE | puk CODE\n"
    "layout short|long | send-report N | report-delay MS\n"
    "imsi DIGITS [prefixed|plain] | apn-log\n"
    "unplug | replug | replug-after MS | silent on|off | drop | no-carrier\n"
    "garbage N | garbage-next N | delay MS [COUNT] | split MS [COUNT] | bad-fcs [COUNT]\n"
    "half-packet [COUNT] | noise-before [COUNT] | unsolicited on|off|MS\n"
    "pb-count memory|ruim IN_USE [CAPACITY]|real | pb-rewind on|off | pb-lose memory|ruim N [AFTER]\n"
    "pb-refuse-write memory|ruim N [AFTER] | pb-lose-delete memory|ruim N\n"
    "list-sms [memory|ruim] | list-pb [memory|ruim] | sent | calls | empty | help\n";

std::string Printable(const std::string& s)
{
    std::string out;
    for (char c : s)
        out += (c == '\n' || c == '\r') ? ' ' : c;
    return out;
}

} // namespace

std::string ModemSimulator::Command(const std::string& line)
{
    std::vector<std::string> words = Words(line);
    if (words.empty())
        return "OK\n";
    std::string reply = Exec(words, line);
    m_changed.notify_all();
    Wake();
    return reply;
}

std::string ModemSimulator::Exec(const std::vector<std::string>& w, const std::string& line)
{
    const std::string& cmd = w[0];
    const int64_t now = TickMs();
    long n = 0;
    auto ok = [](const std::string& text = "") { return text + "OK\n"; };
    auto err = [](const std::string& why) { return "ERR " + why + "\n"; };
    auto count = [&](size_t i, long def) -> long {
        long v = def;
        return w.size() > i && ToInt(w[i], v) ? v : def;
    };

    // Operations on the pty run on the serving thread.
    if (cmd == "unplug") {
        Unplug();
        return ok();
    }
    if (cmd == "replug")
        return Replug() ? ok() : err("cannot open a pty");
    if (cmd == "replug-after") {
        if (w.size() < 2 || !ToInt(w[1], n) || n < 0)
            return err("usage: replug-after MS");
        Unplug();
        std::lock_guard<std::mutex> lock(m_mutex);
        m_replugAt = now + n;
        return ok();
    }
    if (cmd == "drop")
        return kv::AddSimLinkDrop() ? ok() : err("cannot write the drop count");
    if (cmd == "no-carrier") {
        if (!m_opt.dataPort)
            return err("no data port");
        return m_data->LoseCarrier() ? ok() : err("the data port is unplugged");
    }
    if (cmd == "garbage") {
        if (w.size() < 2 || !ToInt(w[1], n) || n < 0 || n > 65536)
            return err("usage: garbage N");
        std::lock_guard<std::mutex> lock(m_mutex);
        Queue(Garbage(size_t(n)), now);
        return ok();
    }

    std::lock_guard<std::mutex> lock(m_mutex);
    ModemModel& m = m_model;
    if (cmd == "help")
        return ok(kHelp);
    if (cmd == "state")
        return ok(m.Describe() + "plugged=" + (m_plugged ? "1" : "0") + " silent=" + (m_silent ? "1" : "0")
                  + " tty=" + m_slave + "\n" + (m_opt.dataPort ? m_data->Describe() : std::string()));
    if (cmd == "call") {
        if (w.size() < 2)
            return err("usage: call NUMBER [NAME]");
        return m.IncomingCall(w[1], Rest(line, 2), kPresentAllowed, now) ? ok() : err("line busy or no service");
    }
    if (cmd == "call-restricted" || cmd == "call-unavailable") {
        uint8_t pres = cmd == "call-restricted" ? kPresentRestricted : kPresentUnavailable;
        return m.IncomingCall("", "", pres, now) ? ok() : err("line busy or no service");
    }
    if (cmd == "answer")
        return m.RemoteAnswer(now) ? ok() : err("no outgoing call waiting for an answer");
    if (cmd == "hangup")
        return m.RemoteHangup(now) ? ok() : err("no call");
    if (cmd == "sms" || cmd == "sms-ruim") {
        if (w.size() < 3)
            return err("usage: " + cmd + " NUMBER TEXT");
        uint32_t storage = cmd == "sms" ? m.memory.code : m.ruim.code;
        return m.ReceiveSms(w[1], Rest(line, 2), storage, now) ? ok() : err("store full or card not readable");
    }
    if (cmd == "voicemail") {
        if (w.size() < 2 || !ToInt(w[1], n))
            return err("usage: voicemail N");
        return m.SetVoiceMail(int(n), now) ? ok() : err("memory store full");
    }
    if (cmd == "signal") {
        long b = 0;
        if (w.size() < 2 || !ToInt(w[1], n) || (w.size() > 2 && !ToInt(w[2], b)))
            return err("usage: signal DBM_1X [DBM_EVDO]");
        m.rssi1x = int32_t(n);
        m.rssiEvdo = int32_t(w.size() > 2 ? b : n);
        return ok();
    }
    if (cmd == "service") {
        const std::string a = w.size() > 1 ? w[1] : "";
        if (a == "on" || a == "off")
            m.inService = a == "on";
        else if (a == "1x")
            m.prefMode = 9, m.inService = true;
        else if (a == "evdo")
            m.prefMode = 10, m.inService = true;
        else if (a == "hybrid")
            m.prefMode = 4, m.hybridPref = 1, m.inService = true;
        else
            return err("usage: service on|off|1x|evdo|hybrid");
        return ok();
    }
    if (cmd == "roaming") {
        if (w.size() < 2 || !ToInt(w[1], n) || n < 0 || n > 255)
            return err("usage: roaming N");
        m.roaming = uint8_t(n);
        return ok();
    }
    if (cmd == "battery") {
        if (w.size() < 2 || !ToInt(w[1], n) || n < 0 || n > 65535)
            return err("usage: battery MV [CHARGER]");
        m.battVal = uint16_t(n);
        m.chgVal = uint16_t(count(2, m.chgVal));
        return ok();
    }
    if (cmd == "card") {
        const std::string a = w.size() > 1 ? w[1] : "";
        if (a == "absent")
            m.SetCardAbsent();
        else if (a == "invalid")
            m.SetCardInvalid();
        else if (a == "present")
            m.SetCardPresent();
        else if (a == "pin-locked")
            m.SetPinLocked(true);
        else if (a == "unlocked")
            m.SetPinLocked(false);
        else if (a == "puk-locked")
            m.SetPukLocked();
        else
            return err("usage: card absent|invalid|present|pin-locked|puk-locked|unlocked");
        return ok();
    }
    if (cmd == "pin" || cmd == "puk") {
        if (w.size() < 2 || w[1].size() > 8)
            return err("usage: " + cmd + " CODE (at most 8 characters)");
        (cmd == "pin" ? m.card.pin : m.card.puk) = w[1];
        return ok();
    }
    if (cmd == "imsi") {
        const bool digits = w.size() > 1 && w[1].size() >= 6 && w[1].size() <= 15
            && w[1].find_first_not_of("0123456789") == std::string::npos;
        const std::string form = w.size() > 2 ? w[2] : "";
        if (!digits || (!form.empty() && form != "prefixed" && form != "plain"))
            return err("usage: imsi DIGITS (6 to 15) [prefixed|plain]");
        m.imsi = w[1];
        if (!form.empty())
            m.imsiPrefixed = form == "prefixed";
        return ok();
    }
    if (cmd == "apn-log") {
        std::string out;
        for (const std::string& a : m.apnLog)
            out += a + "\n";
        return ok(out);
    }
    if (cmd == "layout") {
        if (w.size() < 2 || (w[1] != "short" && w[1] != "long"))
            return err("usage: layout short|long");
        m.longStatus = w[1] == "long";
        return ok();
    }
    if (cmd == "send-report") {
        if (w.size() < 2 || !ToInt(w[1], n))
            return err("usage: send-report N");
        m.nextReport = uint16_t(n);
        return ok();
    }
    if (cmd == "report-delay") {
        if (w.size() < 2 || !ToInt(w[1], n) || n < 0)
            return err("usage: report-delay MS");
        m.reportDelayMs = n;
        return ok();
    }
    if (cmd == "silent") {
        int v = w.size() > 1 ? OnOff(w[1]) : -1;
        if (v < 0)
            return err("usage: silent on|off");
        m_silent = v == 1;
        return ok();
    }
    if (cmd == "garbage-next") {
        if (w.size() < 2 || !ToInt(w[1], n) || n < 0 || n > 65536)
            return err("usage: garbage-next N");
        m_garbageNext = size_t(n);
        return ok();
    }
    if (cmd == "delay" || cmd == "split") {
        if (w.size() < 2 || !ToInt(w[1], n) || n < 0)
            return err("usage: " + cmd + " MS [COUNT]");
        (cmd == "delay" ? m_delayMs : m_splitMs) = n;
        (cmd == "delay" ? m_delayCount : m_splitCount) = n == 0 ? 0 : int(count(2, -1));
        return ok();
    }
    if (cmd == "bad-fcs") {
        m_badFcs = int(count(1, 1));
        return ok();
    }
    if (cmd == "half-packet") {
        m_halfPacket = int(count(1, 1));
        return ok();
    }
    if (cmd == "noise-before") {
        m_noiseBefore = int(count(1, 1));
        return ok();
    }
    if (cmd == "unsolicited") {
        const std::string a = w.size() > 1 ? w[1] : "";
        if (OnOff(a) == 0)
            m_opt.unsolicitedPeriodMs = 0;
        else if (OnOff(a) == 1)
            m_opt.unsolicitedPeriodMs = m_opt.unsolicitedPeriodMs > 0 ? m_opt.unsolicitedPeriodMs : 4000;
        else if (ToInt(a, n) && n > 0)
            m_opt.unsolicitedPeriodMs = int(n);
        else
            return err("usage: unsolicited on|off|MS");
        m_nextUnsolicited = m_opt.unsolicitedPeriodMs > 0 ? now + m_opt.unsolicitedPeriodMs : -1;
        return ok();
    }
    if (cmd == "list-sms") {
        std::string out;
        for (SmsStore* s : {&m.memory, &m.ruim}) {
            if (w.size() > 1 && w[1] != (s == &m.memory ? "memory" : "ruim"))
                continue;
            for (const auto& [slot, msg] : s->slots)
                out += std::to_string(s->code) + ":" + std::to_string(slot) + " tag=" + std::to_string(msg.tag)
                    + " time=" + std::to_string(msg.time) + " number=" + msg.number
                    + (msg.teleservice == kTeleserviceVmn95 ? " voicemail=" + std::to_string(msg.voiceCount) : "")
                    + " text=" + Printable(msg.text) + "\n";
        }
        return ok(out);
    }
    if (cmd == "pb-count" || cmd == "pb-lose" || cmd == "pb-refuse-write" || cmd == "pb-lose-delete") {
        Phonebook* b = w.size() > 1 ? (w[1] == "memory" ? &m.pbMemory : w[1] == "ruim" ? &m.pbRuim : nullptr)
                                    : nullptr;
        if (cmd == "pb-refuse-write") {
            long after = 0;
            if (!b || w.size() < 3 || !ToInt(w[2], n) || n < 0
                || (w.size() > 3 && (!ToInt(w[3], after) || after < 0)))
                return err("usage: pb-refuse-write memory|ruim N [AFTER]");
            b->refuseWrites = int(n);
            b->writesBeforeRefusal = int(after);
            return ok();
        }
        if (cmd == "pb-lose-delete") {
            if (!b || w.size() != 3 || !ToInt(w[2], n) || n < 0)
                return err("usage: pb-lose-delete memory|ruim N");
            b->loseDeletes = int(n);
            return ok();
        }
        if (cmd == "pb-lose") {
            long skip = 0;
            if (!b || w.size() < 3 || !ToInt(w[2], n) || n < 0
                || (w.size() > 3 && (!ToInt(w[3], skip) || skip < 0)))
                return err("usage: pb-lose memory|ruim N [AFTER]");
            b->loseReads = int(n);
            b->answerBeforeLoss = int(skip);
            return ok();
        }
        if (b && w.size() == 3 && w[2] == "real") {
            b->reportInUse = b->reportCapacity = -1;
            return ok();
        }
        long cap = -1;
        if (!b || w.size() < 3 || !ToInt(w[2], n) || n < 0 || n > 65535
            || (w.size() > 3 && (!ToInt(w[3], cap) || cap < 0 || cap > 65535)))
            return err("usage: pb-count memory|ruim IN_USE [CAPACITY] | pb-count memory|ruim real");
        b->reportInUse = int32_t(n);
        if (w.size() > 3)
            b->reportCapacity = int32_t(cap);
        return ok();
    }
    if (cmd == "pb-rewind") {
        if (w.size() < 2 || OnOff(w[1]) < 0)
            return err("usage: pb-rewind on|off");
        m.pbRewindOnInfo = OnOff(w[1]) == 1;
        return ok();
    }
    if (cmd == "list-pb") {
        std::string out;
        for (Phonebook* b : {&m.pbMemory, &m.pbRuim}) {
            if (w.size() > 1 && w[1] != (b == &m.pbMemory ? "memory" : "ruim"))
                continue;
            for (const auto& [idx, e] : b->entries)
                out += std::to_string(b->code) + ":" + std::to_string(idx) + " number=" + e.number
                    + " name=" + Printable(e.name) + "\n";
        }
        return ok(out);
    }
    if (cmd == "sent") {
        std::string out;
        for (const SentSms& s : m.sent)
            out += "to=" + s.destination + " encoding=" + std::to_string(s.encoding) + " text=" + Printable(s.text)
                + "\n";
        return ok(out);
    }
    if (cmd == "calls") {
        std::string out = m.call.Describe() + "\n";
        for (const std::string& h : m.call.History())
            out += "history " + h + "\n";
        for (const std::string& d : m.call.Dtmf())
            out += "dtmf " + d + "\n";
        return ok(out);
    }
    if (cmd == "empty") {
        m.Clear();
        return ok();
    }
    return err("unknown command '" + cmd + "' (try help)");
}

} // namespace kv::sim
