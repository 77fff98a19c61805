// The modem simulator's "drop" control: the data link over the simulated
// modem goes down. The simulated dial-up service runs inside the dialling
// program, not in the simulator, so the two meet in a small counter file in
// the settings folder: the simulator adds one per drop, and the service ends
// every connection dialled before the count it last saw grew.
#pragma once

#include <cstdint>
#include <string>

namespace kv {

inline constexpr const char* kSimLinkDropFile = "sim-link-drops";

// The count (0 when the file is missing or holds no number).
uint64_t SimLinkDrops();
// Adds one; false when the file cannot be written.
bool AddSimLinkDrop();

} // namespace kv
