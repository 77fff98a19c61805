// The settings page's AT commands: the card's PIN check on and off, the PIN
// change, the firmware kind query and the modem reset. The page calls these
// and shows the outcome; each command is built only from validated PINs and
// runs as one exchange on the shared port (AtChannel.h), with the page's
// read plan of up to five 500 ms waits.
#pragma once

#include "net/AtChannel.h"

#include <string>

namespace kv {

enum class AtPinOutcome {
    Success,      // the modem answered "OK"
    Failed,       // no "OK" within the reads (or the port was busy or closed)
    TooShort,     // a field is empty or shorter than 4 characters: nothing sent
    NotDigits,    // a field is not 4 to 8 digits: nothing sent
    ConfirmFail,  // the new PIN and its verification differ: nothing sent
};

// The refusal text of an outcome ("" for Success and Failed).
const char* AtPinRefusalText(AtPinOutcome outcome);

// PIN check on (enable) or off with the card's current PIN.
AtPinOutcome AtPinLock(IAtPort& port, bool enable, const std::string& pin);
// PIN change; verify must equal newPin.
AtPinOutcome AtPinChange(IAtPort& port, const std::string& oldPin, const std::string& newPin,
                         const std::string& verify);
// True when the firmware answer holds "818" (the kind that knows AT^RESET).
bool AtQueryFirmwareKind(IAtPort& port);
// Restarts the modem: AT^RESET for the "818" kind, else function off and
// reset 500 ms apart. The answers are not needed.
void AtResetModem(IAtPort& port);

} // namespace kv
