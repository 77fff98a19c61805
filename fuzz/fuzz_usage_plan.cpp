// Feeds arbitrary bytes to the readers of the data plan a user types (cycle
// day, quota, warning percentages, dates) and checks every accepted value
// lies in its range and reads back the same from its own text.
#include "usage/BillingCycle.h"
#include "usage/UsageSettings.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    int day = -1;
    std::string why;
    if (kvusage::ParseCycleDay(text, day, &why)) {
        if (day < kvusage::kCycleDayMin || day > kvusage::kCycleDayMax)
            std::abort();
        int again = -1;
        if (!kvusage::ParseCycleDay(std::to_string(day), again) || again != day)
            std::abort();
    } else if (why.empty() || day != -1) {
        std::abort();
    }
    std::vector<int> p;
    if (kvusage::ParseWarnPercents(text, p)) {
        if (p.empty() || p.size() > 8)
            std::abort();
        for (size_t i = 0; i < p.size(); ++i)
            if (p[i] < 1 || p[i] > kvusage::kWarnPercentMax || (i && p[i] <= p[i - 1]))
                std::abort();
        std::vector<int> q;
        if (!kvusage::ParseWarnPercents(kvusage::WarnPercentsText(p), q) || q != p)
            std::abort();
    }
    double mb = 0;
    if (kvusage::ParseQuotaMb(text, mb) && (mb < kvusage::kQuotaMbMin || mb > kvusage::kQuotaMbMax))
        std::abort();
    int64_t start = 0;
    if (kvusage::ParseLocalDate(text, start) && kvusage::LocalDateText(start) != text)
        std::abort();
    return 0;
}
