// The call history as the commands "history" and "db history" print it.
#pragma once

#include "cli/CliOutput.h"
#include "data/AppDatabase.h"

#include <string>

namespace kvcli {

enum class CallLayout {
    Tabbed,  // "INDEX\tKIND\tNUMBER\tNAME\tSTART\tDURATION" (history)
    Compact, // "%04d KINDCODE START DURATION NUMBER NAME" (db history)
};

// Lists the calls of the query, texts escaped, or with --json
//   {"calls": [{"index": N, "kind": "outgoing"|"answered"|"missed"|"?",
//               "kind_code": N, "number": TEXT, "name": TEXT,
//               "start": TEXT, "duration": "HH:MM:SS"}]}
// A database error is reported with its text (exit status 1).
int PrintCalls(kv::CAppDatabase& app, const kv::CDaoQuery& query, CallLayout layout, bool sayNone);

// The JSON fields above, for the commands' help.
inline constexpr const char* kCallsJsonHelp =
    "  {\"calls\": [{\"index\": N, \"kind\": \"outgoing\"|\"answered\"|\"missed\"|\"?\", \"kind_code\": N,\n"
    "              \"number\": TEXT, \"name\": TEXT, \"start\": TEXT, \"duration\": \"HH:MM:SS\"}]}";

} // namespace kvcli
