#include "settings/FileUtil.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kv {

namespace {

// Reads what is left of fd into out and closes it.
bool ReadAllAndClose(int fd, std::string& out)
{
    char buf[8192];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int err = errno;
            ::close(fd);
            out.clear();
            errno = err;
            return false;
        }
        if (n == 0)
            break;
        out.append(buf, size_t(n));
    }
    ::close(fd);
    return true;
}

} // namespace

bool ReadOwnedFile(const std::string& path, std::string& out, std::string* why)
{
    out.clear();
    const int fd = OpenOwnedFile(path, O_RDONLY | O_NONBLOCK, 0, why);
    return fd >= 0 && ReadAllAndClose(fd, out);
}

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
    return ReadAllAndClose(fd, out);
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

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

void SyncFolderOf(const std::string& path)
{
    int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

constexpr const char* kTempMark = ".tmp";
constexpr size_t kTempSuffix = 6; // the XXXXXX of "<name>.tmpXXXXXX"

// A fresh "<path>.tmpXXXXXX" name.
std::string TempName(const std::string& path)
{
    static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::atomic<uint64_t> counter{0};
    uint64_t v = (uint64_t(::getpid()) << 32) ^ uint64_t(std::chrono::steady_clock::now().time_since_epoch().count())
                 ^ (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
    std::string name = path + kTempMark;
    for (size_t i = 0; i < kTempSuffix; ++i) {
        name += kChars[v % 62];
        v = v / 62 * 2654435761u + 17;
    }
    return name;
}

// Writes text into fd and makes it durable.
bool FillFile(int fd, const std::string& text) { return WriteAll(fd, text) && ::fsync(fd) == 0; }

// An unnamed file in the folder that gets the temporary name only once it
// is complete, so a writer killed while writing leaves nothing behind. -1
// where the file system has no unnamed files (or naming one fails).
int NamedUnnamedFile(const std::string& path, const std::string& text, std::string& name)
{
#ifdef O_TMPFILE
    const int fd = ::open(FolderOf(path).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    // Locked from the start: a named temporary file that is locked belongs
    // to a live writer (see RemoveStaleTemporaries).
    if (::flock(fd, LOCK_EX) != 0 || !FillFile(fd, text)) {
        ::close(fd);
        return -1;
    }
    const std::string proc = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; attempt < 8; ++attempt) {
        name = TempName(path);
        if (::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return fd;
        if (errno != EEXIST)
            break;
    }
    ::close(fd);
#else
    (void)path;
    (void)text;
    (void)name;
#endif
    return -1;
}

// The classic way: a named temporary file from the start. A writer killed
// here leaves it behind; the next write of the same file removes it.
int NamedFile(const std::string& path, const std::string& text, std::string& name)
{
    std::string tmpl = path + kTempMark + std::string(kTempSuffix, 'X');
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    const int fd = ::mkstemp(buf.data()); // created 0600
    if (fd < 0)
        return -1;
    name = buf.data();
    ::fchmod(fd, 0600);
    if (::flock(fd, LOCK_EX) != 0 || !FillFile(fd, text)) {
        ::unlink(name.c_str());
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

void RemoveStaleTemporaries(const std::string& path)
{
    const std::string folder = FolderOf(path);
    const size_t slash = path.rfind('/');
    const std::string prefix = (slash == std::string::npos ? path : path.substr(slash + 1)) + kTempMark;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent* e = ::readdir(dir)) {
        const std::string entry = e->d_name;
        if (entry.size() != prefix.size() + kTempSuffix || entry.compare(0, prefix.size(), prefix) != 0)
            continue;
        const std::string full = folder + "/" + entry;
        const int fd = ::open(full.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st {}, now {};
        // A writer holds its temporary file locked until it is renamed: one
        // that can be locked was left by a writer that died.
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid()
            && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::lstat(full.c_str(), &now) == 0
            && now.st_ino == st.st_ino && now.st_dev == st.st_dev)
            ::unlink(full.c_str());
        ::close(fd);
    }
    ::closedir(dir);
}

bool ReplaceFileAtomically(const std::string& path, const std::string& text)
{
    RemoveStaleTemporaries(path);
    // Two tries: a concurrent clean-up can take a classic temporary file in
    // the moment before its writer locks it.
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::string name;
        int fd = NamedUnnamedFile(path, text, name);
        if (fd < 0)
            fd = NamedFile(path, text, name);
        if (fd < 0)
            return false;
        const bool renamed = std::rename(name.c_str(), path.c_str()) == 0;
        const int err = errno;
        if (!renamed)
            ::unlink(name.c_str());
        const bool closed = ::close(fd) == 0;
        if (renamed && closed) {
            SyncFolderOf(path);
            return true;
        }
        if (renamed || err != ENOENT)
            return false;
    }
    return false;
}

} // namespace kv
