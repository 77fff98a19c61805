// The data plan's settings: see UsageSettings.h.
#include "usage/UsageSettings.h"

#include "settings/Profile.h"
#include "settings/SettingsKeys.h"
#include "usage/BillingCycle.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kvusage {

namespace {

std::string_view Trim(std::string_view t)
{
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t'))
        t.remove_prefix(1);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t' || t.back() == '\r' || t.back() == '\n'))
        t.remove_suffix(1);
    return t;
}

// A whole decimal number without sign, at most 9 digits.
bool ParseWhole(std::string_view t, long long& v)
{
    t = Trim(t);
    if (t.empty() || t.size() > 9)
        return false;
    v = 0;
    for (char c : t) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    return true;
}

} // namespace

const char* QuotaKindName(QuotaKind kind)
{
    switch (kind) {
    case QuotaKind::Download: return "download";
    case QuotaKind::Upload: return "upload";
    case QuotaKind::Both: return "both";
    case QuotaKind::Off: break;
    }
    return "off";
}

bool ParseQuotaKind(std::string_view text, QuotaKind& kind)
{
    text = Trim(text);
    for (QuotaKind k : {QuotaKind::Off, QuotaKind::Download, QuotaKind::Upload, QuotaKind::Both})
        if (text == QuotaKindName(k)) {
            kind = k;
            return true;
        }
    return false;
}

bool ParseQuotaMb(std::string_view text, double& mb, std::string* why)
{
    long long v = 0;
    if (!ParseWhole(text, v) || double(v) < kQuotaMbMin || double(v) > kQuotaMbMax) {
        if (why)
            *why = "The quota must be a whole number of MB from 1 to 16777216.";
        return false;
    }
    mb = double(v);
    return true;
}

bool ParseWarnPercents(std::string_view text, std::vector<int>& out, std::string* why)
{
    std::vector<int> got;
    auto fail = [&] {
        if (why)
            *why = "The warnings must be one to eight percentages from 1 to 1000, separated by commas, e.g. 80,100.";
        return false;
    };
    text = Trim(text);
    if (text.empty())
        return fail();
    while (true) {
        const size_t comma = text.find(',');
        long long v = 0;
        if (!ParseWhole(text.substr(0, comma), v) || v < 1 || v > kWarnPercentMax)
            return fail();
        got.push_back(int(v));
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
    }
    std::sort(got.begin(), got.end());
    got.erase(std::unique(got.begin(), got.end()), got.end());
    if (got.size() > 8)
        return fail();
    out = got;
    return true;
}

std::string WarnPercentsText(const std::vector<int>& percents)
{
    std::string s;
    for (int p : percents) {
        if (!s.empty())
            s += ',';
        s += std::to_string(p);
    }
    return s;
}

UsageSettings ReadUsageSettings()
{
    UsageSettings s;
    s.cycleDay = SaneCycleDay(kv::GetProfileInt(kv::kSecCycleDay, kv::kKeyNum, kCycleDayDefault, kv::kIniOurs));
    QuotaKind kind = QuotaKind::Off;
    if (ParseQuotaKind(kv::GetProfileString(kv::kSecQuotaKind, kv::kKeyText, "off", kv::kBufText, kv::kIniOurs), kind))
        s.kind = kind;
    const int mb = kv::GetProfileInt(kv::kSecQuotaMb, kv::kKeyNum, 0, kv::kIniOurs);
    s.quotaMb = mb >= kQuotaMbMin && mb <= kQuotaMbMax ? double(mb) : 0;
    std::vector<int> warn;
    if (ParseWarnPercents(kv::GetProfileString(kv::kSecQuotaWarn, kv::kKeyText, "80,100", kv::kBufText, kv::kIniOurs),
                          warn))
        s.warnPercents = warn;
    s.hangUp = kv::GetProfileInt(kv::kSecQuotaHangUp, kv::kKeyNum, 0, kv::kIniOurs) == 1;
    return s;
}

