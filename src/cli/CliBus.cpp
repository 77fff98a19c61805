#include "cli/CliBus.h"

#include "bus/BusNames.h"
#include "log/DebugLog.h"

#include <cerrno>
#include <cstring>
#include <map>

namespace kvcli {

namespace {

// Long enough for a busy owner to say whether the name is taken.
constexpr uint64_t kOwnerCheckUs = 3'000'000;

struct BusErrorGuard {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    ~BusErrorGuard() { sd_bus_error_free(&error); }
};

} // namespace

std::unique_ptr<OwnerBus> OwnerBus::Find()
{
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0 || !bus) {
        DEBUG_LOG(LEVEL_ST, "cli: no session bus");
        return nullptr;
    }
    sd_bus_set_method_call_timeout(bus, kOwnerCheckUs);
    BusErrorGuard e;
    sd_bus_message* reply = nullptr;
    int r = sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                               "NameHasOwner", &e.error, &reply, "s", kv::bus::kServiceName);
    int has = 0;
    if (r >= 0)
        r = sd_bus_message_read(reply, "b", &has);
    sd_bus_message_unref(reply);
    if (r < 0 || !has) {
        DEBUG_LOG(LEVEL_ST, "cli: no owner of the modem on the session bus (%s)",
                  r < 0 ? std::strerror(-r) : "the name has no owner");
        sd_bus_flush_close_unref(bus);
        return nullptr;
    }
    return std::unique_ptr<OwnerBus>(new OwnerBus(bus));
}

OwnerBus::~OwnerBus() { sd_bus_flush_close_unref(m_bus); }

BusMessage OwnerBus::NewCall(const char* method)
{
    sd_bus_message* m = nullptr;
    if (sd_bus_message_new_method_call(m_bus, &m, kv::bus::kServiceName, kv::bus::kObjectPath,
                                       kv::bus::kInterface, method)
        < 0)
        return nullptr;
    return BusMessage(m);
}

int OwnerBus::Send(sd_bus_message* call, int64_t timeoutMs, BusMessage& reply)
{
    BusErrorGuard e;
    sd_bus_message* r = nullptr;
    const int rc = sd_bus_call(m_bus, call, uint64_t(timeoutMs) * 1000, &e.error, &r);
    if (rc >= 0) {
        reply.reset(r);
        return kExitOk;
    }
    const std::string name = e.error.name ? e.error.name : "";
    const int status = ExitForBusError(name);
    if (name.rfind("org.korvianet.", 0) == 0 && e.error.message && *e.error.message)
        return Fail(status, ShownMessage(e.error.message));
    if (status == kExitTimedOut)
        return Fail(status, "Korvianet (the owner of the modem) did not answer in time");
    if (status == kExitNoDevice)
        return Fail(status, "Korvianet (the owner of the modem) left the session bus");
    return Fail(status, "the owner of the modem refused the request: "
                            + ShownMessage(e.error.message ? e.error.message : std::strerror(-rc)));
}

int OwnerBus::GetAll(Json& out, int64_t timeoutMs)
{
    BusMessage m;
    sd_bus_message* call = nullptr;
    if (sd_bus_message_new_method_call(m_bus, &call, kv::bus::kServiceName, kv::bus::kObjectPath,
                                       "org.freedesktop.DBus.Properties", "GetAll")
        < 0)
        return Fail(kExitFailure, "cannot build the bus call GetAll");
    BusMessage owned(call);
    sd_bus_message_append(call, "s", kv::bus::kInterface);
    if (const int st = Send(call, timeoutMs, m); st != kExitOk)
        return st;
    out = Json::object();
    if (ReadDict(m.get(), out) < 0)
        return Fail(kExitFailure, "the owner of the modem sent properties that cannot be read");
    return kExitOk;
}

