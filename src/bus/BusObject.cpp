// The exported object: its properties (the snapshot the service's thread
// keeps), its methods (caller and arguments checked, the work handed to the
// owner's actions, the answer sent when it is done) and its signals' table.
#include "bus/BusLoop.h"
#include "bus/BusNames.h"
#include "bus/BusText.h"
#include "bus/StatusFlatten.h"
#include "host/ArgChecks.h"

#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

namespace kv::bus {

namespace {

using Loop = CBusService::Loop;
using Inbox = CBusService::Inbox;

Loop& L(void* userdata) { return *static_cast<Loop*>(userdata); }

// --- The caller and the arguments ------------------------------------------

// Only the user the owner runs as may use the modem: the session bus's
// policy says so already, and the caller's uid is checked all the same.
int Admit(sd_bus_message* m, sd_bus_error* error)
{
    sd_bus_creds* creds = nullptr;
    int r = sd_bus_query_sender_creds(m, SD_BUS_CREDS_EUID | SD_BUS_CREDS_UID, &creds);
    uid_t uid = 0;
    if (r >= 0) {
        r = sd_bus_creds_get_euid(creds, &uid);
        if (r < 0)
            r = sd_bus_creds_get_uid(creds, &uid);
    }
    sd_bus_creds_unref(creds);
    if (r < 0 || uid != ::geteuid())
        return sd_bus_error_set(error, kErrAccessDenied, "only the user running Korvianet may use its modem");
    return 0;
}

int Refuse(sd_bus_error* error, const std::string& why)
{
    return sd_bus_error_set(error, kErrInvalidArgument, why.c_str());
}

// INDEX of a phonebook entry, as the command line reads it.
std::string PbIndexProblem(const char* name, long long index)
{
    if (index >= 1 && index <= 0xFFFF)
        return {};
    return std::string(name) + ": '" + std::to_string(index) + "' is not a whole number from 1 to 65535";
}

// --- Answers ---------------------------------------------------------------

// The done callback of an action without values.
IOwnerActions::Done Answer(Loop& l, uint64_t id)
{
    return [in = l.Box(), id](const OwnerResult& r) { in->Post([id, r](Loop& lp) { lp.Finish(id, r, nullptr); }); };
}

int AppendSms(sd_bus_message* reply, const OwnerSms& s)
{
    return sd_bus_message_append(reply, "(usussss)", s.index, BusText(s.store).c_str(), s.slot, BusText(s.box).c_str(),
                                 BusText(s.time).c_str(), BusText(s.number).c_str(), BusText(s.text).c_str());
}

int AppendStatus(sd_bus_message* reply, const std::vector<FlatValue>& flat)
{
    int r = sd_bus_message_open_container(reply, 'a', "{sv}");
    for (const FlatValue& f : flat) {
        if (r < 0)
            break;
        const char type[2] = {f.type, 0};
        r = sd_bus_message_open_container(reply, 'e', "sv");
        if (r >= 0)
            r = sd_bus_message_append(reply, "s", BusText(f.key).c_str());
        if (r >= 0)
            r = sd_bus_message_open_container(reply, 'v', type);
        if (r >= 0) {
            switch (f.type) {
            case 'x': r = sd_bus_message_append(reply, "x", f.i); break;
            case 't': r = sd_bus_message_append(reply, "t", f.u); break;
            case 'd': r = sd_bus_message_append(reply, "d", f.d); break;
            case 'b': r = sd_bus_message_append(reply, "b", int(f.b)); break;
            default: r = sd_bus_message_append(reply, "s", BusText(f.s).c_str()); break;
            }
        }
        if (r >= 0)
            r = sd_bus_message_close_container(reply);
        if (r >= 0)
            r = sd_bus_message_close_container(reply);
    }
    if (r >= 0)
        r = sd_bus_message_close_container(reply);
    return r;
}

// --- Methods ---------------------------------------------------------------

int OnGetStatus(sd_bus_message* m, void* ud, sd_bus_error* error)
{
    if (int r = Admit(m, error); r < 0)
        return r;
    Loop& l = L(ud);
    const uint64_t id = l.Hold(m, l.Options().callTimeoutMs);
    l.Actions().GetStatus([in = l.Box(), id](const OwnerResult& r, const std::string& json) {
        in->Post([id, r, json](Loop& lp) {
            std::vector<FlatValue> flat;
            if (r.ok() && !FlattenStatus(json, flat)) {
                lp.Finish(id, {OwnerError::Failed, "the status report could not be read"}, nullptr);
                return;
            }
            lp.Finish(id, r, [&flat](sd_bus_message* reply) { return AppendStatus(reply, flat); });
        });
    });
    return 1;
}

int OnConnect(sd_bus_message* m, void* ud, sd_bus_error* error)
{
    if (int r = Admit(m, error); r < 0)
        return r;
    const char* user = nullptr;
    const char* password = nullptr;
    if (int r = sd_bus_message_read(m, "ss", &user, &password); r < 0)
        return r;
    Loop& l = L(ud);
    const uint64_t id = l.Hold(m, l.Options().callTimeoutMs);
    l.Actions().Connect(user, password, Answer(l, id));
    return 1;
}

int OnDisconnect(sd_bus_message* m, void* ud, sd_bus_error* error)
{
    if (int r = Admit(m, error); r < 0)
        return r;
    Loop& l = L(ud);
    const uint64_t id = l.Hold(m, l.Options().callTimeoutMs);
    l.Actions().Disconnect(Answer(l, id));
    return 1;
}

int OnDial(sd_bus_message* m, void* ud, sd_bus_error* error)
{
    if (int r = Admit(m, error); r < 0)
        return r;
    const char* number = nullptr;
    if (int r = sd_bus_message_read(m, "s", &number); r < 0)
        return r;
    if (const std::string why = DialStringProblem(number); !why.empty())
        return Refuse(error, why);
    Loop& l = L(ud);
    const uint64_t id = l.Hold(m, l.Options().callTimeoutMs);
    l.Actions().Dial(number, Answer(l, id));
    return 1;
}

int OnAnswer(sd_bus_message* m, void* ud, sd_bus_error* error)
{
    if (int r = Admit(m, error); r < 0)
        return r;
    Loop& l = L(ud);
    const uint64_t id = l.Hold(m, l.Options().callTimeoutMs);
    l.Actions().Answer(Answer(l, id));
    return 1;
}

int OnHangup(sd_bus_message* m, void* ud, sd_bus_error* error)
{
    if (int r = Admit(m, error); r < 0)
        return r;
    Loop& l = L(ud);
    const uint64_t id = l.Hold(m, l.Options().callTimeoutMs);
    l.Actions().Hangup(Answer(l, id));
    return 1;
}

int OnSendDtmf(sd_bus_message* m, void* ud, sd_bus_error* error)
{
    if (int r = Admit(m, error); r < 0)
        return r;
    const char* digits = nullptr;
    if (int r = sd_bus_message_read(m, "s", &digits); r < 0)
        return r;
    if (const std::string why = DtmfProblem(digits); !why.empty())
        return Refuse(error, why);
    Loop& l = L(ud);
    const uint64_t id = l.Hold(m, l.Options().callTimeoutMs);
    l.Actions().SendDtmf(digits, Answer(l, id));
    return 1;
}

int OnSendSms(sd_bus_message* m, void* ud, sd_bus_error* error)
{
    if (int r = Admit(m, error); r < 0)
        return r;
    char** strv = nullptr;
    int r = sd_bus_message_read_strv(m, &strv);
    std::vector<std::string> numbers;
    for (char** p = strv; p && *p; ++p) {
        numbers.emplace_back(*p);
        free(*p);
    }
    free(strv);
    if (r < 0)
        return r;
    const char* text = nullptr;
    const char* callback = nullptr;
    int save = 0;
    if (r = sd_bus_message_read(m, "ssb", &text, &callback, &save); r < 0)
        return r;
    if (const std::string why = SmsSendProblem(numbers, text, callback); !why.empty())
        return Refuse(error, why);
    Loop& l = L(ud);
    const uint64_t id = l.Hold(m, l.Options().smsTimeoutMs);
    l.Actions().SendSms(numbers, text, callback, save != 0,
                        [in = l.Box(), id](const OwnerResult& res, const std::vector<OwnerSmsOutcome>& out) {
                            in->Post([id, res, out](Loop& lp) {
                                lp.Finish(id, res, [&out](sd_bus_message* reply) {
                                    int e = sd_bus_message_open_container(reply, 'a', "(ssx)");
                                    for (const OwnerSmsOutcome& o : out)
                                        if (e >= 0)
                                            e = sd_bus_message_append(reply, "(ssx)", BusText(o.number).c_str(),
                                                                      BusText(o.outcome).c_str(),
                                                                      o.hasCode ? o.code : int64_t(-1));
                                    return e < 0 ? e : sd_bus_message_close_container(reply);
                                });
                            });
                        });
    return 1;
}

int OnListSms(sd_bus_message* m, void* ud, sd_bus_error* error)
{
    if (int r = Admit(m, error); r < 0)
        return r;
    const char* store = nullptr;
    if (int r = sd_bus_message_read(m, "s", &store); r < 0)
        return r;
    if (const std::string why = SmsStoreProblem(store, true); !why.empty())
        return Refuse(error, why);
    Loop& l = L(ud);
    const uint64_t id = l.Hold(m, l.Options().callTimeoutMs);
    l.Actions().ListSms(store, [in = l.Box(), id](const OwnerResult& res, const std::vector<OwnerSms>& list) {
        in->Post([id, res, list](Loop& lp) {
            lp.Finish(id, res, [&list](sd_bus_message* reply) {
                int e = sd_bus_message_open_container(reply, 'a', "(usussss)");
                for (const OwnerSms& s : list)
                    if (e >= 0)
                        e = AppendSms(reply, s);
                return e < 0 ? e : sd_bus_message_close_container(reply);
            });
        });
    });
    return 1;
}

int OnReadSms(sd_bus_message* m, void* ud, sd_bus_error* error)
{
    if (int r = Admit(m, error); r < 0)
        return r;
    uint32_t index = 0;
    if (int r = sd_bus_message_read(m, "u", &index); r < 0)
        return r;
    Loop& l = L(ud);
    const uint64_t id = l.Hold(m, l.Options().callTimeoutMs);
    l.Actions().ReadSms(index, [in = l.Box(), id](const OwnerResult& res, const OwnerSms& sms) {
        in->Post([id, res, sms](Loop& lp) {
            lp.Finish(id, res, [&sms](sd_bus_message* reply) { return AppendSms(reply, sms); });
        });
    });
    return 1;
}

int OnDeleteSms(sd_bus_message* m, void* ud, sd_bus_error* error)
{
    if (int r = Admit(m, error); r < 0)
        return r;
    uint32_t index = 0;
    if (int r = sd_bus_message_read(m, "u", &index); r < 0)
        return r;
    Loop& l = L(ud);
    const uint64_t id = l.Hold(m, l.Options().callTimeoutMs);
    l.Actions().DeleteSms(index, Answer(l, id));
    return 1;
}

int OnDeleteAllSms(sd_bus_message* m, void* ud, sd_bus_error* error)
{
    if (int r = Admit(m, error); r < 0)
        return r;
    const char* box = nullptr;
    if (int r = sd_bus_message_read(m, "s", &box); r < 0)
        return r;
    if (const std::string why = SmsBoxProblem(box); !why.empty())
        return Refuse(error, why);
    Loop& l = L(ud);
    const uint64_t id = l.Hold(m, l.Options().callTimeoutMs);
    l.Actions().DeleteAllSms(box, [in = l.Box(), id](const OwnerResult& res, uint32_t deleted, uint32_t left) {
        in->Post([id, res, deleted, left](Loop& lp) {
            lp.Finish(id, res, [=](sd_bus_message* reply) { return sd_bus_message_append(reply, "uu", deleted, left); });
        });
    });
    return 1;
}

int OnListPhonebook(sd_bus_message* m, void* ud, sd_bus_error* error)
{
    if (int r = Admit(m, error); r < 0)
        return r;
    const char* storage = nullptr;
    if (int r = sd_bus_message_read(m, "s", &storage); r < 0)
        return r;
    if (const std::string why = PbStorageProblem(storage); !why.empty())
        return Refuse(error, why);
    Loop& l = L(ud);
    const uint64_t id = l.Hold(m, l.Options().callTimeoutMs);
    l.Actions().ListPhonebook(storage, [in = l.Box(), id](const OwnerResult& res,
                                                          const std::vector<OwnerPbEntry>& entries, int used,
                                                          int capacity) {
        in->Post([id, res, entries, used, capacity](Loop& lp) {
            lp.Finish(id, res, [&](sd_bus_message* reply) {
                int e = sd_bus_message_open_container(reply, 'a', "(suss)");
                for (const OwnerPbEntry& p : entries)
                    if (e >= 0)
                        e = sd_bus_message_append(reply, "(suss)", BusText(p.storage).c_str(), p.index,
                                                  BusText(p.number).c_str(), BusText(p.name).c_str());
                if (e >= 0)
                    e = sd_bus_message_close_container(reply);
                return e < 0 ? e : sd_bus_message_append(reply, "ii", used, capacity);
            });
        });
    });
    return 1;
}

int OnAddPhonebookEntry(sd_bus_message* m, void* ud, sd_bus_error* error)
{
    if (int r = Admit(m, error); r < 0)
        return r;
    const char* storage = nullptr;
    int32_t index = 0;
    const char* name = nullptr;
    const char* number = nullptr;
    if (int r = sd_bus_message_read(m, "siss", &storage, &index, &name, &number); r < 0)
        return r;
    if (const std::string why = PbStorageProblem(storage); !why.empty())
        return Refuse(error, why);
    if (index != -1)
        if (const std::string why = PbIndexProblem("--index", index); !why.empty())
            return Refuse(error, why);
    if (const std::string why = PbEntryProblem(PbStorageType(storage), name, number); !why.empty())
        return Refuse(error, why);
    Loop& l = L(ud);
    const uint64_t id = l.Hold(m, l.Options().callTimeoutMs);
    l.Actions().AddPhonebookEntry(storage, index, name, number,
                                  [in = l.Box(), id](const OwnerResult& res, uint32_t added) {
                                      in->Post([id, res, added](Loop& lp) {
                                          lp.Finish(id, res, [=](sd_bus_message* reply) {
                                              return sd_bus_message_append(reply, "u", added);
                                          });
                                      });
                                  });
    return 1;
}

int OnModifyPhonebookEntry(sd_bus_message* m, void* ud, sd_bus_error* error)
{
    if (int r = Admit(m, error); r < 0)
        return r;
    const char* storage = nullptr;
    uint32_t index = 0;
    const char* name = nullptr;
    const char* number = nullptr;
    if (int r = sd_bus_message_read(m, "suss", &storage, &index, &name, &number); r < 0)
        return r;
    if (const std::string why = PbStorageProblem(storage); !why.empty())
        return Refuse(error, why);
    if (const std::string why = PbIndexProblem("INDEX", index); !why.empty())
        return Refuse(error, why);
    if (const std::string why = PbEntryProblem(PbStorageType(storage), name, number); !why.empty())
        return Refuse(error, why);
    Loop& l = L(ud);
    const uint64_t id = l.Hold(m, l.Options().callTimeoutMs);
    l.Actions().ModifyPhonebookEntry(storage, index, name, number, Answer(l, id));
    return 1;
}

int OnDeletePhonebookEntry(sd_bus_message* m, void* ud, sd_bus_error* error)
{
    if (int r = Admit(m, error); r < 0)
        return r;
    const char* storage = nullptr;
    uint32_t index = 0;
    if (int r = sd_bus_message_read(m, "su", &storage, &index); r < 0)
        return r;
    if (const std::string why = PbStorageProblem(storage); !why.empty())
        return Refuse(error, why);
    if (const std::string why = PbIndexProblem("INDEX", index); !why.empty())
        return Refuse(error, why);
    Loop& l = L(ud);
    const uint64_t id = l.Hold(m, l.Options().callTimeoutMs);
    l.Actions().DeletePhonebookEntry(storage, index, Answer(l, id));
    return 1;
}

// --- Properties --------------------------------------------------------------

const OwnerSnapshot& Shown(void* ud) { return L(ud).shown; }

#define KV_GETTER(type, expr)                                                                           \
    [](sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void* ud, sd_bus_error*) { \
        [[maybe_unused]] const OwnerSnapshot& s = Shown(ud);                                           \
        return sd_bus_message_append(reply, type, expr);                                               \
    }
#define KV_PROP(name, type, expr) \
    SD_BUS_PROPERTY(name, type, KV_GETTER(type, expr), 0, SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE)
#define KV_TEXT(field) BusText(s.field).c_str()

constexpr uint64_t kMethod = SD_BUS_VTABLE_UNPRIVILEGED;

const sd_bus_vtable kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("Version", "s",
                    [](sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void* ud,
                       sd_bus_error*) { return sd_bus_message_append(reply, "s", BusText(L(ud).version).c_str()); },
                    0, SD_BUS_VTABLE_PROPERTY_CONST),
    KV_PROP("EngineReady", "b", int(s.engineReady)),
    KV_PROP("Port", "s", KV_TEXT(port)),
    KV_PROP("ComPort", "i", int32_t(s.comPort)),
    KV_PROP("DeviceKind", "i", int32_t(s.deviceKind)),
    KV_PROP("ServiceState", "s", KV_TEXT(serviceState)),
    KV_PROP("ServiceStateCode", "i", int32_t(s.serviceStateCode)),
    KV_PROP("SystemMode", "s", KV_TEXT(systemMode)),
    KV_PROP("SystemModeCode", "i", int32_t(s.systemModeCode)),
    KV_PROP("Roaming", "b", int(s.roaming)),
    KV_PROP("Signal1xDbm", "i", int32_t(s.signal1xDbm)),
    KV_PROP("Signal1xBars", "u", s.signal1xBars),
    KV_PROP("SignalEvdoDbm", "i", int32_t(s.signalEvdoDbm)),
    KV_PROP("SignalEvdoBars", "u", s.signalEvdoBars),
    KV_PROP("BatteryState", "s", KV_TEXT(batteryState)),
    KV_PROP("BatteryLevel", "i", int32_t(s.batteryLevel)),
    KV_PROP("ChargerConnected", "b", int(s.chargerConnected)),
    KV_PROP("CardState", "s", KV_TEXT(cardState)),
    KV_PROP("PinCheck", "b", int(s.pinCheck)),
    KV_PROP("PinAttemptsLeft", "i", int32_t(s.pinAttemptsLeft)),
    KV_PROP("UnblockAttemptsLeft", "i", int32_t(s.unblockAttemptsLeft)),
    KV_PROP("NewMessages", "u", s.newMessages),
    KV_PROP("MessagesMemory", "i", int32_t(s.messagesMemory)),
    KV_PROP("MessagesRuim", "i", int32_t(s.messagesRuim)),
    KV_PROP("ConnectionState", "s", KV_TEXT(connectionState)),
    KV_PROP("ConnectionText", "s", KV_TEXT(connectionText)),
    KV_PROP("ConnectionDuration", "u", s.connectionDuration),
    KV_PROP("BytesReceived", "t", uint64_t(s.bytesReceived)),
    KV_PROP("BytesSent", "t", uint64_t(s.bytesSent)),
    KV_PROP("CallState", "s", KV_TEXT(callState)),
    KV_PROP("CallNumber", "s", KV_TEXT(callNumber)),
    KV_PROP("CallName", "s", KV_TEXT(callName)),

