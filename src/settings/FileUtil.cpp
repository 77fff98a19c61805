#include "settings/FileUtil.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kv {

bool ReadWholeFile(const std::string& path, std::string& out)
{
    out.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    char buf[8192];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            out.clear();
            return false;
        }
        if (n == 0)
            break;
        out.append(buf, size_t(n));
    }
    ::close(fd);
    return true;
}

bool MakeOwnerDirs(const std::string& path)
{
    if (path.empty())
        return false;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode))
            return false;
        // The folder holds the card PIN and the dial-up password: keep it
        // private even if an older run or the user made it wider.
        if ((st.st_mode & 077) != 0 && st.st_uid == ::geteuid())
            ::chmod(path.c_str(), st.st_mode & 0700);
        return true;
    }
    for (size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos == path.size() || path[pos] == '/') {
            std::string part = path.substr(0, pos);
            if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
                return false;
        }
    }
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

namespace {

bool WriteAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

void SyncFolderOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

bool ReplaceFileAtomically(const std::string& path, const std::string& text)
{
    std::string tmpl = path + ".tmpXXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data()); // created 0600
    if (fd < 0)
        return false;
    ::fchmod(fd, 0600);
    bool ok = WriteAll(fd, text) && ::fsync(fd) == 0;
    if (::close(fd) != 0)
        ok = false;
    if (ok && std::rename(name.data(), path.c_str()) != 0)
        ok = false;
    if (!ok) {
        ::unlink(name.data());
        return false;
    }
    SyncFolderOf(path);
    return true;
}

} // namespace kv
