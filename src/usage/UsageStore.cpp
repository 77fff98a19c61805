// The usage tables of our own in the user's database: see UsageStore.h.
#include "usage/UsageStore.h"

#include "traffic/TrafficRecords.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>

namespace kvusage {

namespace {

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS usage_hourly ("
    " hour_start INTEGER PRIMARY KEY,"
    " rx INTEGER NOT NULL DEFAULT 0,"
    " tx INTEGER NOT NULL DEFAULT 0,"
    " seconds INTEGER NOT NULL DEFAULT 0);"
    "CREATE TABLE IF NOT EXISTS usage_daily ("
    " day_start INTEGER PRIMARY KEY,"
    " rx INTEGER NOT NULL DEFAULT 0,"
    " tx INTEGER NOT NULL DEFAULT 0,"
    " seconds INTEGER NOT NULL DEFAULT 0);"
    "CREATE TABLE IF NOT EXISTS signal_minute ("
    " minute_start INTEGER PRIMARY KEY,"
    " samples INTEGER NOT NULL,"
    " onex_min INTEGER, onex_max INTEGER, onex_mean REAL,"
    " evdo_min INTEGER, evdo_max INTEGER, evdo_mean REAL,"
    " sys_mode INTEGER NOT NULL DEFAULT 0,"
    " roaming INTEGER NOT NULL DEFAULT 0);"
    "CREATE TABLE IF NOT EXISTS usage_meta ("
    " key TEXT PRIMARY KEY,"
    " value TEXT NOT NULL DEFAULT '');";

constexpr const char* kAddHour =
    "INSERT INTO usage_hourly (hour_start, rx, tx, seconds) VALUES (?1, ?2, ?3, ?4)"
    " ON CONFLICT(hour_start) DO UPDATE SET rx = rx + ?2, tx = tx + ?3, seconds = seconds + ?4";

struct Stmt {
    sqlite3_stmt* p = nullptr;
    Stmt(sqlite3* db, const char* sql)
    {
        if (sqlite3_prepare_v2(db, sql, -1, &p, nullptr) != SQLITE_OK)
            p = nullptr;
    }
    ~Stmt() { sqlite3_finalize(p); }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;
    explicit operator bool() const { return p != nullptr; }
};

// A transaction that rolls back unless committed, so an early return never
// leaves one open.
class Transaction {
public:
    explicit Transaction(sqlite3* db) : m_db(db)
    {
        m_open = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~Transaction()
    {
        if (m_open)
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    bool Open() const { return m_open; }
    bool Commit()
    {
        if (!m_open)
            return false;
        m_open = false;
        return sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    }

private:
    sqlite3* m_db;
    bool m_open = false;
};

int64_t HourStart(int64_t t) { return t - (((t % 3600) + 3600) % 3600); }

// SQLite keeps signed 64-bit integers; byte counts beyond that would be a
// broken row and are clamped, never wrapped.
sqlite3_int64 ToDb(uint64_t v) { return v > uint64_t(INT64_MAX) ? INT64_MAX : sqlite3_int64(v); }
uint64_t FromDb(sqlite3_stmt* s, int col)
{
    const sqlite3_int64 v = sqlite3_column_int64(s, col);
    return v < 0 ? 0 : uint64_t(v);
}

void BindOptInt(sqlite3_stmt* s, int i, const std::optional<int>& v)
{
    if (v)
        sqlite3_bind_int(s, i, *v);
    else
        sqlite3_bind_null(s, i);
}
void BindOptReal(sqlite3_stmt* s, int i, const std::optional<double>& v)
{
    if (v)
        sqlite3_bind_double(s, i, *v);
    else
        sqlite3_bind_null(s, i);
}
std::optional<int> ColOptInt(sqlite3_stmt* s, int c)
{
    if (sqlite3_column_type(s, c) == SQLITE_NULL)
        return std::nullopt;
    return sqlite3_column_int(s, c);
}
std::optional<double> ColOptReal(sqlite3_stmt* s, int c)
{
    if (sqlite3_column_type(s, c) == SQLITE_NULL)
        return std::nullopt;
    return sqlite3_column_double(s, c);
}

// Groups rows (in time order) into the spans span(t) gives, each span
// computed once per run of rows inside it.
template <class SpanOf>
std::vector<UsageRow> Group(const std::vector<UsageRow>& rows, SpanOf spanOf)
{
    std::vector<UsageRow> out;
    Span cur{0, 0};
    for (const UsageRow& r : rows) {
        if (out.empty() || !cur.Holds(r.start)) {
            cur = spanOf(r.start);
            UsageRow g;
            g.start = cur.start;
            g.end = cur.end;
            out.push_back(g);
        }
        out.back().rx += r.rx;
        out.back().tx += r.tx;
        out.back().seconds += r.seconds;
    }
    return out;
}

} // namespace

CUsageStore::~CUsageStore() { Close(); }

void CUsageStore::Close()
{
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
}

bool CUsageStore::Fail()
{
    m_error = m_db ? sqlite3_errmsg(m_db) : "the database is not open";
    return false;
}

bool CUsageStore::Exec(const char* sql)
{
    if (!m_db)
        return Fail();
    char* err = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &err) == SQLITE_OK)
        return true;
    m_error = err ? err : sqlite3_errmsg(m_db);
    sqlite3_free(err);
    return false;
}

bool CUsageStore::Open(const std::string& path)
{
    Close();
    // No create flag: a missing file is an error, never a new empty database.
    if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        m_error = "cannot open '" + path + "' (" + (m_db ? sqlite3_errmsg(m_db) : "out of memory") + ")";
        Close();
        return false;
    }
    sqlite3_busy_timeout(m_db, 5000);
    if (!Migrate()) {
        const std::string why = m_error;
        Close();
        m_error = why;
        return false;
    }
    return true;
}

bool CUsageStore::Migrate()
{
    Transaction tx(m_db);
    if (!tx.Open())
        return Fail();
    if (!Exec(kSchema))
        return false;
    return tx.Commit() || Fail();
}

bool CUsageStore::AddTraffic(int64_t t, uint64_t rx, uint64_t tx, uint64_t seconds)
{
    return AddTrafficRows({UsageRow{t, t, rx, tx, seconds}});
}

bool CUsageStore::AddTrafficRows(const std::vector<UsageRow>& rows)
{
    if (!m_db)
        return Fail();
    Transaction tr(m_db);
    if (!tr.Open())
        return Fail();
    Stmt st(m_db, kAddHour);
    if (!st)
        return Fail();
    for (const UsageRow& r : rows) {
        if (r.rx == 0 && r.tx == 0 && r.seconds == 0)
            continue;
        sqlite3_reset(st.p);
        sqlite3_bind_int64(st.p, 1, HourStart(r.start));
        sqlite3_bind_int64(st.p, 2, ToDb(r.rx));
        sqlite3_bind_int64(st.p, 3, ToDb(r.tx));
        sqlite3_bind_int64(st.p, 4, ToDb(r.seconds));
        if (sqlite3_step(st.p) != SQLITE_DONE)
            return Fail();
    }
    return tr.Commit() || Fail();
}

bool CUsageStore::ImportDone() { return !Meta(kMetaImportDone).empty(); }

bool CUsageStore::ImportTrafficFileOnce(const std::string& path, int* imported)
{
    if (imported)
        *imported = 0;
    if (!m_db)
        return Fail();
    Transaction tr(m_db);
    if (!tr.Open())
        return Fail();
    // Asked inside the transaction: two processes starting together import once.
    if (ImportDone())
        return true;
    std::vector<UsageRow> rows;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd >= 0) {
        uint8_t buf[kvtraffic::kTrafficRecordSize * 256];
        size_t have = 0;
        for (;;) {
            const ssize_t n = ::read(fd, buf + have, sizeof buf - have);
            if (n <= 0)
                break;
            have += size_t(n);
            size_t whole = have / kvtraffic::kTrafficRecordSize;
            for (size_t i = 0; i < whole; ++i) {
                const kvtraffic::TrafficRecord r = kvtraffic::DecodeTrafficRecord(buf + i * kvtraffic::kTrafficRecordSize);
                rows.push_back(UsageRow{r.time, r.time, r.bytesReceived, r.bytesSent, r.duration / 1000u});
            }
            const size_t used = whole * kvtraffic::kTrafficRecordSize;
            for (size_t i = used; i < have; ++i)
                buf[i - used] = buf[i];
            have -= used;
        }
        ::close(fd);
    }
    Stmt st(m_db, kAddHour);
    if (!st)
        return Fail();
    int booked = 0;
    for (const UsageRow& r : rows) {
        sqlite3_reset(st.p);
        sqlite3_bind_int64(st.p, 1, HourStart(r.start));
        sqlite3_bind_int64(st.p, 2, ToDb(r.rx));
        sqlite3_bind_int64(st.p, 3, ToDb(r.tx));
        sqlite3_bind_int64(st.p, 4, ToDb(r.seconds));
        if (sqlite3_step(st.p) != SQLITE_DONE)
            return Fail();
        ++booked;
    }
    Stmt meta(m_db, "INSERT OR REPLACE INTO usage_meta (key, value) VALUES (?1, ?2)");
    if (!meta)
        return Fail();
    sqlite3_bind_text(meta.p, 1, kMetaImportDone, -1, SQLITE_STATIC);
    const std::string value = std::to_string(booked) + " records";
    sqlite3_bind_text(meta.p, 2, value.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(meta.p) != SQLITE_DONE)
        return Fail();
    if (!tr.Commit())
        return Fail();
    if (imported)
        *imported = booked;
    return true;
}

