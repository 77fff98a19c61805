// Recordset services over SQLite: see DaoRecordset.h.
#include "data/DaoRecordset.h"

#include "data/DataConstants.h"
#include "data/JetSql.h"
#include "log/NumberParse.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <unordered_set>

namespace kv {

// ---------------------------------------------------------------------------
// Field exchange

DbValue* CDaoFieldExchange::Next(const char* column)
{
    if (m_mode == kNames) {
        m_names.emplace_back(column);
        return nullptr;
    }
    if (m_mode == kDefaults)
        return nullptr;
    if (m_row->size() <= m_col)
        m_row->resize(m_col + 1);
    return &(*m_row)[m_col++];
}

namespace {

// A column value as a whole number of the member's type (a fraction drops
// its part). A value that is not one (text that is no whole number, a value
// beyond the member's range) reads as 0: cut down to the member's width it would
// become another, valid-looking value (index 4294967297 would name entry 1).
template <class T>
T AsInt(const DbValue& v)
{
    int64_t n = 0;
    if (auto i = std::get_if<int64_t>(&v))
        n = *i;
    else if (auto d = std::get_if<double>(&v))
        n = std::isfinite(*d) && *d >= -9.2e18 && *d <= 9.2e18 ? static_cast<int64_t>(*d) : 0;
    else if (auto t = std::get_if<std::string>(&v))
        n = DecimalValue<int64_t>(*t).value_or(0);
    if (n < std::numeric_limits<T>::min() || n > std::numeric_limits<T>::max())
        return 0;
    return static_cast<T>(n);
}

double AsDouble(const DbValue& v)
{
    if (auto p = std::get_if<double>(&v))
        return *p;
    if (auto p = std::get_if<int64_t>(&v))
        return static_cast<double>(*p);
    double d = 0;
    if (auto p = std::get_if<std::string>(&v))
        ParseDecimalDouble(*p, d);
    return d;
}

std::string AsText(const DbValue& v)
{
    if (auto p = std::get_if<std::string>(&v))
        return *p;
    if (auto p = std::get_if<int64_t>(&v))
        return std::to_string(*p);
    if (auto p = std::get_if<double>(&v))
        return std::to_string(*p);
    if (auto p = std::get_if<DbBlob>(&v))
        return std::string(p->begin(), p->end());
    return {};
}

} // namespace

void CDaoFieldExchange::Long(const char* column, int32_t& member)
{
    DbValue* v = Next(column);
    if (m_mode == kDefaults)
        member = 0;
    else if (m_mode == kLoad)
        member = AsInt<int32_t>(*v);
    else if (m_mode == kStore)
        *v = static_cast<int64_t>(member);
}

void CDaoFieldExchange::Byte(const char* column, uint8_t& member)
{
    DbValue* v = Next(column);
    if (m_mode == kDefaults)
        member = 0;
    else if (m_mode == kLoad)
        member = AsInt<uint8_t>(*v);
    else if (m_mode == kStore)
        *v = static_cast<int64_t>(member);
}

void CDaoFieldExchange::Double(const char* column, double& member)
{
    DbValue* v = Next(column);
    if (m_mode == kDefaults)
        member = 0;
    else if (m_mode == kLoad)
        member = AsDouble(*v);
    else if (m_mode == kStore)
        *v = member;
}

void CDaoFieldExchange::Text(const char* column, std::string& member)
{
    DbValue* v = Next(column);
    if (m_mode == kDefaults)
        member.clear();
    else if (m_mode == kLoad)
        member = AsText(*v);
    else if (m_mode == kStore)
        *v = member;
}

void CDaoFieldExchange::Binary(const char* column, std::vector<uint8_t>& member, size_t fixedSize)
{
    DbValue* v = Next(column);
    if (m_mode == kDefaults) {
        member.assign(fixedSize, 0);
    } else if (m_mode == kLoad) {
        if (auto p = std::get_if<DbBlob>(v))
            member = *p;
        else
            member.clear();
        member.resize(fixedSize, 0);
    } else if (m_mode == kStore) {
        DbBlob b = member;
        b.resize(fixedSize, 0);
        *v = std::move(b);
    }
}

// ---------------------------------------------------------------------------
// Recordset

namespace {

struct Stmt {
    sqlite3_stmt* p = nullptr;
    ~Stmt() { sqlite3_finalize(p); }
};

void Bind(sqlite3_stmt* st, int i, const DbValue& v)
{
    if (auto n = std::get_if<int64_t>(&v))
        sqlite3_bind_int64(st, i, *n);
    else if (auto d = std::get_if<double>(&v))
        sqlite3_bind_double(st, i, *d);
    else if (auto s = std::get_if<std::string>(&v))
        sqlite3_bind_text(st, i, s->data(), static_cast<int>(s->size()), SQLITE_TRANSIENT);
    else if (auto b = std::get_if<DbBlob>(&v))
        sqlite3_bind_blob(st, i, b->data(), static_cast<int>(b->size()), SQLITE_TRANSIENT);
    else
        sqlite3_bind_null(st, i);
}

DbValue Column(sqlite3_stmt* st, int i)
{
    switch (sqlite3_column_type(st, i)) {
    case SQLITE_INTEGER: return static_cast<int64_t>(sqlite3_column_int64(st, i));
    case SQLITE_FLOAT: return sqlite3_column_double(st, i);
    case SQLITE_TEXT:
        return std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, i)),
                           static_cast<size_t>(sqlite3_column_bytes(st, i)));
    case SQLITE_BLOB: {
        const auto* b = static_cast<const uint8_t*>(sqlite3_column_blob(st, i));
        return DbBlob(b, b + sqlite3_column_bytes(st, i));
    }
    default: return std::monostate{};
    }
}

} // namespace

