// Feeds arbitrary text to the Jet statement and filter translation and to
// the pattern matcher; a statement that translates must also prepare on a
// database of the program's tables.
#include "data/JetSql.h"

#include <sqlite3.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

sqlite3* SchemaDb()
{
    static sqlite3* db = [] {
        sqlite3* d = nullptr;
        sqlite3_open(":memory:", &d);
        sqlite3_exec(d,
                     "CREATE TABLE tealfin_pbook (storage_type INTEGER, \"index\" INTEGER, name TEXT, phone_number TEXT);"
                     "CREATE TABLE tealfin_sms (\"index\" INTEGER, tag_type REAL, \"time\" REAL, cb_number TEXT,"
                     " new_flag INTEGER, encoding INTEGER, message BLOB);"
                     "CREATE TABLE tealfin_vcall (storage_type INTEGER, \"index\" INTEGER, name TEXT, phone_number TEXT,"
                     " \"time\" TEXT, call_time TEXT);",
                     nullptr, nullptr, nullptr);
        kv::RegisterJetFunctions(d);
        return d;
    }();
    return db;
}

void MustPrepare(const std::string& sql, size_t nparams)
{
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(SchemaDb(), sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
        std::abort();
    if (static_cast<size_t>(sqlite3_bind_parameter_count(st)) != nparams)
        std::abort();
    sqlite3_finalize(st);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    kv::CDaoQuery q = kv::TranslateJetQuery(text);
    if (q.Ok()) {
        std::string sql = "SELECT * FROM " + kv::QuoteIdent(q.table);
        if (!q.where.empty())
            sql += " WHERE " + q.where;
        if (!q.orderBy.empty())
            sql += " ORDER BY " + q.orderBy;
        MustPrepare(sql, q.params.size());
    }
    kv::CDaoFilter f = kv::TranslateJetFilter("tealfin_sms", text);
    if (f.errorCode == 0)
        MustPrepare("SELECT rowid FROM tealfin_sms WHERE " + f.where, f.params.size());

    // Escaped text always matches itself, and the LIKE translation agrees.
    std::string pattern = "*" + kv::JetEscapeSearchText(text) + "*";
    if (!kv::JetLikeMatch(pattern, text))
        std::abort();
    std::string like;
    if (!kv::JetLikeToSqlLike(pattern, like))
        std::abort();
    kv::JetLikeMatch(text, "some Name 123 [x] * ? # !");
    return 0;
}
