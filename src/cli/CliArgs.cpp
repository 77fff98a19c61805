#include "cli/CliArgs.h"

#include "cli/CliCommand.h"
#include "cli/CliOutput.h"
#include "log/NumberParse.h"

namespace kvcli {

std::optional<long long> ParseNumber(std::string_view text, long long min, long long max)
{
    // Digits only: a sign is not part of an argument's number.
    if (!text.empty() && text[0] == '-')
        return std::nullopt;
    return kv::DecimalInRange<long long>(text, min, max);
}

std::optional<long long> NumberArg(const std::string& name, const std::string& text, long long min,
                                   long long max)
{
    auto v = ParseNumber(text, min, max);
    if (!v)
        UsageError(name + ": '" + Shown(text) + "' is not a whole number from " + std::to_string(min) + " to "
                   + std::to_string(max));
    return v;
}

} // namespace kvcli
