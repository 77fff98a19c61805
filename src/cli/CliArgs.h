// Strict checks of what a user or a script passes to korvianet-cli. Every
// refusal names the argument and, for a limit, the limit; the caller turns
// it into exit status 2 (UsageError).
#pragma once

#include "host/ArgChecks.h"

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

// The checks shared with the bus service (host/ArgChecks.h).
using kv::DialProblem;
using kv::DialRules;
using kv::TextProblem;
using kv::Utf8Length;

} // namespace kvcli
