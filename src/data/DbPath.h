// Where the database file lives. The build supplies a template "WVL.MDB"
// (next to the executables in the build folder, in /usr/share/korvianet when
// installed) that the program never writes. The program works on the user's
// own copy in the user data folder, copied from the template on first start
// and never replaced after; $KORVIANET_DB names one database file directly
// (tests, scripts), and then nothing is copied.
#pragma once

#include <string>
#include <vector>

namespace kv {

// Folder of the running executable (from /proc/self/exe), without the
// trailing slash; "." when it cannot be read.
std::string ExecutableDir();

// Where the template is looked for, in order. An installed program (its
// folder is <prefix>/bin and <prefix>/share/korvianet exists) looks in that
// data folder, then in /usr/share/korvianet; one in a build folder looks next
// to the executable, then in /usr/share/korvianet.
std::vector<std::string> TemplateDatabaseCandidatesFor(const std::string& exeDir);
std::vector<std::string> TemplateDatabaseCandidates();

// Full path of the database file the program opens: $KORVIANET_DB, else the
// user's copy in the user data folder.
std::string DatabasePath();

enum class DbSetup {
    Ready,      // the file is there (an existing copy is never touched)
    Copied,     // the user's copy was made from the template just now
    NoTemplate, // no copy yet, and no readable template was found
    NoDataDir,  // the user data folder cannot be made or is not private
    CopyFailed, // the copy could not be written (nothing is left behind)
};

struct DbSetupResult {
    DbSetup code = DbSetup::Ready;
    std::string path;    // the database file the program should open
    std::string message; // what went wrong, for the user; "" when all is well
    bool Ok() const { return code == DbSetup::Ready || code == DbSetup::Copied; }
};

// Makes sure dest exists: when nothing is there, copies the first readable
// template to a temporary file in dest's folder, syncs it and moves it into
// place without replacing a file another process may have put there
// meanwhile. The copy is owner-only (0600).
DbSetupResult InstallDatabaseCopy(const std::string& dest, const std::vector<std::string>& templates);

// What the program calls at start: with $KORVIANET_DB set, only reports that
// path; otherwise prepares the user data folder and installs the copy.
DbSetupResult PrepareUserDatabase();

} // namespace kv
