// "monitor", which "status --watch" runs as well.
#pragma once

#include "cli/CliCommand.h"

#include <string>
#include <vector>

namespace kvcli {

int RunMonitor(const GlobalOptions& opts, const std::vector<std::string>& args);

} // namespace kvcli
