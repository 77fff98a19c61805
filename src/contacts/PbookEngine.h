// The phonebook engine: the sub-requests that read the modem's phonebooks
// into the phonebook table and write and delete single entries, and the main
// window's phonebook handlers (load one phonebook, wipe the mirror, look a
// caller's name up).
//
// Wiring: one CPbookEngine lives beside the engine and the database (the
// main window or the command-line tool owns it) and InstallPhonebookEngine
// registers its sub-requests with the engine. The window that receives the
// engine's messages forwards them to HandleMainWindowMessage on its UI
// thread, and its name lookup (UM_LOOKUP_NAME) to LookupName:
//   UM_UI_REQUEST (6, 0)         → OnWipePhonebook()
//   UM_UI_REQUEST (10, word)     → OnLoadPhonebook(word)
// All table work happens on that thread.
#pragma once

#include "contacts/PbCoding.h"
#include "data/AppDatabase.h"
#include "data/PbPendingStore.h"
#include "engine/DmEngine.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kv {

class CPbookEngine {
public:
    CPbookEngine(CDmEngine& engine, CAppDatabase& db);

    // --- sub-requests (run through DmSubRequest) ---
    // DM_PBOOK_READ: type = storage word (0xFF01 card, 0 memory).
    uint16_t SubRead(uint16_t storageWord);
    // DM_PBOOK_WRITE: type = address of a PbRecord.
    uint16_t SubWrite(const PbRecord* rec);
    // DM_PBOOK_DEL: type = address of 5 bytes: storage code, index (LE 32-bit).
    uint16_t SubDel(const uint8_t* rec5);
    // DM_PBOOK_DELALL: type = storage code 9 or 1.
    uint16_t SubDelAll(uint8_t storageCode);

    // --- the main window's handlers (UI thread) ---
    // Loads one phonebook. When a change of one of its entries was cut short
    // (recorded in the pending table), the phonebook is read from the modem
    // even when it was read before, and each such entry is settled: when the
    // modem has an entry at that index (the new one, or the old one when the
    // delete never happened), the table now shows it; when it has none, the
    // old entry is written back, as the table showed it and as the user last
    // saw it confirmed. A settled change is forgotten; one whose write-back
    // fails waits for the next load.
    void OnLoadPhonebook(uint16_t storageWord);
    void OnWipePhonebook();
    // The contact's name for a number; nullopt when no contact has it.
    std::optional<std::string> LookupName(const std::string& number);
    // True when msg was one of the two above (result set to 0).
    bool HandleMainWindowMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam, intptr_t& result);

    // --- entry changes for callers without a page (UI thread) ---
    struct Change {
        uint16_t result = 0;      // the sub-request's result, 0 when refused before it
        std::string refusal;      // dial-string or argument refusal text
        std::string dbError;      // result 0x7003: the modem changed, the table could not follow
        // With 0x7003: the database failed before the modem was asked, so
        // the modem and the table are as they were.
        bool beforeModem = false;
        // A change of an existing entry whose new write failed after the old
        // entry was deleted: whether the old entry was written back.
        bool restored = false;
        bool lost = false;        // not written back: the entry is gone from modem and table
        bool ok() const { return refusal.empty() && (result == 0x0091 || result == 0x0092); }
    };
    // Writes one entry to the modem (index 0: the first free one of the
    // table; result 0x7003 and nothing written when the table cannot be
    // read) and, when the modem accepted it, stores it in the table.
    Change WriteEntry(int storageType, int index, const std::string& name, const std::string& number);
    // Deletes one entry on the modem and, when accepted, its row.
    Change DeleteEntry(int storageType, int index);
    // Changes an existing entry: the modem's entry is deleted and written
    // again with the new name and number; when both are accepted the row
    // takes the name and number as given. When the new write fails after
    // the delete, the old entry is written back (restored); when that fails
    // too the row goes as well (lost), so the table never shows an entry
    // the modem no longer has. Refused when the table has no such row.
    //
    // The change is recorded in the pending table before the delete and
    // forgotten once the modem's entry is known again. A change cut short
    // (the process killed, the answer of the delete lost, the old entry not
    // written back) stays recorded, and the next load of that phonebook
    // finishes it (see OnLoadPhonebook). Nothing is sent to the modem when
    // the change cannot be recorded (result 0x7003).
    Change ModifyEntry(int storageType, int index, const std::string& name, const std::string& number);

    // Failed read batches tolerated before a read is given up (tests).
    void SetMaxReadFailures(int n) { m_nMaxReadFailures = n; }
    // Called after each stored batch of a read (tests, progress).
    void SetBatchObserver(std::function<void(int position, int total)> fn) { m_batchObserver = std::move(fn); }

private:
    bool StoreTableRow(int storageType, int index, const std::string& name, const std::string& number,
                       std::string& error);
    bool DeleteTableRow(int storageType, int index, std::string& error);
    // The lowest index from 1 that the table does not use for the storage
    // type; 0 (error set) when the table cannot be read.
    int FreeIndex(int storageType, std::string& error);
    // After the modem changed and the table could not follow: the next load
    // of that phonebook reads it from the modem again.
    void MarkForReread(int storageType);
    // The changes of this phonebook cut short earlier; empty when none (or
    // when the pending table cannot be read: logged).
    std::vector<PbPendingChange> PendingChanges(int storageType);
    // Settles the changes after a fresh read of their phonebook.
    void SettlePending(const std::vector<PbPendingChange>& pending);
    void ForgetPending(int storageType, int index);

    CDmEngine& m_engine;
    CAppDatabase& m_db;
    CPbPendingStore m_pending;
    int m_nMaxReadFailures;
    std::function<void(int, int)> m_batchObserver;
};

// Registers DM_PBOOK_READ, _WRITE, _DEL and _DELALL with the engine.
void InstallPhonebookEngine(CDmEngine& engine, CPbookEngine& pbook);

} // namespace kv
