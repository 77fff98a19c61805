#include "cli/CliArgs.h"

#include "cli/CliCommand.h"
#include "cli/CliOutput.h"
#include "contacts/PbCoding.h"
#include "log/NumberParse.h"

namespace kvcli {

std::optional<long long> ParseNumber(std::string_view text, long long min, long long max)
{
    // Digits only: a sign is not part of an argument's number.
    if (!text.empty() && text[0] == '-')
        return std::nullopt;
    return kv::DecimalInRange<long long>(text, min, max);
}

std::optional<long long> NumberArg(const std::string& name, const std::string& text, long long min,
                                   long long max)
{
    auto v = ParseNumber(text, min, max);
    if (!v)
        UsageError(name + ": '" + Shown(text) + "' is not a whole number from " + std::to_string(min) + " to "
                   + std::to_string(max));
    return v;
}

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
    if (rules.allowPause && kv::CheckDialString(number) != kv::DialCheck::Ok)
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

} // namespace kvcli
