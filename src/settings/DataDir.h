// The user data folder: where the program keeps what it writes besides the
// settings, that is the user's own database and the traffic files. It is
// $KORVIANET_DATA_DIR, else $XDG_DATA_HOME/korvianet, else
// ~/.local/share/korvianet, and it is private to its owner (0700). A relative
// "Curdir" prefix of the traffic files is taken inside it, so data never
// lands in whatever folder the program was started from, nor next to an
// executable the user may not write.
#pragma once

#include <string>
#include <vector>

namespace kv {

inline constexpr const char* kDataDirEnv = "KORVIANET_DATA_DIR";
// The system's folder of the program's read-only files (the database
// template, the ringtone).
inline constexpr const char* kSharedDataDir = "/usr/share/korvianet";

// The folder's path; "" when neither the variables nor a home folder (from
// $HOME or the password database) give one. Not created by this call.
std::string UserDataDir();

// Creates the folder (0700) if it is missing, narrows it to owner-only if it
// is wider, and refuses one that is not a folder or belongs to another user,
// so that two users never share one. On failure, why says what went wrong.
bool EnsureUserDataDir(std::string* why = nullptr);
// What a program checks before it starts: false, with why, when the data
// folder belongs to another user (see NotAnotherUsersDir); true otherwise.
bool UserDataDirUsable(std::string* why = nullptr);

// The path of a data file given by a folder prefix and a file name. The
// prefix is joined to the name as it is (it must end with '/' to name a
// folder); a relative prefix, the empty one included, is taken inside the
// user data folder.
std::string DataFilePath(const std::string& prefix, const std::string& file);

// Where a read-only file shipped with the program is looked for, in order.
// An installed program (its folder is <prefix>/bin and <prefix>/share/korvianet
// exists) looks in that data folder, then in /usr/share/korvianet; one in a
// build folder looks next to the executable, then in /usr/share/korvianet.
std::vector<std::string> SharedFileCandidatesFor(const std::string& exeDir, const std::string& file);

} // namespace kv
