#include "version/Version.h"

#include "VersionNumber.h"

namespace kv {

const char* ProgramVersion() { return KORVIANET_VERSION; }

} // namespace kv
