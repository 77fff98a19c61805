// The Jet dialect of the program's queries, translated for SQLite.
//
// Jet's `like` uses "*" for any run of characters, "?" for one character,
// "#" for one digit and "[...]" for one character of a set ("[!...]" for one
// not in it, "a-z" ranges); a special character is matched literally by
// enclosing it in brackets ("[*]", "[[]"). Comparison ignores letter case.
// The column named `index` is written unquoted. The translation below keeps
// those rules: simple patterns become SQLite LIKE patterns with an ESCAPE
// character, the rest run through the registered function jet_like().
// Every literal of a statement becomes a bound value.
#pragma once

#include "data/DaoQuery.h"

#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace kv {

// Columns of a table in binding order; nullptr for an unknown table.
const std::vector<std::string>* TableColumns(std::string_view table);

// Makes user text match literally inside a Jet pattern: each of "[", "]",
// "*", "?", "#" and "!" is enclosed in brackets ("[" becomes "[[]").
std::string JetEscapeSearchText(std::string_view text);

// Full Jet pattern match (ASCII letters compare without case; a UTF-8
// sequence counts as one character). An invalid pattern matches nothing.
bool JetLikeMatch(std::string_view pattern, std::string_view text);
// Whether the pattern is well formed (every "[" closed).
bool JetPatternValid(std::string_view pattern);

// Translates a Jet pattern to a SQLite LIKE pattern using '\' as escape.
// False when the pattern needs the full matcher (digit class, sets, ranges,
// negation) or is invalid.
bool JetLikeToSqlLike(std::string_view pattern, std::string& out);

// SQL for "column like pattern" with the pattern as a bound value appended
// to params; sets error text for an invalid pattern.
std::string LikeSql(const std::string& quotedColumn, std::string_view jetPattern,
                    std::vector<DbValue>& params, std::string& error);

// Registers jet_like(pattern, text) on a connection.
bool RegisterJetFunctions(sqlite3* db);

// Translates a whole Jet statement of the form
//   select * from TABLE [where EXPR] [order by COL [asc|desc], ...]
// or a bare "[TABLE]" (the whole table). Intended for constant statements;
// build statements with user text through the typed query builders.
CDaoQuery TranslateJetQuery(std::string_view jet);
// Translates a find-first filter (a Jet WHERE expression) for a table.
CDaoFilter TranslateJetFilter(std::string_view table, std::string_view jet);

// Quotes an identifier for SQLite ("index" -> "\"index\"").
std::string QuoteIdent(std::string_view name);

} // namespace kv
