// Folders and files that belong to the user running the program. The
// settings hold the card PIN and the dial-up password, the data folder the
// messages, the runtime folder the marker of a running connect: none of them
// may be a folder or a file that another user made, since that user could
// then read what we write, feed us a modem of theirs, or point a symbolic
// link at one of our own files and have us overwrite it. Every check here
// compares with the effective user id.
#pragma once

#include <string>
#include <sys/types.h>

namespace kv {

// The user's home folder: $HOME when it is an absolute path, else the
// password database's entry of the effective user; "" when neither gives one
// (never a folder that every user shares).
std::string UserHomeDir();

// True when path is a folder owned by the effective user. With narrow, a
// folder of ours that others may enter is narrowed to 0700; without it such a
// folder is refused. On failure why (if given) says what is wrong, naming the
// folder.
bool CheckOwnerDir(const std::string& path, std::string* why = nullptr, bool narrow = true);

// The check a program makes of its folders before it starts: false, with
// why, when path is a folder of another user's (or one of ours that is open
// to others and cannot be narrowed); true otherwise, also when it is missing
// or not a folder (the code that needs it then reports that as it always did).
bool NotAnotherUsersDir(const std::string& path, std::string* why = nullptr);

// Creates path and any missing parents (0700), then checks the last folder
// as CheckOwnerDir does (narrowing it). False, with why, when it cannot be
// made or belongs to someone else.
bool MakeOwnerDirs(const std::string& path, std::string* why = nullptr);

// Opens a file of ours in a folder of ours: the folder holding it must
// belong to the effective user, the file is opened with O_NOFOLLOW (a
// symbolic link in its place is refused, ELOOP) and O_CLOEXEC, and it must be
// a regular file owned by the effective user, else it is closed again and -1
// returned with errno EPERM. flags and mode are those of open(2). why (if
// given) names the file or folder and the reason.
int OpenOwnedFile(const std::string& path, int flags, mode_t mode = 0600, std::string* why = nullptr);

// The folder part of a path ("." for a bare name).
std::string FolderOfPath(const std::string& path);

} // namespace kv
