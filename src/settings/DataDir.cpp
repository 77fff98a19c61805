// The user data folder and the paths of the data files inside it.
#include "settings/DataDir.h"

#include "settings/FileUtil.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kv {

namespace {

std::string HomeDir()
{
    if (const char* h = std::getenv("HOME"); h && *h == '/')
        return h;
    // No usable $HOME: ask the password database rather than fall back to a
    // folder every user shares.
    std::vector<char> buf(16384);
    passwd pw {};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir
        && found->pw_dir[0] == '/')
        return found->pw_dir;
    return {};
}

} // namespace

std::string UserDataDir()
{
    if (const char* d = std::getenv(kDataDirEnv); d && *d)
        return d;
    // A relative $XDG_DATA_HOME is invalid and is ignored.
    if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x == '/')
        return std::string(x) + "/korvianet";
    const std::string home = HomeDir();
    if (home.empty())
        return {};
    return home + "/.local/share/korvianet";
}

bool EnsureUserDataDir(std::string* why)
{
    auto fail = [why](const std::string& text) {
        if (why)
            *why = text;
        return false;
    };
    const std::string dir = UserDataDir();
    if (dir.empty())
        return fail("no user data folder: set $KORVIANET_DATA_DIR or $HOME");
    if (!MakeOwnerDirs(dir))
        return fail("cannot create the data folder " + dir + ": " + std::strerror(errno));
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return fail("the data folder " + dir + " is not a folder");
    if (st.st_uid != ::geteuid())
        return fail("the data folder " + dir + " belongs to another user");
    if ((st.st_mode & 077) != 0)
        return fail("the data folder " + dir + " is open to other users and cannot be narrowed");
    return true;
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
