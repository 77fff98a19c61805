// The history cursor: table tealfin_vcall, and the builders of the history
// queries. Search builders take the text as the user typed it.
#pragma once

#include "data/DaoRecordset.h"

#include <string>

namespace kv {

class CDaoVcallDb : public CDaoRecordset {
public:
    explicit CDaoVcallDb(std::string dbPath = {});

    std::string GetDefaultSQL() const override { return "[tealfin_vcall]"; }
    void DoFieldExchange(CDaoFieldExchange& fx) override;
    const char* TableName() const override;

    // Column members, binding order.
    int32_t m_storage_type = 0;
    int32_t m_index = 0;
    std::string m_name;
    std::string m_phone_number;
    std::string m_time;
    std::string m_call_time;

    // "select * from tealfin_vcall order by index desc"
    static CDaoQuery QueryNewestFirst();
    // "select * from tealfin_vcall order by index asc"
    static CDaoQuery QueryOldestFirst();
    // "select * from tealfin_vcall where index=%s" (text that is not a whole
    // number makes the open fail)
    static CDaoQuery QueryEntryText(const std::string& indexText);
    // "... where name like '*%s*' order by index desc"
    static CDaoQuery SearchName(const std::string& text);
    // "... where phone_number like '*%s*' order by index desc"
    static CDaoQuery SearchNumber(const std::string& text);
    // "... where ((phone_number like '*%s*') or (name like '*%s*')) order by index"
    static CDaoQuery SearchAll(const std::string& text);
};

} // namespace kv
