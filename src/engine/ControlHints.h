// What the main window tells the user about its own state in words, decided
// once here for the window and the headless host: the line shown while the
// modem is being looked for, and why a control the user clicked does
// nothing now. The texts fit the message line (16 columns, broken between
// words by kv::WrapAtWords).
#pragma once

#include "engine/ModemState.h"

#include <string>

namespace kv {

namespace hint {
inline constexpr const char* kSearching = "Searching for the modem\xE2\x80\xA6";
inline constexpr const char* kNoModem = "No modem found";
inline constexpr const char* kStarting = "The modem is still starting";
inline constexpr const char* kNoPin = "The card is locked (no PIN)";
inline constexpr const char* kNoCard = "No card in the modem";
inline constexpr const char* kCardBusy = "The card is not ready";
inline constexpr const char* kNotConnected = "Not connected";
inline constexpr const char* kNotNow = "Not available now";
} // namespace hint

// Why the control `controlId` of the main window does nothing now (it is
// disabled, or the card keeps it from acting), for the message line.
std::string WhyControlUnavailable(int controlId, const ModemState& st);

// Whether the engine has no modem to talk to (stopped, ended, or its
// device went away).
bool EngineHasNoModem(const ModemState& st);

} // namespace kv
