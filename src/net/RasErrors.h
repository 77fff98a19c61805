// The texts of the dial-up result codes, shared by both backends. A failure
// the dialler explained can carry what it named (the option it refused, the
// tty, the profile) and its own words; the text then says them, so the user
// learns what to change and not only that something failed.
#pragma once

#include <string>

namespace kvnet {

// RAS_OK and fills text when the code is known; RAS_ERR_BAD_ARGUMENT else.
int RasErrorString(int error, std::string& text);

// The same texts with the subject a failure named ("noauth", "/dev/ttyUSB0",
// "/etc/ppp/peers/korvianet-cdma", "/usr/sbin/pppd"; may be empty) and the
// dialler's own line about it (may be empty). At most 255 characters.
int RasErrorString(int error, const std::string& subject, const std::string& dialerLine, std::string& text);

} // namespace kvnet
