#include "cli/CliPort.h"

#include "engine/DmTexts.h"
#include "engine/PortOpenText.h"

#include <cstdio>

namespace kvcli {

void ReportPortNotOpened(int err, const std::string& port)
{
    const std::string advice = kv::PortOpenAdvice(err);
    std::fprintf(stderr, "korvianet-cli: %s\n", kv::dmtext::kPortNotOpened);
    if (!advice.empty())
        std::fprintf(stderr, "korvianet-cli: %s (%s)\n", advice.c_str(), port.c_str());
    else
        std::fprintf(stderr, "korvianet-cli: cannot open the modem's port %s\n", port.c_str());
}

} // namespace kvcli
