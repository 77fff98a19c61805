// The user data folder and the paths of the data files inside it.
#include "settings/DataDir.h"

#include "settings/FileUtil.h"
#include "platform/OwnerFiles.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kv {

std::string UserDataDir()
{
    if (const char* d = std::getenv(kDataDirEnv); d && *d)
        return d;
    // A relative $XDG_DATA_HOME is invalid and is ignored.
    if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x == '/')
        return std::string(x) + "/korvianet";
    const std::string home = UserHomeDir();
    if (home.empty())
        return {};
    return home + "/.local/share/korvianet";
}

bool EnsureUserDataDir(std::string* why)
{
    const std::string dir = UserDataDir();
    if (dir.empty()) {
        if (why)
            *why = "no user data folder: set $KORVIANET_DATA_DIR or $HOME";
        return false;
    }
    return MakeOwnerDirs(dir, why);
}

bool UserDataDirUsable(std::string* why)
{
    const std::string dir = UserDataDir();
    return dir.empty() ? EnsureUserDataDir(why) : NotAnotherUsersDir(dir, why);
}

std::string DataFilePath(const std::string& prefix, const std::string& file)
{
    if (!prefix.empty() && prefix[0] == '/')
        return prefix + file;
    return UserDataDir() + "/" + prefix + file;
}

std::vector<std::string> SharedFileCandidatesFor(const std::string& exeDir, const std::string& file)
{
    auto join = [](const std::string& dir, const std::string& name) {
        return dir == "/" ? dir + name : dir + "/" + name;
    };
    // An installed program takes its files from the data folder of its own
    // prefix only: whatever else lies in a bin folder is not ours.
    const size_t slash = exeDir.rfind('/');
    if (slash != std::string::npos && exeDir.compare(slash + 1, std::string::npos, "bin") == 0) {
        const std::string prefix = slash == 0 ? std::string() : exeDir.substr(0, slash);
        const std::string shared = prefix + "/share/korvianet";
        struct stat st {};
        if (::stat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            std::vector<std::string> out{join(shared, file)};
            if (shared != kSharedDataDir)
                out.push_back(join(kSharedDataDir, file));
            return out;
        }
    }
    return {join(exeDir, file), join(kSharedDataDir, file)};
}

} // namespace kv
