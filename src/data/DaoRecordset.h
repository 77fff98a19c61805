// The recordset layer: a cursor over one table of the local database with
// the services the program's pages and engines use (open a query or the whole
// table, walk it, find a row, add, edit, update, delete) and the current row
// held in column members of the derived class.
//
// A cursor opens its own connection to the file on its first open and keeps
// it until it is destroyed. The rows of a query are read when it opens (the
// keyset with the values); rows added through the cursor join the end of the
// set, deleted rows are skipped by the moves. Every failure throws
// CDaoException; moving to the first row of an empty result throws the
// no-current-record error, which lookups take as "not found".
#pragma once

#include "data/DaoException.h"
#include "data/DaoQuery.h"

#include <cstdint>
#include <string>
#include <vector>

struct sqlite3;

namespace kv {

// Moves column values between a row and the column members, in binding order.
class CDaoFieldExchange {
public:
    enum Mode { kNames, kLoad, kStore, kDefaults };
    CDaoFieldExchange(Mode mode, std::vector<DbValue>* row) : m_mode(mode), m_row(row) {}

    void Long(const char* column, int32_t& member);
    void Byte(const char* column, uint8_t& member);
    void Double(const char* column, double& member);
    void Text(const char* column, std::string& member);
    // A binary column of a fixed stored size: padded with zeros or cut.
    void Binary(const char* column, std::vector<uint8_t>& member, size_t fixedSize);

    const std::vector<std::string>& Names() const { return m_names; }

private:
    DbValue* Next(const char* column);
    Mode m_mode;
    std::vector<DbValue>* m_row;
    std::vector<std::string> m_names;
    size_t m_col = 0;
};

class CDaoRecordset {
public:
    explicit CDaoRecordset(std::string dbPath);
    virtual ~CDaoRecordset();
    CDaoRecordset(const CDaoRecordset&) = delete;
    CDaoRecordset& operator=(const CDaoRecordset&) = delete;

    virtual std::string GetDefaultDBName() const { return m_strDbPath; }
    // The whole table, e.g. "[tealfin_pbook]".
    virtual std::string GetDefaultSQL() const = 0;
    virtual void DoFieldExchange(CDaoFieldExchange& fx) = 0;
    virtual const char* TableName() const = 0;

    // Opens the whole table.
    void Open();
    // Opens a query built by the query builders.
    void Open(const CDaoQuery& query);
    // Opens a constant Jet statement ("select * from tealfin_sms order by time asc").
    void Open(const std::string& jetSql);
    void Close();
    bool IsOpen() const { return m_bOpen; }

    bool IsBOF() const;
    bool IsEOF() const;
    void MoveFirst();
    void MoveNext();
    void MovePrev();
    void MoveLast();
    // Positions on the first row satisfying the filter; false (position kept)
    // when none does.
    bool FindFirst(const CDaoFilter& filter);
    bool FindFirst(const std::string& jetFilter);
    // Rows of the open result, deleted ones excluded.
    long GetRecordCount() const;

    void AddNew();
    void Edit();
    void Update();
    void CancelUpdate();
    void Delete();

    // A transaction on this cursor's connection (batches of appends).
    // Rollback also reads the open result again (Requery), so the cursor
    // never holds rows the rollback took back or misses rows it restored.
    void BeginTrans();
    void CommitTrans();
    void Rollback();
    // Runs the open query again and stands on its first row; a cursor whose
    // query cannot be run again is closed (and the error thrown).
    void Requery();

    const std::string& LastQueryText() const { return m_strQueryText; }

protected:
    std::string m_strDbPath;

private:
    struct Row {
        int64_t rowid;
        std::vector<DbValue> values;
        bool deleted = false;
    };
    enum EditMode { kNone, kEditing, kAdding };

    void Connect();
    void Disconnect();
    [[noreturn]] void ThrowEngine(const std::string& what);
    void RequireOpen() const;
    void Load(size_t pos);
    void ClearMembers();
    bool HasCurrent() const;
    void Exec(const char* sql);
    const std::vector<std::string>& Columns();

    sqlite3* m_db = nullptr;
    bool m_bOpen = false;
    std::vector<Row> m_rows;
    // Current position: -1 before the first row, m_rows.size() after the last.
    long m_nPos = -1;
    EditMode m_editMode = kNone;
    std::vector<std::string> m_columns;
    std::string m_strQueryText;
    CDaoQuery m_lastQuery;
};

} // namespace kv