    SD_BUS_METHOD_WITH_ARGS("GetStatus", SD_BUS_NO_ARGS, SD_BUS_RESULT("a{sv}", status), OnGetStatus, kMethod),
    SD_BUS_METHOD_WITH_ARGS("Connect", SD_BUS_ARGS("s", user, "s", password), SD_BUS_NO_RESULT, OnConnect, kMethod),
    SD_BUS_METHOD_WITH_ARGS("Disconnect", SD_BUS_NO_ARGS, SD_BUS_NO_RESULT, OnDisconnect, kMethod),
    SD_BUS_METHOD_WITH_ARGS("Dial", SD_BUS_ARGS("s", number), SD_BUS_NO_RESULT, OnDial, kMethod),
    SD_BUS_METHOD_WITH_ARGS("Answer", SD_BUS_NO_ARGS, SD_BUS_NO_RESULT, OnAnswer, kMethod),
    SD_BUS_METHOD_WITH_ARGS("Hangup", SD_BUS_NO_ARGS, SD_BUS_NO_RESULT, OnHangup, kMethod),
    SD_BUS_METHOD_WITH_ARGS("SendDtmf", SD_BUS_ARGS("s", digits), SD_BUS_NO_RESULT, OnSendDtmf, kMethod),
    SD_BUS_METHOD_WITH_ARGS("SendSms", SD_BUS_ARGS("as", numbers, "s", text, "s", callback, "b", save),
                            SD_BUS_RESULT("a(ssx)", results), OnSendSms, kMethod),
    SD_BUS_METHOD_WITH_ARGS("ListSms", SD_BUS_ARGS("s", store), SD_BUS_RESULT("a(usussss)", messages), OnListSms,
                            kMethod),
    SD_BUS_METHOD_WITH_ARGS("ReadSms", SD_BUS_ARGS("u", index), SD_BUS_RESULT("(usussss)", message), OnReadSms,
                            kMethod),
    SD_BUS_METHOD_WITH_ARGS("DeleteSms", SD_BUS_ARGS("u", index), SD_BUS_NO_RESULT, OnDeleteSms, kMethod),
    SD_BUS_METHOD_WITH_ARGS("DeleteAllSms", SD_BUS_ARGS("s", box), SD_BUS_RESULT("u", deleted, "u", left),
                            OnDeleteAllSms, kMethod),
    SD_BUS_METHOD_WITH_ARGS("ListPhonebook", SD_BUS_ARGS("s", storage),
                            SD_BUS_RESULT("a(suss)", entries, "i", used, "i", capacity), OnListPhonebook, kMethod),
    SD_BUS_METHOD_WITH_ARGS("AddPhonebookEntry", SD_BUS_ARGS("s", storage, "i", index, "s", name, "s", number),
                            SD_BUS_RESULT("u", added), OnAddPhonebookEntry, kMethod),
    SD_BUS_METHOD_WITH_ARGS("ModifyPhonebookEntry", SD_BUS_ARGS("s", storage, "u", index, "s", name, "s", number),
                            SD_BUS_NO_RESULT, OnModifyPhonebookEntry, kMethod),
    SD_BUS_METHOD_WITH_ARGS("DeletePhonebookEntry", SD_BUS_ARGS("s", storage, "u", index), SD_BUS_NO_RESULT,
                            OnDeletePhonebookEntry, kMethod),

