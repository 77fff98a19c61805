// The private-profile store. A file is read whole for every call and scanned
// in place; a write rebuilds the text with one line changed and replaces the
// file atomically. One process-wide lock orders the calls of all threads; a
// write also holds an flock() on the file's folder so that the command-line
// tool and the program do not lose each other's keys.
#include "settings/Profile.h"

#include "settings/FileUtil.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <string_view>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kv {

namespace {

std::mutex& StoreLock()
{
    static std::mutex m;
    return m;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool SameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// Walks the lines of a text; a final line without "\n" counts too. A CR
// before the LF is not part of the line.
class LineReader {
public:
    explicit LineReader(std::string_view text) : m_text(text) {}
    bool Next(std::string_view& line)
    {
        if (m_pos >= m_text.size())
            return false;
        size_t nl = m_text.find('\n', m_pos);
        if (nl == std::string_view::npos)
            nl = m_text.size();
        line = m_text.substr(m_pos, nl - m_pos);
        m_start = m_pos;
        m_pos = nl + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        return true;
    }
    size_t LineStart() const { return m_start; }                          // of the last line
    size_t NextStart() const { return std::min(m_pos, m_text.size()); }   // after its end

private:
    std::string_view m_text;
    size_t m_pos = 0;
    size_t m_start = 0;
};

// "[name]..." → name (trimmed); false for other lines.
bool SectionName(std::string_view line, std::string_view& name)
{
    std::string_view t = Trim(line);
    if (t.size() < 2 || t.front() != '[')
        return false;
    size_t close = t.find(']');
    if (close == std::string_view::npos)
        return false;
    name = Trim(t.substr(1, close - 1));
    return true;
}

// "key=value" → key, value (both trimmed, matching quotes around the value
// removed); false for lines without '='.
bool KeyValue(std::string_view line, std::string_view& key, std::string_view& value)
{
    size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        return false;
    key = Trim(line.substr(0, eq));
    value = Trim(line.substr(eq + 1));
    if (value.size() >= 2 && ((value.front() == '"' && value.back() == '"') ||
                              (value.front() == '\'' && value.back() == '\'')))
        value = value.substr(1, value.size() - 2);
    return true;
}

// The first value of key in any section of that name, in file order.
bool LookUp(std::string_view text, std::string_view section, std::string_view key,
            std::string& value)
{
    LineReader lines(text);
    std::string_view line, name, k, v;
    bool inSection = false;
    while (lines.Next(line)) {
        if (SectionName(line, name)) {
            inSection = SameName(name, section);
            continue;
        }
        if (inSection && KeyValue(line, k, v) && SameName(k, key)) {
            // A C string ends at its first NUL: so does a value.
            value.assign(v.data(), std::min(v.size(), v.find('\0')));
            return true;
        }
    }
    return false;
}

enum class ReadResult { Ok, Missing, Failed };

// A settings file the user made a symbolic link (to keep it with other
// dotfiles) is kept a link: the file it names is read and replaced. Only a
// link of the user's own is followed; one that someone else made stays in
// place, and opening it is refused.
std::string FileTarget(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && st.st_uid == ::geteuid()) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            std::string r = real;
            std::free(real);
            return r;
        }
    }
    return path;
}

// Reads a settings file that must be ours (see OpenOwnedFile).
ReadResult ReadProfile(const std::string& path, std::string& text)
{
    if (path.empty())
        return ReadResult::Failed; // no settings folder at all
    if (ReadOwnedFile(FileTarget(path), text))
        return ReadResult::Ok;
    return errno == ENOENT ? ReadResult::Missing
                           : ReadResult::Failed; // there but refused or unreadable: never overwrite it
}

bool FolderIsOurs(const std::string& folder)
{
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
}

// An flock() on a folder, held for one read-modify-write.
class FolderLock {
public:
    explicit FolderLock(const std::string& folder)
        : m_fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (m_fd >= 0)
            while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
            }
    }
    ~FolderLock()
    {
        if (m_fd >= 0)
            ::close(m_fd); // releases the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int m_fd;
};

bool ValidName(std::string_view name, bool isSection)
{
    if (Trim(name).empty() || Trim(name).size() != name.size())
        return false;
    for (char c : name)
        if (c == '\n' || c == '\r' || c == '\0' || (isSection ? c == ']' : c == '='))
            return false;
    return true;
}

// Sets (value non-null) or removes one key of a file, under both locks.
bool ModifyKey(const std::string& section, const std::string& key, const std::string* value,
               const std::string& file)
{
    if (!ValidName(section, true) || !ValidName(key, false))
        return false;
    std::lock_guard<std::mutex> lock(StoreLock());
    if (file.find('/') == std::string::npos && !EnsureSettingsDir())
        return false;
    const std::string path = FileTarget(ProfilePath(file));
    // The new file is renamed into the folder: a folder someone else owns
    // could hand what we write to them.
    if (!FolderIsOurs(FolderOfPath(path)))
        return false;
    FolderLock folderLock(FolderOfPath(path));
    std::string text, out;
    if (ReadProfile(path, text) == ReadResult::Failed)
        return false;
    if (!ChangeProfileText(text, section, key, value, out))
        return true; // nothing to change
    return ReplaceFileAtomically(path, out);
}

} // namespace

