#include "support/FakeOwner.h"

#include <systemd/sd-bus.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

namespace kvtest {

namespace {
constexpr const char* kName = "org.korvianet.Korvianet1";
constexpr const char* kPath = "/org/korvianet/Korvianet1";
constexpr const char* kIface = "org.korvianet.Korvianet1";
constexpr const char* kProps = "org.freedesktop.DBus.Properties";

struct PropType {
    const char* name;
    char type;
    const char* initial; // JSON
};
// The interface's properties, their types and what the stub starts with.
constexpr PropType kPropTypes[] = {
    {"Version", 's', "\"0.1.0\""},     {"EngineReady", 'b', "true"},      {"Port", 's', "\"/dev/ttyUSB0\""},
    {"ComPort", 'i', "3"},             {"DeviceKind", 'i', "1"},          {"ServiceState", 's', "\"1x\""},
    {"ServiceStateCode", 'i', "1"},    {"SystemMode", 's', "\"CDMA 1x\""}, {"SystemModeCode", 'i', "2"},
    {"Roaming", 'b', "false"},         {"Signal1xDbm", 'i', "-75"},       {"Signal1xBars", 'u', "4"},
    {"SignalEvdoDbm", 'i', "0"},       {"SignalEvdoBars", 'u', "0"},      {"BatteryState", 's', "\"charged\""},
    {"BatteryLevel", 'i', "6"},        {"ChargerConnected", 'b', "true"}, {"CardState", 's', "\"ready\""},
    {"PinCheck", 'b', "false"},        {"PinAttemptsLeft", 'i', "3"},     {"UnblockAttemptsLeft", 'i', "10"},
    {"NewMessages", 'u', "0"},         {"MessagesMemory", 'i', "2"},      {"MessagesRuim", 'i', "1"},
    {"ConnectionState", 's', "\"disconnected\""}, {"ConnectionText", 's', "\"\""},
    {"ConnectionDuration", 'u', "0"},  {"BytesReceived", 't', "0"},       {"BytesSent", 't', "0"},
    {"CallState", 's', "\"idle\""},    {"CallNumber", 's', "\"\""},       {"CallName", 's', "\"\""},
};

char TypeOf(const std::string& name)
{
    for (const PropType& p : kPropTypes)
        if (name == p.name)
            return p.type;
    return 0;
}

int AppendBasic(sd_bus_message* m, char type, const nlohmann::json& v)
{
    switch (type) {
    case 's': return sd_bus_message_append_basic(m, 's', v.get<std::string>().c_str());
    case 'b': { int b = v.get<bool>() ? 1 : 0; return sd_bus_message_append_basic(m, 'b', &b); }
    case 'i': { int32_t i = v.get<int32_t>(); return sd_bus_message_append_basic(m, 'i', &i); }
    case 'u': { uint32_t u = v.get<uint32_t>(); return sd_bus_message_append_basic(m, 'u', &u); }
    case 'x': { int64_t x = v.get<int64_t>(); return sd_bus_message_append_basic(m, 'x', &x); }
    case 't': { uint64_t t = v.get<uint64_t>(); return sd_bus_message_append_basic(m, 't', &t); }
    default: return -EINVAL;
    }
}

int AppendVariant(sd_bus_message* m, char type, const nlohmann::json& v)
{
    const char sig[2] = {type, 0};
    int r = sd_bus_message_open_container(m, 'v', sig);
    if (r >= 0)
        r = AppendBasic(m, type, v);
    if (r >= 0)
        r = sd_bus_message_close_container(m);
    return r;
}

// A status value as GetStatus sends it.
char StatusType(const nlohmann::json& v)
{
    return v.is_string() ? 's' : v.is_boolean() ? 'b' : 'i';
}

int AppendSms(sd_bus_message* m, const FakeOwner::Sms& s)
{
    return sd_bus_message_append(m, "(usussss)", s.index, s.store.c_str(), s.slot, s.box.c_str(), s.time.c_str(),
                                 s.number.c_str(), s.text.c_str());
}

int OnMessage(sd_bus_message* m, void* userdata, sd_bus_error* err)
{
    return static_cast<FakeOwner*>(userdata)->Handle(m, err);
}

sd_bus* Connect(const std::string& address)
{
    sd_bus* bus = nullptr;
    if (sd_bus_new(&bus) < 0)
        return nullptr;
    if (sd_bus_set_address(bus, address.c_str()) < 0 || sd_bus_set_bus_client(bus, 1) < 0 || sd_bus_start(bus) < 0) {
        sd_bus_unref(bus);
        return nullptr;
    }
    return bus;
}

// The arguments of a call as words, for the test to read back.
std::string Words(sd_bus_message* m)
{
    std::string out;
    for (;;) {
        char type = 0;
        const char* contents = nullptr;
        if (sd_bus_message_peek_type(m, &type, &contents) <= 0)
            break;
        if (type == 'a' && contents && !std::strcmp(contents, "s")) {
            char** strv = nullptr;
            if (sd_bus_message_read_strv(m, &strv) < 0)
                break;
            out += " [";
            for (char** s = strv; s && *s; ++s) {
                out += (s == strv ? "" : ",") + std::string(*s);
                free(*s);
            }
            free(strv);
            out += "]";
            continue;
        }
        union {
            const char* s;
            int b;
            int32_t i;
            uint32_t u;
        } v{};
        if (type != 's' && type != 'b' && type != 'i' && type != 'u')
            break;
        if (sd_bus_message_read_basic(m, type, &v) < 0)
            break;
        out += " " + (type == 's'   ? std::string(v.s)
                      : type == 'b' ? std::string(v.b ? "true" : "false")
                      : type == 'i' ? std::to_string(v.i)
                                    : std::to_string(v.u));
    }
    sd_bus_message_rewind(m, 1);
    return out;
}
} // namespace

FakeOwner::FakeOwner(std::string address) : m_address(std::move(address))
{
    for (const PropType& p : kPropTypes)
        m_props[p.name] = nlohmann::json::parse(p.initial);
}

FakeOwner::~FakeOwner() { Stop(); }

bool FakeOwner::Start()
{
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_thread = std::thread(&FakeOwner::ThreadMain, this);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (m_ready.load() == 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return m_ready.load() == 1;
}

void FakeOwner::Stop()
{
    if (m_thread.joinable()) {
        m_bStop = true;
        Wake();
        m_thread.join();
    }
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
    m_wakeFd = -1;
}

void FakeOwner::Wake()
{
    const uint64_t one = 1;
    (void)!::write(m_wakeFd, &one, sizeof one);
}

void FakeOwner::SetStatus(const nlohmann::json& flat)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_status = flat;
}

void FakeOwner::SetProperty(const std::string& name, const nlohmann::json& value)
{
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_props[name] = value;
        m_changed.emplace_back(name, value);
    }
    Wake();
}

