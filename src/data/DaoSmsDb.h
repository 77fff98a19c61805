// The SMS cursor: table tealfin_sms. It stays open for the whole run on its
// standing query (messages in time order); the SMS engine and page position
// it with FindFirst(FilterIndex(...)).
#pragma once

#include "data/DaoRecordset.h"

#include <string>
#include <vector>

namespace kv {

class CDaoSmsDb : public CDaoRecordset {
public:
    explicit CDaoSmsDb(std::string dbPath = {});

    std::string GetDefaultSQL() const override { return "[tealfin_sms]"; }
    void DoFieldExchange(CDaoFieldExchange& fx) override;
    const char* TableName() const override;

    // Column members, binding order. m_message is stored as exactly 229
    // bytes whatever its length here (zero-padded or cut).
    int32_t m_index = 0;
    double m_tag_type = 0;
    double m_time = 0;
    std::string m_cb_number;
    uint8_t m_new_flag = 0;
    uint8_t m_encoding = 0;
    std::vector<uint8_t> m_message;

    // Sets m_message from text bytes, zero-padded to the stored size.
    void SetMessageText(const std::string& text);
    // The message bytes up to the first zero.
    std::string MessageText() const;

    // "select * from tealfin_sms order by time asc"
    static CDaoQuery QueryStanding();
    // filter "index = %ld"
    static CDaoFilter FilterIndex(long index);
};

} // namespace kv
