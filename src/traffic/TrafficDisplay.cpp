// Display texts, limits and bar scaling of the traffic pages.
#include "traffic/TrafficDisplay.h"

#include "log/NumberParse.h"
#include "settings/Profile.h"
#include "settings/SettingsKeys.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace kvtraffic {

namespace {

constexpr const char* kNoSessionTime = "00-00-00 00:00:00";
constexpr int kNoTimeBefore = 2005; // times up to this year read as "no time"

bool LocalTime(int64_t t, std::tm& out)
{
    const std::time_t tt = std::time_t(t);
    return ::localtime_r(&tt, &out) != nullptr;
}

std::string DayMonthYearTime(const std::tm& tm)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02d-%02d-%04d %02d:%02d:%02d", tm.tm_mday, tm.tm_mon + 1, tm.tm_year + 1900,
                  tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

std::string WithDays(uint32_t ms)
{
    char buf[48];
    std::snprintf(buf, sizeof buf, "%02u)%02u:%02u:%02u", ms / 86400000u, ms / 3600000u % 24, ms / 60000u % 60,
                  ms / 1000u % 60);
    return buf;
}

} // namespace

double ValidTrafficLimit(double limitMb)
{
    // NaN fails both comparisons, so it is tested for on its own.
    if (!std::isfinite(limitMb) || limitMb < kLimitMin || limitMb > kLimitMax)
        return kLimitDefault;
    return limitMb;
}

std::optional<double> ReadTrafficLimit(const std::string& text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    size_t begin = 0, end = text.size();
    while (begin < end && blank(text[begin]))
        ++begin;
    while (end > begin && blank(text[end - 1]))
        --end;
    // The unit the field stands beside may be typed too.
    if (end - begin >= 2 && (text[end - 2] == 'M' || text[end - 2] == 'm')
        && (text[end - 1] == 'B' || text[end - 1] == 'b')) {
        end -= 2;
        while (end > begin && blank(text[end - 1]))
            --end;
    }
    // Only digits and one decimal point: no sign, no hexadecimal, no
    // exponent ("0x20", "1e3" are not 32 and 1000 MB).
    int digits = 0, points = 0;
    for (size_t i = begin; i < end; ++i) {
        if (text[i] >= '0' && text[i] <= '9')
            ++digits;
        else if (text[i] == '.')
            ++points;
        else
            return std::nullopt;
    }
    if (digits == 0 || points > 1)
        return std::nullopt;
    // Read without the locale: the decimal point is '.' whatever the desktop's
    // language (the window runs with the user's locale set).
    double v = 0;
    const auto r = std::from_chars(text.data() + begin, text.data() + end, v, std::chars_format::fixed);
    if (r.ec == std::errc::result_out_of_range)
        return kLimitMax * 2; // far too large: out of range, not "no number"
    if (r.ec != std::errc() || r.ptr != text.data() + end)
        return std::nullopt;
    return v;
}

bool TrafficLimitAccepted(const std::string& text)
{
    const std::optional<double> v = ReadTrafficLimit(text);
    return v && ValidTrafficLimit(*v) == *v;
}

double ParseTrafficLimit(const std::string& text)
{
    const std::optional<double> v = ReadTrafficLimit(text);
    return v ? ValidTrafficLimit(*v) : kLimitDefault;
}

std::string FormatLimitField(double limitMb)
{
    // Plain decimal digits, never an exponent ("1e+06" would not read back).
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, limitMb, std::chars_format::fixed);
    return r.ec == std::errc() ? std::string(buf, r.ptr) : std::string();
}

BarScale ScaleTrafficBar(double limitMb, double usedBytes)
{
    BarScale b;
    if (!(usedBytes > 0))
        usedBytes = 0;
    if (limitMb <= kLimitByteScale) {
        const double range = limitMb > 0 ? std::floor(limitMb * 1024 * 1024) : 0;
        b.range = int32_t(range);
        b.pos = usedBytes > range ? b.range : int32_t(usedBytes);
    } else {
        b.range = int32_t(std::min(limitMb, kLimitMax));
        const double mb = std::floor(usedBytes / 1024 / 1024);
        // At least 1, so that some use shows; never past the end of the bar.
        b.pos = mb >= b.range ? b.range : std::max(1, int32_t(mb));
    }
    return b;
}

AppliedLimit ApplyTrafficLimit(const char* key, const std::string& editText, double usedBytes)
{
    AppliedLimit a;
    a.limit = ParseTrafficLimit(editText);
    a.replaced = !TrafficLimitAccepted(editText);
    kv::WriteProfileString(kv::kSecUserSetMaxLimit, key, std::to_string(int(a.limit)), kv::kIniDialer);
    a.top = FormatLimit(a.limit);
    a.middle = FormatLimit(a.limit / 2);
    a.bar = ScaleTrafficBar(a.limit, usedBytes);
    return a;
}

std::string FormatTrafficBytes(double bytes)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%16.0fB", bytes);
    return buf;
}

std::string FormatSessionDuration(uint32_t ms) { return WithDays(ms); }

std::string FormatSessionTime(int64_t time)
{
    std::tm tm {};
    if (time == 0 || !LocalTime(time, tm) || tm.tm_year + 1900 <= kNoTimeBefore)
        return kNoSessionTime;
    return DayMonthYearTime(tm);
}

std::string FormatLiveBytes(uint32_t bytes)
{
    char buf[24];
    std::snprintf(buf, sizeof buf, "%uB", bytes);
    return buf;
}

std::string FormatLiveDuration(uint32_t ms)
{
    if (ms >= 86400000u)
        return WithDays(ms);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", ms / 3600000u % 24, ms / 60000u % 60, ms / 1000u % 60);
    return buf;
}

std::string FormatResetTime(int64_t time)
{
    std::tm tm {};
    if (!LocalTime(time, tm))
        return kNoSessionTime;
    return DayMonthYearTime(tm);
}

std::string FormatMonthDate(int64_t time)
{
    std::tm tm {};
    char buf[64] = "";
    if (LocalTime(time, tm))
        std::strftime(buf, sizeof buf, "%d %m %Y", &tm);
    return buf;
}

std::string FormatMonthBytes(double bytes)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.0lf", bytes);
    return buf;
}

std::string FormatLimit(double limitMb)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.1lf", limitMb);
    return buf;
}

} // namespace kvtraffic
