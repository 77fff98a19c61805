// Strict checks of what a user or a script passes to korvianet-cli. Every
// refusal names the argument and, for a limit, the limit; the caller turns
// it into exit status 2 (UsageError).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kvcli {

// A decimal number: the whole text is digits (no sign, blank or suffix) and
// the value lies within [min, max]. nullopt otherwise.
std::optional<long long> ParseNumber(std::string_view text, long long min, long long max);

// ParseNumber for an argument; on a refusal prints
//   "<name>: '<text>' is not a whole number from <min> to <max>"
// as a usage error and returns nullopt.
std::optional<long long> NumberArg(const std::string& name, const std::string& text, long long min,
                                   long long max);

// Rules for a number the modem dials or stores.
struct DialRules {
    size_t maxLength;        // characters
    bool allowPause = false; // the pause 'p' (phonebook entries only)
};
// "" when number is acceptable, else why not (for "<name>: <why>"):
// non-empty; digits, '*', '#', a '+' only first and followed by at least
// one digit, and, where allowed, the pause 'p' placed as the phonebook
// rules say; at most maxLength characters.
std::string DialProblem(const std::string& number, const DialRules& rules);

// "" when text is acceptable as a name or message, else why not: not empty,
// no control characters (but line feeds where allowed), at most maxChars
// characters (UTF-8 characters) and maxBytes bytes.
std::string TextProblem(const std::string& text, size_t maxChars, size_t maxBytes,
                        bool allowLineBreaks = false);

// Number of UTF-8 characters (bytes that do not continue a sequence).
size_t Utf8Length(std::string_view text);

} // namespace kvcli
