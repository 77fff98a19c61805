// What a phonebook change on the modem came to, worded once for the
// command-line tool and the owner's actions.
#pragma once

#include "contacts/PbookEngine.h"

#include <cstdint>
#include <string>

namespace kv {

struct PbOutcome {
    enum Kind { Ok, Refused, Database, Failed, Result } kind = Ok;
    std::string text;    // "" when Ok
    uint16_t result = 0; // with Result: the sub-request's result
};

// what: "stored", "changed" or "deleted".
PbOutcome PbChangeOutcome(const CPbookEngine::Change& c, const char* what, int type, int index);

} // namespace kv
