// Breaking a text into the short lines of the window's message and status
// lines. A line holds `width` columns, where a character outside ASCII takes
// two (as it did in the modem's code page) and is never split. Lines break
// at the last space that fits, so a word is cut only when it is longer than
// a whole line. Pure and Qt-free: the window's text control, the call texts
// of the engine and the fuzzer use this one definition.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kv {

inline constexpr size_t kLineWrapWidth = 16;

// The text (UTF-8) broken into lines of at most `width` columns, joined by
// "\n". A line break or carriage return already in the text starts a new
// line. The space a line breaks at is dropped, with the run of spaces it
// belongs to; every other byte is kept in order. Width 0 keeps the text.
std::string WrapAtWords(std::string_view text, size_t width = kLineWrapWidth);

// Columns a text takes on one line (no line breaks counted).
size_t LineColumns(std::string_view text);

} // namespace kv
