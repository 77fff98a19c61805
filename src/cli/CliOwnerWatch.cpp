#include "cli/CliOwnerWatch.h"

#include "bus/BusNames.h"
#include "cli/CliMonitorLines.h"
#include "platform/Event.h"

#include <cstring>

namespace kvcli {

namespace {

int Changed(sd_bus_message* m, void* u, sd_bus_error*)
{
    static_cast<OwnerWatch*>(u)->OnChanged(m);
    return 0;
}
int Signal(sd_bus_message* m, void* u, sd_bus_error*)
{
    static_cast<OwnerWatch*>(u)->OnSignal(m);
    return 0;
}
int Owner(sd_bus_message* m, void* u, sd_bus_error*)
{
    static_cast<OwnerWatch*>(u)->OnOwner(m);
    return 0;
}

} // namespace

OwnerWatch::~OwnerWatch()
{
    for (sd_bus_slot* s : m_slots)
        sd_bus_slot_unref(s);
}

int OwnerWatch::Start()
{
    sd_bus* bus = m_bus.Bus();
    if (sd_bus_match_signal(bus, &m_slots[0], nullptr, kv::bus::kObjectPath, "org.freedesktop.DBus.Properties",
                            "PropertiesChanged", Changed, this)
            < 0
        || sd_bus_match_signal(bus, &m_slots[1], nullptr, kv::bus::kObjectPath, kv::bus::kInterface, nullptr,
                               Signal, this)
               < 0
        || sd_bus_match_signal(bus, &m_slots[2], "org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus", "NameOwnerChanged", Owner, this)
               < 0)
        return Fail(kExitFailure, "cannot follow the owner of the modem on the session bus");
    sd_bus_error e = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    if (sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                           "GetNameOwner", &e, &reply, "s", kv::bus::kServiceName)
        >= 0) {
        const char* name = nullptr;
        if (sd_bus_message_read(reply, "s", &name) >= 0 && name)
            m_owner = name;
    }
    sd_bus_message_unref(reply);
    sd_bus_error_free(&e);
    return m_bus.GetAll(m_props);
}

std::string OwnerWatch::Text(const char* name) const
{
    const auto it = m_props.find(name);
    return it != m_props.end() && it->is_string() ? it->get<std::string>() : std::string();
}

long long OwnerWatch::Number(const char* name) const
{
    const auto it = m_props.find(name);
    return it != m_props.end() && it->is_number_integer() ? it->get<long long>() : -1;
}

bool OwnerWatch::Until(const std::function<bool()>& done, int64_t ms, const std::atomic<bool>* stop)
{
    const int64_t end = kv::TickMs() + ms;
    while (!done()) {
        if ((stop && stop->load()) || m_gone || (ms >= 0 && kv::TickMs() >= end))
            return false;
        const int r = sd_bus_process(m_bus.Bus(), nullptr);
        if (r < 0) {
            m_gone = true;
            return false;
        }
        if (r == 0)
            sd_bus_wait(m_bus.Bus(), 100'000);
    }
    return true;
}

std::vector<std::pair<std::string, Json>> OwnerWatch::TakeEvents()
{
    std::vector<std::pair<std::string, Json>> out;
    out.swap(m_events);
    return out;
}

bool OwnerWatch::FromOwner(sd_bus_message* m) const
{
    const char* sender = sd_bus_message_get_sender(m);
    return !m_owner.empty() && sender && m_owner == sender;
}

void OwnerWatch::OnChanged(sd_bus_message* m)
{
    const char* iface = nullptr;
    if (!FromOwner(m) || sd_bus_message_read(m, "s", &iface) < 0 || !iface
        || std::strcmp(iface, kv::bus::kInterface) != 0)
        return;
    Json values = Json::object();
    if (ReadDict(m, values) < 0)
        return;
    for (auto it = values.begin(); it != values.end(); ++it)
        m_props[it.key()] = *it;
}

static void OnSignalArgs(sd_bus_message* m, std::vector<std::pair<std::string, Json>>& out)
{
    const char* member = sd_bus_message_get_member(m);
    if (member)
        out.emplace_back(member, ReadSignalArgs(m, member));
}

void OwnerWatch::OnSignal(sd_bus_message* m)
{
    if (FromOwner(m))
        OnSignalArgs(m, m_events);
}

void OwnerWatch::OnOwner(sd_bus_message* m)
{
    const char *name = nullptr, *before = nullptr, *after = nullptr;
    if (sd_bus_message_read(m, "sss", &name, &before, &after) < 0 || !name
        || std::strcmp(name, kv::bus::kServiceName) != 0)
        return;
    if (!after || !*after)
        m_gone = true;
}

} // namespace kvcli
