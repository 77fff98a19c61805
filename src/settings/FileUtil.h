// Small file helpers shared by the settings store and the registry tree:
// whole-file reads, owner-only folders, and the atomic replace every write
// of a settings file goes through.
#pragma once

#include <string>

namespace kv {

// Reads a whole regular file into out. False when it cannot be opened or read
// (out is then left empty).
bool ReadWholeFile(const std::string& path, std::string& out);

// Creates path and any missing parents. The last folder is created 0700 and,
// if it already exists with group or other access, narrowed to 0700; parents
// that must be created are 0700 too. True when path is a folder afterwards.
bool MakeOwnerDirs(const std::string& path);

// Replaces path by text: writes a temporary file in the same folder (0600),
// fsyncs it, renames it over path and fsyncs the folder. On any failure the
// temporary file is removed, path keeps its old contents and false is
// returned. The temporary file is unnamed while it is written where the
// file system allows it (so a killed writer leaves nothing), else it is
// "<path>.tmpXXXXXX"; either way the writer holds it locked until the
// rename, and first removes what killed writers left (below).
bool ReplaceFileAtomically(const std::string& path, const std::string& text);

// Removes the "<path>.tmpXXXXXX" files of path that no live writer holds.
void RemoveStaleTemporaries(const std::string& path);

} // namespace kv
