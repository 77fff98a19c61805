// The environment a hook runs with: KORVIANET_EVENT names the event, and the
// event's own values follow in KORVIANET_* variables (the manual page lists
// them).
#pragma once

#include "host/OwnerEvents.h"

#include <string>
#include <utility>
#include <vector>

namespace kvnotify {

// "sms-received", "call-incoming", ... "quota-warning".
const char* HookEventName(kv::OwnerEventKind kind);

// The variables of one event, KORVIANET_EVENT first. Values are cut at a
// NUL and at kHookValueMax bytes.
inline constexpr size_t kHookValueMax = 4096;
std::vector<std::pair<std::string, std::string>> HookVariables(const kv::OwnerEvent& event);

// The environment of a hook: base (NAME=value entries, such as environ)
// without any of the event variables' names, then the event's variables.
std::vector<std::string> HookEnvironment(const char* const* base, const kv::OwnerEvent& event);

} // namespace kvnotify