CDaoRecordset::CDaoRecordset(std::string dbPath) : m_strDbPath(std::move(dbPath)) {}

CDaoRecordset::~CDaoRecordset()
{
    m_bOpen = false;
    Disconnect();
}

void CDaoRecordset::ThrowEngine(const std::string& what)
{
    std::string msg = what;
    if (m_db) {
        msg += ": ";
        msg += sqlite3_errmsg(m_db);
    }
    throw CDaoException(kDaoErrEngine, msg);
}

void CDaoRecordset::Connect()
{
    if (m_db)
        return;
    const std::string path = GetDefaultDBName();
    if (path.empty())
        throw CDaoException(kDaoErrCannotOpen, "Could not find the database file.");
    sqlite3* db = nullptr;
    // No CREATE flag: a missing file is an error, never a new empty database.
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        std::string msg = "Could not find or open file '" + path + "' (" + (db ? sqlite3_errmsg(db) : "out of memory") + ").";
        sqlite3_close(db);
        throw CDaoException(kDaoErrCannotOpen, msg);
    }
    m_db = db;
    sqlite3_busy_timeout(m_db, 5000);
    sqlite3_extended_result_codes(m_db, 1);
    RegisterJetFunctions(m_db);
    // Reading the schema proves the file is a database at all; a committed
    // row is on disk before Update returns.
    if (sqlite3_exec(m_db, "PRAGMA synchronous=FULL; SELECT count(*) FROM sqlite_master;", nullptr, nullptr, nullptr) != SQLITE_OK) {
        std::string msg = "Unrecognized database format '" + path + "' (" + sqlite3_errmsg(m_db) + ").";
        Disconnect();
        throw CDaoException(kDaoErrCannotOpen, msg);
    }
}

