// Names, codes and texts of the local database: file, tables, columns, the
// coded values stored in them and the settings keys the table code uses.
#pragma once

#include "settings/SettingsKeys.h"

#include <cstdint>

namespace kv {

// The database file: the user's copy in the user data folder, made from the
// template of the same name that ships next to the executables (or in the
// installed data folder); KORVIANET_DB names the file directly (tests,
// scripts).
inline constexpr const char* kDbFileName = "WVL.MDB";
inline constexpr const char* kDbPathEnv = "KORVIANET_DB";
inline constexpr const char* kDbInstalledDir = "/usr/share/korvianet";

inline constexpr const char* kTablePbook = "tealfin_pbook";
inline constexpr const char* kTableSms = "tealfin_sms";
inline constexpr const char* kTableVcall = "tealfin_vcall";

// Phonebook storage types.
inline constexpr int kPbookMemory = 1;
inline constexpr int kPbookRuim = 2;
inline constexpr int kPbookProtected888 = 888;
inline constexpr int kPbookProtected999 = 999;
inline constexpr bool IsProtectedStorage(int type) { return type == kPbookProtected888 || type == kPbookProtected999; }

// SMS storage codes; a row's index is code * 65536 + slot.
inline constexpr int kSmsStoreRuim = 5;
inline constexpr int kSmsStoreMemory = 6;
inline constexpr int32_t SmsRowIndex(int storage, int slot) { return storage * 65536 + (slot & 0xFFFF); }
inline constexpr int SmsStorageOf(int32_t rowIndex) { return rowIndex >> 16; }
inline constexpr int SmsSlotOf(int32_t rowIndex) { return rowIndex & 0xFFFF; }

// SMS tag types (the inbox shows up to kSmsTagUnread, the outbox above).
inline constexpr double kSmsTagRead = 1;
inline constexpr double kSmsTagUnread = 2;
inline constexpr double kSmsTagStored = 3;

// SMS body: always stored as exactly this many bytes, zero-padded.
inline constexpr int kSmsMessageBytes = 229;

// Call kinds of the history.
inline constexpr int kCallOutgoing = 1;
inline constexpr int kCallAnswered = 2;
inline constexpr int kCallMissed = 3;
inline constexpr const char* kUnknownNumber = "Unknown";
inline constexpr const char* kCallTimeFormat = "(%d/%02d/%02d/%s-%02d:%02d)";
inline constexpr const char* kCallDurationFormat = "%02d:%02d:%02d";

// Settings: last call number of the history (main settings file).
inline constexpr const char* kSettingsFile = kIniDialer;
inline constexpr const char* kHistoryNumSection = kSecHistoryNum;
inline constexpr const char* kNumKey = kKeyNum;
inline constexpr int kHistoryNumBuffer = 6; // at most 5 characters read

// Text columns hold at most this many characters.
inline constexpr int kTextColumnMax = 255;

// The queries of the system in their Jet form, for logs and the few constant
// statements; user text never goes into these (see the query builders).
inline constexpr const char* kSqlSmsStanding = "select * from tealfin_sms order by time asc";
inline constexpr const char* kSqlPbookWipe = "select * from tealfin_pbook order by index desc";

// Database error codes (the numbering the recordset services report).
enum DaoError : int {
    kDaoErrUpdateWithoutEdit = 3020,
    kDaoErrNoCurrentRecord = 3021,
    kDaoErrCannotOpen = 3024,
    kDaoErrSyntax = 3075,
    kDaoErrInvalidPattern = 3079,
    kDaoErrNotOpen = 3420,
    kDaoErrEngine = 3000, // any other failure of the database engine
};

} // namespace kv
