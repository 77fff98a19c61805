// The tool's report of a modem port it could not open.
#pragma once

#include <string>

namespace kvcli {

// Writes "korvianet-cli: ComPort is not opened." on stderr, then why (the
// permission or busy advice) when errno err tells, else the port named.
void ReportPortNotOpened(int err, const std::string& port);

} // namespace kvcli
