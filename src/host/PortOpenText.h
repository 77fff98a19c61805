// What the user is told when the modem's port cannot be opened: the message
// line and korvianet-cli both say "ComPort is not opened." and, when the
// reason is known, which of the usual two it is and what to do about it.
#pragma once

#include <string>

namespace kv {

enum class PortOpenReason { Other, NoPermission, Busy };

// EACCES/EPERM: no permission; EBUSY/EWOULDBLOCK: held by another program.
PortOpenReason ClassifyPortOpenError(int err);

// The advice for a reason, one sentence; "" for Other.
std::string PortOpenAdvice(int err);

// "ComPort is not opened." followed, on a line of its own, by the advice.
std::string PortNotOpenedText(int err);

} // namespace kv
