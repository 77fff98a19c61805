// The application's database: the three shared cursors and the table-level
// operations on them. The application object owns one instance for the whole
// run (the Qt application, or the command-line tool's headless host); every
// database access happens on the thread that owns it.
//
// Cursor discipline: the phonebook and history cursors are open only during
// one operation, so an open one means "busy"; the SMS cursor stays open on
// its standing query (messages in time order) from OpenSmsCursor() until the
// end, and is reopened after each read pass.
#pragma once

#include "data/DaoPbookDb.h"
#include "data/DaoSmsDb.h"
#include "data/DaoVcallDb.h"

#include <ctime>
#include <string>

namespace kv {

class CAppDatabase {
public:
    // An empty path means the default file (the user's copy in the user
    // data folder, or $KORVIANET_DB). The cursors start closed.
    explicit CAppDatabase(std::string dbPath = {});
    ~CAppDatabase();
    CAppDatabase(const CAppDatabase&) = delete;
    CAppDatabase& operator=(const CAppDatabase&) = delete;

    CDaoPbookDb& Pbook() { return m_pbook; }
    CDaoSmsDb& Sms() { return m_sms; }
    CDaoVcallDb& Vcall() { return m_vcall; }
    const std::string& Path() const { return m_strPath; }

    // (Re)opens the SMS cursor on its standing query. False, logged, when the
    // database cannot be opened.
    bool OpenSmsCursor();
    // Opens it only when it is not open yet.
    bool EnsureSmsCursor();
    void CloseSmsCursor();

    // Name of the first phonebook row (any storage type) whose number equals
    // the number; "" when none. Leaves the phonebook cursor closed.
    std::string LookupNameByNumber(const std::string& number);

    // Removes every phonebook row the modem supplied (storage types 1 and
    // 2, and any other non-protected type); the protected rows 888 and 999
    // stay. False after a database error (logged; nothing is removed then).
    bool WipePhonebook();

    // Removes the rows of one storage type before that phonebook is read
    // again. Refuses the protected types. False after a database error.
    bool ClearPhonebookStorage(int storageType);

    // Appends one call to the history: kind 1 outgoing, 2 answered, 3 missed;
    // an empty number is stored as "Unknown"; the call number comes from the
    // settings key "history_num", which is advanced. False after a database
    // error (logged; the settings value may have advanced).
    bool AppendCallRecord(int kind, const std::string& number, const std::string& name,
                          const std::tm& start, int durationSeconds);

    // "(%d/%02d/%02d/%s-%02d:%02d)": year, month, day, full weekday name in
    // the current locale, hour, minute.
    static std::string FormatCallStart(const std::tm& start);
    // "%02d:%02d:%02d"
    static std::string FormatDuration(int seconds);

private:
    bool DeleteWalk(const CDaoQuery& query);

    std::string m_strPath;
    CDaoPbookDb m_pbook;
    CDaoSmsDb m_sms;
    CDaoVcallDb m_vcall;
};

} // namespace kv
