// The phonebook cursor: table tealfin_pbook, and the builders of every
// phonebook query the program issues. Builders that take user text bind it as
// a value; search builders take the text as the user typed it and make it
// match literally (the Jet bracket escape, then the pattern translation).
#pragma once

#include "data/DaoRecordset.h"

#include <string>

namespace kv {

class CDaoPbookDb : public CDaoRecordset {
public:
    // An empty path means the default database file (DatabasePath()).
    explicit CDaoPbookDb(std::string dbPath = {});

    std::string GetDefaultSQL() const override { return "[tealfin_pbook]"; }
    void DoFieldExchange(CDaoFieldExchange& fx) override;
    const char* TableName() const override;

    // The lowest index from 1 upward that the storage type does not use.
    // Closes the cursor first if it is open; leaves it closed. Never throws.
    int NextFreeIndex(int storageType);

    // Column members, binding order.
    int32_t m_storage_type = 0;
    int32_t m_index = 0;
    std::string m_name;
    std::string m_phone_number;

    // --- queries -----------------------------------------------------------
    // "select * from tealfin_pbook where storage_type=%d order by index"
    static CDaoQuery QueryStorage(int storageType);
    // "select * from tealfin_pbook where index=%d and storage_type=%d"
    static CDaoQuery QueryEntry(int index, int storageType);
    // "... where index=%s and storage_type=%d" with the index as text (a list
    // column or the search field); text that is not a whole number makes the
    // open fail with a syntax error, as it would in the statement.
    static CDaoQuery QueryEntryText(const std::string& indexText, int storageType);
    // "... where index=%s and storage_type=%d   order by index" (search by index)
    static CDaoQuery SearchIndex(const std::string& indexText, int storageType);
    // "... where name like '*%s*' and storage_type=%d   order by index"
    static CDaoQuery SearchName(const std::string& text, int storageType);
    // "... where phone_number like '*%s*' and storage_type=%d   order by index"
    static CDaoQuery SearchNumber(const std::string& text, int storageType);
    // "... where (storage_type=%d) and ((phone_number like '*%s*') or (name like '*%s*')) order by index"
    static CDaoQuery SearchAll(const std::string& text, int storageType);
    // "select * from tealfin_pbook where tealfin_pbook.phone_number='%s'"
    static CDaoQuery QueryNumber(const std::string& number);
    // "... where index=%d and (storage_type=%d or storage_type=999 or storage_type=888)"
    static CDaoQuery QueryIndexWithProtected(int index, int storageType);
    // "SELECT * FROM tealfin_pbook where  storage_type=%d Order by index"
    static CDaoQuery QueryNextFree(int storageType);
    // The wipe's walk: every row the modem supplied (types other than the
    // protected ones), highest index first.
    static CDaoQuery QueryWipe();
};

// Parses a whole decimal number with optional blanks around it and an
// optional sign, as the index slot of a statement accepts; false otherwise.
bool ParseIndexText(const std::string& text, int64_t& value);

} // namespace kv