    SD_BUS_SIGNAL_WITH_ARGS("SmsReceived", SD_BUS_ARGS("s", storage, "u", slot, "u", index, "s", sender, "s", name), 0),
    SD_BUS_SIGNAL_WITH_ARGS("CallIncoming", SD_BUS_ARGS("s", number, "s", name), 0),
    SD_BUS_SIGNAL_WITH_ARGS("CallAnswered", SD_BUS_ARGS("s", number), 0),
    SD_BUS_SIGNAL_WITH_ARGS("CallEnded", SD_BUS_ARGS("s", number, "u", seconds), 0),
    SD_BUS_SIGNAL_WITH_ARGS("CallMissed", SD_BUS_ARGS("s", number, "s", name), 0),
    SD_BUS_SIGNAL_WITH_ARGS("ConnectionUp", SD_BUS_ARGS("s", text), 0),
    SD_BUS_SIGNAL_WITH_ARGS("ConnectionDown", SD_BUS_ARGS("s", text), 0),
    SD_BUS_SIGNAL_WITH_ARGS("ConnectionFailed", SD_BUS_ARGS("s", text), 0),
    SD_BUS_SIGNAL_WITH_ARGS("ModemAdded", SD_BUS_ARGS("s", port), 0),
    SD_BUS_SIGNAL_WITH_ARGS("ModemRemoved", SD_BUS_ARGS("s", port), 0),
    SD_BUS_SIGNAL_WITH_ARGS("QuotaWarning", SD_BUS_ARGS("u", percent, "t", used, "t", quota), 0),
    SD_BUS_VTABLE_END,
};

} // namespace

const sd_bus_vtable* ServiceVtable() { return kVtable; }

} // namespace kv::bus
