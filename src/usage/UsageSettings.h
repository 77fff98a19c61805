// The data plan the user sets: the billing cycle's day, the quota and its
// warnings, and whether reaching the quota hangs up. Kept in our own
// settings file (korvianet.ini), never in the two files of the dialer.
// Readers never fail: a missing or broken value reads as its default.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kvusage {

enum class QuotaKind { Off, Download, Upload, Both };

inline constexpr double kQuotaMbMin = 1;
inline constexpr double kQuotaMbMax = 16 * 1048576.0; // 16 TB
inline constexpr int kWarnPercentMax = 1000;

struct UsageSettings {
    int cycleDay = 1;
    QuotaKind kind = QuotaKind::Off;
    double quotaMb = 0;
    std::vector<int> warnPercents{80, 100}; // ascending, no repeats
    bool hangUp = false;
    bool QuotaOn() const { return kind != QuotaKind::Off && quotaMb >= kQuotaMbMin; }
};

// "off", "download", "upload", "both".
const char* QuotaKindName(QuotaKind kind);
bool ParseQuotaKind(std::string_view text, QuotaKind& kind);
// A whole number of MB from 1 to 16777216.
bool ParseQuotaMb(std::string_view text, double& mb, std::string* why = nullptr);
// "80,100": one to eight percentages from 1 to 1000, separated by commas
// (blanks allowed); returned ascending without repeats.
bool ParseWarnPercents(std::string_view text, std::vector<int>& out, std::string* why = nullptr);
std::string WarnPercentsText(const std::vector<int>& percents);

UsageSettings ReadUsageSettings();
// Writes every value; false when the settings file cannot be written.
bool WriteUsageSettings(const UsageSettings& s);

// One setting by the name the command line uses ("cycle-day", "quota-kind",
// "quota-mb", "quota-warn", "quota-hangup"): checked, then written. False
// with why set for an unknown name or a value that is refused.
bool SetUsageSetting(std::string_view name, std::string_view value, std::string* why = nullptr);
// The names SetUsageSetting knows, in display order.
const std::vector<std::string>& UsageSettingNames();
// A setting's current value as text ("" for an unknown name).
std::string UsageSettingText(const UsageSettings& s, std::string_view name);

} // namespace kvusage
