// Reads of the phonebook table that decide where a new entry goes: the
// lowest free index of a phonebook and how many entries it holds. A table
// that cannot be read answers -1, never a free index 1 (which would
// overwrite the modem's first entry) or an empty phonebook.
#pragma once

#include "data/DaoPbookDb.h"

#include <string>

namespace kv {

// The lowest index from 1 that the storage type does not use; -1 (error
// set when given) when the table cannot be read. Leaves the cursor closed.
int PbFreeIndex(CDaoPbookDb& pb, int storageType, std::string* error = nullptr);
// Rows of the storage type; -1 (error set when given) when the table cannot
// be read. Leaves the cursor closed.
int PbEntryCount(CDaoPbookDb& pb, int storageType, std::string* error = nullptr);

} // namespace kv
