#include "settings/Autorun.h"

#include "settings/FileUtil.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace kv {

namespace {
constexpr const char* kEntryName = "ZEMU.desktop";

std::string AutostartDir()
{
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x == '/')
        return std::string(x) + "/autostart";
    // Never a folder every user shares: an autostart entry there would be
    // someone else's to write.
    const std::string home = UserHomeDir();
    return home.empty() ? std::string() : home + "/.config/autostart";
}

// Quoting of an Exec argument: inside double quotes '"', '`', '$' and '\'
// take a backslash, and the key-file layer below unescapes backslashes once
// more, so each such backslash is written twice. '%' is doubled because Exec
// expands field codes.
std::string QuoteExec(const std::string& arg)
{
    std::string out = "\"";
    for (char c : arg) {
        if (c == '\\')
            out += "\\\\\\";
        else if (c == '"' || c == '`' || c == '$')
            out += "\\\\";
        else if (c == '%')
            out += '%';
        out += c;
    }
    out += '"';
    return out;
}
} // namespace

std::string AutorunEntryPath()
{
    const std::string dir = AutostartDir();
    return dir.empty() ? std::string() : dir + "/" + kEntryName;
}

std::string RunningExecutablePath()
{
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return "";
    return std::string(buf, size_t(n));
}

std::string AutorunEntryText(const std::string& exe)
{
    std::string clean;
    for (char c : exe)
        if (c != '\n' && c != '\r')
            clean += c;
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Korvianet\n"
           "Comment=Connection manager for the USB modem\n"
           "Exec=" + QuoteExec(clean) + "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool SetAutorun()
{
    std::string exe = RunningExecutablePath();
    if (exe.empty())
        return false;
    std::string dir = AutostartDir();
    if (dir.empty())
        return false;
    // The autostart folder is shared with other programs: create it if it is
    // missing, but leave an existing one as it is.
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0) {
        for (size_t pos = 1; pos <= dir.size(); ++pos)
            if (pos == dir.size() || dir[pos] == '/')
                ::mkdir(dir.substr(0, pos).c_str(), 0700);
    }
    return ReplaceFileAtomically(AutorunEntryPath(), AutorunEntryText(exe));
}

bool ClearAutorun()
{
    const std::string path = AutorunEntryPath();
    return path.empty() || ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

bool IsAutorunSet()
{
    struct stat st {};
    const std::string path = AutorunEntryPath();
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

} // namespace kv
