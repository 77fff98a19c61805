// Small file helpers shared by the settings store and the registry tree:
// whole-file reads, owner-only folders, and the atomic replace every write
// of a settings file goes through.
#pragma once

#include "platform/OwnerFiles.h"

#include <string>

namespace kv {

// Reads a whole regular file into out. False when it cannot be opened or read
// (out is then left empty).
bool ReadWholeFile(const std::string& path, std::string& out);

// As ReadWholeFile, for a file that must be ours in a folder of ours (see
// OpenOwnedFile): a missing file is false with errno ENOENT; one that is
// refused is false with errno EPERM or ELOOP and why saying so.
bool ReadOwnedFile(const std::string& path, std::string& out, std::string* why = nullptr);

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
