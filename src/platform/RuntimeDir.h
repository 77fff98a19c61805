// The program's private runtime folder: $XDG_RUNTIME_DIR/korvianet, or,
// without a runtime folder, /tmp/korvianet-<uid>. Files in it (pid files of
// the processes we start) decide what a later run may signal, so the folder
// must be one no other user can have made or can write: it is created 0700,
// and one that is a symlink, belongs to someone else or lets others in is
// refused rather than used.
#pragma once

#include <string>

namespace kv {

// The folder, created when missing; "" when no safe folder can be had.
std::string PrivateRuntimeDir();

// The same checks for a given folder (tests use their own).
bool EnsurePrivateDir(const std::string& dir);

} // namespace kv
