// The in-call display and the call history record (UM_UI_REQUEST sub-code
// 4): the text shown for the other party (the phonebook name when there is
// one), and the history row written when a call ends. Runs on the thread that
// owns the database (the UI thread; the engine waits in its message send).
#pragma once

#include "data/AppDatabase.h"
#include "engine/DmHost.h"

#include <cstdint>
#include <string>

namespace kv {

class CCallHistory {
public:
    CCallHistory(IDmHost& host, CAppDatabase& db) : m_host(host), m_db(db) {}

    // arg: kCallDisplayShow, kCallDisplayNoCard or the record kind (1
    // outgoing, 2 answered, 3 missed). Returns 1 when a history row was
    // written, else 0.
    intptr_t OnCallDisplay(intptr_t arg);

    // The contact name the history picker chose for the number being dialled.
    void SetPickedName(const std::string& name) { m_strPicked = name; }
    // The text the last show-only request formed.
    const std::string& DisplayText() const { return m_strDisplay; }

    // True for the service numbers that leave no history ("*228...").
    static bool IsServiceNumber(const std::string& number);

private:
    IDmHost& m_host;
    CAppDatabase& m_db;
    std::string m_strPicked;
    std::string m_strDisplay;
};

} // namespace kv