bool CUsageStore::Prune(int64_t now)
{
    if (!m_db)
        return Fail();
    // Whole local days only, so a folded day never shares its date with hours.
    const int64_t cutoff = LocalDayStart(now - kHourlyKeepSeconds);
    std::vector<UsageRow> old;
    if (!Hourly(INT64_MIN, cutoff, old))
        return false;
    const std::vector<UsageRow> days = Group(old, [](int64_t t) {
        const int64_t s = LocalDayStart(t);
        return Span{s, NextLocalDayStart(s)};
    });
    Transaction tr(m_db);
    if (!tr.Open())
        return Fail();
    Stmt add(m_db, "INSERT INTO usage_daily (day_start, rx, tx, seconds) VALUES (?1, ?2, ?3, ?4)"
                   " ON CONFLICT(day_start) DO UPDATE SET rx = rx + ?2, tx = tx + ?3, seconds = seconds + ?4");
    if (!add)
        return Fail();
    for (const UsageRow& d : days) {
        sqlite3_reset(add.p);
        sqlite3_bind_int64(add.p, 1, d.start);
        sqlite3_bind_int64(add.p, 2, ToDb(d.rx));
        sqlite3_bind_int64(add.p, 3, ToDb(d.tx));
        sqlite3_bind_int64(add.p, 4, ToDb(d.seconds));
        if (sqlite3_step(add.p) != SQLITE_DONE)
            return Fail();
    }
    Stmt delHours(m_db, "DELETE FROM usage_hourly WHERE hour_start < ?1");
    Stmt delSignal(m_db, "DELETE FROM signal_minute WHERE minute_start < ?1");
    if (!delHours || !delSignal)
        return Fail();
    sqlite3_bind_int64(delHours.p, 1, cutoff);
    sqlite3_bind_int64(delSignal.p, 1, now - kSignalKeepSeconds);
    if (sqlite3_step(delHours.p) != SQLITE_DONE || sqlite3_step(delSignal.p) != SQLITE_DONE)
        return Fail();
    return tr.Commit() || Fail();
}

