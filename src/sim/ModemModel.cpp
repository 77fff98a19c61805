// The simulated modem's state: stores, card, scenario operations, the demo
// seed and the AT command answers.
#include "sim/ModemModel.h"

#include <algorithm>
#include <cctype>
#include <ctime>

namespace kv::sim {

int SmsStore::FreeSlot() const
{
    for (uint16_t s = 0; s < capacity; ++s)
        if (!slots.count(s))
            return s;
    return -1;
}

uint16_t SmsStore::Unread() const
{
    return uint16_t(std::count_if(slots.begin(), slots.end(), [](const auto& kv) {
        return kv.second.tag == kTagUnread && kv.second.teleservice != kTeleserviceVmn95;
    }));
}

uint16_t MinGroup(const std::string& three)
{
    unsigned g = 0;
    for (char c : three) {
        unsigned d = c == '0' ? 10 : unsigned(c - '0');
        g = g * 10 + (d - 1);
    }
    return uint16_t(g);
}

uint32_t CdmaTimeNow()
{
    return uint32_t(int64_t(std::time(nullptr)) - kCdmaEpochOffset);
}

ModemModel::ModemModel()
{
    memory.code = 6;
    memory.capacity = 100;
    ruim.code = 5;
    ruim.capacity = 30;
    pbRuim.code = 1;
    pbRuim.capacity = 250;
    pbRuim.nameLen = 33;
    pbMemory.code = 9;
    pbMemory.capacity = 500;
    pbMemory.nameLen = 65;
}

void ModemModel::MinFromMdn(uint32_t& min1, uint16_t& min2) const
{
    min1 = 0;
    min2 = 0;
    if (mdn.size() != 10 || !std::all_of(mdn.begin(), mdn.end(), ::isdigit))
        return;
    min2 = MinGroup(mdn.substr(0, 3));
    unsigned thousands = mdn[6] == '0' ? 10 : unsigned(mdn[6] - '0');
    min1 = (uint32_t(MinGroup(mdn.substr(3, 3))) << 14) | (thousands << 10) | MinGroup(mdn.substr(7, 3));
}

void ModemModel::Clear()
{
    memory.slots.clear();
    ruim.slots.clear();
    pbRuim.entries.clear();
    pbMemory.entries.clear();
    pbRuim.cursor = pbMemory.cursor = 0;
    storageFull = false;
}

void ModemModel::SeedDemo(int64_t nowMs)
{
    Clear();
    const uint32_t now = CdmaTimeNow();
    auto add = [&](SmsStore& s, uint32_t tag, const std::string& num, const std::string& text, uint32_t ago) {
        SimSms m;
        m.slot = uint16_t(s.FreeSlot());
        m.tag = tag;
        m.time = now - ago;
        m.number = num;
        m.text = text;
        s.slots[m.slot] = m;
    };
    add(memory, kTagRead, "8585550147", "Welcome to Korvianet! Your data plan is active.", 86400 * 3);
    add(memory, kTagRead, "6195550199", "Lunch at noon tomorrow?", 86400);
    add(memory, kTagUnread, "7605550111", "Your package has shipped. Track it online.", 3600);
    add(memory, kTagOutbox, "6195550199", "Sure, see you there.", 80000);
    add(ruim, kTagRead, "8585550162", "Meeting moved to 3pm.", 86400 * 7);
    add(ruim, kTagUnread, "4155550178", "Call me when you land.", 600);

    auto pb = [](Phonebook& b, uint32_t idx, const std::string& number, const std::string& name) {
        b.entries[idx] = PbEntry{number, name};
    };
    pb(pbRuim, 1, "6195550199", "Alice");
    pb(pbRuim, 2, "8585550162", "Bob Office");
    pb(pbRuim, 3, "4155550178", "Carol");
    pb(pbMemory, 1, "7605550111", "Parcel Service");
    pb(pbMemory, 2, "+14155550123", "Dave Mobile");
    pb(pbMemory, 3, "8585550147", "Korvianet Care");
    pb(pbMemory, 4, "911", "Emergency");
    (void)nowMs;
}

void ModemModel::Advance(int64_t nowMs)
{
    call.Advance(nowMs);
    if (sendPending && reportAt >= 0 && nowMs >= reportAt) {
        sendPending = false;
        reportAt = -1;
        closeFlag = 1;
        // A message to our own number comes back to us.
        if (!sent.empty() && report == 0 && sent.back().destination == mdn)
            ReceiveSms(mdn, sent.back().text, memory.code, nowMs);
    }
}

int64_t ModemModel::NextDeadline() const
{
    int64_t a = call.NextDeadline();
    int64_t b = sendPending ? reportAt : -1;
    if (a < 0)
        return b;
    if (b < 0)
        return a;
    return std::min(a, b);
}

bool ModemModel::IncomingCall(const std::string& number, const std::string& name, uint8_t presentation,
                              int64_t nowMs)
{
    Advance(nowMs);
    if (!inService || prefMode == 10)
        return false;
    return call.Incoming(CallParty{number, name, presentation}, nowMs);
}

bool ModemModel::ReceiveSms(const std::string& from, const std::string& text, uint32_t storage, int64_t)
{
    SmsStore* s = Store(storage);
    if (!s || (s == &ruim && !card.Usable()))
        return false;
    int slot = s->FreeSlot();
    if (slot < 0) {
        storageFull = true;
        return false;
    }
    SimSms m;
    m.slot = uint16_t(slot);
    m.tag = kTagUnread;
    m.time = CdmaTimeNow();
    m.number = from;
    m.text = text.substr(0, 229);
    m.encoding = std::all_of(m.text.begin(), m.text.end(), [](char c) { return uint8_t(c) < 0x80; }) ? 2 : 16;
    s->slots[m.slot] = m;
    return true;
}

bool ModemModel::SetVoiceMail(int count, int64_t)
{
    for (auto& [slot, m] : memory.slots)
        if (m.teleservice == kTeleserviceVmn95) {
            m.voiceCount = uint8_t(std::clamp(count, 0, 99));
            m.tag = kTagUnread;
            m.time = CdmaTimeNow();
            return true;
        }
    int slot = memory.FreeSlot();
    if (slot < 0)
        return false;
    SimSms m;
    m.slot = uint16_t(slot);
    m.teleservice = kTeleserviceVmn95;
    m.tag = kTagUnread;
    m.time = CdmaTimeNow();
    m.number = "*86";
    m.text = "Voice mail";
    m.voiceCount = uint8_t(std::clamp(count, 0, 99));
    memory.slots[m.slot] = m;
    return true;
}

void ModemModel::SetCardAbsent() { card.state = CardState::Absent; }
void ModemModel::SetCardInvalid() { card.state = CardState::Invalid; }

void ModemModel::SetCardPresent()
{
    // A card put back in starts over: its PIN must be entered again.
    card.state = CardState::Valid;
    card.pinVerified = false;
}

void ModemModel::SetPinLocked(bool locked)
{
    card.state = CardState::Valid;
    card.pinEnabled = locked;
    card.pinVerified = false;
    if (card.pinRetries == 0)
        card.pinRetries = SimCard::kPinTries;
}

void ModemModel::SetPukLocked()
{
    card.state = CardState::Valid;
    card.pinEnabled = true;
    card.pinVerified = false;
    card.pinRetries = 0;
    if (card.pukRetries == 0)
        card.pukRetries = SimCard::kPukTries;
}

SmsStore* ModemModel::Store(uint32_t storage)
{
    return storage == memory.code ? &memory : storage == ruim.code ? &ruim : nullptr;
}

Phonebook* ModemModel::Book(uint8_t code)
{
    return code == pbMemory.code ? &pbMemory : code == pbRuim.code ? &pbRuim : nullptr;
}

uint16_t ModemModel::NewSmsCount() const
{
    if (newSmsCountOverride >= 0)
        return uint16_t(newSmsCountOverride);
    return uint16_t(memory.Unread() + (card.Usable() ? ruim.Unread() : 0));
}

std::string ModemModel::Describe() const
{
    const char* cardText = card.state == CardState::Absent ? "absent"
        : card.state == CardState::Invalid                 ? "invalid"
        : card.Blocked()                                   ? "puk-locked"
        : card.pinEnabled && !card.pinVerified             ? "pin-locked"
                                                           : "ready";
    std::string s;
    s += "service=" + std::string(inService ? "1" : "0") + "\n";
    s += "pref_mode=" + std::to_string(prefMode) + " hybrid=" + std::to_string(hybridPref) + "\n";
    s += "rssi_1x=" + std::to_string(rssi1x) + " rssi_evdo=" + std::to_string(rssiEvdo) + "\n";
    s += "roaming=" + std::to_string(roaming) + " layout=" + (longStatus ? "long" : "short") + "\n";
    s += "battery=" + std::to_string(battVal) + " charger=" + std::to_string(chgVal) + "\n";
    s += "card=" + std::string(cardText) + " pin_retries=" + std::to_string(card.pinRetries)
        + " puk_retries=" + std::to_string(card.pukRetries) + " pin_enabled=" + (card.pinEnabled ? "1" : "0")
        + "\n";
    s += "sms_memory=" + std::to_string(memory.slots.size()) + " sms_ruim=" + std::to_string(ruim.slots.size())
        + " new_sms=" + std::to_string(NewSmsCount()) + "\n";
    s += "pb_memory=" + std::to_string(pbMemory.entries.size())
        + " pb_ruim=" + std::to_string(pbRuim.entries.size()) + "\n";
    s += call.Describe() + "\n";
    s += "sent=" + std::to_string(sent.size()) + " volume=" + std::to_string(inCallVolume) + "/"
        + std::to_string(idleVolume) + " apn=" + apn + " apn_sets=" + std::to_string(apnLog.size())
        + " imsi=" + imsi + (imsiPrefixed ? " cimi=prefixed" : " cimi=plain") + "\n";
    return s;
}

// ---- AT commands ----------------------------------------------------------

namespace {

std::string UpperAscii(std::string s)
{
    for (char& c : s)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// The quoted arguments of a command line, in order.
std::vector<std::string> Quoted(const std::string& line)
{
    std::vector<std::string> out;
    size_t pos = 0;
    while ((pos = line.find('"', pos)) != std::string::npos) {
        size_t end = line.find('"', pos + 1);
        if (end == std::string::npos)
            break;
        out.push_back(line.substr(pos + 1, end - pos - 1));
        pos = end + 1;
    }
    return out;
}

std::string Answer(const std::string& body) { return "\r\n" + body + "\r\n\r\nOK\r\n"; }
const char* const kOk = "\r\nOK\r\n";
const char* const kError = "\r\nERROR\r\n";
std::string CmeError(int code) { return "\r\n+CME ERROR: " + std::to_string(code) + "\r\n"; }
// +CME error codes of the card.
constexpr int kCmeNoCard = 10, kCmePinRequired = 11, kCmePukRequired = 12, kCmeWrongPassword = 16;

} // namespace

std::string ModemModel::HandleAt(const std::string& rawLine, int64_t nowMs)
{
    Advance(nowMs);
    std::string line = rawLine;
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' '))
        line.pop_back();
    const std::string up = UpperAscii(line);
    if (up.rfind("AT", 0) != 0)
        return "";
    const std::string cmd = up.substr(2);
    ++atCommands;
    auto cardError = [&]() -> int {
        if (card.state != CardState::Valid)
            return kCmeNoCard;
        if (card.Blocked())
            return kCmePukRequired;
        if (card.pinEnabled && !card.pinVerified)
            return kCmePinRequired;
        return 0;
    };
    // A PIN check of the lock and change commands: wrong codes cost an attempt.
    auto checkPin = [&](const std::string& pin) -> int {
        if (int e = cardError(); e == kCmeNoCard || e == kCmePukRequired)
            return e;
        if (pin == card.pin) {
            card.pinRetries = SimCard::kPinTries;
            return 0;
        }
        if (card.pinRetries > 0)
            --card.pinRetries;
        if (card.pinRetries == 0)
            card.pinEnabled = true; // three wrong codes block the PIN
        return kCmeWrongPassword;
    };

