// Text input on a Wayland display without a keyboard seat.
//
// Qt's Wayland client (6.4) takes text input through the compositor's
// text-input protocol whenever the compositor offers one, and a line edit
// that paints its cursor then asks the default seat's text input for the
// text direction. A compositor that offers the protocol but has no seat at
// all (a headless or kiosk compositor, a seat not yet plugged) leaves that
// seat null, and the first line edit on screen crashes the program inside
// Qt. Before the application object is made, we ask the compositor
// ourselves; without a keyboard seat the compositor's text input is left out
// and Qt's own compose input is used instead, which needs no seat.
#pragma once

#include <string>

namespace kvapp {

// What the compositor offers, as far as the choice of text input goes.
struct WaylandSeatProbe {
    bool connected = false;       // a Wayland display answered
    bool keyboardSeat = false;    // a seat with a keyboard
    bool compositorTextInput = false; // a text-input protocol is offered
};

// Connects to the display named by WAYLAND_DISPLAY (the default one when it
// is unset) and reads its globals and the seats' capabilities. Bounded: two
// round trips, and nothing when no display answers.
WaylandSeatProbe ProbeWaylandSeat();

// The decision on its own: the input module to force, or "" to leave Qt's
// choice. An input module the user chose (imModule not empty) is kept.
std::string TextInputModuleFor(const WaylandSeatProbe& probe, const std::string& imModule);

// Called once before the QApplication is made: probes the display when the
// program is going to run on Wayland and sets QT_IM_MODULE when the
// compositor's text input cannot work, saying why on stderr.
void GuardWaylandTextInput();

} // namespace kvapp
