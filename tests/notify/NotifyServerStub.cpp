// A notification server for the tests: owns org.freedesktop.Notifications on
// the bus at argv[1] and writes one JSON document a line to argv[2] for each
// call it gets (Notify with app_name, replaces_id, icon, summary, body,
// actions, hints, expire and the id it gave; CloseNotification with its
// id). Its own method org.korvianet.test.NotifyStub.Invoke(u id, s key)
// makes it emit ActionInvoked as a user's click would. It writes
// {"ready": true} once the name is its own, and runs until killed.
#include <nlohmann/json.hpp>
#include <systemd/sd-bus.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr const char* kIface = "org.freedesktop.Notifications";
constexpr const char* kStubIface = "org.korvianet.test.NotifyStub";

std::FILE* g_out = nullptr;
uint32_t g_nextId = 1;

void Record(const nlohmann::json& j)
{
    std::fprintf(g_out, "%s\n", j.dump().c_str());
    std::fflush(g_out);
}

int OnNotify(sd_bus_message* m, void*, sd_bus_error*)
{
    const char *app = nullptr, *icon = nullptr, *summary = nullptr, *body = nullptr;
    uint32_t replaces = 0;
    int r = sd_bus_message_read(m, "susss", &app, &replaces, &icon, &summary, &body);
    if (r < 0)
        return r;
    nlohmann::json j{{"call", "Notify"}, {"app_name", app}, {"replaces_id", replaces}, {"icon", icon},
                     {"summary", summary}, {"body", body}};
    j["actions"] = nlohmann::json::array();
    if ((r = sd_bus_message_enter_container(m, 'a', "s")) < 0)
        return r;
    const char* s = nullptr;
    while ((r = sd_bus_message_read(m, "s", &s)) > 0)
        j["actions"].push_back(s);
    if (r < 0 || (r = sd_bus_message_exit_container(m)) < 0)
        return r;
    j["hints"] = nlohmann::json::object();
    if ((r = sd_bus_message_enter_container(m, 'a', "{sv}")) < 0)
        return r;
    while ((r = sd_bus_message_enter_container(m, 'e', "sv")) > 0) {
        const char* key = nullptr;
        if ((r = sd_bus_message_read(m, "s", &key)) < 0)
            return r;
        char type = 0;
        const char* contents = nullptr;
        if ((r = sd_bus_message_peek_type(m, &type, &contents)) < 0)
            return r;
        if (contents && std::strcmp(contents, "s") == 0) {
            const char* v = nullptr;
            if ((r = sd_bus_message_read(m, "v", "s", &v)) < 0)
                return r;
            j["hints"][key] = v;
        } else if (contents && std::strcmp(contents, "y") == 0) {
            uint8_t v = 0;
            if ((r = sd_bus_message_read(m, "v", "y", &v)) < 0)
                return r;
            j["hints"][key] = v;
        } else if ((r = sd_bus_message_skip(m, "v")) < 0) {
            return r;
        }
        if ((r = sd_bus_message_exit_container(m)) < 0)
            return r;
    }
    if (r < 0 || (r = sd_bus_message_exit_container(m)) < 0)
        return r;
    int32_t expire = 0;
    if ((r = sd_bus_message_read(m, "i", &expire)) < 0)
        return r;
    j["expire"] = expire;
    const uint32_t id = replaces != 0 ? replaces : g_nextId++;
    j["id"] = id;
    Record(j);
    return sd_bus_reply_method_return(m, "u", id);
}

int OnClose(sd_bus_message* m, void*, sd_bus_error*)
{
    uint32_t id = 0;
    const int r = sd_bus_message_read(m, "u", &id);
    if (r < 0)
        return r;
    Record({{"call", "CloseNotification"}, {"id", id}});
    sd_bus_emit_signal(sd_bus_message_get_bus(m), kPath, kIface, "NotificationClosed", "uu", id, 3u);
    return sd_bus_reply_method_return(m, "");
}

int OnCaps(sd_bus_message* m, void*, sd_bus_error*)
{
    sd_bus_message* reply = nullptr;
    int r = sd_bus_message_new_method_return(m, &reply);
    if (r >= 0)
        r = sd_bus_message_append(reply, "as", 3, "actions", "body", "body-markup");
    if (r >= 0)
        r = sd_bus_send(nullptr, reply, nullptr);
    sd_bus_message_unref(reply);
    return r;
}

int OnInfo(sd_bus_message* m, void*, sd_bus_error*)
{
    return sd_bus_reply_method_return(m, "ssss", "korvianet-test-stub", "korvianet", "1", "1.2");
}

int OnInvoke(sd_bus_message* m, void*, sd_bus_error*)
{
    uint32_t id = 0;
    const char* key = nullptr;
    int r = sd_bus_message_read(m, "us", &id, &key);
    if (r < 0)
        return r;
    r = sd_bus_emit_signal(sd_bus_message_get_bus(m), kPath, kIface, "ActionInvoked", "us", id, key);
    if (r < 0)
        return r;
    return sd_bus_reply_method_return(m, "");
}

const sd_bus_vtable kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Notify", "susssasa{sv}i", "u", OnNotify, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("CloseNotification", "u", "", OnClose, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("GetCapabilities", "", "as", OnCaps, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("GetServerInformation", "", "ssss", OnInfo, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_SIGNAL("ActionInvoked", "us", 0),
    SD_BUS_SIGNAL("NotificationClosed", "uu", 0),
    SD_BUS_VTABLE_END,
};

const sd_bus_vtable kStubVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Invoke", "us", "", OnInvoke, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s BUS-ADDRESS RECORD-FILE\n", argv[0]);
        return 2;
    }
    g_out = std::fopen(argv[2], "a");
    if (!g_out)
        return 1;
    sd_bus* bus = nullptr;
    int r = sd_bus_new(&bus);
    if (r >= 0)
        r = sd_bus_set_address(bus, argv[1]);
    if (r >= 0)
        r = sd_bus_set_bus_client(bus, 1);
    if (r >= 0)
        r = sd_bus_start(bus);
    if (r >= 0)
        r = sd_bus_add_object_vtable(bus, nullptr, kPath, kIface, kVtable, nullptr);
    if (r >= 0)
        r = sd_bus_add_object_vtable(bus, nullptr, kPath, kStubIface, kStubVtable, nullptr);
    if (r >= 0)
        r = sd_bus_request_name(bus, "org.freedesktop.Notifications", 0);
    if (r < 0) {
        std::fprintf(stderr, "stub: %s\n", std::strerror(-r));
        return 1;
    }
    Record({{"ready", true}});
    for (;;) {
        r = sd_bus_process(bus, nullptr);
        if (r < 0)
            return 1;
        if (r > 0)
            continue;
        if (sd_bus_wait(bus, 1000000) < 0)
            return 1;
    }
}