std::string SettingsDir()
{
    if (const char* d = std::getenv("KORVIANET_CONFIG_DIR"); d && *d)
        return d;
    // A relative $XDG_CONFIG_HOME is invalid and is ignored.
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x == '/')
        return std::string(x) + "/korvianet";
    const std::string home = UserHomeDir();
    return home.empty() ? std::string() : home + "/.config/korvianet";
}

namespace {
bool NoSettingsDir(std::string* why)
{
    if (why)
        *why = "no settings folder: set $KORVIANET_CONFIG_DIR or $HOME";
    return false;
}
} // namespace

bool EnsureSettingsDir(std::string* why)
{
    const std::string dir = SettingsDir();
    return dir.empty() ? NoSettingsDir(why) : MakeOwnerDirs(dir, why);
}

bool SettingsDirUsable(std::string* why)
{
    const std::string dir = SettingsDir();
    if (dir.empty())
        return NoSettingsDir(why);
    return NotAnotherUsersDir(dir, why);
}

std::string ProfilePath(const std::string& file)
{
    if (file.find('/') != std::string::npos)
        return file;
    const std::string dir = SettingsDir();
    return dir.empty() ? std::string() : dir + "/" + file;
}

std::string GetProfileString(const std::string& section, const std::string& key,
                             const std::string& def, size_t bufSize, const std::string& file)
{
    if (bufSize == 0)
        return "";
    std::string text, value;
    bool found;
    {
        std::lock_guard<std::mutex> lock(StoreLock());
        found = ReadProfile(ProfilePath(file), text) == ReadResult::Ok && LookUp(text, section, key, value);
    }
    if (!found)
        value = def;
    if (value.size() > bufSize - 1)
        value.resize(bufSize - 1);
    return value;
}

bool LookUpProfileText(std::string_view text, std::string_view section, std::string_view key,
                       std::string& value)
{
    return LookUp(text, section, key, value);
}

bool ChangeProfileText(const std::string& text, const std::string& section, const std::string& key,
                       const std::string* value, std::string& out)
{
    const std::string_view eol = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";

    // Find the key's first line in any section of that name, and the end of
    // the first such section's last non-blank line (where a new key goes).
    LineReader lines(text);
    std::string_view line, name, k, v;
    bool inSection = false, sectionSeen = false, inFirst = false;
    size_t insertAt = std::string::npos, keyStart = std::string::npos, keyEnd = 0;
    while (lines.Next(line)) {
        if (SectionName(line, name)) {
            inSection = SameName(name, section);
            inFirst = inSection && !sectionSeen;
            if (inFirst) {
                sectionSeen = true;
                insertAt = lines.NextStart();
            }
            continue;
        }
        if (!inSection)
            continue;
        if (KeyValue(line, k, v) && SameName(k, key)) {
            keyStart = lines.LineStart();
            keyEnd = lines.NextStart();
            break;
        }
        if (inFirst && !Trim(line).empty())
            insertAt = lines.NextStart();
    }

    std::string entry;
    if (value)
        entry = key + "=" + *value + std::string(eol);
    if (keyStart != std::string::npos) {
        out = text.substr(0, keyStart) + entry + text.substr(keyEnd);
    } else if (!value) {
        return false; // nothing to remove
    } else if (sectionSeen) {
        std::string head = text.substr(0, insertAt);
        if (!head.empty() && head.back() != '\n')
            head += eol; // the section's last line had no line end
        out = head + entry + text.substr(insertAt);
    } else {
        out = text;
        if (!out.empty() && out.back() != '\n')
            out += eol;
        out += "[" + section + "]" + std::string(eol) + entry;
    }
    return true;
}

int GetProfileInt(const std::string& section, const std::string& key, int def,
                  const std::string& file)
{
    std::string text, value;
    {
        std::lock_guard<std::mutex> lock(StoreLock());
        if (ReadProfile(ProfilePath(file), text) != ReadResult::Ok || !LookUp(text, section, key, value))
            return def;
    }
    if (value.empty())
        return def; // "num=" counts as missing, as the profile services treat it
    return DecimalPrefix(value);
}

bool WriteProfileString(const std::string& section, const std::string& key,
                        const std::string& value, const std::string& file)
{
    // A value cannot hold a line break or a NUL: either would cut it or start
    // a new key. Blanks at its ends would be trimmed on reading anyway.
    std::string clean;
    for (char c : value)
        if (c != '\n' && c != '\r' && c != '\0')
            clean += c;
    return ModifyKey(section, key, &clean, file);
}

bool DeleteProfileKey(const std::string& section, const std::string& key, const std::string& file)
{
    return ModifyKey(section, key, nullptr, file);
}

} // namespace kv
