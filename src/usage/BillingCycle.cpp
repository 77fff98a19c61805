// Local-time calendar arithmetic: see BillingCycle.h.
#include "usage/BillingCycle.h"

#include <cstdio>
#include <ctime>

namespace kvusage {

namespace {

struct Ymd {
    int year = 1970, month = 1, day = 1; // month 1..12
};

Ymd LocalYmd(int64_t t)
{
    const std::time_t tt = std::time_t(t);
    std::tm tm{};
    if (!localtime_r(&tt, &tm))
        return {};
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

bool Before(const Ymd& a, const Ymd& b)
{
    if (a.year != b.year)
        return a.year < b.year;
    if (a.month != b.month)
        return a.month < b.month;
    return a.day < b.day;
}

void NormaliseMonth(int& year, int& month)
{
    // month 1..12 after this, carrying whole years either way.
    int m0 = month - 1;
    year += m0 >= 0 ? m0 / 12 : -((11 - m0) / 12);
    m0 = ((m0 % 12) + 12) % 12;
    month = m0 + 1;
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysIn(int year, int month)
{
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

} // namespace

bool ParseCycleDay(std::string_view text, int& day, std::string* why)
{
    auto fail = [&](const std::string& msg) {
        if (why)
            *why = msg;
        return false;
    };
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    if (text.empty() || text.size() > 4)
        return fail("The cycle day must be a day of the month from 1 to 28.");
    int v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return fail("The cycle day must be a day of the month from 1 to 28.");
        v = v * 10 + (c - '0');
    }
    if (v >= 29 && v <= 31)
        return fail("The cycle day cannot be " + std::to_string(v)
                    + ": not every month has that day. Choose a day from 1 to 28.");
    if (v < kCycleDayMin || v > kCycleDayMax)
        return fail("The cycle day must be a day of the month from 1 to 28.");
    day = v;
    return true;
}

int SaneCycleDay(int day) { return day >= kCycleDayMin && day <= kCycleDayMax ? day : kCycleDayDefault; }

int64_t LocalDateStart(int year, int month, int day)
{
    NormaliseMonth(year, month);
    const Ymd target{year, month, day};
    // Noon exists on every day; the day's first second lies within the 36
    // hours before it whatever the zone's offsets and changes.
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = 12;
    tm.tm_isdst = -1;
    const int64_t noon = int64_t(std::mktime(&tm));
    // The local date never goes backwards as time runs (a change at midnight
    // repeats or skips an hour of one date), so the first second of the
    // target date is found by bisection.
    int64_t lo = noon - 36 * 3600; // before the date
    int64_t hi = noon;             // on the date
    while (hi - lo > 1) {
        const int64_t mid = lo + (hi - lo) / 2;
        if (Before(LocalYmd(mid), target))
            lo = mid;
        else
            hi = mid;
    }
    return hi;
}

int64_t LocalDayStart(int64_t t)
{
    const Ymd d = LocalYmd(t);
    return LocalDateStart(d.year, d.month, d.day);
}

int64_t NextLocalDayStart(int64_t dayStart)
{
    // 30 hours on is inside the next day whatever the day's length (23 to 25 h).
    const Ymd d = LocalYmd(dayStart + 30 * 3600);
    return LocalDateStart(d.year, d.month, d.day);
}

int64_t LocalMonthStart(int64_t t)
{
    const Ymd d = LocalYmd(t);
    return LocalDateStart(d.year, d.month, 1);
}

int64_t NextLocalMonthStart(int64_t monthStart)
{
    const Ymd d = LocalYmd(monthStart + 12 * 3600);
    return LocalDateStart(d.year, d.month + 1, 1);
}

Span CycleContaining(int64_t t, int cycleDay)
{
    cycleDay = SaneCycleDay(cycleDay);
    const Ymd d = LocalYmd(t);
    int y = d.year, m = d.month;
    if (d.day < cycleDay)
        --m;
    Span s;
    s.start = LocalDateStart(y, m, cycleDay);
    s.end = LocalDateStart(y, m + 1, cycleDay);
    // t before its date's first second cannot happen; a start after t would
    // only come from a broken clock library, and then the previous cycle holds t.
    if (s.start > t) {
        s.end = s.start;
        s.start = LocalDateStart(y, m - 1, cycleDay);
    }
    return s;
}

Span PreviousCycle(int64_t t, int cycleDay)
{
    const Span cur = CycleContaining(t, cycleDay);
    return CycleContaining(cur.start - 1, cycleDay);
}

std::string LocalDateText(int64_t t)
{
    const Ymd d = LocalYmd(t);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year, d.month, d.day);
    return buf;
}

std::string LocalDateTimeText(int64_t t)
{
    const std::time_t tt = std::time_t(t);
    std::tm tm{};
    localtime_r(&tt, &tm);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_hour, tm.tm_min);
    return buf;
}

std::string LocalMonthText(int64_t t)
{
    const Ymd d = LocalYmd(t);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d", d.year, d.month);
    return buf;
}

bool ParseLocalDate(std::string_view text, int64_t& start)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return false;
    auto num = [&](size_t at, size_t len, int& out) {
        out = 0;
        for (size_t i = at; i < at + len; ++i) {
            if (text[i] < '0' || text[i] > '9')
                return false;
            out = out * 10 + (text[i] - '0');
        }
        return true;
    };
    int y = 0, m = 0, d = 0;
    if (!num(0, 4, y) || !num(5, 2, m) || !num(8, 2, d))
        return false;
    if (y < 1970 || m < 1 || m > 12 || d < 1 || d > DaysIn(y, m))
        return false;
    start = LocalDateStart(y, m, d);
    return true;
}

} // namespace kvusage
