// Texts on the bus are UTF-8, and a message with anything else is refused
// whole. Names and messages from the modem may come in its 8-bit code page.
#pragma once

#include <string>
#include <string_view>

namespace kv::bus {

// The text itself when it is valid UTF-8, else read as Latin-1. NUL bytes
// are dropped (they would end the text on the bus).
std::string BusText(std::string_view text);

} // namespace kv::bus
