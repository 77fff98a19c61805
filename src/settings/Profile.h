// Private-profile (INI) files, read and written key by key. There is no
// settings object: the file is the shared state, every read goes to the file
// and every write replaces it atomically. Section and key names compare
// case-insensitively; the first match wins; a miss yields the default.
//
// A bare file name ("teal_dialer.ini") lives in the settings folder; a name
// with a '/' is used as it is. Only files of the user's own, in folders of
// the user's own, are read or written: another user's file reads as missing
// and is never written (a symbolic link is followed only if the user made it).
#pragma once

#include "log/NumberParse.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace kv {

// The settings folder: $KORVIANET_CONFIG_DIR, else $XDG_CONFIG_HOME/korvianet,
// else ~/.config/korvianet (the home folder from $HOME, else the password
// database); "" when there is no home folder either. Not created by this call.
std::string SettingsDir();
// Creates the settings folder (0700) if it is missing, and narrows it to
// owner-only if it is wider. False, with why, when there is none or it is
// not a folder of the user's own (another user's folder is never used).
bool EnsureSettingsDir(std::string* why = nullptr);
// What a program checks before it starts: false, with why, when there is no
// settings folder at all or it belongs to another user (see
// NotAnotherUsersDir); true otherwise.
bool SettingsDirUsable(std::string* why = nullptr);
// Full path of a profile file given by bare name ("" without a settings
// folder).
std::string ProfilePath(const std::string& file);

// String read into a buffer of bufSize characters: at most bufSize-1 are
// returned (bufSize 0 returns ""). The default applies when the file, the
// section or the key is missing.
std::string GetProfileString(const std::string& section, const std::string& key,
                             const std::string& def, size_t bufSize, const std::string& file);

// Integer read: the value's decimal digits up to the first non-digit (an
// optional leading '-' is honoured, values beyond the int range saturate);
// the default when the file or key is missing or the value is empty.
int GetProfileInt(const std::string& section, const std::string& key, int def,
                  const std::string& file);

// Writes one key, keeping every other line of the file as it was. The value's
// line breaks and NULs are dropped. A section name holding ']' or a key
// holding '=' (or either empty, or with blanks at its ends) is refused. The
// file is replaced atomically and made owner-only (0600); on failure, also
// when the existing file cannot be read, the old file stays intact and false
// is returned.
bool WriteProfileString(const std::string& section, const std::string& key,
                        const std::string& value, const std::string& file);
// Removes one key (true also when it was not there).
bool DeleteProfileKey(const std::string& section, const std::string& key, const std::string& file);

// The same rules over text in memory (what the file functions use).
// LookUpProfileText: the first value of key in any section of that name.
bool LookUpProfileText(std::string_view text, std::string_view section, std::string_view key,
                       std::string& value);
// ChangeProfileText: text with one key set (value non-null) or removed,
// every other byte kept; false when nothing changes (removing a missing key).
// The names must be valid as WriteProfileString requires.
bool ChangeProfileText(const std::string& text, const std::string& section, const std::string& key,
                       const std::string* value, std::string& out);

// The integer read of a value (digits up to the first non-digit) is
// DecimalPrefix, in log/NumberParse.h.

} // namespace kv
