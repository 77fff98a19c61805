// Whether the card's PIN check is on. The card check of the start-up chain
// learns it from the card's lock state (verified counts as on: the PIN was
// entered, the check is still there); the settings page changes it with its
// PIN commands. Everything that offers or shows the PIN check asks here, so
// that the settings page's actions and its status line agree with the card.
#pragma once

#include "engine/ModemState.h"

namespace kv {

// The state the card check last saw in this process; before any check, the
// one it stored ("chv_enable") in an earlier run.
bool PinCheckOn(const ModemState& st);
// A change the modem confirmed: kept for this process and stored.
void NotePinCheck(ModemState& st, bool on);

} // namespace kv