int ExitForBusError(const std::string& name)
{
    static const std::map<std::string, int> table = {
        {kv::bus::kErrNotReady, kExitNoDevice},
        {kv::bus::kErrInvalidArgument, kExitUsage},
        {kv::bus::kErrAccessDenied, kExitFailure},
        {kv::bus::kErrBusy, kExitFailure},
        {kv::bus::kErrRefused, kExitFailure},
        {kv::bus::kErrNotFound, kExitFailure},
        {kv::bus::kErrTimedOut, kExitTimedOut},
        {kv::bus::kErrDatabase, kExitFailure},
        {kv::bus::kErrFailed, kExitFailure},
        // No answer from the owner, or the owner gone since the check.
        {"org.freedesktop.DBus.Error.NoReply", kExitTimedOut},
        {"org.freedesktop.DBus.Error.Timeout", kExitTimedOut},
        {"org.freedesktop.DBus.Error.TimedOut", kExitTimedOut},
        {"org.freedesktop.DBus.Error.ServiceUnknown", kExitNoDevice},
        {"org.freedesktop.DBus.Error.NameHasNoOwner", kExitNoDevice},
        {"org.freedesktop.DBus.Error.Disconnected", kExitNoDevice},
    };
    const auto it = table.find(name);
    return it == table.end() ? kExitFailure : it->second;
}

int ReadBasic(sd_bus_message* m, char type, Json& out)
{
    int r = 0;
    switch (type) {
    case 'b': { int v = 0; r = sd_bus_message_read_basic(m, 'b', &v); out = v != 0; break; }
    case 'y': { uint8_t v = 0; r = sd_bus_message_read_basic(m, 'y', &v); out = v; break; }
    case 'n': { int16_t v = 0; r = sd_bus_message_read_basic(m, 'n', &v); out = v; break; }
    case 'q': { uint16_t v = 0; r = sd_bus_message_read_basic(m, 'q', &v); out = v; break; }
    case 'i': { int32_t v = 0; r = sd_bus_message_read_basic(m, 'i', &v); out = v; break; }
    case 'u': { uint32_t v = 0; r = sd_bus_message_read_basic(m, 'u', &v); out = v; break; }
    case 'x': { int64_t v = 0; r = sd_bus_message_read_basic(m, 'x', &v); out = v; break; }
    case 't': { uint64_t v = 0; r = sd_bus_message_read_basic(m, 't', &v); out = v; break; }
    case 'd': { double v = 0; r = sd_bus_message_read_basic(m, 'd', &v); out = v; break; }
    case 's':
    case 'o':
    case 'g': {
        const char* v = nullptr;
        r = sd_bus_message_read_basic(m, type, &v);
        out = Utf8Text(v ? v : "");
        break;
    }
    default: {
        const char sig[2] = {type, 0};
        out = nullptr;
        r = sd_bus_message_skip(m, sig);
        break;
    }
    }
    return r;
}

int ReadVariant(sd_bus_message* m, Json& out)
{
    char type = 0;
    const char* contents = nullptr;
    int r = sd_bus_message_peek_type(m, &type, &contents);
    if (r <= 0 || type != SD_BUS_TYPE_VARIANT || !contents)
        return r < 0 ? r : -EINVAL;
    if ((r = sd_bus_message_enter_container(m, SD_BUS_TYPE_VARIANT, contents)) < 0)
        return r;
    out = nullptr;
    if (std::strlen(contents) == 1)
        r = ReadBasic(m, contents[0], out);
    else
        r = sd_bus_message_skip(m, contents);
    if (r < 0)
        return r;
    return sd_bus_message_exit_container(m);
}

int ReadDict(sd_bus_message* m, Json& out)
{
    int r = sd_bus_message_enter_container(m, SD_BUS_TYPE_ARRAY, "{sv}");
    if (r < 0)
        return r;
    while ((r = sd_bus_message_enter_container(m, SD_BUS_TYPE_DICT_ENTRY, "sv")) > 0) {
        const char* key = nullptr;
        if ((r = sd_bus_message_read_basic(m, 's', &key)) < 0)
            return r;
        Json v;
        if ((r = ReadVariant(m, v)) < 0)
            return r;
        out[key ? key : ""] = std::move(v);
        if ((r = sd_bus_message_exit_container(m)) < 0)
            return r;
    }
    if (r < 0)
        return r;
    return sd_bus_message_exit_container(m);
}

std::string TextOf(const Json& values, const char* key)
{
    const auto it = values.find(key);
    return it != values.end() && it->is_string() ? it->get<std::string>() : std::string();
}

long long NumberOf(const Json& values, const char* key, long long otherwise)
{
    const auto it = values.find(key);
    return it != values.end() && it->is_number_integer() ? it->get<long long>() : otherwise;
}

int NeedsPortItself(const std::string& what)
{
    return Fail(kExitNoDevice, "the modem is in use by Korvianet (the window or 'korvianet-cli run'): " + what
                                   + " needs the port itself; close it first");
}

} // namespace kvcli
