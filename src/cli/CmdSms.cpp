// "sms": the modem's messages headless: list and read both stores, send to
// one or more numbers (waiting for each delivery report), delete one.
#include "cli/CliArgs.h"
#include "cli/CliBus.h"
#include "cli/CliCommand.h"
#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "data/DataConstants.h"
#include "host/ArgChecks.h"
#include "host/PortOpenText.h"
#include "log/DebugLog.h"
#include "messaging/MessagingSession.h"
#include "messaging/SmsTexts.h"
#include "settings/Profile.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

constexpr const char* kUsage =
    "usage: sms list [memory|ruim] | sms read INDEX | sms send [--callback N] [--timeout S] [--save] "
    "NUMBER... -- TEXT | sms delete INDEX | sms delete-all inbox|outbox";
constexpr int64_t kCdmaEpoch = 315964800; // 1980-01-06 in Unix seconds

std::string TimeText(double t)
{
    const std::time_t unixTime = std::time_t(int64_t(t) + kCdmaEpoch);
    std::tm tm{};
    gmtime_r(&unixTime, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

// INDEX as the row index (e.g. 393217) or STORE:SLOT with STORE memory|ruim|6|5.
bool ParseMessageIndex(const std::string& text, int32_t& index)
{
    const size_t colon = text.find(':');
    if (colon == std::string::npos) {
        const auto v = kvcli::ParseNumber(text, kv::SmsRowIndex(kv::kSmsStoreRuim, 0),
                                          kv::SmsRowIndex(kv::kSmsStoreMemory, 0xFFFF));
        if (!v)
            return false;
        index = int32_t(*v);
        return true;
    }
    const std::string store = text.substr(0, colon);
    const int code = store == "memory" || store == "6" ? kv::kSmsStoreMemory
                   : store == "ruim" || store == "5"   ? kv::kSmsStoreRuim
                                                       : 0;
    const auto slot = kvcli::ParseNumber(std::string_view(text).substr(colon + 1), 0, 0xFFFF);
    if (!code || !slot)
        return false;
    index = kv::SmsRowIndex(code, int(*slot));
    return true;
}

const char* StoreName(int32_t index)
{
    return kv::SmsStorageOf(index) == kv::kSmsStoreRuim ? "ruim" : "memory";
}

const char* BoxName(double tag)
{
    return tag <= kv::kSmsTagUnread ? (tag == kv::kSmsTagUnread ? "unread" : "read") : "outbox";
}

// Lists both stores and reads the new messages into the table, each failure
// named; kExitOk when the table mirrors the modem.
int LoadMessages(kv::CMessagingSession& s)
{
    kv::CDmEngine& engine = s.Engine();
    bool any = false;
    for (const int store : {kv::kSmsStoreMemory, kv::kSmsStoreRuim}) {
        const uint16_t r = engine.DmSubRequest(kv::DM_SMS_LIST, uintptr_t(store), false);
        if (r == kv::DM_SMS_LIST)
            any = true;
        else if (r != kv::DM_RESULT_NO_MESSAGES)
            return kvcli::Fail(kvcli::ExitForResult(r), std::string("listing the ")
                                                            + (store == kv::kSmsStoreRuim ? "ruim" : "memory")
                                                            + " messages failed: " + kvcli::ResultText(r));
    }
    if (any) {
        const uint16_t r = engine.DmSubRequest(kv::DM_SMS_READ, 0, false);
        if (r != kv::DM_SMS_READ)
            return kvcli::Fail(kvcli::ExitForResult(r), "reading the messages failed: " + kvcli::ResultText(r));
    }
    s.Host().State().m_ucUiFlags |= kv::UIF_SMS_LOADED;
    return kvcli::kExitOk;
}

kvcli::Json MessageJson(kv::CDaoSmsDb& sms)
{
    return {{"index", int(sms.m_index)},
            {"store", StoreName(sms.m_index)},
            {"slot", kv::SmsSlotOf(sms.m_index)},
            {"box", BoxName(sms.m_tag_type)},
            {"time", TimeText(sms.m_time)},
            {"number", kvcli::Utf8Text(sms.m_cb_number)},
            {"text", kvcli::Utf8Text(sms.MessageText())}};
}

int List(kv::CMessagingSession& s, int onlyStore)
{
    if (const int r = LoadMessages(s); r != kvcli::kExitOk)
        return r;
    kv::CDaoSmsDb& sms = s.Db().Sms();
    kvcli::Json messages = kvcli::Json::array();
    std::string text;
    try {
        if (sms.GetRecordCount() > 0) {
            for (sms.MoveFirst(); !sms.IsEOF(); sms.MoveNext()) {
                if (onlyStore && kv::SmsStorageOf(sms.m_index) != onlyStore)
                    continue;
                messages.push_back(MessageJson(sms));
                char head[96];
                std::snprintf(head, sizeof head, "%d\t%s:%d\t%s\t%s\t", int(sms.m_index), StoreName(sms.m_index),
                              kv::SmsSlotOf(sms.m_index), BoxName(sms.m_tag_type), TimeText(sms.m_time).c_str());
                text += head + kvcli::Shown(kvcli::Utf8Text(sms.m_cb_number)) + "\t"
                        + kvcli::Shown(kvcli::Utf8Text(sms.MessageText())) + "\n";
            }
        }
    } catch (const kv::CDaoException& e) {
        return kvcli::Fail(kvcli::kExitFailure, "database error: " + kvcli::Shown(e.Description()));
    }
    const int memory = s.Shared().m_nMemoryCount.load(), ruim = s.Shared().m_nRuimCount.load();
    if (kvcli::JsonMode()) {
        kvcli::PrintJson({{"memory_count", memory}, {"ruim_count", ruim}, {"messages", messages}});
    } else {
        std::fputs(text.c_str(), stdout);
        std::printf("memory=%d ruim=%d\n", memory, ruim);
    }
    return kvcli::kExitOk;
}

int Read(kv::CMessagingSession& s, int32_t index)
{
    if (const int r = LoadMessages(s); r != kvcli::kExitOk)
        return r;
    kv::CDaoSmsDb& sms = s.Db().Sms();
    try {
        if (!sms.FindFirst(kv::CDaoSmsDb::FilterIndex(index)))
            return kvcli::Fail(kvcli::kExitFailure, std::string("no message ") + StoreName(index) + ":"
                                                         + std::to_string(kv::SmsSlotOf(index)));
        if (kvcli::JsonMode()) {
            kvcli::PrintJson(MessageJson(sms));
        } else {
            std::printf("index: %d (%s:%d)\nfrom: %s\ntime: %s\n\n%s\n", int(sms.m_index), StoreName(index),
                        kv::SmsSlotOf(index), kvcli::Shown(kvcli::Utf8Text(sms.m_cb_number)).c_str(),
                        TimeText(sms.m_time).c_str(), kvcli::Shown(kvcli::Utf8Text(sms.MessageText())).c_str());
        }
        if (sms.m_tag_type == kv::kSmsTagUnread) {
            const uint16_t r = s.Sms().MarkMessageRead(index);
            if (r != kv::DM_SMS_SETTAG)
                std::fprintf(stderr, "korvianet-cli: could not mark the message read: %s\n",
                             kvcli::ResultText(r).c_str());
        }
    } catch (const kv::CDaoException& e) {
        return kvcli::Fail(kvcli::kExitFailure, "database error: " + kvcli::Shown(e.Description()));
    }
    return kvcli::kExitOk;
}

const char* OutcomeName(intptr_t outcome)
{
    switch (outcome) {
    case kv::kSmsOutcomeDelivered: return "delivered";
    case kv::CMessagingSession::kNoReport: return "no report";
    case kv::kSmsOutcomeBusy: return "modem busy";
    case kv::kSmsOutcomeRefused: return "refused";
    default: return "failed";
    }
}

std::string OutcomeText(intptr_t outcome)
{
    switch (outcome) {
    case kv::CMessagingSession::kNoReport: return "timed out: no delivery report in time";
    case kv::kSmsOutcomeBusy: return "the modem is busy with a call (402)";
    case kv::kSmsOutcomeRefused: return "the modem refused to send it (0x7ff0)";
    default: return "the network did not deliver it (report " + std::to_string(long(outcome)) + ")";
    }
}

// A copy of the message in the card's outbox, as the SMS page keeps one
// when asked; the sub-request's result.
uint16_t SaveOnCard(kv::CMessagingSession& s, const std::string& number, const std::string& callback,
                    const std::string& text)
{
    s.Shared().SetSendRecord(number, callback, text);
    return s.Engine().DmSubRequest(kv::DM_SMS_WRITE, uintptr_t(kv::SmsRowIndex(kv::kSmsStoreRuim, 3)), false);
}

int Send(kv::CMessagingSession& s, const std::vector<std::string>& numbers, const std::string& callback,
         const std::string& text, int64_t timeoutMs, bool save)
{
    int saved = -1; // not asked
    if (save) {
        const uint16_t r = SaveOnCard(s, numbers.front(), callback, text);
        saved = r == kv::DM_SMS_WRITE ? 1 : 0;
        if (!saved)
            std::fprintf(stderr, "korvianet-cli: the copy was not saved on the card: %s\n",
                         kvcli::ResultText(r).c_str());
        else if (!kvcli::JsonMode())
            std::printf("saved on the card\n");
    }
    int failed = 0, timedOut = 0;
    bool gone = false;
    kvcli::Json results = kvcli::Json::array();
    for (const std::string& n : numbers) {
        if (gone) {
            // Not tried: the modem is not there to take it.
            ++failed;
            results.push_back({{"number", n}, {"outcome", "not sent"}, {"code", nullptr}});
            if (!kvcli::JsonMode())
                std::printf("%s\tnot sent: the modem went away\n", n.c_str());
            continue;
        }
        const intptr_t outcome = s.SendOne(n, callback, text, timeoutMs);
        if (outcome != kv::kSmsOutcomeDelivered && !s.Engine().ThreadRunning()) {
            // The engine ended under the send (unplugged, or it stopped
            // answering): whether the message left is not known.
            gone = true;
            ++failed;
            results.push_back({{"number", n}, {"outcome", "modem gone"}, {"code", nullptr}});
            if (!kvcli::JsonMode())
                std::printf("%s\tfailed: the modem went away %s\n", n.c_str(),
                            outcome == kv::CMessagingSession::kSentModemGone
                                ? "after it took the message, before its delivery report"
                                : "during the send");
            continue;
        }
        results.push_back({{"number", n}, {"outcome", OutcomeName(outcome)}, {"code", long(outcome)}});
        if (outcome == kv::kSmsOutcomeDelivered) {
            if (!kvcli::JsonMode())
                std::printf("%s\tdelivered\n", n.c_str());
            continue;
        }
        ++failed;
        if (outcome == kv::CMessagingSession::kNoReport)
            ++timedOut;
        if (!kvcli::JsonMode())
            std::printf("%s\tfailed: %s\n", n.c_str(), OutcomeText(outcome).c_str());
    }
    if (kvcli::JsonMode()) {
        kvcli::Json doc = {{"total", int(numbers.size())}, {"failed", failed}, {"results", results}};
        if (saved >= 0)
            doc["saved"] = saved == 1;
        kvcli::PrintJson(doc);
    } else if (failed) {
        std::printf("Sending messages have %d failed of %d total.\n", failed, int(numbers.size()));
    } else {
        std::printf("Sending messages have successful.\n");
    }
    if (gone)
        return kvcli::Fail(kvcli::kExitNoDevice, "the modem went away (unplugged or no longer answering)");
    if (!failed)
        return kvcli::kExitOk;
    return failed == timedOut ? kvcli::kExitTimedOut : kvcli::kExitFailure;
}

int Delete(kv::CMessagingSession& s, int32_t index)
{
    if (const int r = LoadMessages(s); r != kvcli::kExitOk)
        return r;
    const std::string name = std::string(StoreName(index)) + ":" + std::to_string(kv::SmsSlotOf(index));
    try {
        if (!s.Db().Sms().FindFirst(kv::CDaoSmsDb::FilterIndex(index)))
            return kvcli::Fail(kvcli::kExitFailure, "no message " + name);
    } catch (const kv::CDaoException& e) {
        return kvcli::Fail(kvcli::kExitFailure, "database error: " + kvcli::Shown(e.Description()));
    }
    const uint16_t r = s.Engine().DmSubRequest(kv::DM_SMS_REMOVEAT, uintptr_t(index), false);
    if (r != kv::DM_SMS_REMOVEAT)
        return kvcli::Fail(kvcli::ExitForResult(r), "cannot delete " + name + ": " + kvcli::ResultText(r));
    if (kvcli::JsonMode())
        kvcli::PrintJson({{"deleted", name}, {"index", int(index)}});
    else
        std::printf("deleted %s\n", name.c_str());
    return kvcli::kExitOk;
}

// Every message of the inbox (received) or the outbox (stored), as the SMS
// page's Delete All does; messages the modem refuses to delete stay.
int DeleteAll(kv::CMessagingSession& s, bool inbox)
{
    if (const int r = LoadMessages(s); r != kvcli::kExitOk)
        return r;
    auto inBox = [inbox](double tag) { return inbox ? tag <= kv::kSmsTagUnread : tag > kv::kSmsTagUnread; };
    auto boxIndexes = [&](std::vector<int32_t>& out) {
        out.clear();
        kv::CDaoSmsDb& sms = s.Db().Sms();
        if (sms.GetRecordCount() > 0)
            for (sms.MoveFirst(); !sms.IsEOF(); sms.MoveNext())
                if (inBox(sms.m_tag_type))
                    out.push_back(sms.m_index);
    };
    std::vector<int32_t> before, after;
    try {
        boxIndexes(before);
    } catch (const kv::CDaoException& e) {
        return kvcli::Fail(kvcli::kExitFailure, "database error: " + kvcli::Shown(e.Description()));
    }
    uint16_t r = kv::DM_SMS_REMOVEALL;
    if (!before.empty()) {
        s.List().m_items = before;
        r = s.Engine().DmSubRequest(kv::DM_SMS_REMOVEALL, inbox ? kv::kSmsListInbox : kv::kSmsListOutbox, false);
    }
    try {
        boxIndexes(after);
    } catch (const kv::CDaoException& e) {
        return kvcli::Fail(kvcli::kExitFailure, "database error: " + kvcli::Shown(e.Description()));
    }
    const int deleted = int(before.size()) - int(after.size());
    if (kvcli::JsonMode())
        kvcli::PrintJson({{"box", inbox ? "inbox" : "outbox"}, {"deleted", deleted}, {"left", int(after.size())}});
    else
        std::printf("deleted %d of %d messages in the %s\n", deleted, int(before.size()), inbox ? "inbox" : "outbox");
    if (r != kv::DM_SMS_REMOVEALL)
        return kvcli::Fail(kvcli::ExitForResult(r), "delete all stopped: " + kvcli::ResultText(r));
    return after.empty() ? kvcli::kExitOk : kvcli::kExitFailure;
}

// ---- through the owner of the modem on the session bus ----

// Reads one (index, store, slot, box, time, number, text) of the owner.
bool ReadOwnerSms(sd_bus_message* m, kvcli::Json& out)
{
    uint32_t index = 0, slot = 0;
    const char *store = nullptr, *box = nullptr, *time = nullptr, *number = nullptr, *text = nullptr;
    if (sd_bus_message_read(m, "(usussss)", &index, &store, &slot, &box, &time, &number, &text) <= 0)
        return false;
    out = {{"index", int(index)},
           {"store", kvcli::Utf8Text(store ? store : "")},
           {"slot", int(slot)},
           {"box", kvcli::Utf8Text(box ? box : "")},
           {"time", kvcli::Utf8Text(time ? time : "")},
           {"number", kvcli::Utf8Text(number ? number : "")},
           {"text", kvcli::Utf8Text(text ? text : "")}};
    return true;
}

std::string Field(const kvcli::Json& m, const char* key) { return kvcli::Shown(m[key].get<std::string>()); }

int UnreadableReply() { return kvcli::Fail(kvcli::kExitFailure, "the owner of the modem sent a reply that cannot be read"); }

int ListThroughOwner(kvcli::OwnerBus& bus, int onlyStore)
{
    const char* store = onlyStore == kv::kSmsStoreMemory ? "memory" : onlyStore == kv::kSmsStoreRuim ? "ruim" : "";
    kvcli::BusMessage reply;
    if (const int st = bus.Call("ListSms", kvcli::kBusCallMs * 6, reply, "s", store); st != kvcli::kExitOk)
        return st;
    kvcli::Json messages = kvcli::Json::array();
    std::string text;
    if (sd_bus_message_enter_container(reply.get(), 'a', "(usussss)") < 0)
        return UnreadableReply();
    for (kvcli::Json m; ReadOwnerSms(reply.get(), m);) {
        char head[96];
        std::snprintf(head, sizeof head, "%d\t%s:%d\t%s\t%s\t", m["index"].get<int>(), Field(m, "store").c_str(),
                      m["slot"].get<int>(), Field(m, "box").c_str(), Field(m, "time").c_str());
        text += head + Field(m, "number") + "\t" + Field(m, "text") + "\n";
        messages.push_back(std::move(m));
    }
    kvcli::Json props;
    if (const int st = bus.GetAll(props); st != kvcli::kExitOk)
        return st;
    const int memory = int(kvcli::NumberOf(props, "MessagesMemory")), ruim = int(kvcli::NumberOf(props, "MessagesRuim"));
    if (kvcli::JsonMode()) {
        kvcli::PrintJson({{"memory_count", memory}, {"ruim_count", ruim}, {"messages", messages}});
    } else {
        std::fputs(text.c_str(), stdout);
        std::printf("memory=%d ruim=%d\n", memory, ruim);
    }
    return kvcli::kExitOk;
}

int ReadThroughOwner(kvcli::OwnerBus& bus, int32_t index)
{
    kvcli::BusMessage reply;
    if (const int st = bus.Call("ReadSms", kvcli::kBusCallMs * 3, reply, "u", uint32_t(index)); st != kvcli::kExitOk)
        return st;
    kvcli::Json m;
    if (!ReadOwnerSms(reply.get(), m))
        return UnreadableReply();
    if (kvcli::JsonMode())
        kvcli::PrintJson(m);
    else
        std::printf("index: %d (%s:%d)\nfrom: %s\ntime: %s\n\n%s\n", m["index"].get<int>(), Field(m, "store").c_str(),
                    m["slot"].get<int>(), Field(m, "number").c_str(), Field(m, "time").c_str(),
                    Field(m, "text").c_str());
    return kvcli::kExitOk;
}

int DeleteThroughOwner(kvcli::OwnerBus& bus, int32_t index)
{
    const std::string name = std::string(StoreName(index)) + ":" + std::to_string(kv::SmsSlotOf(index));
    kvcli::BusMessage reply;
    if (const int st = bus.Call("DeleteSms", kvcli::kBusCallMs * 3, reply, "u", uint32_t(index)); st != kvcli::kExitOk)
        return st;
    if (kvcli::JsonMode())
        kvcli::PrintJson({{"deleted", name}, {"index", int(index)}});
    else
        std::printf("deleted %s\n", name.c_str());
    return kvcli::kExitOk;
}

int DeleteAllThroughOwner(kvcli::OwnerBus& bus, bool inbox)
{
    kvcli::BusMessage reply;
    if (const int st = bus.Call("DeleteAllSms", kvcli::kBusCallMs * 30, reply, "s", inbox ? "inbox" : "outbox");
        st != kvcli::kExitOk)
        return st;
    uint32_t deleted = 0, left = 0;
    if (sd_bus_message_read(reply.get(), "uu", &deleted, &left) < 0)
        return UnreadableReply();
    if (kvcli::JsonMode())
        kvcli::PrintJson({{"box", inbox ? "inbox" : "outbox"}, {"deleted", deleted}, {"left", left}});
    else
        std::printf("deleted %u of %u messages in the %s\n", deleted, deleted + left, inbox ? "inbox" : "outbox");
    return left == 0 ? kvcli::kExitOk : kvcli::kExitFailure;
}

int SendThroughOwner(kvcli::OwnerBus& bus, const std::vector<std::string>& numbers, const std::string& callback,
                     const std::string& text, int64_t timeoutMs, bool save)
{
    kvcli::BusMessage call = bus.NewCall("SendSms");
    std::vector<const char*> strv;
    for (const std::string& n : numbers)
        strv.push_back(n.c_str());
    strv.push_back(nullptr);
    if (!call || sd_bus_message_append_strv(call.get(), const_cast<char**>(strv.data())) < 0
        || sd_bus_message_append(call.get(), "ssb", text.c_str(), callback.c_str(), save ? 1 : 0) < 0)
        return kvcli::Fail(kvcli::kExitFailure, "cannot build the bus call SendSms");
    // The owner waits for each delivery report in turn.
    kvcli::BusMessage reply;
    if (const int st = bus.Send(call.get(), int64_t(numbers.size()) * (timeoutMs + 30000), reply);
        st != kvcli::kExitOk)
        return st;
    if (sd_bus_message_enter_container(reply.get(), 'a', "(ssx)") < 0)
        return UnreadableReply();
    int failed = 0, timedOut = 0, results = 0;
    bool gone = false;
    kvcli::Json list = kvcli::Json::array();
    const char *number = nullptr, *outcome = nullptr;
    int64_t code = 0;
    while (sd_bus_message_read(reply.get(), "(ssx)", &number, &outcome, &code) > 0) {
        ++results;
        const std::string n = number ? number : "", o = outcome ? outcome : "";
        const bool noCode = o == "not sent" || o == "modem gone";
        list.push_back({{"number", kvcli::Utf8Text(n)}, {"outcome", kvcli::Utf8Text(o)},
                        {"code", noCode ? kvcli::Json(nullptr) : kvcli::Json(code)}});
        std::string line;
        if (o == "delivered") {
            line = "delivered";
        } else {
            ++failed;
            if (o == "not sent") {
                gone = true;
                line = "not sent: the modem went away";
            } else if (o == "modem gone") {
                gone = true;
                line = "failed: the modem went away during the send";
            } else if (o == "no report") {
                ++timedOut;
                line = "failed: " + OutcomeText(kv::CMessagingSession::kNoReport);
            } else if (o == "modem busy") {
                line = "failed: " + OutcomeText(kv::kSmsOutcomeBusy);
            } else if (o == "refused") {
                line = "failed: " + OutcomeText(kv::kSmsOutcomeRefused);
            } else if (o == "failed") {
                line = "failed: " + OutcomeText(intptr_t(code));
            } else {
                line = "failed: " + kvcli::Shown(o);
            }
        }
        if (!kvcli::JsonMode())
            std::printf("%s\t%s\n", kvcli::Shown(n).c_str(), line.c_str());
    }
    // A recipient the owner did not answer for counts as not sent.
    for (size_t k = size_t(results); k < numbers.size(); ++k) {
        ++failed;
        list.push_back({{"number", numbers[k]}, {"outcome", "not sent"}, {"code", nullptr}});
        if (!kvcli::JsonMode())
            std::printf("%s\tnot sent: the owner of the modem did not say\n", numbers[k].c_str());
    }
    if (kvcli::JsonMode())
        kvcli::PrintJson({{"total", int(numbers.size())}, {"failed", failed}, {"results", list}});
    else if (failed)
        std::printf("Sending messages have %d failed of %d total.\n", failed, int(numbers.size()));
    else
        std::printf("Sending messages have successful.\n");
    if (gone)
        return kvcli::Fail(kvcli::kExitNoDevice, "the modem went away (unplugged or no longer answering)");
    if (!failed)
        return kvcli::kExitOk;
    return failed == timedOut ? kvcli::kExitTimedOut : kvcli::kExitFailure;
}

int RunSend(const kvcli::GlobalOptions& opts, const std::vector<std::string>& args)
{
    std::string callback;
    int64_t timeoutMs = 10000;
    bool save = false;
    std::vector<std::string> numbers;
    std::string text;
    bool sawText = false;
    size_t i = 1;
    for (; i < args.size(); ++i) {
        if (args[i] == "--callback" && i + 1 < args.size()) {
            callback = args[++i];
            if (const std::string why = kv::SmsCallbackProblem(callback); !why.empty())
                return kvcli::UsageError(why);
        } else if (args[i] == "--timeout" && i + 1 < args.size()) {
            const auto v = kvcli::NumberArg("--timeout", args[++i], 1, 3600);
            if (!v)
                return kvcli::kExitUsage;
            timeoutMs = *v * 1000;
        } else if (args[i] == "--save") {
            save = true;
        } else if (args[i] == "--") {
            ++i;
            sawText = true;
            break;
        } else {
            if (const std::string why = kv::SmsNumberProblem(args[i]); !why.empty())
                return kvcli::UsageError(why);
            numbers.push_back(args[i]);
        }
    }
    for (; i < args.size(); ++i)
        text += (text.empty() ? "" : " ") + args[i];
    if (numbers.empty() || !sawText)
        return kvcli::UsageError(kUsage);
    if (const std::string why = kv::SmsRecipientsProblem(numbers.size()); !why.empty())
        return kvcli::UsageError(why);
    if (const std::string why = kv::SmsTextProblem(text); !why.empty())
        return kvcli::UsageError(why);
    if (auto bus = kvcli::OwnerBus::Find())
        return SendThroughOwner(*bus, numbers, callback, text, timeoutMs, save);
    int status = kvcli::kExitOk;
    auto s = kvcli::OpenSession(opts, false, status);
    return s ? Send(*s, numbers, callback, text, timeoutMs, save) : status;
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
        if (auto bus = kvcli::OwnerBus::Find())
            return ListThroughOwner(*bus, store);
        int status = kvcli::kExitOk;
        auto s = kvcli::OpenSession(opts, false, status);
        return s ? List(*s, store) : status;
    }
    if ((sub == "read" || sub == "delete") && args.size() == 2) {
        if (!ParseMessageIndex(args[1], index))
            return kvcli::UsageError("INDEX: '" + kvcli::Shown(args[1])
                                     + "' is neither a row index (327680 to 458751) nor STORE:SLOT "
                                       "(memory:3, ruim:0; slot 0 to 65535)");
        if (auto bus = kvcli::OwnerBus::Find())
            return sub == "read" ? ReadThroughOwner(*bus, index) : DeleteThroughOwner(*bus, index);
        int status = kvcli::kExitOk;
        auto s = kvcli::OpenSession(opts, false, status);
        if (!s)
            return status;
        return sub == "read" ? Read(*s, index) : Delete(*s, index);
    }
    if (sub == "send")
        return RunSend(opts, args);
    if (sub == "delete-all" && args.size() == 2 && (args[1] == "inbox" || args[1] == "outbox")) {
        if (auto bus = kvcli::OwnerBus::Find())
            return DeleteAllThroughOwner(*bus, args[1] == "inbox");
        int status = kvcli::kExitOk;
        auto s = kvcli::OpenSession(opts, false, status);
        return s ? DeleteAll(*s, args[1] == "inbox") : status;
    }
    return kvcli::UsageError(kUsage);
}

} // namespace

