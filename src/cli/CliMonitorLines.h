// The lines of "korvianet-cli monitor": one per change, whether the changes
// come from the owner of the modem on the session bus or from the engine
// this program runs itself. Text: "HH:MM:SS Property: value in words".
// With --json one document per line:
//   {"time": ISO, "changed": [NAME...], "status": {NAME: VALUE...}}
//   {"time": ISO, "event": NAME, ARG: VALUE...}
// Names are the bus service's property and signal names.
#pragma once

#include "cli/CliOutput.h"
#include "host/OwnerEvents.h"

#include <systemd/sd-bus.h>

#include <string>
#include <vector>

namespace kvcli {

// The value of a property in words ("4 of 5 bars", "-75 dBm", "00:12:40").
std::string PropertyWords(const std::string& name, const Json& value);
// A signal and its arguments in words.
std::string EventWords(const std::string& name, const Json& args);

// Prints the properties of status named in changed and flushes.
void PrintChanges(const Json& status, const std::vector<std::string>& changed);
// Prints one signal (args: its arguments by name, in order) and flushes.
void PrintEvent(const std::string& name, const Json& args);

// Every property of a snapshot by its bus name, in the interface's order.
Json SnapshotJson(const kv::OwnerSnapshot& s);

// The arguments of one of the service's signals by their names
// ({"storage": "memory", "slot": 3, ...}); unknown ones as "arg0"...
Json ReadSignalArgs(sd_bus_message* m, const std::string& member);

// The names of every property, in the interface's order.
const std::vector<std::string>& PropertyNames();

} // namespace kvcli