bool WriteUsageSettings(const UsageSettings& s)
{
    char mb[32];
    std::snprintf(mb, sizeof mb, "%.0f", std::floor(s.quotaMb));
    bool ok = kv::WriteProfileString(kv::kSecCycleDay, kv::kKeyNum, std::to_string(SaneCycleDay(s.cycleDay)), kv::kIniOurs);
    ok = kv::WriteProfileString(kv::kSecQuotaKind, kv::kKeyText, QuotaKindName(s.kind), kv::kIniOurs) && ok;
    ok = kv::WriteProfileString(kv::kSecQuotaMb, kv::kKeyNum, mb, kv::kIniOurs) && ok;
    ok = kv::WriteProfileString(kv::kSecQuotaWarn, kv::kKeyText, WarnPercentsText(s.warnPercents), kv::kIniOurs) && ok;
    ok = kv::WriteProfileString(kv::kSecQuotaHangUp, kv::kKeyNum, s.hangUp ? "1" : "0", kv::kIniOurs) && ok;
    return ok;
}

const std::vector<std::string>& UsageSettingNames()
{
    static const std::vector<std::string> names{"cycle-day", "quota-kind", "quota-mb", "quota-warn", "quota-hangup"};
    return names;
}

std::string UsageSettingText(const UsageSettings& s, std::string_view name)
{
    if (name == "cycle-day")
        return std::to_string(s.cycleDay);
    if (name == "quota-kind")
        return QuotaKindName(s.kind);
    if (name == "quota-mb") {
        char mb[32];
        std::snprintf(mb, sizeof mb, "%.0f", s.quotaMb);
        return mb;
    }
    if (name == "quota-warn")
        return WarnPercentsText(s.warnPercents);
    if (name == "quota-hangup")
        return s.hangUp ? "on" : "off";
    return {};
}

bool SetUsageSetting(std::string_view name, std::string_view value, std::string* why)
{
    auto fail = [&](const std::string& msg) {
        if (why)
            *why = msg;
        return false;
    };
    auto write = [&](const char* sec, const char* key, const std::string& v) {
        return kv::WriteProfileString(sec, key, v, kv::kIniOurs) || fail("cannot write the settings file");
    };
    if (name == "cycle-day") {
        int day = 0;
        std::string msg;
        if (!ParseCycleDay(value, day, &msg))
            return fail(msg);
        return write(kv::kSecCycleDay, kv::kKeyNum, std::to_string(day));
    }
    if (name == "quota-kind") {
        QuotaKind k;
        if (!ParseQuotaKind(value, k))
            return fail("The quota applies to one of: off, download, upload, both.");
        return write(kv::kSecQuotaKind, kv::kKeyText, QuotaKindName(k));
    }
    if (name == "quota-mb") {
        double mb = 0;
        std::string msg;
        if (!ParseQuotaMb(value, mb, &msg))
            return fail(msg);
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.0f", mb);
        return write(kv::kSecQuotaMb, kv::kKeyNum, buf);
    }
    if (name == "quota-warn") {
        std::vector<int> p;
        std::string msg;
        if (!ParseWarnPercents(value, p, &msg))
            return fail(msg);
        return write(kv::kSecQuotaWarn, kv::kKeyText, WarnPercentsText(p));
    }
    if (name == "quota-hangup") {
        const std::string_view v = Trim(value);
        if (v == "on" || v == "1")
            return write(kv::kSecQuotaHangUp, kv::kKeyNum, "1");
        if (v == "off" || v == "0")
            return write(kv::kSecQuotaHangUp, kv::kKeyNum, "0");
        return fail("Hang-up at the quota is on or off.");
    }
    return fail("unknown usage setting '" + std::string(name)
                + "' (cycle-day, quota-kind, quota-mb, quota-warn, quota-hangup)");
}

} // namespace kvusage
