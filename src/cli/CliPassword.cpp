// Reading a password from a file or from standard input.
#include "cli/CliPassword.h"

#include "platform/Event.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace kvcli {

namespace {

// A password is one short line; more than this is not a password file.
constexpr size_t kMaxPassword = 4096;

void CutLineEnd(std::string& text)
{
    const size_t nl = text.find('\n');
    if (nl != std::string::npos)
        text.resize(nl);
    if (!text.empty() && text.back() == '\r')
        text.pop_back();
}

// Restores the terminal's echo however the read ends.
class EchoOff {
public:
    explicit EchoOff(int fd) : m_fd(fd)
    {
        if (::tcgetattr(fd, &m_saved) == 0) {
            termios quiet = m_saved;
            quiet.c_lflag &= tcflag_t(~(ECHO | ECHONL));
            quiet.c_lflag |= ICANON;
            m_on = ::tcsetattr(fd, TCSAFLUSH, &quiet) == 0;
        }
    }
    ~EchoOff()
    {
        if (m_on)
            ::tcsetattr(m_fd, TCSAFLUSH, &m_saved);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    int m_fd;
    termios m_saved {};
    bool m_on = false;
};

} // namespace

bool ReadPasswordFile(const std::string& path, std::string& out, std::string& why)
{
    out.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        why = "cannot open the password file " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    bool ok = false;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        why = "the password file " + path + " is not a regular file";
    else if (st.st_uid != ::geteuid())
        why = "the password file " + path + " belongs to another user";
    else if ((st.st_mode & 077) != 0)
        why = "the password file " + path + " can be read by other users: make it owner-only (chmod 600)";
    else
        ok = true;
    char buf[kMaxPassword + 1];
    size_t got = 0;
    while (ok && got < sizeof buf) {
        const ssize_t n = ::read(fd, buf + got, sizeof buf - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            why = "cannot read the password file " + path + ": " + std::strerror(errno);
            ok = false;
        }
        if (n <= 0)
            break;
        got += size_t(n);
    }
    ::close(fd);
    if (!ok)
        return false;
    out.assign(buf, got);
    CutLineEnd(out);
    if (out.size() > kMaxPassword) {
        out.clear();
        why = "the password file " + path + " holds no password line";
        return false;
    }
    return true;
}

bool ReadPasswordInput(std::string& out, std::string& why, int timeoutMs)
{
    out.clear();
    const bool terminal = ::isatty(STDIN_FILENO) == 1;
    if (terminal) {
        std::fputs("Password: ", stderr);
        std::fflush(stderr);
    }
    std::optional<EchoOff> quiet;
    if (terminal)
        quiet.emplace(STDIN_FILENO);
    const int64_t end = kv::TickMs() + timeoutMs;
    bool done = false, ok = false;
    while (!done) {
        const int64_t left = end - kv::TickMs();
        if (left <= 0) {
            why = "no password came on standard input in time";
            break;
        }
        pollfd p{STDIN_FILENO, POLLIN, 0};
        const int r = ::poll(&p, 1, int(left));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0) {
            why = std::string("cannot read standard input: ") + std::strerror(errno);
            break;
        }
        if (r == 0)
            continue;
        char c = 0;
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            why = std::string("cannot read standard input: ") + std::strerror(errno);
            break;
        }
        if (n == 0 || c == '\n') {
            // The end of input after some text still gives that text.
            ok = n == 1 || !out.empty();
            if (!ok)
                why = "no password on standard input";
            done = true;
        } else if (out.size() >= kMaxPassword) {
            why = "the password on standard input is too long";
            break;
        } else {
            out += c;
        }
    }
    quiet.reset();
    if (terminal)
        std::fputs("\n", stderr);
    if (!ok) {
        out.clear();
        return false;
    }
    CutLineEnd(out);
    return true;
}

} // namespace kvcli
