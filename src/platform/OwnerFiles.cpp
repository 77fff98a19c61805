// Owner checks of the program's folders and files.
#include "platform/OwnerFiles.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kv {

namespace {

bool Fail(std::string* why, const std::string& text)
{
    if (why)
        *why = text;
    return false;
}

std::string OwnerText(uid_t uid) { return "belongs to another user (uid " + std::to_string(uid) + ")"; }

} // namespace

std::string UserHomeDir()
{
    if (const char* h = std::getenv("HOME"); h && *h == '/')
        return h;
    // No usable $HOME: ask the password database rather than fall back to a
    // folder every user shares, where anyone could prepare our settings.
    std::vector<char> buf(16384);
    passwd pw {};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir
        && found->pw_dir[0] == '/')
        return found->pw_dir;
    return {};
}

std::string FolderOfPath(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool CheckOwnerDir(const std::string& path, std::string* why, bool narrow)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return Fail(why, "the folder " + path + " cannot be used: " + std::strerror(errno));
    if (!S_ISDIR(st.st_mode))
        return Fail(why, path + " is not a folder");
    if (st.st_uid != ::geteuid()) {
        errno = EPERM;
        return Fail(why, "the folder " + path + " " + OwnerText(st.st_uid) + "; refusing to use it");
    }
    if ((st.st_mode & 077) != 0) {
        // Ours but open to others: narrowed where we may decide that (an
        // older run or the user made it wider); refused where others may
        // have put something in it meanwhile.
        if (!narrow || ::chmod(path.c_str(), st.st_mode & 0700) != 0) {
            errno = EPERM;
            return Fail(why, "the folder " + path + " is open to other users; refusing to use it");
        }
    }
    return true;
}

bool NotAnotherUsersDir(const std::string& path, std::string* why)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return true;
    return CheckOwnerDir(path, why, true);
}

bool MakeOwnerDirs(const std::string& path, std::string* why)
{
    if (path.empty())
        return Fail(why, "no folder name");
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        for (size_t pos = 1; pos <= path.size(); ++pos) {
            if (pos == path.size() || path[pos] == '/') {
                const std::string part = path.substr(0, pos);
                if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
                    return Fail(why, "cannot create the folder " + part + ": " + std::strerror(errno));
            }
        }
    }
    return CheckOwnerDir(path, why, true);
}

int OpenOwnedFile(const std::string& path, int flags, mode_t mode, std::string* why)
{
    const std::string folder = FolderOfPath(path);
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0 && st.st_uid != ::geteuid()) {
        Fail(why, "the folder " + folder + " " + OwnerText(st.st_uid) + "; refusing to use " + path);
        errno = EPERM;
        return -1;
    }
    const int fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) {
        const int err = errno;
        Fail(why, err == ELOOP ? path + " is a symbolic link; refusing to follow it"
                               : path + ": " + std::strerror(err));
        errno = err;
        return -1;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        const bool regular = S_ISREG(st.st_mode);
        const uid_t owner = st.st_uid;
        ::close(fd);
        Fail(why, !regular ? path + " is not a regular file" : path + " " + OwnerText(owner) + "; refusing to use it");
        errno = EPERM;
        return -1;
    }
    return fd;
}

} // namespace kv
