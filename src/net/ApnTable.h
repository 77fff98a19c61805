// The built-in APN table of the AT path: 437 rows of a network key (the
// country code and the network code an IMSI starts with) and the APN of that
// network. The rows are generated (scripts/gen-apn-table.py) and their order
// is part of the behaviour: some keys appear twice, a few six-digit keys come
// after the five-digit key that starts them, and three keys carry a "-0" or
// "-1" suffix that no IMSI can start with. Lookup takes the first row.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kv {

struct ApnRow {
    char key[10]; // zero-terminated
    char apn[50]; // zero-terminated
};

inline constexpr size_t kApnTableRows = 437;
extern const ApnRow kApnTable[kApnTableRows];

// The first row whose key is the start of imsiDigits, or nullptr. Only the
// network prefix selects a row: subscriber digits further on never do.
const ApnRow* FindApnRow(std::string_view imsiDigits);

} // namespace kv
