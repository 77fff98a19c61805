// The SMS page's rules, without windows: its state words, the order and
// look of the inbox and outbox lists, the home counters, the storage
// warnings, the symbol palette's grid, the character counter, the checks
// of the recipients, the time texts and the text cuts that never split a
// character. The page (SmsView) draws what these decide.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kv::smspage {

// State words: the high byte is the group (1 compose, 2 inbox, 3 outbox).
enum SmsState : uint16_t {
    SMS_HOME = 0,
    SMS_COMPOSE = 0x101,
    SMS_RECIPIENTS = 0x102,
    SMS_CALLBACK = 0x103,
    SMS_INBOX_LIST = 0x201,
    SMS_INBOX_MSG = 0x202,
    SMS_OUTBOX_LIST = 0x301,
    SMS_OUTBOX_MSG = 0x302,
};

// ShowSmsState flags.
enum : unsigned {
    SHOW_WARNINGS = 0x01,   // the storage warnings afterwards
    KEEP_FIELDS = 0x02,     // keep the number field (compose) or the recipient rows
    NO_NUMBER_MOVE = 0x04,  // the number field does not become the first recipient
};

inline constexpr int kRecipientRows = 5;
inline constexpr int kBoxCapacity = 99;          // items an inbox or outbox list is measured against
inline constexpr size_t kSendTextMax = 228;      // bytes of the text sent
inline constexpr size_t kCallbackMax = 35;       // bytes of the callback number sent
inline constexpr int kCallbackFieldLimit = 36;   // characters the callback field takes
inline constexpr uint32_t kTimerFocusText = 200001;
inline constexpr uint32_t kTimerFocusMs = 500;
inline constexpr int kSendTimeoutMs = 10000;     // a report may take this long
inline constexpr int kSendRetryMs = 1500;        // a failed send counts as failed after this

// The state actually shown for a request: every request shows the callback
// and send state while a send runs; an unknown word falls back to home.
uint16_t EffectiveState(uint16_t asked, bool sending);
inline int StateGroup(uint16_t state) { return state >> 8; }

// --- message lists ---------------------------------------------------------

// One row of the SMS cursor as the lists need it.
struct SmsRowView {
    int32_t index = 0;
    int tag = 0;
    std::string text;
};

struct SmsListItem {
    int32_t index = 0;
    int icon = 0;
    std::string text;
};

// Icons of the list's bitmap strip.
enum SmsIcon : int {
    ICON_MEMORY_READ = 0,
    ICON_MEMORY_UNREAD = 1,
    ICON_MEMORY_STORED = 2,
    ICON_MEMORY_SENT = 3,
    ICON_VOICE_MAIL = 4,
    ICON_RUIM_READ = 5,
    ICON_RUIM_UNREAD = 6,
    ICON_RUIM_STORED = 7,
    ICON_RUIM_SENT = 8,
    ICON_COUNT = 9,
};

int ListIcon(int32_t index, int tag, bool voiceMail);
// The message text as one list line: CR and LF removed.
std::string ListLine(const std::string& text);
bool IsVoiceMailRow(int32_t index, int32_t voiceSlot);

// The inbox from the rows in cursor order (oldest first): unread messages
// first, then read ones, each group newest first. Rows above tag 2 are left
// out. The voice-mail notification reads "Voice Mail" or "Voice Mail(%d)".
std::vector<SmsListItem> BuildInboxItems(const std::vector<SmsRowView>& rows, int32_t voiceSlot,
                                         int voiceCount);
// The outbox: rows above tag 2, newest first.
std::vector<SmsListItem> BuildOutboxItems(const std::vector<SmsRowView>& rows);

// --- home, warnings, counter ------------------------------------------------

struct HomeCounts {
    int notRead = 0;
    int voice = 0;
    int total = 0;
};
HomeCounts ComputeHomeCounts(int lastNewCount, int voiceCount, int memoryCount, int ruimCount);

// The storage warnings of a state ("" when none applies), lines joined.
std::string StorageWarnings(uint16_t state, int smsMaxSlot, int ruimCount, int listItems);

// "%d/%d" with the length and the field's limit, "0/%d" with the ASCII
// limit for an empty text.
std::string CounterText(int length, int fieldLimit, int asciiLimit);

// --- symbol palette --------------------------------------------------------

inline constexpr int kPaletteColumns = 7, kPaletteRows = 5, kPaletteSymbols = 30;
inline constexpr int kPaletteLeft = 10, kPaletteTop = 4, kCellWidth = 20, kCellHeight = 17;
// The symbol of a cell ("" past the last one).
const char* PaletteSymbol(int cell);
// The cell under a page point (row by row), or -1 outside the grid; the
// grid spans x 10..150 and y 4..90.
int PaletteCellAt(int x, int y);

// --- texts -----------------------------------------------------------------

// At most maxBytes bytes of UTF-8 text, never ending inside a character.
std::string Utf8Prefix(const std::string& text, size_t maxBytes);
// Every line break (CR LF, lone CR, lone LF) as CR LF.
std::string NormalizeCrLf(const std::string& text);
// The status text of an opened inbox message: after Next
// "Time:\n%02d-%02d-%d, %02d:%02d:%02d" (day, month, year), after a
// double-click "Time:\n%d-%02d-%02d   %02d:%02d:%02d" (year first). The time
// is in seconds since 1980-01-06 00:00:00.
std::string MessageTimeText(double seconds, bool afterNext);

// --- deleting ----------------------------------------------------------------

// Why a delete the user confirmed did nothing: every such stop is told.
enum class DeleteStop {
    PageBusy,    // another request of the page was under way
    ItemGone,    // the list changed while the question was open
    RowMissing,  // the message is no longer in the table
    DbError,     // the table could not be read
};
std::string DeleteStopText(DeleteStop why);
// The text for a remove sub-request that did not return its own code
// (nothing or not everything deleted); all: Delete All.
std::string DeleteFailureText(uint16_t result, bool all);
// After Delete All: the messages the modem kept ("" when none).
std::string DeleteAllLeftText(int left);

// The refusal of the first recipient that breaks the dial rules
// ("Input Dial Number Fail.(+) 123+4"); "" when all pass.
std::string RecipientRefusal(const std::vector<std::string>& recipients);

} // namespace kv::smspage