bool CUsageStore::PruneSignal(int64_t now)
{
    if (!m_db)
        return Fail();
    Stmt st(m_db, "DELETE FROM signal_minute WHERE minute_start < ?1");
    if (!st)
        return Fail();
    sqlite3_bind_int64(st.p, 1, now - kSignalKeepSeconds);
    return sqlite3_step(st.p) == SQLITE_DONE || Fail();
}

bool CUsageStore::AddSignalMinute(const SignalRow& row)
{
    if (!m_db)
        return Fail();
    Transaction tr(m_db);
    if (!tr.Open())
        return Fail();
    Stmt st(m_db, "INSERT OR REPLACE INTO signal_minute (minute_start, samples, onex_min, onex_max, onex_mean,"
                  " evdo_min, evdo_max, evdo_mean, sys_mode, roaming) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
    if (!st)
        return Fail();
    sqlite3_bind_int64(st.p, 1, row.minute);
    sqlite3_bind_int(st.p, 2, row.samples);
    BindOptInt(st.p, 3, row.oneXMin);
    BindOptInt(st.p, 4, row.oneXMax);
    BindOptReal(st.p, 5, row.oneXMean);
    BindOptInt(st.p, 6, row.evdoMin);
    BindOptInt(st.p, 7, row.evdoMax);
    BindOptReal(st.p, 8, row.evdoMean);
    sqlite3_bind_int(st.p, 9, row.sysMode);
    sqlite3_bind_int(st.p, 10, row.roaming);
    if (sqlite3_step(st.p) != SQLITE_DONE)
        return Fail();
    return tr.Commit() || Fail();
}

namespace {
// Rows of (start, rx, tx, seconds) whose start lies in [from, to), in order.
template <class Fn>
bool ReadRange(sqlite3* db, const char* sql, int64_t from, int64_t to, Fn&& row)
{
    Stmt st(db, sql);
    if (!st)
        return false;
    sqlite3_bind_int64(st.p, 1, from);
    sqlite3_bind_int64(st.p, 2, to);
    int rc;
    while ((rc = sqlite3_step(st.p)) == SQLITE_ROW)
        row(sqlite3_column_int64(st.p, 0), FromDb(st.p, 1), FromDb(st.p, 2), FromDb(st.p, 3));
    return rc == SQLITE_DONE;
}
} // namespace

bool CUsageStore::Hourly(int64_t from, int64_t to, std::vector<UsageRow>& out)
{
    out.clear();
    if (!m_db)
        return Fail();
    return ReadRange(m_db,
                     "SELECT hour_start, rx, tx, seconds FROM usage_hourly"
                     " WHERE hour_start >= ?1 AND hour_start < ?2 ORDER BY hour_start",
                     from, to,
                     [&](int64_t h, uint64_t rx, uint64_t tx, uint64_t secs) {
                         out.push_back(UsageRow{h, h + 3600, rx, tx, secs});
                     })
        || Fail();
}

bool CUsageStore::Daily(int64_t from, int64_t to, std::vector<UsageRow>& out)
{
    out.clear();
    std::vector<UsageRow> hours;
    if (!Hourly(from, to, hours))
        return false;
    std::map<int64_t, UsageRow> days;
    for (const UsageRow& d : Group(hours, [](int64_t t) {
             const int64_t s = LocalDayStart(t);
             return Span{s, NextLocalDayStart(s)};
         }))
        days[d.start] = d;
    const bool read = ReadRange(m_db,
                                "SELECT day_start, rx, tx, seconds FROM usage_daily"
                                " WHERE day_start >= ?1 AND day_start < ?2 ORDER BY day_start",
                                from, to,
                                [&](int64_t s, uint64_t rx, uint64_t tx, uint64_t secs) {
                                    UsageRow& d = days[s];
                                    if (d.end == 0) {
                                        d.start = s;
                                        d.end = NextLocalDayStart(s);
                                    }
                                    d.rx += rx;
                                    d.tx += tx;
                                    d.seconds += secs;
                                });
    if (!read)
        return Fail();
    out.reserve(days.size());
    for (auto& [k, d] : days)
        out.push_back(d);
    return true;
}

bool CUsageStore::Monthly(int64_t from, int64_t to, std::vector<UsageRow>& out)
{
    std::vector<UsageRow> days;
    if (!Daily(from, to, days))
        return false;
    out = Group(days, [](int64_t t) {
        const int64_t s = LocalMonthStart(t);
        return Span{s, NextLocalMonthStart(s)};
    });
    return true;
}

bool CUsageStore::Cycles(int64_t from, int64_t to, int cycleDay, std::vector<UsageRow>& out)
{
    std::vector<UsageRow> days;
    if (!Daily(from, to, days))
        return false;
    out = Group(days, [cycleDay](int64_t t) { return CycleContaining(t, cycleDay); });
    return true;
}

bool CUsageStore::Sum(const Span& span, UsageRow& out)
{
    out = UsageRow{span.start, span.end, 0, 0, 0};
    if (!m_db)
        return Fail();
    for (const char* sql : {"SELECT total(rx), total(tx), total(seconds) FROM usage_hourly"
                            " WHERE hour_start >= ?1 AND hour_start < ?2",
                            "SELECT total(rx), total(tx), total(seconds) FROM usage_daily"
                            " WHERE day_start >= ?1 AND day_start < ?2"}) {
        Stmt st(m_db, sql);
        if (!st)
            return Fail();
        sqlite3_bind_int64(st.p, 1, span.start);
        sqlite3_bind_int64(st.p, 2, span.end);
        if (sqlite3_step(st.p) != SQLITE_ROW)
            return Fail();
        out.rx += uint64_t(sqlite3_column_double(st.p, 0));
        out.tx += uint64_t(sqlite3_column_double(st.p, 1));
        out.seconds += uint64_t(sqlite3_column_double(st.p, 2));
    }
    return true;
}

bool CUsageStore::Signal(int64_t from, int64_t to, std::vector<SignalRow>& out)
{
    out.clear();
    if (!m_db)
        return Fail();
    Stmt st(m_db, "SELECT minute_start, samples, onex_min, onex_max, onex_mean, evdo_min, evdo_max, evdo_mean,"
                  " sys_mode, roaming FROM signal_minute WHERE minute_start >= ?1 AND minute_start < ?2"
                  " ORDER BY minute_start");
    if (!st)
        return Fail();
    sqlite3_bind_int64(st.p, 1, from);
    sqlite3_bind_int64(st.p, 2, to);
    int rc;
    while ((rc = sqlite3_step(st.p)) == SQLITE_ROW) {
        SignalRow r;
        r.minute = sqlite3_column_int64(st.p, 0);
        r.samples = sqlite3_column_int(st.p, 1);
        r.oneXMin = ColOptInt(st.p, 2);
        r.oneXMax = ColOptInt(st.p, 3);
        r.oneXMean = ColOptReal(st.p, 4);
        r.evdoMin = ColOptInt(st.p, 5);
        r.evdoMax = ColOptInt(st.p, 6);
        r.evdoMean = ColOptReal(st.p, 7);
        r.sysMode = sqlite3_column_int(st.p, 8);
        r.roaming = sqlite3_column_int(st.p, 9);
        out.push_back(r);
    }
    return rc == SQLITE_DONE || Fail();
}

std::string CUsageStore::Meta(const std::string& key)
{
    if (!m_db)
        return {};
    Stmt st(m_db, "SELECT value FROM usage_meta WHERE key = ?1");
    if (!st)
        return {};
    sqlite3_bind_text(st.p, 1, key.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(st.p) != SQLITE_ROW)
        return {};
    const unsigned char* v = sqlite3_column_text(st.p, 0);
    return v ? std::string(reinterpret_cast<const char*>(v)) : std::string();
}

bool CUsageStore::SetMeta(const std::string& key, const std::string& value)
{
    if (!m_db)
        return Fail();
    Stmt st(m_db, "INSERT OR REPLACE INTO usage_meta (key, value) VALUES (?1, ?2)");
    if (!st)
        return Fail();
    sqlite3_bind_text(st.p, 1, key.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st.p, 2, value.c_str(), -1, SQLITE_TRANSIENT);
    return sqlite3_step(st.p) == SQLITE_DONE || Fail();
}

bool CUsageStore::Extent(int64_t& first, int64_t& last)
{
    if (!m_db)
        return Fail();
    Stmt st(m_db, "SELECT min(s), max(s) FROM (SELECT min(hour_start) AS s FROM usage_hourly UNION ALL"
                  " SELECT max(hour_start) FROM usage_hourly UNION ALL SELECT min(day_start) FROM usage_daily"
                  " UNION ALL SELECT max(day_start) FROM usage_daily)");
    if (!st || sqlite3_step(st.p) != SQLITE_ROW)
        return Fail();
    if (sqlite3_column_type(st.p, 0) == SQLITE_NULL)
        return false;
    first = sqlite3_column_int64(st.p, 0);
    last = sqlite3_column_int64(st.p, 1);
    return true;
}

} // namespace kvusage
