// Starting the program when the user logs in: an XDG autostart entry
// "ZEMU.desktop" in $XDG_CONFIG_HOME/autostart (else ~/.config/autostart)
// whose Exec line runs the executable of the calling process.
#pragma once

#include <string>

namespace kv {

// The entry's full path.
std::string AutorunEntryPath();
// The running executable's full path ("" if it cannot be found).
std::string RunningExecutablePath();
// The entry's text for an executable (Exec quoted as desktop entries need).
std::string AutorunEntryText(const std::string& exe);

// Creates or replaces the entry (atomically, 0600). False on failure.
bool SetAutorun();
// Removes the entry; a missing entry is not an error. False only when an
// existing entry could not be removed.
bool ClearAutorun();
// Whether the entry exists.
bool IsAutorunSet();

} // namespace kv
