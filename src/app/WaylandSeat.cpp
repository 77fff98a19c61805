// Text input on a Wayland display without a keyboard seat (see the header).
#include "app/WaylandSeat.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>
#include <wayland-client.h>

namespace kvapp {

namespace {

struct ProbeState {
    WaylandSeatProbe result;
    wl_registry* registry = nullptr;
    std::vector<wl_seat*> seats;
};

void OnSeatCapabilities(void* data, wl_seat*, uint32_t caps)
{
    auto* st = static_cast<ProbeState*>(data);
    if (caps & WL_SEAT_CAPABILITY_KEYBOARD)
        st->result.keyboardSeat = true;
}

void OnSeatName(void*, wl_seat*, const char*) {}

const wl_seat_listener kSeatListener = {OnSeatCapabilities, OnSeatName};

void OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* iface, uint32_t version)
{
    auto* st = static_cast<ProbeState*>(data);
    if (std::strcmp(iface, "wl_seat") == 0) {
        // Version 1 has the capabilities event; the name event came later.
        const uint32_t v = version < 2 ? version : 2;
        auto* seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, v));
        if (seat) {
            wl_seat_add_listener(seat, &kSeatListener, st);
            st->seats.push_back(seat);
        }
    } else if (std::strcmp(iface, "zwp_text_input_manager_v1") == 0
               || std::strcmp(iface, "zwp_text_input_manager_v2") == 0
               || std::strcmp(iface, "zwp_text_input_manager_v3") == 0
               || std::strcmp(iface, "qt_text_input_method_manager_v1") == 0) {
        st->result.compositorTextInput = true;
    }
}

void OnGlobalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener kRegistryListener = {OnGlobal, OnGlobalRemove};

bool StartsWith(const char* s, const char* prefix)
{
    return s && std::strncmp(s, prefix, std::strlen(prefix)) == 0;
}

} // namespace

WaylandSeatProbe ProbeWaylandSeat()
{
    ProbeState st;
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        return st.result;
    st.result.connected = true;
    st.registry = wl_display_get_registry(display);
    wl_registry_add_listener(st.registry, &kRegistryListener, &st);
    // The first round trip brings the globals, the second the capabilities
    // of the seats bound in the first.
    if (wl_display_roundtrip(display) >= 0)
        wl_display_roundtrip(display);
    for (wl_seat* seat : st.seats)
        wl_seat_destroy(seat);
    wl_registry_destroy(st.registry);
    wl_display_disconnect(display);
    return st.result;
}

std::string TextInputModuleFor(const WaylandSeatProbe& probe, const std::string& imModule)
{
    if (!imModule.empty() || !probe.connected)
        return "";
    if (probe.compositorTextInput && !probe.keyboardSeat)
        return "compose";
    return "";
}

void GuardWaylandTextInput()
{
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const char* display = std::getenv("WAYLAND_DISPLAY");
    // Qt takes Wayland when asked to, or on its own in a Wayland session.
    const bool wayland = StartsWith(platform, "wayland")
        || ((!platform || !*platform) && display && *display);
    if (!wayland)
        return;
    const char* im = std::getenv("QT_IM_MODULE");
    const std::string module = TextInputModuleFor(ProbeWaylandSeat(), im ? im : "");
    if (module.empty())
        return;
    setenv("QT_IM_MODULE", module.c_str(), 1);
    std::fprintf(stderr,
                 "korvianet: the Wayland display has no keyboard seat; text input through the "
                 "compositor is off (QT_IM_MODULE=%s)\n",
                 module.c_str());
}

} // namespace kvapp