void CDaoRecordset::Disconnect()
{
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

const std::vector<std::string>& CDaoRecordset::Columns()
{
    if (m_columns.empty()) {
        CDaoFieldExchange fx(CDaoFieldExchange::kNames, nullptr);
        DoFieldExchange(fx);
        m_columns = fx.Names();
    }
    return m_columns;
}

void CDaoRecordset::Open()
{
    Open(GetDefaultSQL());
}

void CDaoRecordset::Open(const std::string& jetSql)
{
    Open(TranslateJetQuery(jetSql));
}

void CDaoRecordset::Open(const CDaoQuery& q)
{
    if (m_bOpen)
        Close();
    m_strQueryText = q.jetText;
    m_lastQuery = q;
    if (!q.Ok())
        throw CDaoException(q.errorCode, q.error);
    if (q.table != TableName())
        throw CDaoException(kDaoErrSyntax, "The query does not read table " + std::string(TableName()) + ".");
    Connect();

    std::string sql = "SELECT rowid";
    for (const std::string& c : Columns())
        sql += ", " + QuoteIdent(c);
    sql += " FROM " + QuoteIdent(q.table);
    if (!q.where.empty())
        sql += " WHERE " + q.where;
    if (!q.orderBy.empty())
        sql += " ORDER BY " + q.orderBy;

    Stmt st;
    if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &st.p, nullptr) != SQLITE_OK) {
        std::string msg = std::string("Cannot open the query '") + q.jetText + "': " + sqlite3_errmsg(m_db);
        // Drop the connection so that a repaired file is seen on the next open.
        Disconnect();
        throw CDaoException(kDaoErrEngine, msg);
    }
    for (size_t i = 0; i < q.params.size(); ++i)
        Bind(st.p, static_cast<int>(i + 1), q.params[i]);

    std::vector<Row> rows;
    const int ncol = static_cast<int>(Columns().size());
    int rc;
    while ((rc = sqlite3_step(st.p)) == SQLITE_ROW) {
        Row r{sqlite3_column_int64(st.p, 0), {}};
        r.values.reserve(static_cast<size_t>(ncol));
        for (int i = 0; i < ncol; ++i)
            r.values.push_back(Column(st.p, i + 1));
        rows.push_back(std::move(r));
    }
    if (rc != SQLITE_DONE) {
        std::string msg = std::string("Cannot read the query '") + q.jetText + "': " + sqlite3_errmsg(m_db);
        throw CDaoException(kDaoErrEngine, msg);
    }
    m_rows = std::move(rows);
    m_bOpen = true;
    m_editMode = kNone;
    m_nPos = 0;
    if (!m_rows.empty())
        Load(0);
}

void CDaoRecordset::Close()
{
    m_bOpen = false;
    m_rows.clear();
    m_nPos = -1;
    m_editMode = kNone;
}

void CDaoRecordset::RequireOpen() const
{
    if (!m_bOpen)
        throw CDaoException(kDaoErrNotOpen, "Object invalid or no longer set: the recordset is not open.");
}

bool CDaoRecordset::HasCurrent() const
{
    return m_bOpen && m_nPos >= 0 && m_nPos < static_cast<long>(m_rows.size()) && !m_rows[static_cast<size_t>(m_nPos)].deleted;
}

long CDaoRecordset::GetRecordCount() const
{
    return static_cast<long>(std::count_if(m_rows.begin(), m_rows.end(), [](const Row& r) { return !r.deleted; }));
}

bool CDaoRecordset::IsBOF() const
{
    RequireOpen();
    if (m_nPos < 0)
        return true;
    for (const Row& r : m_rows)
        if (!r.deleted)
            return false;
    return true;
}

bool CDaoRecordset::IsEOF() const
{
    RequireOpen();
    if (m_nPos >= static_cast<long>(m_rows.size()))
        return true;
    for (const Row& r : m_rows)
        if (!r.deleted)
            return false;
    return true;
}

void CDaoRecordset::Load(size_t pos)
{
    CDaoFieldExchange fx(CDaoFieldExchange::kLoad, &m_rows[pos].values);
    DoFieldExchange(fx);
}

void CDaoRecordset::ClearMembers()
{
    CDaoFieldExchange fx(CDaoFieldExchange::kDefaults, nullptr);
    DoFieldExchange(fx);
}

