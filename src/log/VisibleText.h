// Text that came from the modem, the card or the database, made safe for a
// terminal: whatever could move the cursor, retitle or clear the window, or
// break one record over two lines is written as a visible escape instead.
#pragma once

#include <string>
#include <string_view>

namespace kv {

// Valid UTF-8 stays as it is, except:
//   backslash               → "\\" (so every escape reads back unambiguously)
//   line feed, CR, tab      → "\n", "\r", "\t"
//   other C0 controls, DEL  → "\xNN"
//   C1 controls U+0080..U+009F and the bidirectional overrides and isolates
//   (U+202A..U+202E, U+2066..U+2069) → "\uNNNN"
//   bytes that are not valid UTF-8 → "\xNN"
std::string VisibleText(std::string_view bytes);

// True when VisibleText would change nothing.
bool IsVisibleText(std::string_view bytes);

} // namespace kv
