// Lookup in the built-in APN table (the rows are in ApnTable.cpp).
#include "net/ApnTable.h"

namespace kv {

const ApnRow* FindApnRow(std::string_view imsiDigits)
{
    if (imsiDigits.empty())
        return nullptr;
    for (const ApnRow& row : kApnTable) {
        if (imsiDigits.starts_with(std::string_view(row.key)))
            return &row;
    }
    return nullptr;
}

} // namespace kv
