// SMS cursor and its queries.
#include "data/DaoSmsDb.h"

#include "data/DataConstants.h"
#include "data/DbPath.h"

#include <algorithm>
#include <cstring>

namespace kv {

CDaoSmsDb::CDaoSmsDb(std::string dbPath)
    : CDaoRecordset(dbPath.empty() ? DatabasePath() : std::move(dbPath)), m_message(kSmsMessageBytes, 0)
{
}

const char* CDaoSmsDb::TableName() const { return kTableSms; }

void CDaoSmsDb::DoFieldExchange(CDaoFieldExchange& fx)
{
    fx.Long("index", m_index);
    fx.Double("tag_type", m_tag_type);
    fx.Double("time", m_time);
    fx.Text("cb_number", m_cb_number);
    fx.Byte("new_flag", m_new_flag);
    fx.Byte("encoding", m_encoding);
    fx.Binary("message", m_message, kSmsMessageBytes);
}

void CDaoSmsDb::SetMessageText(const std::string& text)
{
    m_message.assign(kSmsMessageBytes, 0);
    std::memcpy(m_message.data(), text.data(), std::min<size_t>(text.size(), kSmsMessageBytes));
}

std::string CDaoSmsDb::MessageText() const
{
    auto end = std::find(m_message.begin(), m_message.end(), 0);
    return std::string(m_message.begin(), end);
}

CDaoQuery CDaoSmsDb::QueryStanding()
{
    CDaoQuery q;
    q.table = kTableSms;
    q.orderBy = "\"time\" ASC";
    q.jetText = kSqlSmsStanding;
    return q;
}

CDaoFilter CDaoSmsDb::FilterIndex(long index)
{
    CDaoFilter f;
    f.where = "\"index\" = ?";
    f.params = {static_cast<int64_t>(index)};
    f.jetText = "index = " + std::to_string(index);
    return f;
}

} // namespace kv
