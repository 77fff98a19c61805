// Our own table "pb_pending" in the user's database: a change of a modem
// phonebook entry that is on its way. The modem changes an entry by a delete
// and then a write; a process that dies between the two leaves the modem
// without the entry and the phonebook table with the old one. The change is
// recorded here before the delete and removed once the modem's state is
// known again, so the next start of the phonebook engine can tell that an
// entry may be missing and write it back.
//
// The table is not part of the database the program ships: it is created in
// the user's copy when the phonebook engine first looks at it, or at the
// latest by the first change (CREATE TABLE IF NOT EXISTS), and never touches
// the phonebook, SMS and history tables. Each call opens its own
// connection and closes it, so no transaction of a cursor is joined.
#pragma once

#include <string>
#include <vector>

namespace kv {

inline constexpr const char* kTablePbPending = "pb_pending";

struct PbPendingChange {
    int storageType = 0; // 1 memory, 2 card (as in the phonebook table)
    int index = 0;
    std::string oldName, oldNumber; // the entry as the table had it
    std::string newName, newNumber; // what the change writes
};

class CPbPendingStore {
public:
    explicit CPbPendingStore(std::string dbPath);

    // Records a change (replacing one recorded for the same entry); the row
    // is on disk when this returns true.
    bool Record(const PbPendingChange& change, std::string& error);
    // Forgets the change of one entry (none recorded is no error).
    bool Remove(int storageType, int index, std::string& error);
    // The changes recorded for one phonebook, by index. False (error set)
    // when the table cannot be read. A missing table holds nothing; it is
    // created then when that needs no waiting.
    bool ForStorage(int storageType, std::vector<PbPendingChange>& out, std::string& error);

private:
    std::string m_strPath;
};

} // namespace kv