static CDaoException NoCurrentRecord()
{
    return CDaoException(kDaoErrNoCurrentRecord, "No current record.");
}

void CDaoRecordset::MoveFirst()
{
    RequireOpen();
    m_editMode = kNone;
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (!m_rows[i].deleted) {
            m_nPos = static_cast<long>(i);
            Load(i);
            return;
        }
    }
    throw NoCurrentRecord();
}

void CDaoRecordset::MoveLast()
{
    RequireOpen();
    m_editMode = kNone;
    for (size_t i = m_rows.size(); i-- > 0;) {
        if (!m_rows[i].deleted) {
            m_nPos = static_cast<long>(i);
            Load(i);
            return;
        }
    }
    throw NoCurrentRecord();
}

void CDaoRecordset::MoveNext()
{
    RequireOpen();
    // Past the end already (deleting the last rows does not count: the walk
    // that deletes them moves on to the end normally).
    if (m_nPos >= static_cast<long>(m_rows.size()))
        throw NoCurrentRecord();
    m_editMode = kNone;
    const long n = static_cast<long>(m_rows.size());
    do
        ++m_nPos;
    while (m_nPos < n && m_rows[static_cast<size_t>(m_nPos)].deleted);
    if (m_nPos < n)
        Load(static_cast<size_t>(m_nPos));
}

void CDaoRecordset::MovePrev()
{
    RequireOpen();
    if (m_nPos < 0)
        throw NoCurrentRecord();
    m_editMode = kNone;
    do
        --m_nPos;
    while (m_nPos >= 0 && m_rows[static_cast<size_t>(m_nPos)].deleted);
    if (m_nPos >= 0)
        Load(static_cast<size_t>(m_nPos));
}

bool CDaoRecordset::FindFirst(const std::string& jetFilter)
{
    return FindFirst(TranslateJetFilter(TableName(), jetFilter));
}

bool CDaoRecordset::FindFirst(const CDaoFilter& f)
{
    RequireOpen();
    if (f.errorCode)
        throw CDaoException(f.errorCode, f.error);
    m_editMode = kNone;
    std::string sql = "SELECT rowid FROM " + QuoteIdent(TableName()) + " WHERE " + f.where;
    Stmt st;
    if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &st.p, nullptr) != SQLITE_OK)
        ThrowEngine("Cannot apply the filter '" + f.jetText + "'");
    for (size_t i = 0; i < f.params.size(); ++i)
        Bind(st.p, static_cast<int>(i + 1), f.params[i]);
    std::unordered_set<int64_t> hits;
    int rc;
    while ((rc = sqlite3_step(st.p)) == SQLITE_ROW)
        hits.insert(sqlite3_column_int64(st.p, 0));
    if (rc != SQLITE_DONE)
        ThrowEngine("Cannot apply the filter '" + f.jetText + "'");
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (!m_rows[i].deleted && hits.count(m_rows[i].rowid)) {
            m_nPos = static_cast<long>(i);
            Load(i);
            return true;
        }
    }
    return false;
}

void CDaoRecordset::AddNew()
{
    RequireOpen();
    m_editMode = kAdding;
    ClearMembers();
}

void CDaoRecordset::Edit()
{
    RequireOpen();
    if (!HasCurrent())
        throw NoCurrentRecord();
    m_editMode = kEditing;
}

void CDaoRecordset::CancelUpdate()
{
    RequireOpen();
    m_editMode = kNone;
    if (HasCurrent())
        Load(static_cast<size_t>(m_nPos));
}

