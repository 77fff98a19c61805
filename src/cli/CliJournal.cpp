#include "cli/CliJournal.h"

#include "log/DebugLog.h"
#include "traffic/SessionJournal.h"

#include <cstdio>

namespace kvcli {

void FoldSessionJournals()
{
    for (const std::string& line : kvtraffic::FoldEndedSessionJournals().lines) {
        DEBUG_LOG(LEVEL_ST, "%s", line.c_str());
        std::fprintf(stderr, "korvianet-cli: %s\n", line.c_str());
    }
}

} // namespace kvcli
