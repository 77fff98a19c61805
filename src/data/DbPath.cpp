// Database file location and the first-start copy of the template.
#include "data/DbPath.h"

#include "data/DataConstants.h"
#include "settings/DataDir.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kv {

namespace {

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string Join(const std::string& dir, const char* name)
{
    return dir == "/" ? dir + name : dir + "/" + name;
}

bool CopyFd(int from, int to)
{
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(from, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        for (ssize_t done = 0; done < n;) {
            ssize_t w = ::write(to, buf + done, size_t(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                return false;
            done += w;
        }
    }
}

// Moves tmp to dest only if dest does not exist. EEXIST in errno when it did.
bool MoveIntoPlaceNoReplace(const std::string& tmp, const std::string& dest)
{
    if (::renameat2(AT_FDCWD, tmp.c_str(), AT_FDCWD, dest.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the flag: a hard link never replaces either.
    if (::link(tmp.c_str(), dest.c_str()) != 0)
        return false;
    ::unlink(tmp.c_str());
    return true;
}

DbSetupResult Fail(DbSetup code, const std::string& path, std::string message)
{
    DbSetupResult r;
    r.code = code;
    r.path = path;
    r.message = std::move(message);
    return r;
}

} // namespace

std::string ExecutableDir()
{
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    if (n <= 0)
        return ".";
    return FolderOf(std::string(buf, static_cast<size_t>(n)));
}

std::vector<std::string> TemplateDatabaseCandidatesFor(const std::string& exeDir)
{
    return SharedFileCandidatesFor(exeDir, kDbFileName);
}

std::vector<std::string> TemplateDatabaseCandidates()
{
    return TemplateDatabaseCandidatesFor(ExecutableDir());
}

std::string DatabasePath()
{
    if (const char* env = std::getenv(kDbPathEnv); env && *env)
        return env;
    return Join(UserDataDir(), kDbFileName);
}

DbSetupResult InstallDatabaseCopy(const std::string& dest, const std::vector<std::string>& templates)
{
    struct stat st {};
    if (::lstat(dest.c_str(), &st) == 0) {
        // Whatever is there is the user's: a changed, damaged or unreadable
        // copy is reported when it is opened, never replaced.
        DbSetupResult r;
        r.path = dest;
        return r;
    }
    int from = -1;
    std::string source;
    for (const std::string& t : templates) {
        from = ::open(t.c_str(), O_RDONLY | O_CLOEXEC);
        if (from < 0)
            continue;
        if (::fstat(from, &st) == 0 && S_ISREG(st.st_mode)) {
            source = t;
            break;
        }
        ::close(from);
        from = -1;
    }
    if (from < 0) {
        std::string where;
        for (const std::string& t : templates)
            where += (where.empty() ? "" : ", ") + t;
        return Fail(DbSetup::NoTemplate, dest,
                    std::string("the database template ") + kDbFileName + " was not found (looked for " + where
                        + ")");
    }

    std::string tmp = FolderOf(dest) + "/." + kDbFileName + ".XXXXXX";
    int to = ::mkostemp(tmp.data(), O_CLOEXEC);
    if (to < 0) {
        const std::string why = std::strerror(errno);
        ::close(from);
        return Fail(DbSetup::CopyFailed, dest, "cannot write in " + FolderOf(dest) + ": " + why);
    }
    bool ok = ::fchmod(to, 0600) == 0 && CopyFd(from, to) && ::fsync(to) == 0;
    int err = errno;
    ::close(from);
    if (::close(to) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && !MoveIntoPlaceNoReplace(tmp, dest)) {
        err = errno;
        ::unlink(tmp.c_str());
        if (err == EEXIST) {
            // Another start made the copy first: use that one.
            DbSetupResult r;
            r.path = dest;
            return r;
        }
        ok = false;
    }
    if (!ok) {
        ::unlink(tmp.c_str());
        return Fail(DbSetup::CopyFailed, dest,
                    "cannot copy the database template " + source + " to " + dest + ": " + std::strerror(err));
    }
    // The new name must survive a crash too.
    if (int d = ::open(FolderOf(dest).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); d >= 0) {
        ::fsync(d);
        ::close(d);
    }
    DbSetupResult r;
    r.code = DbSetup::Copied;
    r.path = dest;
    return r;
}

DbSetupResult PrepareUserDatabase()
{
    if (const char* env = std::getenv(kDbPathEnv); env && *env) {
        DbSetupResult r;
        r.path = env;
        return r;
    }
    std::string why;
    if (!EnsureUserDataDir(&why))
        return Fail(DbSetup::NoDataDir, DatabasePath(), why);
    return InstallDatabaseCopy(DatabasePath(), TemplateDatabaseCandidates());
}

} // namespace kv