void CDaoRecordset::Update()
{
    RequireOpen();
    if (m_editMode == kNone)
        throw CDaoException(kDaoErrUpdateWithoutEdit, "Update or CancelUpdate without AddNew or Edit.");
    const EditMode mode = m_editMode;
    m_editMode = kNone;

    std::vector<DbValue> values;
    CDaoFieldExchange fx(CDaoFieldExchange::kStore, &values);
    DoFieldExchange(fx);
    const auto& cols = Columns();

    std::string sql;
    if (mode == kAdding) {
        sql = "INSERT INTO " + QuoteIdent(TableName()) + " (";
        for (size_t i = 0; i < cols.size(); ++i)
            sql += (i ? ", " : "") + QuoteIdent(cols[i]);
        sql += ") VALUES (";
        for (size_t i = 0; i < cols.size(); ++i)
            sql += i ? ", ?" : "?";
        sql += ")";
    } else {
        sql = "UPDATE " + QuoteIdent(TableName()) + " SET ";
        for (size_t i = 0; i < cols.size(); ++i)
            sql += (i ? ", " : "") + QuoteIdent(cols[i]) + " = ?";
        sql += " WHERE rowid = ?";
    }
    Stmt st;
    if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &st.p, nullptr) != SQLITE_OK)
        ThrowEngine("Cannot store the record");
    for (size_t i = 0; i < values.size(); ++i)
        Bind(st.p, static_cast<int>(i + 1), values[i]);
    if (mode == kEditing)
        sqlite3_bind_int64(st.p, static_cast<int>(values.size() + 1), m_rows[static_cast<size_t>(m_nPos)].rowid);
    if (sqlite3_step(st.p) != SQLITE_DONE) {
        std::string msg = std::string("Cannot store the record: ") + sqlite3_errmsg(m_db);
        if (HasCurrent())
            Load(static_cast<size_t>(m_nPos));
        throw CDaoException(kDaoErrEngine, msg);
    }
    if (mode == kAdding) {
        const bool atEnd = m_nPos >= static_cast<long>(m_rows.size());
        m_rows.push_back(Row{sqlite3_last_insert_rowid(m_db), std::move(values)});
        if (atEnd)
            m_nPos = static_cast<long>(m_rows.size());
        // The current row is again the one before the add.
        if (HasCurrent())
            Load(static_cast<size_t>(m_nPos));
    } else {
        if (sqlite3_changes(m_db) == 0) {
            m_rows[static_cast<size_t>(m_nPos)].deleted = true;
            throw CDaoException(kDaoErrNoCurrentRecord, "Record is deleted.");
        }
        m_rows[static_cast<size_t>(m_nPos)].values = std::move(values);
    }
}

void CDaoRecordset::Delete()
{
    RequireOpen();
    if (!HasCurrent())
        throw NoCurrentRecord();
    m_editMode = kNone;
    Stmt st;
    const std::string sql = "DELETE FROM " + QuoteIdent(TableName()) + " WHERE rowid = ?";
    if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &st.p, nullptr) != SQLITE_OK)
        ThrowEngine("Cannot delete the record");
    sqlite3_bind_int64(st.p, 1, m_rows[static_cast<size_t>(m_nPos)].rowid);
    if (sqlite3_step(st.p) != SQLITE_DONE)
        ThrowEngine("Cannot delete the record");
    m_rows[static_cast<size_t>(m_nPos)].deleted = true;
}

void CDaoRecordset::Exec(const char* sql)
{
    Connect();
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        ThrowEngine(std::string("Transaction failed (") + sql + ")");
}

void CDaoRecordset::BeginTrans() { Exec("BEGIN IMMEDIATE"); }
void CDaoRecordset::CommitTrans() { Exec("COMMIT"); }
void CDaoRecordset::Rollback()
{
    bool failed = false;
    CDaoException error(kDaoErrEngine, "");
    try {
        Exec("ROLLBACK");
    } catch (const CDaoException& e) {
        // SQLite may have rolled back by itself already: the held rows are
        // stale either way.
        failed = true;
        error = e;
    }
    Requery();
    if (failed)
        throw error;
}

void CDaoRecordset::Requery()
{
    if (!m_bOpen)
        return;
    const CDaoQuery q = m_lastQuery;
    try {
        Open(q);
    } catch (const CDaoException&) {
        Close(); // better no rows than rows that are not in the table
        throw;
    }
}

} // namespace kv
