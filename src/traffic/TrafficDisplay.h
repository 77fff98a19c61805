// What the traffic pages show: the text of every figure, the monthly limits
// with their bounds, and the scaling of the two limit bars. The rules live
// here once; the pages and the command-line tool only place the texts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kvtraffic {

// Monthly limits in MB: valid from 10 to 1048576 inclusive, anything else
// (a number out of range, or no number at all) becomes 50; also the value
// every limit starts at.
inline constexpr double kLimitMin = 10;
inline constexpr double kLimitMax = 1048576;
inline constexpr double kLimitDefault = 50;
// Up to this limit (MB) a bar counts bytes, above it whole MB.
inline constexpr double kLimitByteScale = 1024;

double ValidTrafficLimit(double limitMb);
// The number typed into a limit field: decimal digits with at most one
// decimal point, blanks around it and a trailing "MB" allowed; nothing
// when the text is not such a number.
std::optional<double> ReadTrafficLimit(const std::string& text);
// The text is a number within the limits.
bool TrafficLimitAccepted(const std::string& text);
// The limit typed into an edit field, validated (50 unless accepted).
double ParseTrafficLimit(const std::string& text);
// A limit as its field shows it: decimal digits, no exponent.
std::string FormatLimitField(double limitMb);

// A bar's range (0..range) and position for a limit and the bytes used.
struct BarScale {
    int32_t range = 0;
    int32_t pos = 0;
};
BarScale ScaleTrafficBar(double limitMb, double usedBytes);

// Applying a limit: validated, stored under key of section "UserSetMaxLimit"
// in the main settings file as its integer part, labelled (the bar's top
// shows the limit, its middle half of it) and scaled.
struct AppliedLimit {
    double limit = kLimitDefault;
    bool replaced = false; // the text was not an accepted limit: 50 instead
    std::string top;
    std::string middle;
    BarScale bar;
};
AppliedLimit ApplyTrafficLimit(const char* key, const std::string& editText, double usedBytes);

// Totals and the last session's bytes: "%16.0fB".
std::string FormatTrafficBytes(double bytes);
// The last session's duration: "%02d)%02d:%02d:%02d", days first.
std::string FormatSessionDuration(uint32_t ms);
// The last session's time, local: day-month-year hour:minute:second when its
// year is after 2005, else (and without a record, time 0) "00-00-00 00:00:00".
std::string FormatSessionTime(int64_t time);
// The running session's bytes: "%uB".
std::string FormatLiveBytes(uint32_t bytes);
// The running session's duration: "%02d:%02d:%02d" under one day, with the
// days in front ("%02d)...") from one day on.
std::string FormatLiveDuration(uint32_t ms);
// The reset time, local: "%02d-%02d-%04d %02d:%02d:%02d", day first.
std::string FormatResetTime(int64_t time);
// A month page's start and end date, local: "%d %m %Y".
std::string FormatMonthDate(int64_t time);
// Month download, upload, total and the running session's total: "%.0lf".
std::string FormatMonthBytes(double bytes);
// A limit and half of it on a bar: "%.1lf".
std::string FormatLimit(double limitMb);

} // namespace kvtraffic
