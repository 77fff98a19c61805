// Database file location.
#include "data/DbPath.h"

#include "data/DataConstants.h"

#include <climits>
#include <cstdlib>
#include <unistd.h>

namespace kv {

std::string ExecutableDir()
{
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    if (n <= 0)
        return ".";
    std::string path(buf, static_cast<size_t>(n));
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string DatabasePath()
{
    if (const char* env = std::getenv(kDbPathEnv); env && *env)
        return env;
    std::string dir = ExecutableDir();
    return dir == "/" ? dir + kDbFileName : dir + "/" + kDbFileName;
}

} // namespace kv
