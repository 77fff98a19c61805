// The table of phonebook changes on their way: see PbPendingStore.h.
#include "data/PbPendingStore.h"

#include <sqlite3.h>

namespace kv {

namespace {

constexpr const char* kCreateSql =
    "CREATE TABLE IF NOT EXISTS pb_pending ("
    " storage_type INTEGER NOT NULL,"
    " \"index\"    INTEGER NOT NULL,"
    " old_name     TEXT NOT NULL DEFAULT '',"
    " old_number   TEXT NOT NULL DEFAULT '',"
    " new_name     TEXT NOT NULL DEFAULT '',"
    " new_number   TEXT NOT NULL DEFAULT '',"
    " PRIMARY KEY (storage_type, \"index\"))";

// One connection for one call: opened without the create flag (a missing
// file is an error, never a new empty database), closed by the destructor.
class Connection {
public:
    explicit Connection(const std::string& path)
    {
        if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            m_error = "Could not open '" + path + "' (" + (m_db ? sqlite3_errmsg(m_db) : "out of memory") + ").";
            sqlite3_close(m_db);
            m_db = nullptr;
            return;
        }
        sqlite3_busy_timeout(m_db, 5000);
        Exec("PRAGMA synchronous=FULL");
    }
    ~Connection() { sqlite3_close_v2(m_db); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool Ok() const { return m_db != nullptr; }
    sqlite3* Db() const { return m_db; }
    const std::string& Error() const { return m_error; }

    bool Exec(const char* sql)
    {
        if (!m_db)
            return false;
        char* err = nullptr;
        if (sqlite3_exec(m_db, sql, nullptr, nullptr, &err) == SQLITE_OK)
            return true;
        m_error = err ? err : sqlite3_errmsg(m_db);
        sqlite3_free(err);
        return false;
    }
    // Sets the error from the connection's last failure; false.
    bool Failed()
    {
        if (m_error.empty() && m_db)
            m_error = sqlite3_errmsg(m_db);
        return false;
    }

private:
    sqlite3* m_db = nullptr;
    std::string m_error;
};

struct Stmt {
    sqlite3_stmt* p = nullptr;
    ~Stmt() { sqlite3_finalize(p); }
};

bool TableExists(sqlite3* db)
{
    Stmt st;
    if (sqlite3_prepare_v2(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'pb_pending'", -1, &st.p,
                           nullptr)
        != SQLITE_OK)
        return false;
    return sqlite3_step(st.p) == SQLITE_ROW;
}

std::string Text(sqlite3_stmt* st, int col)
{
    const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
    return t ? std::string(t, size_t(sqlite3_column_bytes(st, col))) : std::string();
}

void BindText(sqlite3_stmt* st, int i, const std::string& s)
{
    sqlite3_bind_text(st, i, s.data(), int(s.size()), SQLITE_TRANSIENT);
}

} // namespace

CPbPendingStore::CPbPendingStore(std::string dbPath) : m_strPath(std::move(dbPath)) {}

bool CPbPendingStore::Record(const PbPendingChange& ch, std::string& error)
{
    Connection c(m_strPath);
    Stmt st;
    if (!c.Ok() || !c.Exec(kCreateSql)
        || sqlite3_prepare_v2(c.Db(),
                              "INSERT OR REPLACE INTO pb_pending (storage_type, \"index\", old_name, old_number,"
                              " new_name, new_number) VALUES (?, ?, ?, ?, ?, ?)",
                              -1, &st.p, nullptr)
               != SQLITE_OK) {
        c.Failed();
        error = c.Error();
        return false;
    }
    sqlite3_bind_int(st.p, 1, ch.storageType);
    sqlite3_bind_int(st.p, 2, ch.index);
    BindText(st.p, 3, ch.oldName);
    BindText(st.p, 4, ch.oldNumber);
    BindText(st.p, 5, ch.newName);
    BindText(st.p, 6, ch.newNumber);
    if (sqlite3_step(st.p) != SQLITE_DONE) {
        c.Failed();
        error = c.Error();
        return false;
    }
    return true;
}

bool CPbPendingStore::Remove(int storageType, int index, std::string& error)
{
    Connection c(m_strPath);
    Stmt st;
    if (!c.Ok() || !c.Exec(kCreateSql)
        || sqlite3_prepare_v2(c.Db(), "DELETE FROM pb_pending WHERE storage_type = ? AND \"index\" = ?", -1, &st.p,
                              nullptr)
               != SQLITE_OK) {
        c.Failed();
        error = c.Error();
        return false;
    }
    sqlite3_bind_int(st.p, 1, storageType);
    sqlite3_bind_int(st.p, 2, index);
    if (sqlite3_step(st.p) != SQLITE_DONE) {
        c.Failed();
        error = c.Error();
        return false;
    }
    return true;
}

bool CPbPendingStore::ForStorage(int storageType, std::vector<PbPendingChange>& out, std::string& error)
{
    out.clear();
    Connection c(m_strPath);
    if (!c.Ok()) {
        error = c.Error();
        return false;
    }
    if (!TableExists(c.Db())) {
        // No table, nothing recorded. It is made now if that can be done at
        // once: a start never waits for another program's write lock (or
        // fails on a read-only copy) for it; the first change makes it.
        sqlite3_busy_timeout(c.Db(), 0);
        c.Exec(kCreateSql);
        return true;
    }
    Stmt st;
    if (sqlite3_prepare_v2(c.Db(),
                              "SELECT \"index\", old_name, old_number, new_name, new_number FROM pb_pending"
                              " WHERE storage_type = ? ORDER BY \"index\"",
                              -1, &st.p, nullptr)
               != SQLITE_OK) {
        c.Failed();
        error = c.Error();
        return false;
    }
    sqlite3_bind_int(st.p, 1, storageType);
    int rc;
    while ((rc = sqlite3_step(st.p)) == SQLITE_ROW) {
        // A row whose index is no whole number of int's range names no entry.
        if (sqlite3_column_type(st.p, 0) != SQLITE_INTEGER)
            continue;
        const sqlite3_int64 index = sqlite3_column_int64(st.p, 0);
        if (index < 1 || index > 0x7FFFFFFF)
            continue;
        PbPendingChange ch;
        ch.storageType = storageType;
        ch.index = int(index);
        ch.oldName = Text(st.p, 1);
        ch.oldNumber = Text(st.p, 2);
        ch.newName = Text(st.p, 3);
        ch.newNumber = Text(st.p, 4);
        out.push_back(std::move(ch));
    }
    if (rc != SQLITE_DONE) {
        c.Failed();
        error = c.Error();
        out.clear();
        return false;
    }
    return true;
}

} // namespace kv
