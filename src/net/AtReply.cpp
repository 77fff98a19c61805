// AT answers and commands as text (see AtReply.h).
#include "net/AtReply.h"

#include "log/NumberParse.h"
#include "net/AtTexts.h"

#include <algorithm>

namespace kv {

namespace {

constexpr char kFlag = 0x7E;
// "+CSQ:" received strength: 0 is -113 dBm or less, 31 is -51 dBm or more,
// 99 not known.
constexpr int kRssiZeroDbm = -113;
constexpr int kRssiMax = 31;
constexpr int kRssiUnknown = 99;

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// Bytes that AT answer text holds: printable ASCII below the frame flag.
bool IsAnswerByte(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u >= 0x20 && u < 0x7E;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsFinalLine(std::string_view line)
{
    return line == attext::kOk || line == attext::kError || line.starts_with("+CME ERROR:")
        || line.starts_with("+CMS ERROR:");
}

} // namespace

size_t FinalResultEnd(std::string_view rx)
{
    size_t start = 0;
    for (size_t i = 0; i < rx.size(); ++i) {
        if (!IsLineEnd(rx[i]))
            continue;
        if (IsFinalLine(rx.substr(start, i - start))) {
            size_t end = i + 1;
            if (rx[i] == '\r' && end < rx.size() && rx[end] == '\n')
                ++end;
            return end;
        }
        start = i + 1;
    }
    return std::string_view::npos;
}

std::string CleanAtAnswer(std::string_view rx)
{
    // 1. Nothing after the final result belongs to this answer.
    const size_t end = FinalResultEnd(rx);
    if (end != std::string_view::npos)
        rx = rx.substr(0, end);
    // 2. A frame (or its tail) ends with the flag: drop up to the last one.
    const size_t flag = rx.rfind(kFlag);
    if (flag != std::string_view::npos)
        rx = rx.substr(flag + 1);
    // 3. Lines with bytes foreign to AT text are dropped, their ends kept.
    std::string out;
    size_t start = 0;
    for (size_t i = 0; i <= rx.size(); ++i) {
        if (i < rx.size() && !IsLineEnd(rx[i]))
            continue;
        const std::string_view line = rx.substr(start, i - start);
        if (std::all_of(line.begin(), line.end(), IsAnswerByte))
            out.append(line);
        if (i < rx.size())
            out.push_back(rx[i]);
        start = i + 1;
    }
    if (out.size() > kAtAnswerSize - 1)
        out.resize(kAtAnswerSize - 1);
    return out;
}

std::string SignalValueOf(std::string_view answer)
{
    const size_t at = answer.find(attext::kSignalMarker);
    if (at == std::string_view::npos)
        return {};
    std::string_view v = answer.substr(at + std::string_view(attext::kSignalMarker).size());
    const size_t cut = v.find_first_of("\r\n");
    if (cut != std::string_view::npos)
        v = v.substr(0, cut);
    return std::string(v.substr(0, kSignalValueSize - 1));
}

bool SignalLineText(std::string_view last, std::string_view lastGood, std::string& text)
{
    if (last.empty())
        return false;
    const bool good = last.find(attext::kSignalMarker) != std::string_view::npos;
    const std::string_view from = good ? last : lastGood;
    if (from.find(attext::kSignalMarker) == std::string_view::npos)
        return false; // never had a value to show
    text = good ? "\r" : "\r\r";
    text += attext::kSignalName;
    text += ':';
    text += SignalReadingOf(SignalValueOf(from));
    return true;
}

std::string SignalReadingOf(std::string_view value)
{
    while (!value.empty() && value.front() == ' ')
        value.remove_prefix(1);
    const size_t comma = value.find(',');
    int rssi = -1;
    if (!ParseDecimal(value.substr(0, comma), rssi))
        return attext::kSignalUnknown;
    if (rssi == kRssiUnknown)
        return attext::kSignalNoSignal;
    if (rssi < 0 || rssi > kRssiMax)
        return attext::kSignalUnknown;
    return " " + std::to_string(kRssiZeroDbm + 2 * rssi) + attext::kSignalUnit;
}

std::string CardStateOf(std::string_view answer)
{
    const size_t at = answer.find(attext::kCardMarker);
    if (at == std::string_view::npos)
        return {};
    std::string_view v = answer.substr(at + std::string_view(attext::kCardMarker).size());
    const size_t cut = v.find_first_of("\r\n");
    if (cut != std::string_view::npos)
        v = v.substr(0, cut);
    while (!v.empty() && v.front() == ' ')
        v.remove_prefix(1);
    while (!v.empty() && v.back() == ' ')
        v.remove_suffix(1);
    for (std::string_view prefix : attext::kCardPrefixes) {
        if (v.size() > prefix.size() && v.substr(0, prefix.size()) == prefix) {
            v.remove_prefix(prefix.size());
            break;
        }
    }
    return " " + std::string(v.substr(0, 5));
}

std::string SixAfterColon(std::string_view answer)
{
    const size_t colon = answer.find(':');
    if (colon == std::string_view::npos)
        return {};
    return std::string(answer.substr(colon + 1, 6));
}

std::string ImsiDigitsOf(std::string_view answer)
{
    auto digitsOnly = [](std::string_view s) -> std::string {
        if (s.size() < kImsiMinDigits || s.size() > kImsiMaxDigits)
            return {};
        return std::all_of(s.begin(), s.end(), IsDigit) ? std::string(s) : std::string();
    };
    const size_t at = answer.find(attext::kImsiMarker);
    if (at != std::string_view::npos) {
        std::string_view v = answer.substr(at + std::string_view(attext::kImsiMarker).size());
        while (!v.empty() && v.front() == ' ')
            v.remove_prefix(1);
        size_t n = 0;
        while (n < v.size() && IsDigit(v[n]))
            ++n;
        return digitsOnly(v.substr(0, n));
    }
    size_t start = 0;
    for (size_t i = 0; i <= answer.size(); ++i) {
        if (i < answer.size() && !IsLineEnd(answer[i]))
            continue;
        std::string_view line = answer.substr(start, i - start);
        while (!line.empty() && line.back() == ' ')
            line.remove_suffix(1);
        while (!line.empty() && line.front() == ' ')
            line.remove_prefix(1);
        if (!line.empty())
            return digitsOnly(line); // the first line with text is the answer
        start = i + 1;
    }
    return {};
}

bool IsValidPin(std::string_view pin)
{
    return pin.size() >= 4 && pin.size() <= 8 && std::all_of(pin.begin(), pin.end(), IsDigit);
}

bool IsValidApn(std::string_view apn)
{
    if (apn.empty() || apn.size() > kStaticApnSize - 1)
        return false;
    return std::all_of(apn.begin(), apn.end(), [](char c) {
        return IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '.' || c == '-'
            || c == '_';
    });
}

std::string BuildApnCommand(std::string_view apn)
{
    if (!IsValidApn(apn))
        return {};
    std::string cmd = attext::kApnCommandPrefix;
    cmd += '"';
    cmd += apn;
    cmd += "\"\r";
    return cmd;
}

std::string BuildPinLockCommand(bool enable, std::string_view pin)
{
    if (!IsValidPin(pin))
        return {};
    std::string cmd = enable ? attext::kPinLockOnPrefix : attext::kPinLockOffPrefix;
    cmd += '"';
    cmd += pin;
    cmd += "\"\r";
    return cmd;
}

std::string BuildPinChangeCommand(std::string_view oldPin, std::string_view newPin)
{
    if (!IsValidPin(oldPin) || !IsValidPin(newPin))
        return {};
    std::string cmd = attext::kPinChangePrefix;
    cmd += '"';
    cmd += oldPin;
    cmd += "\",\"";
    cmd += newPin;
    cmd += "\"\r";
    return cmd;
}

} // namespace kv
