// Phonebook cursor and its queries.
#include "data/DaoPbookDb.h"

#include "data/DataConstants.h"
#include "data/DbPath.h"
#include "data/JetSql.h"
#include "log/DebugLog.h"
#include "log/NumberParse.h"

#include <cctype>
#include <cstdio>

namespace kv {

namespace {

CDaoQuery Pbook(std::string where, std::string order, std::vector<DbValue> params, std::string jet)
{
    CDaoQuery q;
    q.table = kTablePbook;
    q.where = std::move(where);
    q.orderBy = std::move(order);
    q.params = std::move(params);
    q.jetText = std::move(jet);
    return q;
}

std::string Fmt(const char* fmt, const std::string& a, int b = 0)
{
    char buf[1024];
    std::snprintf(buf, sizeof buf, fmt, a.c_str(), b);
    return buf;
}

std::string Fmt2(const char* fmt, int a, int b)
{
    char buf[256];
    std::snprintf(buf, sizeof buf, fmt, a, b);
    return buf;
}

const char* const kByIndex = "\"index\" ASC";

// "*text*" with the text matched literally.
std::string Contains(const std::string& text) { return "*" + JetEscapeSearchText(text) + "*"; }

CDaoQuery IndexTextQuery(const std::string& indexText, int storageType, bool ordered, const char* jetFmt)
{
    CDaoQuery q = Pbook("\"index\" = ? AND storage_type = ?", ordered ? kByIndex : "", {}, Fmt(jetFmt, indexText, storageType));
    int64_t v = 0;
    if (!ParseIndexText(indexText, v)) {
        q.errorCode = kDaoErrSyntax;
        q.error = "Syntax error in query expression 'index=" + indexText + "'.";
        return q;
    }
    q.params = {v, static_cast<int64_t>(storageType)};
    return q;
}

CDaoQuery LikeQuery(const char* column, const std::string& text, int storageType, const char* jetFmt)
{
    std::vector<DbValue> params;
    std::string err;
    std::string like = LikeSql(QuoteIdent(column), Contains(text), params, err);
    params.emplace_back(static_cast<int64_t>(storageType));
    return Pbook(like + " AND storage_type = ?", kByIndex, std::move(params), Fmt(jetFmt, text, storageType));
}

} // namespace

bool ParseIndexText(const std::string& text, int64_t& value)
{
    size_t i = 0, n = text.size();
    while (i < n && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    while (n > i && std::isspace(static_cast<unsigned char>(text[n - 1])))
        --n;
    bool neg = false;
    if (i < n && (text[i] == '-' || text[i] == '+'))
        neg = text[i++] == '-';
    // Ten digits at most: every index the statement can name fits.
    uint64_t v = 0;
    if (n - i > 10 || !ParseDecimal(std::string_view(text).substr(i, n - i), v))
        return false;
    value = neg ? -int64_t(v) : int64_t(v);
    return true;
}

CDaoPbookDb::CDaoPbookDb(std::string dbPath)
    : CDaoRecordset(dbPath.empty() ? DatabasePath() : std::move(dbPath))
{
}

const char* CDaoPbookDb::TableName() const { return kTablePbook; }

void CDaoPbookDb::DoFieldExchange(CDaoFieldExchange& fx)
{
    fx.Long("storage_type", m_storage_type);
    fx.Long("index", m_index);
    fx.Text("name", m_name);
    fx.Text("phone_number", m_phone_number);
}

CDaoQuery CDaoPbookDb::QueryStorage(int storageType)
{
    return Pbook("storage_type = ?", kByIndex, {static_cast<int64_t>(storageType)},
                 Fmt2("select * from tealfin_pbook where storage_type=%d order by index", storageType, 0));
}

CDaoQuery CDaoPbookDb::QueryEntry(int index, int storageType)
{
    return Pbook("\"index\" = ? AND storage_type = ?", "", {static_cast<int64_t>(index), static_cast<int64_t>(storageType)},
                 Fmt2("select * from tealfin_pbook where index=%d and storage_type=%d", index, storageType));
}

CDaoQuery CDaoPbookDb::QueryEntryText(const std::string& indexText, int storageType)
{
    return IndexTextQuery(indexText, storageType, false, "select * from tealfin_pbook where index=%s and storage_type=%d");
}

CDaoQuery CDaoPbookDb::SearchIndex(const std::string& indexText, int storageType)
{
    return IndexTextQuery(indexText, storageType, true,
                          "select * from tealfin_pbook where index=%s and storage_type=%d   order by index");
}

CDaoQuery CDaoPbookDb::SearchName(const std::string& text, int storageType)
{
    return LikeQuery("name", text, storageType,
                     "select * from tealfin_pbook where name like '*%s*' and storage_type=%d   order by index");
}

CDaoQuery CDaoPbookDb::SearchNumber(const std::string& text, int storageType)
{
    return LikeQuery("phone_number", text, storageType,
                     "select * from tealfin_pbook where phone_number like '*%s*' and storage_type=%d   order by index");
}

CDaoQuery CDaoPbookDb::SearchAll(const std::string& text, int storageType)
{
    std::vector<DbValue> params{static_cast<int64_t>(storageType)};
    std::string err;
    std::string byNumber = LikeSql("\"phone_number\"", Contains(text), params, err);
    std::string byName = LikeSql("\"name\"", Contains(text), params, err);
    char jet[1024];
    std::snprintf(jet, sizeof jet,
                  "select * from tealfin_pbook where (storage_type=%d) and  ((phone_number like '*%s*') or (name like '*%s*')) order by index",
                  storageType, text.c_str(), text.c_str());
    return Pbook("(storage_type = ?) AND ((" + byNumber + ") OR (" + byName + "))", kByIndex, std::move(params), jet);
}

CDaoQuery CDaoPbookDb::QueryNumber(const std::string& number)
{
    // Jet compares text without regard to case ("P" pauses match "p").
    return Pbook("phone_number = ? COLLATE NOCASE", "", {number},
                 Fmt("select * from tealfin_pbook where tealfin_pbook.phone_number='%s'", number));
}

CDaoQuery CDaoPbookDb::QueryIndexWithProtected(int index, int storageType)
{
    return Pbook("\"index\" = ? AND (storage_type = ? OR storage_type = ? OR storage_type = ?)", "",
                 {static_cast<int64_t>(index), static_cast<int64_t>(storageType),
                  static_cast<int64_t>(kPbookProtected999), static_cast<int64_t>(kPbookProtected888)},
                 Fmt2("select * from tealfin_pbook where index=%d and (storage_type=%d or storage_type=999 or storage_type=888)",
                      index, storageType));
}

CDaoQuery CDaoPbookDb::QueryNextFree(int storageType)
{
    return Pbook("storage_type = ?", kByIndex, {static_cast<int64_t>(storageType)},
                 Fmt2("SELECT * FROM tealfin_pbook where  storage_type=%d Order by index", storageType, 0));
}

CDaoQuery CDaoPbookDb::QueryWipe()
{
    return Pbook("storage_type <> ? AND storage_type <> ?", "\"index\" DESC",
                 {static_cast<int64_t>(kPbookProtected888), static_cast<int64_t>(kPbookProtected999)},
                 "select * from tealfin_pbook where storage_type<>888 and storage_type<>999 order by index desc");
}

int CDaoPbookDb::NextFreeIndex(int storageType)
{
    int result = 1;
    if (IsOpen())
        Close();
    try {
        Open(QueryNextFree(storageType));
        MoveFirst();
        if (IsEOF() || m_index != 1) {
            Close();
            return 1;
        }
    } catch (const CDaoException&) {
        // No row of that type (or no database): index 1 is free.
        if (IsOpen())
            Close();
        return 1;
    }
    try {
        int prev = m_index;
        result = prev + 1;
        MoveNext();
        while (!IsEOF()) {
            if (m_index != prev + 1) {
                result = prev + 1;
                break;
            }
            prev = m_index;
            result = prev + 1;
            MoveNext();
        }
    } catch (const CDaoException& e) {
        DEBUG_LOG(LEVEL_ST, "%s", e.Description().c_str());
    }
    if (IsOpen())
        Close();
    return result < 1 ? 1 : result;
}

} // namespace kv
