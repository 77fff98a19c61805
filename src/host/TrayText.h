// What the tray shows of the modem's owner: the tooltip in words, the state
// line of its menu, the icon's name and the Connect/Disconnect item. One
// rule for every host with a tray, kept here so that the window only paints.
#pragma once

#include "host/OwnerEvents.h"

#include <cstdint>
#include <string>

namespace kv {

// The icon set we install under hicolor/scalable/status (and compile into
// the window as its fallback). Each has a "-symbolic" twin for panels that
// recolour their icons.
inline constexpr const char* kTrayIconNoModem = "korvianet-no-modem";
inline constexpr const char* kTrayIconConnected = "korvianet-connected";
inline constexpr const char* kTrayIconConnecting = "korvianet-connecting";
inline constexpr const char* kTrayIconSignalPrefix = "korvianet-signal-"; // 0..5

enum class TrayConnectAction {
    Connect,
    Disconnect,
};

struct TrayLook {
    std::string stateLine;   // the first line of the tooltip, the menu's state item
    std::string tooltip;     // lines joined with '\n'
    std::string iconName;    // one of the names above
    TrayConnectAction action = TrayConnectAction::Connect;
    std::string actionLabel; // "Connect" or "Disconnect"
    bool actionEnabled = false;
};

TrayLook DescribeForTray(const OwnerSnapshot& s);

// "00:12:40"; past a day "1d 02:03:04".
std::string TrayDuration(uint32_t seconds);
// "512 B", "3.1 KB", "3.1 MB", "1.2 GB" (units of 1000, one decimal).
std::string TrayBytes(uint64_t bytes);
// The bars that go with the system mode (EV-DO or 1x), clamped to 0..5.
uint32_t TrayBars(const OwnerSnapshot& s);

} // namespace kv
