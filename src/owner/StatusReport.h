// The status report of the modem: the words and numbers "korvianet-cli
// status" prints, and its JSON document, built once here for the command
// and for the owner's GetStatus and snapshot.
#pragma once

#include "engine/DmEngine.h"
#include "engine/ModemState.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <string_view>

namespace kv {

using StatusJson = nlohmann::ordered_json;

// Message or name bytes as UTF-8: kept when they are valid UTF-8, else read
// as Latin-1 (the modem's 8-bit code page).
std::string Utf8Text(std::string_view bytes);
// What a DmSubRequest result means, e.g. "the modem refused it (0x7002)".
std::string ResultText(uint16_t result);

// The names of the values (unknown values: "unknown").
const char* ServiceName(int service);      // indicator 1042
const char* SystemModeName(int sysMode);   // the status record's system mode
std::string BatteryName(int level);        // indicator 1040's level
std::string CardStateName(const ModemState& st);
// The bars of a signal in dBm as the status shows them: 0 without a signal.
uint32_t SignalBars(int dbm);

// One snapshot of the battery and status records, taken on the parked
// engine by the sub-request kStatusSnapshotRequest (type: a StatusSnapshot*).
struct StatusSnapshot {
    bool battOk = false;
    bool statusOk = false;
    BattInfo batt;
    StatusRecord rec;
    bool longLayout = false;
};
inline constexpr uint16_t kStatusSnapshotRequest = 0x00C0;
// Registers the snapshot sub-request (before the engine starts).
void RegisterStatusSnapshot(CDmEngine& engine);

// What the document is built from beside the modem state and the settings.
struct StatusFacts {
    std::string portPath;       // the tty
    bool deviceGiven = false;   // --device (no COM number then)
    int service = -1;           // indicator 1042's last value
    int roaming = -1;           // indicator 1117's last value
    int batteryIndicator = -1;  // indicator 1040's last value
    int memoryCount = -1;       // messages in each store, -1 unknown
    int ruimCount = -1;
    StatusSnapshot snap;
};

// The document "korvianet-cli status --json" prints.
StatusJson BuildStatusDocument(const ModemState& st, const StatusFacts& facts);

} // namespace kv
