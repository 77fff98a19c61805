#include "platform/RuntimeDir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace kv {

bool EnsurePrivateDir(const std::string& dir)
{
    if (dir.empty())
        return false;
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return false;
    // Ours but opened up (an old umask, a user's chmod): close it again.
    if ((st.st_mode & 077) != 0 && ::chmod(dir.c_str(), 0700) != 0)
        return false;
    return true;
}

std::string PrivateRuntimeDir()
{
    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    const std::string dir = xdg && *xdg ? std::string(xdg) + "/korvianet"
                                        : "/tmp/korvianet-" + std::to_string(::getuid());
    return EnsurePrivateDir(dir) ? dir : std::string();
}

} // namespace kv
