// History cursor and its queries.
#include "data/DaoVcallDb.h"

#include "data/DaoPbookDb.h"
#include "data/DataConstants.h"
#include "data/DbPath.h"
#include "data/JetSql.h"

namespace kv {

namespace {

CDaoQuery Vcall(std::string where, std::string order, std::vector<DbValue> params, std::string jet)
{
    CDaoQuery q;
    q.table = kTableVcall;
    q.where = std::move(where);
    q.orderBy = std::move(order);
    q.params = std::move(params);
    q.jetText = std::move(jet);
    return q;
}

std::string Contains(const std::string& text) { return "*" + JetEscapeSearchText(text) + "*"; }

CDaoQuery Like(const char* column, const std::string& text, const std::string& jet)
{
    std::vector<DbValue> params;
    std::string err;
    std::string like = LikeSql(QuoteIdent(column), Contains(text), params, err);
    return Vcall(like, "\"index\" DESC", std::move(params), jet);
}

} // namespace

CDaoVcallDb::CDaoVcallDb(std::string dbPath)
    : CDaoRecordset(dbPath.empty() ? DatabasePath() : std::move(dbPath))
{
}

const char* CDaoVcallDb::TableName() const { return kTableVcall; }

void CDaoVcallDb::DoFieldExchange(CDaoFieldExchange& fx)
{
    fx.Long("storage_type", m_storage_type);
    fx.Long("index", m_index);
    fx.Text("name", m_name);
    fx.Text("phone_number", m_phone_number);
    fx.Text("time", m_time);
    fx.Text("call_time", m_call_time);
}

CDaoQuery CDaoVcallDb::QueryNewestFirst()
{
    return Vcall("", "\"index\" DESC", {}, "select * from tealfin_vcall order by index desc");
}

CDaoQuery CDaoVcallDb::QueryOldestFirst()
{
    return Vcall("", "\"index\" ASC", {}, "select * from tealfin_vcall order by index asc");
}

CDaoQuery CDaoVcallDb::QueryEntryText(const std::string& indexText)
{
    CDaoQuery q = Vcall("\"index\" = ?", "", {}, "select * from tealfin_vcall where index=" + indexText);
    int64_t v = 0;
    if (!ParseIndexText(indexText, v)) {
        q.errorCode = kDaoErrSyntax;
        q.error = "Syntax error in query expression 'index=" + indexText + "'.";
    } else {
        q.params = {v};
    }
    return q;
}

CDaoQuery CDaoVcallDb::SearchName(const std::string& text)
{
    return Like("name", text, "select * from tealfin_vcall where name like '*" + text + "*' order by index desc");
}

CDaoQuery CDaoVcallDb::SearchNumber(const std::string& text)
{
    return Like("phone_number", text, "select * from tealfin_vcall where phone_number like '*" + text + "*' order by index desc");
}

CDaoQuery CDaoVcallDb::SearchAll(const std::string& text)
{
    std::vector<DbValue> params;
    std::string err;
    std::string byNumber = LikeSql("\"phone_number\"", Contains(text), params, err);
    std::string byName = LikeSql("\"name\"", Contains(text), params, err);
    return Vcall("(" + byNumber + ") OR (" + byName + ")", "\"index\" ASC", std::move(params),
                 "select * from tealfin_vcall where ((phone_number like '*" + text + "*') or (name like '*" + text +
                     "*')) order by index");
}

} // namespace kv
