// Numbers read from text that someone else wrote: command-line arguments,
// settings values, database rows, sysfs and pppd files, the simulator's
// control lines. Every reader here is built on std::from_chars, so none can
// throw, none depends on the C locale (a Qt process runs with the user's
// locale, where strtod would want a decimal comma), and each checks that the
// value fits its type instead of wrapping or saturating unseen.
//
// Whole-text readers accept exactly the digits (and, for signed types and
// decimals, one leading '-'): no blanks, no '+', no "0x", no exponent, no
// trailing bytes. Callers trim what their format allows before they ask.
// The prefix readers keep the "read up to the first non-digit" rule of the
// settings store, where "12abc" is 12 by design.
#pragma once

#include <charconv>
#include <climits>
#include <cstddef>
#include <optional>
#include <string_view>
#include <system_error>
#include <type_traits>

namespace kv {

// The whole text as a decimal integer of type T; false (value untouched)
// when it is empty, holds anything else, or does not fit T.
template <class T>
bool ParseDecimal(std::string_view text, T& value)
{
    static_assert(std::is_integral_v<T> && !std::is_same_v<T, bool>);
    if (text.empty())
        return false;
    // from_chars takes a '-' for signed types only; a lone '-' or "-x" fails.
    if (text[0] == '-' && (!std::is_signed_v<T> || text.size() == 1))
        return false;
    T v{};
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, v, 10);
    if (r.ec != std::errc() || r.ptr != end)
        return false;
    value = v;
    return true;
}

template <class T>
std::optional<T> DecimalValue(std::string_view text)
{
    T v{};
    if (!ParseDecimal(text, v))
        return std::nullopt;
    return v;
}

// The whole text as a decimal integer from min to max.
template <class T>
std::optional<T> DecimalInRange(std::string_view text, T min, T max)
{
    const auto v = DecimalValue<T>(text);
    if (!v || *v < min || *v > max)
        return std::nullopt;
    return v;
}

// The whole text as hexadecimal digits (either case, no "0x") of an
// unsigned type.
template <class T>
bool ParseHex(std::string_view text, T& value)
{
    static_assert(std::is_integral_v<T> && std::is_unsigned_v<T>);
    if (text.empty() || text[0] == '-')
        return false;
    T v{};
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, v, 16);
    if (r.ec != std::errc() || r.ptr != end)
        return false;
    value = v;
    return true;
}

// A plain decimal number: digits with at most one '.', an optional leading
// '-' ("1.5", "-0.25", "12", ".5"); no exponent, "inf" or "nan".
inline bool ParseDecimalDouble(std::string_view text, double& value)
{
    size_t i = !text.empty() && text[0] == '-' ? 1 : 0;
    bool digit = false, dot = false;
    for (size_t k = i; k < text.size(); ++k) {
        if (text[k] >= '0' && text[k] <= '9')
            digit = true;
        else if (text[k] == '.' && !dot)
            dot = true;
        else
            return false;
    }
    if (!digit)
        return false;
    double v = 0;
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, v, std::chars_format::fixed);
    if (r.ec != std::errc() || r.ptr != end)
        return false;
    value = v;
    return true;
}

// The longest plain decimal number at the start of the text (after blanks
// and tabs); false when it starts with none. "1.5MB" is 1.5.
inline bool DecimalDoublePrefix(std::string_view text, double& value)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    size_t n = i;
    if (n < text.size() && text[n] == '-')
        ++n;
    bool dot = false;
    while (n < text.size() && ((text[n] >= '0' && text[n] <= '9') || (text[n] == '.' && !dot))) {
        dot = dot || text[n] == '.';
        ++n;
    }
    return ParseDecimalDouble(text.substr(i, n - i), value);
}

// The settings store's integer read: blanks and tabs, an optional sign,
// then the digits up to the first other byte; no digits is 0, and a value
// beyond int's range stops at INT_MAX (or -INT_MAX).
inline int DecimalPrefix(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool neg = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        neg = text[i++] == '-';
    long long v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        v = v * 10 + (text[i] - '0');
        if (v > INT_MAX)
            v = INT_MAX;
    }
    return int(neg ? -v : v);
}

} // namespace kv