KV_CLI_COMMAND("sms",
               "sms list [memory|ruim] | sms read INDEX | sms send [--callback N] [--timeout S] [--save] NUMBER... -- TEXT | sms delete INDEX | sms delete-all inbox|outbox",
               "list the messages of both stores (or one), show one (marking it read), send a text to one\n"
               "      or more numbers waiting for each delivery report, delete one, or delete every message\n"
               "      of the inbox or the outbox; INDEX is the row index\n"
               "      or STORE:SLOT. NUMBER: digits, *, #, a leading +, at most 32 characters, at most 5\n"
               "      recipients; TEXT: not empty, at most the modem's limit (160 plain ASCII characters, 40\n"
               "      others, unless the modem reported other limits) and 229 bytes; S: 1 to 3600; --save\n"
               "      keeps a copy in the card's outbox first",
               RunSms,
               "  sms list:   {\"memory_count\": N, \"ruim_count\": N, \"messages\": [MESSAGE...]}\n"
               "  sms read:   MESSAGE\n"
               "    MESSAGE = {\"index\": N, \"store\": \"memory\"|\"ruim\", \"slot\": N,\n"
               "               \"box\": \"read\"|\"unread\"|\"outbox\", \"time\": \"YYYY-MM-DD HH:MM:SS\" (UTC),\n"
               "               \"number\": TEXT, \"text\": TEXT}\n"
               "  sms send:   {\"total\": N, \"failed\": N, \"results\": [{\"number\": TEXT, \"outcome\":\n"
               "               \"delivered\"|\"no report\"|\"modem busy\"|\"refused\"|\"failed\"|\"modem gone\"|\"not sent\",\n"
               "               \"code\": N|null}]}  (modem gone: the modem went away during that send; not sent:\n"
               "               not tried after it; exit status 3)\n"
               "  sms delete: {\"deleted\": \"STORE:SLOT\", \"index\": N}");
