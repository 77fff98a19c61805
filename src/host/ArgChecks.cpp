#include "host/ArgChecks.h"

#include "contacts/PbCoding.h"
#include "data/DataConstants.h"
#include "log/VisibleText.h"
#include "settings/Profile.h"
#include "settings/SettingsKeys.h"

namespace kv {

namespace {
// What fits the two phonebooks: numbers of 30 (memory) and 20 (card)
// characters; names of 64 bytes (memory) or the card's name field less one,
// names with non-ASCII characters within the wide-name limits.
constexpr size_t kMemoryNumberMax = 30, kRuimNumberMax = 20;
constexpr size_t kMemoryNameMax = 64, kMemoryWideNameMax = 30;
constexpr int kNameFieldBeforeAsked = 65;

bool Ascii(const std::string& s)
{
    for (unsigned char c : s)
        if (c >= 0x80)
            return false;
    return true;
}

std::string Shown(std::string_view text) { return VisibleText(text); }
} // namespace

std::string DialProblem(const std::string& number, const DialRules& rules)
{
    if (number.empty())
        return "the number is empty";
    bool digit = false;
    for (size_t i = 0; i < number.size(); ++i) {
        const char c = number[i];
        if (c >= '0' && c <= '9') {
            digit = true;
        } else if (c == '+') {
            if (i != 0)
                return "'+' is allowed only as the first character";
        } else if (c == '*' || c == '#') {
        } else if ((c == 'p' || c == 'P') && rules.allowPause) {
        } else {
            return "'" + Shown(std::string(1, c)) + "' cannot be dialled (digits, *, #, a leading +"
                   + (rules.allowPause ? ", the pause p" : "") + ")";
        }
    }
    if (!digit)
        return "the number has no digits";
    if (rules.allowPause && CheckDialString(number) != DialCheck::Ok)
        return "the pause p cannot stand first, last or twice in a row";
    if (number.size() > rules.maxLength)
        return "the number has " + std::to_string(number.size()) + " characters, at most "
               + std::to_string(rules.maxLength) + " fit";
    return {};
}

size_t Utf8Length(std::string_view text)
{
    size_t n = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80)
            ++n;
    return n;
}

std::string TextProblem(const std::string& text, size_t maxChars, size_t maxBytes, bool allowLineBreaks)
{
    if (text.empty())
        return "it is empty";
    for (unsigned char c : text)
        if ((c < 0x20 || c == 0x7F) && !(allowLineBreaks && c == '\n'))
            return "it holds a control character";
    const size_t chars = Utf8Length(text);
    if (chars > maxChars)
        return "it has " + std::to_string(chars) + " characters, at most " + std::to_string(maxChars) + " fit";
    if (text.size() > maxBytes)
        return "it has " + std::to_string(text.size()) + " bytes, at most " + std::to_string(maxBytes) + " fit";
    return {};
}

size_t SmsTextLimit(const std::string& text)
{
    const IntSetting& s = Ascii(text) ? kSetAsciiMax : kSetUnicodeMax;
    const int v = GetProfileInt(s.section, kKeyNum, s.fallback, s.file);
    return v > 0 && v <= int(kSmsMessageBytes) ? size_t(v) : size_t(kSmsMessageBytes);
}

std::string SmsCallbackProblem(const std::string& callback)
{
    const int limit = GetProfileInt(kSetCallbackMax.section, kKeyNum, int(kSmsNumberMax), kSetCallbackMax.file);
    const size_t max = limit > 0 && limit <= int(kSmsNumberMax) ? size_t(limit) : kSmsNumberMax;
    if (const std::string why = DialProblem(callback, {max, false}); !why.empty())
        return "--callback: " + why;
    return {};
}

std::string SmsNumberProblem(const std::string& number)
{
    if (const std::string why = DialProblem(number, {kSmsNumberMax, false}); !why.empty())
        return "NUMBER '" + Shown(number) + "': " + why;
    return {};
}

