// The names "korvianet-cli status" gives the modem's states, shared with
// "monitor" when it watches the modem itself.
#pragma once

#include "engine/DmEngine.h"

#include <string>

namespace kvcli {

const char* ServiceName(int v);
const char* SystemModeName(int v);
std::string BatteryName(int level);
std::string CardState(const kv::ModemState& st);

} // namespace kvcli
