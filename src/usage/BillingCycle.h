// Calendar arithmetic of the usage history, all in local time: the start of
// a local day, the billing cycle that holds a moment, and dates as the user
// types them.
//
// A day starts at its first second, which is not always 00:00:00: where a
// daylight-saving change happens at midnight (America/Santiago, America/Havana)
// the clock jumps from 23:59:59 straight to 01:00:00 on one day a year. So a
// day's start is found by searching the first second whose local date is that
// day, never by adding 86400 seconds or by asking mktime() for 00:00.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kvusage {

// The day of the month the plan's cycle starts. 29 to 31 are refused: not
// every month has them, and a cycle must start in every month.
inline constexpr int kCycleDayMin = 1;
inline constexpr int kCycleDayMax = 28;
inline constexpr int kCycleDayDefault = 1; // the calendar month

// Reads a cycle day typed by the user ("1".."28", surrounding blanks allowed).
// False, with why set to a sentence for the user, for anything else.
bool ParseCycleDay(std::string_view text, int& day, std::string* why = nullptr);
// Any stored value outside 1..28 reads as the default.
int SaneCycleDay(int day);

// The first second of the local date year-month-day. month may run outside
// 1..12 (13 is January of the next year, 0 December of the last).
int64_t LocalDateStart(int year, int month, int day);
// The first second of the local day that holds t, and of the day after it.
int64_t LocalDayStart(int64_t t);
int64_t NextLocalDayStart(int64_t dayStart);
// The first second of the local month that holds t, and of the next month.
int64_t LocalMonthStart(int64_t t);
int64_t NextLocalMonthStart(int64_t monthStart);

// A half-open span of time: start <= t < end.
struct Span {
    int64_t start = 0;
    int64_t end = 0;
    bool Holds(int64_t t) const { return t >= start && t < end; }
};

// The billing cycle that holds t: from the cycle day of its month at the
// day's first second to the cycle day of the next month. With day 1 it is
// the calendar month.
Span CycleContaining(int64_t t, int cycleDay);
// The cycle before the one that holds t.
Span PreviousCycle(int64_t t, int cycleDay);

// "YYYY-MM-DD" and "YYYY-MM-DD HH:MM" of t in local time.
std::string LocalDateText(int64_t t);
std::string LocalDateTimeText(int64_t t);
// "YYYY-MM" of t in local time.
std::string LocalMonthText(int64_t t);
// Reads "YYYY-MM-DD" (a real calendar date, year 1970-9999) to the first
// second of that local day. False for anything else.
bool ParseLocalDate(std::string_view text, int64_t& start);

} // namespace kvusage
