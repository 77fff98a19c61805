// Display texts, limits and bar scaling of the traffic pages.
#include "traffic/TrafficDisplay.h"

#include "log/NumberParse.h"
#include "settings/Profile.h"
#include "settings/SettingsKeys.h"

#include <algorithm>
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

double ParseTrafficLimit(const std::string& text)
{
    double v = 0;
    if (!kv::DecimalDoublePrefix(text, v))
        return kLimitDefault;
    return ValidTrafficLimit(v);
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