std::string SmsRecipientsProblem(size_t count)
{
    if (count == 0)
        return "NUMBER: no recipients, 1 to " + std::to_string(kSmsRecipientsMax);
    if (count > kSmsRecipientsMax)
        return "NUMBER: " + std::to_string(count) + " recipients, at most " + std::to_string(kSmsRecipientsMax);
    return {};
}

std::string SmsTextProblem(const std::string& text)
{
    if (const std::string why = TextProblem(text, SmsTextLimit(text), kSmsMessageBytes, true); !why.empty())
        return "TEXT: " + why;
    return {};
}

std::string SmsSendProblem(const std::vector<std::string>& numbers, const std::string& text,
                           const std::string& callback)
{
    if (!callback.empty())
        if (std::string why = SmsCallbackProblem(callback); !why.empty())
            return why;
    for (const std::string& n : numbers)
        if (std::string why = SmsNumberProblem(n); !why.empty())
            return why;
    if (std::string why = SmsRecipientsProblem(numbers.size()); !why.empty())
        return why;
    return SmsTextProblem(text);
}

std::string SmsStoreProblem(const std::string& store, bool allowBoth)
{
    if (store == "memory" || store == "ruim" || (allowBoth && store.empty()))
        return {};
    return "STORE: '" + Shown(store) + "' is not memory or ruim" + (allowBoth ? " (or empty for both)" : "");
}

std::string SmsBoxProblem(const std::string& box)
{
    if (box == "inbox" || box == "outbox")
        return {};
    return "BOX: '" + Shown(box) + "' is not inbox or outbox";
}

bool ValidDialString(const std::string& s)
{
    if (s.empty() || s.size() > kDialMax)
        return false;
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        const bool ok = (c >= '0' && c <= '9') || c == '*' || c == '#' || c == 'p' || (c == '+' && i == 0);
        if (!ok)
            return false;
    }
    return s[0] != 'p';
}

bool ValidDtmf(const std::string& s)
{
    if (s.empty() || s.size() > kDialMax)
        return false;
    for (char c : s)
        if (!((c >= '0' && c <= '9') || c == '*' || c == '#'))
            return false;
    return true;
}

std::string DialStringProblem(const std::string& number)
{
    if (ValidDialString(number))
        return {};
    return "NUMBER '" + Shown(number)
           + "' is not a dial string (digits, *, #, a leading +, p for a pause; at most 30 characters)";
}

std::string DtmfProblem(const std::string& digits)
{
    if (ValidDtmf(digits))
        return {};
    return "DIGITS '" + Shown(digits) + "' must be digits, * or # (at most 30)";
}

int PbStorageType(const std::string& word)
{
    return word == "memory" ? kPbookMemory : word == "ruim" ? kPbookRuim : 0;
}

std::string PbStorageProblem(const std::string& word)
{
    if (PbStorageType(word))
        return {};
    return "STORAGE: '" + Shown(word) + "' is not memory or ruim";
}

std::string PbNameProblem(const std::string& name, int type, int pbLen)
{
    size_t chars = 0, bytes = 0;
    if (type == kPbookMemory) {
        chars = Ascii(name) ? kMemoryNameMax : kMemoryWideNameMax;
        bytes = kMemoryNameMax;
    } else {
        chars = Ascii(name) ? size_t(PbRuimNameLimit(pbLen)) : size_t(PbRuimWideNameLimit(pbLen));
        bytes = size_t(PbRuimNameLimit(pbLen));
    }
    return TextProblem(name, chars, bytes);
}

DialRules PbNumberRules(int type) { return {type == kPbookRuim ? kRuimNumberMax : kMemoryNumberMax, true}; }

std::string PbEntryProblem(int type, const std::string& name, const std::string& number)
{
    if (const std::string why = PbNameProblem(name, type, kNameFieldBeforeAsked); !why.empty())
        return "NAME: " + why;
    if (const std::string why = DialProblem(number, PbNumberRules(type)); !why.empty())
        return "NUMBER: " + why;
    return {};
}

} // namespace kv
