// Where the database file lives: next to the executable, or where
// $KORVIANET_DB says (a full file path).
#pragma once

#include <string>

namespace kv {

// Folder of the running executable (from /proc/self/exe), without the
// trailing slash; "." when it cannot be read.
std::string ExecutableDir();
// Full path of the database file.
std::string DatabasePath();

} // namespace kv
