// "sms": the modem's messages headless: list and read both stores, send to
// one or more numbers (waiting for each delivery report), delete one.
#include "cli/CliCommand.h"
#include "cli/CliPort.h"
#include "data/DataConstants.h"
#include "engine/PortOpenText.h"
#include "log/DebugLog.h"
#include "messaging/MessagingSession.h"
#include "messaging/SmsTexts.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

constexpr const char* kUsage =
    "usage: sms list [memory|ruim] | sms read INDEX | sms send [--callback N] [--timeout S] "
    "NUMBER... -- TEXT | sms delete INDEX";
constexpr int64_t kCdmaEpoch = 315964800; // 1980-01-06 in Unix seconds

bool ValidUtf8(const std::string& s)
{
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size())
            return false;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += n;
    }
    return true;
}

// Message bytes for the terminal: UTF-8 when valid, else Latin-1.
std::string Printable(const std::string& bytes)
{
    if (ValidUtf8(bytes))
        return bytes;
    std::string out;
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            out += char(c);
        } else {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string TimeText(double t)
{
    const std::time_t unixTime = std::time_t(int64_t(t) + kCdmaEpoch);
    std::tm tm{};
    gmtime_r(&unixTime, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

std::string OneLine(std::string s)
{
    for (char& c : s)
        if (c == '\n' || c == '\r')
            c = ' ';
    return s;
}

// INDEX as the row index (e.g. 393217) or STORE:SLOT with STORE memory|ruim|6|5.
bool ParseMessageIndex(const std::string& text, int32_t& index)
{
    const size_t colon = text.find(':');
    char* end = nullptr;
    if (colon == std::string::npos) {
        const long v = std::strtol(text.c_str(), &end, 10);
        if (!end || *end || v < 0x10000)
            return false;
        index = int32_t(v);
        return true;
    }
    const std::string store = text.substr(0, colon);
    int code = store == "memory" || store == "6" ? kv::kSmsStoreMemory
             : store == "ruim" || store == "5"   ? kv::kSmsStoreRuim
                                                 : 0;
    const long slot = std::strtol(text.c_str() + colon + 1, &end, 10);
    if (!code || !end || *end || slot < 0 || slot > 0xFFFF)
        return false;
    index = kv::SmsRowIndex(code, int(slot));
    return true;
}

const char* StoreName(int32_t index)
{
    return kv::SmsStorageOf(index) == kv::kSmsStoreRuim ? "ruim" : "memory";
}

// Why the last Open failed: no database, or no modem.
int g_openFailure = kvcli::kExitNoDevice;

std::unique_ptr<kv::CMessagingSession> Open(const kvcli::GlobalOptions& opts)
{
    if (opts.verbose)
        kv::EnableDiagnosticSink(stderr);
    kv::CMessagingSession::Options o;
    if (!kvcli::PrepareDatabase(o.dbPath)) {
        g_openFailure = kvcli::kExitFailure;
        return nullptr;
    }
    g_openFailure = kvcli::kExitNoDevice;
    o.device = opts.device;
    o.readPhonebooks = false; // messages only: the phonebooks are marked loaded
    auto s = std::make_unique<kv::CMessagingSession>(o);
    if (!s->Start()) {
        if (!kv::PortOpenAdvice(s->PortOpenError()).empty())
            kvcli::ReportPortNotOpened(s->PortOpenError(), opts.device.empty() ? "COM port" : opts.device);
        else
            std::fprintf(stderr, "korvianet-cli: the modem did not start (no modem or no answer)\n");
        return nullptr;
    }
    return s;
}

int List(kv::CMessagingSession& s, int onlyStore)
{
    if (!s.Sms().LoadMirror()) {
        std::fprintf(stderr, "korvianet-cli: reading the messages failed\n");
        return kvcli::kExitFailure;
    }
    kv::CDaoSmsDb& sms = s.Db().Sms();
    try {
        if (sms.GetRecordCount() > 0) {
            for (sms.MoveFirst(); !sms.IsEOF(); sms.MoveNext()) {
                if (onlyStore && kv::SmsStorageOf(sms.m_index) != onlyStore)
                    continue;
                const char* box = sms.m_tag_type <= kv::kSmsTagUnread ? (sms.m_tag_type == kv::kSmsTagUnread ? "unread" : "read") : "outbox";
                std::printf("%d\t%s:%d\t%s\t%s\t%s\t%s\n", int(sms.m_index), StoreName(sms.m_index),
                            kv::SmsSlotOf(sms.m_index), box, TimeText(sms.m_time).c_str(),
                            sms.m_cb_number.c_str(), OneLine(Printable(sms.MessageText())).c_str());
            }
        }
    } catch (const kv::CDaoException& e) {
        std::fprintf(stderr, "korvianet-cli: %s\n", e.Description().c_str());
        return kvcli::kExitFailure;
    }
    std::printf("memory=%d ruim=%d\n", int(s.Shared().m_nMemoryCount.load()), int(s.Shared().m_nRuimCount.load()));
    return kvcli::kExitOk;
}

int Read(kv::CMessagingSession& s, int32_t index)
{
    if (!s.Sms().LoadMirror())
        return kvcli::kExitFailure;
    kv::CDaoSmsDb& sms = s.Db().Sms();
    if (!sms.FindFirst(kv::CDaoSmsDb::FilterIndex(index))) {
        std::fprintf(stderr, "korvianet-cli: no message %s:%d\n", StoreName(index), kv::SmsSlotOf(index));
        return kvcli::kExitFailure;
    }
    std::printf("index: %d (%s:%d)\nfrom: %s\ntime: %s\n\n%s\n", int(sms.m_index), StoreName(index),
                kv::SmsSlotOf(index), sms.m_cb_number.c_str(), TimeText(sms.m_time).c_str(),
                Printable(sms.MessageText()).c_str());
    if (sms.m_tag_type == kv::kSmsTagUnread && s.Sms().MarkMessageRead(index) != kv::DM_SMS_SETTAG)
        std::fprintf(stderr, "korvianet-cli: could not mark the message read\n");
    return kvcli::kExitOk;
}

int Send(kv::CMessagingSession& s, const std::vector<std::string>& numbers, const std::string& callback,
         const std::string& text, int64_t timeoutMs)
{
    int failed = 0;
    for (const std::string& n : numbers) {
        const intptr_t outcome = s.SendOne(n, callback, text, timeoutMs);
        if (outcome == kv::kSmsOutcomeDelivered) {
            std::printf("%s\tdelivered\n", n.c_str());
        } else {
            ++failed;
            std::printf("%s\tfailed (%ld)\n", n.c_str(), long(outcome));
        }
    }
    if (failed)
        std::printf("Sending messages have %d failed of %d total.\n", failed, int(numbers.size()));
    else
        std::printf("Sending messages have successful.\n");
    return failed ? kvcli::kExitFailure : kvcli::kExitOk;
}

int Delete(kv::CMessagingSession& s, int32_t index)
{
    if (!s.Sms().LoadMirror())
        return kvcli::kExitFailure;
    const uint16_t r = s.Engine().DmSubRequest(kv::DM_SMS_REMOVEAT, uintptr_t(index), false);
    if (r != kv::DM_SMS_REMOVEAT) {
        std::fprintf(stderr, "korvianet-cli: the modem did not delete %s:%d (0x%04x)\n", StoreName(index),
                     kv::SmsSlotOf(index), unsigned(r));
        return kvcli::kExitFailure;
    }
    std::printf("deleted %s:%d\n", StoreName(index), kv::SmsSlotOf(index));
    return kvcli::kExitOk;
}

int RunSms(const kvcli::GlobalOptions& opts, const std::vector<std::string>& args)
{
    if (args.empty())
        return kvcli::UsageError(kUsage);
    const std::string& sub = args[0];
    int32_t index = 0;
    if (sub == "list") {
        int store = 0;
        if (args.size() == 2)
            store = args[1] == "memory" ? kv::kSmsStoreMemory : args[1] == "ruim" ? kv::kSmsStoreRuim : -1;
        if (args.size() > 2 || store < 0)
            return kvcli::UsageError(kUsage);
        auto s = Open(opts);
        return s ? List(*s, store) : g_openFailure;
    }
    if ((sub == "read" || sub == "delete") && args.size() == 2) {
        if (!ParseMessageIndex(args[1], index))
            return kvcli::UsageError("INDEX is a row index or STORE:SLOT (memory:3, ruim:0)");
        auto s = Open(opts);
        if (!s)
            return g_openFailure;
        return sub == "read" ? Read(*s, index) : Delete(*s, index);
    }
    if (sub == "send") {
        std::string callback;
        int64_t timeoutMs = 10000;
        std::vector<std::string> numbers;
        std::string text;
        size_t i = 1;
        for (; i < args.size(); ++i) {
            if (args[i] == "--callback" && i + 1 < args.size()) {
                callback = args[++i];
            } else if (args[i] == "--timeout" && i + 1 < args.size()) {
                timeoutMs = std::atol(args[++i].c_str()) * 1000;
            } else if (args[i] == "--") {
                ++i;
                break;
            } else {
                numbers.push_back(args[i]);
            }
        }
        for (; i < args.size(); ++i)
            text += (text.empty() ? "" : " ") + args[i];
        if (numbers.empty() || text.empty() || timeoutMs <= 0)
            return kvcli::UsageError(kUsage);
        auto s = Open(opts);
        return s ? Send(*s, numbers, callback, text, timeoutMs) : g_openFailure;
    }
    return kvcli::UsageError(kUsage);
}

} // namespace

KV_CLI_COMMAND("sms",
               "sms list [memory|ruim] | sms read INDEX | sms send [--callback N] [--timeout S] NUMBER... -- TEXT | sms delete INDEX",
               "list the messages of both stores (or one), show one (marking it read), send a text to one\n"
               "      or more numbers waiting for each delivery report, or delete one; INDEX is the row index\n"
               "      or STORE:SLOT",
               RunSms);
