// The checks of what a user passes for the modem's operations. The
// command-line tool and the bus service refuse the same arguments with the
// same words: each function returns "" when the argument is acceptable, else
// the refusal as korvianet-cli prints it (naming the argument).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

// Rules for a number the modem dials or stores.
struct DialRules {
    size_t maxLength;        // characters
    bool allowPause = false; // the pause 'p' (phonebook entries only)
};
// "" when number is acceptable, else why not (for "<name>: <why>"):
// non-empty; digits, '*', '#', a '+' only first and followed by at least
// one digit, and, where allowed, the pause 'p' placed as the phonebook
// rules say; at most maxLength characters.
std::string DialProblem(const std::string& number, const DialRules& rules);

// "" when text is acceptable as a name or message, else why not: not empty,
// no control characters (but line feeds where allowed), at most maxChars
// characters (UTF-8 characters) and maxBytes bytes.
std::string TextProblem(const std::string& text, size_t maxChars, size_t maxBytes,
                        bool allowLineBreaks = false);

// Number of UTF-8 characters (bytes that do not continue a sequence).
size_t Utf8Length(std::string_view text);

// --- Messages ---------------------------------------------------------------
// Destination and callback fields of the send record hold 36 bytes; the
// modem takes numbers of up to 32 digits (its callback limit says the same).
inline constexpr size_t kSmsNumberMax = 32;
inline constexpr size_t kSmsRecipientsMax = 5;

// The longest text the modem takes: its configured limits (160 plain ASCII
// characters, 40 when a character is not ASCII), never beyond the record.
size_t SmsTextLimit(const std::string& text);
// "--callback: ..." for a callback number the modem would not take.
std::string SmsCallbackProblem(const std::string& callback);
// "NUMBER '<n>': ..." for a recipient's number.
std::string SmsNumberProblem(const std::string& number);
// "NUMBER: 6 recipients, at most 5" (and the like for none).
std::string SmsRecipientsProblem(size_t count);
// "TEXT: ..." for the message's text.
std::string SmsTextProblem(const std::string& text);
// All of a send, in the order the command line checks them: the callback
// (when not empty), each number, their count, the text.
std::string SmsSendProblem(const std::vector<std::string>& numbers, const std::string& text,
                           const std::string& callback);
// The words for a message store ("" both, "memory", "ruim") and a box.
std::string SmsStoreProblem(const std::string& store, bool allowBoth);
std::string SmsBoxProblem(const std::string& box);

// --- Voice calls ------------------------------------------------------------
inline constexpr size_t kDialMax = 30;
bool ValidDialString(const std::string& s);
bool ValidDtmf(const std::string& s);
// "NUMBER '<n>' is not a dial string (...)"
std::string DialStringProblem(const std::string& number);
// "DIGITS '<d>' must be digits, * or # (at most 30)"
std::string DtmfProblem(const std::string& digits);

// --- Phonebook --------------------------------------------------------------
// kPbookMemory or kPbookRuim for "memory" or "ruim", else 0.
int PbStorageType(const std::string& word);
std::string PbStorageProblem(const std::string& word);
// What fits the phonebook of type with the card's name field of pbLen bytes
// (65 until the modem says otherwise).
std::string PbNameProblem(const std::string& name, int type, int pbLen);
DialRules PbNumberRules(int type);
// "NAME: ..." or "NUMBER: ..." for an entry before the modem is asked.
std::string PbEntryProblem(int type, const std::string& name, const std::string& number);

} // namespace kv