    if (cmd.empty() || cmd == "E0" || cmd == "E1" || cmd == "Z")
        return kOk;
    if (cmd == "+CSQ") {
        int rssi = 99;
        if (inService) {
            int dbm = prefMode == 10 ? rssiEvdo : rssi1x;
            rssi = std::clamp((dbm + 113) / 2, 0, 31);
        }
        return Answer("+CSQ: " + std::to_string(rssi) + ",99");
    }
    if (cmd == "+CIMI") {
        if (int e = cardError())
            return CmeError(e);
        return Answer(imsiPrefixed ? "+CIMI: " + imsi : imsi);
    }
    if (cmd == "+CPIN?") {
        if (card.state != CardState::Valid)
            return CmeError(kCmeNoCard);
        if (card.Blocked())
            return Answer("+CPIN: SIM PUK");
        if (card.pinEnabled && !card.pinVerified)
            return Answer("+CPIN: SIM PIN");
        return Answer("+CPIN: READY");
    }
    if (cmd.rfind("+CPIN=", 0) == 0) {
        auto q = Quoted(line);
        if (q.empty())
            return kError;
        if (card.state != CardState::Valid)
            return CmeError(kCmeNoCard);
        if (card.Blocked()) {
            if (q.size() < 2 || q[0] != card.puk)
                return CmeError(kCmeWrongPassword);
            card.pin = q[1];
            card.pinRetries = SimCard::kPinTries;
            card.pinVerified = true;
            return kOk;
        }
        if (int e = checkPin(q[0]))
            return CmeError(e);
        card.pinVerified = true;
        return kOk;
    }
    if (cmd.rfind("+CGDCONT=", 0) == 0) {
        auto q = Quoted(line);
        if (q.size() < 2)
            return kError;
        apn = q[1];
        apnLog.push_back(apn);
        return kOk;
    }
    if (cmd.rfind("+CLCK=\"SC\",", 0) == 0) {
        auto q = Quoted(line);
        const char mode = cmd.size() > 11 ? cmd[11] : '?';
        if (q.size() < 2 || (mode != '0' && mode != '1'))
            return kError;
        if (int e = checkPin(q[1]))
            return CmeError(e);
        card.pinEnabled = mode == '1';
        card.pinVerified = true; // the code was just given
        return kOk;
    }
    if (cmd.rfind("+CPWD=\"SC\",", 0) == 0) {
        auto q = Quoted(line);
        if (q.size() < 3 || q[2].size() < 4 || q[2].size() > 8)
            return kError;
        if (int e = checkPin(q[1]))
            return CmeError(e);
        card.pin = q[2];
        return kOk;
    }
    if (cmd == "+CGMR")
        return Answer(firmware);
    if (cmd == "I")
        return Answer("Korvia KV6502\r\n" + firmware);
    if (cmd == "^RESET" || cmd.rfind("+CFUN=6", 0) == 0) {
        resetRequested = true;
        return kOk;
    }
    if (cmd.rfind("+CFUN=", 0) == 0)
        return kOk;
    if (cmd == "+CFUN?")
        return Answer("+CFUN: 1");
    return kError;
}

} // namespace kv::sim
