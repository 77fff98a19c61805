// The rules of the phonebook and call history page that need no window:
// which query a search runs, the call history as the page lists it (the
// newest 100 records, renumbered once the call numbers pass 1000000), its
// details strings, deleting call records, the numbers Write Message and
// Voice Call take from a selection, and their refusals. The page and the
// command-line tool both use these, so each rule exists once.
#pragma once

#include "data/AppDatabase.h"
#include "host/HostIds.h"
#include "engine/ModemState.h"

#include <optional>
#include <string>
#include <vector>

namespace kv {

// The query a search runs on a page (pbpage::PAGE_*) for a column
// (pbpage::COL_*; the history has no index column); the text is taken as
// the user typed it and matched literally. Nothing (no search) when the
// column is not "All(*)" and the text is empty.
std::optional<CDaoQuery> PbSearchQuery(int page, int column, const std::string& text);

// One call record as the history page lists it.
struct HistoryItem {
    int32_t index = 0;    // the call number
    int kind = 0;         // 1 outgoing, 2 answered, 3 missed (storage_type)
    std::string name;
    std::string number;
    std::string details;  // "%04d%s %s:%s": number, time, "Time", duration
};

// The details string of a record.
std::string HistoryDetails(int32_t index, const std::string& time, const std::string& callTime);
// The call number a details string starts with; false when it starts with
// no number.
bool HistoryCallNumber(const std::string& details, int64_t& number);
// What the detail line shows: the details after the call number.
std::string HistoryDetailText(const std::string& details);
// The current row of the history cursor as a list item.
HistoryItem HistoryItemOf(const CDaoVcallDb& rs);

struct HistoryListing {
    std::vector<HistoryItem> items;  // newest first
    int removed = 0;                 // older records deleted from the table
    bool renumbered = false;
    int lastNumber = 0;              // after a renumbering: the highest number
    std::string error;               // a database error ended the walk
};
// Lists the history newest first, keeping the newest `keep` records and
// deleting the older ones from the table. When the highest call number is
// above 1000000 the records are first renumbered 1, 2, 3 ... from the
// oldest and "history_num" is set to the last number, so the numbers the
// listing shows are the numbers the table holds.
HistoryListing ListCallHistory(CAppDatabase& db, int keep);
// Gives the records the numbers 1, 2, 3 ... from the oldest and writes the
// last to "history_num". False after a database error (nothing renumbered).
bool RenumberCallHistory(CAppDatabase& db, int& lastNumber, std::string& error);
// Deletes the record with that call number. False when none has it or
// after a database error.
bool DeleteCallRecord(CAppDatabase& db, int64_t callNumber, std::string& error);
// Deletes every record and sets "history_num" to 0. False after a database
// error (then nothing is deleted).
bool DeleteAllCallHistory(CAppDatabase& db, std::string& error);

// The index field's text as a number: blanks are left out, the rest must be
// decimal digits that fit; nothing otherwise (also for an empty text).
std::optional<int> PbIndexFromText(const std::string& text);

// The number a list item gives to Write Message and Voice Call: every "-"
// removed; "" for an empty number and for "Unknown".
std::string UsableNumber(const std::string& number);
// The numbers Write Message takes from a selection, in order.
std::vector<std::string> MessageNumbers(const std::vector<std::string>& numbers);
// Text cut to at most maxBytes bytes, never inside a UTF-8 sequence.
std::string CutText(const std::string& text, size_t maxBytes);

// A refusal of Write Message or Voice Call: the text (already formatted)
// and its icon; no text when the action may go on.
struct PbRefusal {
    std::string text;
    MsgIcon icon = MsgIcon::Warning;
    explicit operator bool() const { return !text.empty(); }
};
PbRefusal WriteMessageRefusal(const ModemState& st, int selected);
PbRefusal VoiceCallRefusal(const ModemState& st, int selected);

// The capacity of a phonebook page's phonebook (0 when the modem reported
// none), and the number of its entries in the table (-1 after a database
// error).
int PbCapacity(const ModemState& st, int page);
int PbEntryCount(CAppDatabase& db, int page);

} // namespace kv