void FakeOwner::FailMethod(const std::string& method, const std::string& error, const std::string& message)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_failures[method] = {error, message};
}

void FakeOwner::SetSmsResults(std::vector<SmsOutcome> results)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_smsResults = std::move(results);
}

void FakeOwner::SetMessages(std::vector<Sms> messages)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_messages = std::move(messages);
}

bool FakeOwner::Emit(const Signal& signal)
{
    int mine = 0;
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_signals.push_back(signal);
        mine = ++m_queued;
    }
    Wake();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < end) {
        {
            std::lock_guard<std::mutex> g(m_lock);
            if (m_sent >= mine)
                return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

std::vector<std::string> FakeOwner::Calls() const
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_calls;
}

int FakeOwner::Handle(void* message, void* error)
{
    auto* m = static_cast<sd_bus_message*>(message);
    auto* err = static_cast<sd_bus_error*>(error);
    if (!sd_bus_message_is_method_call(m, nullptr, nullptr))
        return 0;
    const std::string iface = sd_bus_message_get_interface(m) ? sd_bus_message_get_interface(m) : "";
    const std::string member = sd_bus_message_get_member(m) ? sd_bus_message_get_member(m) : "";
    std::lock_guard<std::mutex> g(m_lock);
    sd_bus_message* reply = nullptr;
    int r = 0;
    if (iface == kProps) {
        const char* ifaceArg = nullptr;
        const char* prop = nullptr;
        if (member == "GetAll") {
            m_calls.push_back("GetAll");
            sd_bus_message_read(m, "s", &ifaceArg);
            r = sd_bus_message_new_method_return(m, &reply);
            r = r < 0 ? r : sd_bus_message_open_container(reply, 'a', "{sv}");
            for (const PropType& p : kPropTypes) {
                r = r < 0 ? r : sd_bus_message_open_container(reply, 'e', "sv");
                r = r < 0 ? r : sd_bus_message_append_basic(reply, 's', p.name);
                r = r < 0 ? r : AppendVariant(reply, p.type, m_props[p.name]);
                r = r < 0 ? r : sd_bus_message_close_container(reply);
            }
            r = r < 0 ? r : sd_bus_message_close_container(reply);
        } else if (member == "Get") {
            sd_bus_message_read(m, "ss", &ifaceArg, &prop);
            const char type = prop ? TypeOf(prop) : 0;
            if (!type)
                return sd_bus_error_set(err, "org.freedesktop.DBus.Error.UnknownProperty", "no such property");
            r = sd_bus_message_new_method_return(m, &reply);
            r = r < 0 ? r : AppendVariant(reply, type, m_props[prop]);
        } else {
            return sd_bus_error_set(err, "org.freedesktop.DBus.Error.UnknownMethod", "read-only properties");
        }
    } else if (iface == kIface) {
        m_calls.push_back(member + Words(m));
        if (const auto f = m_failures.find(member); f != m_failures.end())
            return sd_bus_error_set(err, f->second.first.c_str(), f->second.second.c_str());
        r = sd_bus_message_new_method_return(m, &reply);
        if (r < 0)
            return r;
        if (member == "GetStatus") {
            r = sd_bus_message_open_container(reply, 'a', "{sv}");
            for (auto it = m_status.begin(); r >= 0 && it != m_status.end(); ++it) {
                if (it->is_null())
                    continue;
                r = sd_bus_message_open_container(reply, 'e', "sv");
                r = r < 0 ? r : sd_bus_message_append_basic(reply, 's', it.key().c_str());
                r = r < 0 ? r : AppendVariant(reply, StatusType(*it), *it);
                r = r < 0 ? r : sd_bus_message_close_container(reply);
            }
            r = r < 0 ? r : sd_bus_message_close_container(reply);
        } else if (member == "SendSms") {
            r = sd_bus_message_open_container(reply, 'a', "(ssx)");
            for (const SmsOutcome& o : m_smsResults)
                r = r < 0 ? r : sd_bus_message_append(reply, "(ssx)", o.number.c_str(), o.outcome.c_str(), o.code);
            r = r < 0 ? r : sd_bus_message_close_container(reply);
        } else if (member == "ListSms") {
            r = sd_bus_message_open_container(reply, 'a', "(usussss)");
            for (const Sms& s : m_messages)
                r = r < 0 ? r : AppendSms(reply, s);
            r = r < 0 ? r : sd_bus_message_close_container(reply);
        } else if (member == "ReadSms") {
            uint32_t index = 0;
            sd_bus_message_read(m, "u", &index);
            for (const Sms& s : m_messages)
                if (s.index == index) {
                    r = AppendSms(reply, s);
                    index = 0;
                    break;
                }
            if (index) {
                sd_bus_message_unref(reply);
                return sd_bus_error_set(err, "org.korvianet.Korvianet1.Error.NotFound", "no such message");
            }
        } else if (member == "DeleteAllSms") {
            r = sd_bus_message_append(reply, "uu", uint32_t(m_messages.size()), uint32_t(0));
        } else if (member == "ListPhonebook") {
            r = sd_bus_message_append(reply, "a(suss)ii", 1, "memory", uint32_t(0), "+15550100", "Alice", 1, 300);
        } else if (member == "AddPhonebookEntry") {
            r = sd_bus_message_append(reply, "u", uint32_t(7));
        } else {
            Script(member);
        }
    } else {
        return 0;
    }
    if (r >= 0)
        r = sd_bus_send(nullptr, reply, nullptr);
    sd_bus_message_unref(reply);
    return r < 0 ? r : 1;
}

void FakeOwner::Script(const std::string& member)
{
    // What a modem that answers at once would show (m_lock held).
    const auto set = [&](const char* name, const nlohmann::json& v) {
        m_props[name] = v;
        m_changed.emplace_back(name, v);
    };
    if (member == "Dial") {
        set("CallState", "dialing");
        set("CallState", "active");
    } else if (member == "Hangup") {
        set("CallState", "idle");
    } else if (member == "Connect") {
        set("ConnectionState", "connecting");
        set("ConnectionText", "Dialing...");
        set("ConnectionState", "connected");
        set("ConnectionDuration", 5);
        set("BytesReceived", 1000);
        set("BytesSent", 200);
    } else if (member == "Disconnect") {
        set("ConnectionState", "disconnected");
    }
}

void FakeOwner::ThreadMain()
{
    sd_bus* bus = Connect(m_address);
    sd_bus_slot* slot = nullptr;
    if (!bus || sd_bus_add_object(bus, &slot, kPath, OnMessage, this) < 0 || sd_bus_request_name(bus, kName, 0) < 0) {
        sd_bus_slot_unref(slot);
        sd_bus_flush_close_unref(bus);
        m_ready = -1;
        return;
    }
    m_ready = 1;
    while (!m_bStop.load()) {
        while (sd_bus_process(bus, nullptr) > 0) {
        }
        std::vector<std::pair<std::string, nlohmann::json>> changed;
        std::vector<Signal> signals;
        {
            std::lock_guard<std::mutex> g(m_lock);
            changed.swap(m_changed);
            signals.swap(m_signals);
        }
        for (const auto& [name, value] : changed) {
            sd_bus_message* s = nullptr;
            int r = sd_bus_message_new_signal(bus, &s, kPath, kProps, "PropertiesChanged");
            r = r < 0 ? r : sd_bus_message_append(s, "s", kIface);
            r = r < 0 ? r : sd_bus_message_open_container(s, 'a', "{sv}");
            r = r < 0 ? r : sd_bus_message_open_container(s, 'e', "sv");
            r = r < 0 ? r : sd_bus_message_append_basic(s, 's', name.c_str());
            r = r < 0 ? r : AppendVariant(s, TypeOf(name), value);
            r = r < 0 ? r : sd_bus_message_close_container(s);
            r = r < 0 ? r : sd_bus_message_close_container(s);
            r = r < 0 ? r : sd_bus_message_append(s, "as", 0);
            if (r >= 0)
                sd_bus_send(bus, s, nullptr);
            sd_bus_message_unref(s);
        }
        for (const Signal& sig : signals) {
            sd_bus_message* s = nullptr;
            int r = sd_bus_message_new_signal(bus, &s, kPath, kIface, sig.name.c_str());
            for (size_t i = 0; r >= 0 && i < sig.types.size(); ++i)
                r = AppendBasic(s, sig.types[i], sig.args[i]);
            if (r >= 0)
                sd_bus_send(bus, s, nullptr);
            sd_bus_message_unref(s);
        }
        sd_bus_flush(bus);
        if (!signals.empty()) {
            std::lock_guard<std::mutex> g(m_lock);
            m_sent += int(signals.size());
        }
        pollfd p[2] = {{sd_bus_get_fd(bus), short(sd_bus_get_events(bus)), 0}, {m_wakeFd, POLLIN, 0}};
        ::poll(p, 2, 100);
        uint64_t v = 0;
        (void)!::read(m_wakeFd, &v, sizeof v);
    }
    sd_bus_slot_unref(slot);
    sd_bus_flush_close_unref(bus);
}

} // namespace kvtest
