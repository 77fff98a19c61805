// A query ready for a cursor: the table, a WHERE and ORDER BY in SQLite's
// dialect with '?' placeholders, and the values bound to them. User text only
// ever travels as a bound value, so it can never change the statement.
// A query that could not be built carries its error; opening it raises that
// error as a database error, as a malformed query would.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace kv {

using DbBlob = std::vector<uint8_t>;
using DbValue = std::variant<std::monostate, int64_t, double, std::string, DbBlob>;

struct CDaoQuery {
    std::string table;              // e.g. "tealfin_pbook"
    std::string where;              // SQLite expression, may be empty
    std::string orderBy;            // SQLite ORDER BY list, may be empty
    std::vector<DbValue> params;    // bound in order to the '?' in where
    std::string jetText;            // the statement as the system writes it (logs)
    int errorCode = 0;              // non-zero: the query is malformed
    std::string error;

    bool Ok() const { return errorCode == 0; }
};

// A filter for find first: a WHERE expression with its values.
struct CDaoFilter {
    std::string where;
    std::vector<DbValue> params;
    std::string jetText;
    int errorCode = 0;
    std::string error;
};

} // namespace kv
