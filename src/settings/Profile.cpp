#include "settings/Profile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kv {

namespace {

std::mutex& StoreLock()
{
    static std::mutex m;
    return m;
}

std::string Trim(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r'))
        --e;
    return s.substr(b, e - b);
}

bool ReadWholeFile(const std::string& path, std::string& out)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    char buf[8192];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    std::fclose(f);
    return true;
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    for (std::string& l : lines)
        if (!l.empty() && l.back() == '\r')
            l.pop_back();
    return lines;
}

// "[name]" → name (trimmed); false for other lines.
bool SectionName(const std::string& line, std::string& name)
{
    std::string t = Trim(line);
    if (t.size() < 2 || t[0] != '[')
        return false;
    size_t close = t.find(']');
    if (close == std::string::npos)
        return false;
    name = Trim(t.substr(1, close - 1));
    return true;
}

// "key=value" → key, value (both trimmed); false for other lines.
bool KeyValue(const std::string& line, std::string& key, std::string& value)
{
    size_t eq = line.find('=');
    if (eq == std::string::npos)
        return false;
    key = Trim(line.substr(0, eq));
    value = Trim(line.substr(eq + 1));
    if (value.size() >= 2 && ((value.front() == '"' && value.back() == '"') ||
                              (value.front() == '\'' && value.back() == '\'')))
        value = value.substr(1, value.size() - 2);
    return true;
}

bool SameName(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

bool LookUp(const std::string& text, const std::string& section, const std::string& key,
            std::string& value)
{
    bool inSection = false;
    std::string name, k, v;
    for (const std::string& line : SplitLines(text)) {
        if (SectionName(line, name)) {
            inSection = SameName(name, section);
            continue;
        }
        if (inSection && KeyValue(line, k, v) && SameName(k, key)) {
            value = v;
            return true;
        }
    }
    return false;
}

// Writes text to path through a temporary file in the same folder, so the
// old file stays whole until the new one is complete on disk.
bool ReplaceFile(const std::string& path, const std::string& text)
{
    std::string tmp = path + ".tmpXXXXXX";
    std::vector<char> name(tmp.begin(), tmp.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0)
        return false;
    fchmod(fd, 0600);
    size_t done = 0;
    bool ok = true;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        done += size_t(n);
    }
    if (ok && ::fsync(fd) != 0)
        ok = false;
    if (::close(fd) != 0)
        ok = false;
    if (ok && std::rename(name.data(), path.c_str()) != 0)
        ok = false;
    if (!ok)
        ::unlink(name.data());
    return ok;
}

bool ModifyKey(const std::string& section, const std::string& key, const std::string* value,
               const std::string& file)
{
    if (section.empty() || key.empty())
        return false;
    std::lock_guard<std::mutex> lock(StoreLock());
    if (file.find('/') == std::string::npos && !EnsureSettingsDir())
        return false;
    const std::string path = ProfilePath(file);
    std::string text;
    ReadWholeFile(path, text);
    const char* eol = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";

    std::vector<std::string> lines = SplitLines(text);
    std::string name, k, v;
    long sectionAt = -1, lastInSection = -1, keyAt = -1;
    bool inSection = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (SectionName(lines[i], name)) {
            if (sectionAt >= 0 && inSection)
                break; // first matching section only
            inSection = SameName(name, section);
            if (inSection) {
                sectionAt = long(i);
                lastInSection = long(i);
            }
            continue;
        }
        if (inSection) {
            if (!Trim(lines[i]).empty())
                lastInSection = long(i);
            if (keyAt < 0 && KeyValue(lines[i], k, v) && SameName(k, key)) {
                keyAt = long(i);
                break;
            }
        }
    }

    if (keyAt >= 0) {
        if (value)
            lines[size_t(keyAt)] = key + "=" + *value;
        else
            lines.erase(lines.begin() + keyAt);
    } else if (!value) {
        return true;
    } else if (sectionAt >= 0) {
        lines.insert(lines.begin() + lastInSection + 1, key + "=" + *value);
    } else {
        lines.push_back("[" + section + "]");
        lines.push_back(key + "=" + *value);
    }

    std::string out;
    for (const std::string& l : lines) {
        out += l;
        out += eol;
    }
    return ReplaceFile(path, out);
}

} // namespace

std::string SettingsDir()
{
    if (const char* d = std::getenv("KORVIANET_CONFIG_DIR"); d && *d)
        return d;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x)
        return std::string(x) + "/korvianet";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.config/korvianet";
}

bool EnsureSettingsDir()
{
    std::string dir = SettingsDir();
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    // Create missing parents too (~/.config may not exist yet).
    for (size_t pos = 1; pos <= dir.size(); ++pos) {
        if (pos == dir.size() || dir[pos] == '/') {
            std::string part = dir.substr(0, pos);
            if (::mkdir(part.c_str(), pos == dir.size() ? 0700 : 0755) != 0 && errno != EEXIST)
                return false;
        }
    }
    return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ProfilePath(const std::string& file)
{
    if (file.find('/') != std::string::npos)
        return file;
    return SettingsDir() + "/" + file;
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
        found = ReadWholeFile(ProfilePath(file), text) && LookUp(text, section, key, value);
    }
    if (!found)
        value = def;
    if (value.size() > bufSize - 1)
        value.resize(bufSize - 1);
    return value;
}

int DecimalPrefix(const std::string& text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool neg = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        neg = text[i] == '-';
        ++i;
    }
    long long v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        v = v * 10 + (text[i] - '0');
        if (v > 0x7FFFFFFFLL)
            v = 0x7FFFFFFFLL; // saturate instead of overflowing
    }
    return int(neg ? -v : v);
}

int GetProfileInt(const std::string& section, const std::string& key, int def,
                  const std::string& file)
{
    std::string text, value;
    {
        std::lock_guard<std::mutex> lock(StoreLock());
        if (!ReadWholeFile(ProfilePath(file), text) || !LookUp(text, section, key, value))
            return def;
    }
    return DecimalPrefix(value);
}

bool WriteProfileString(const std::string& section, const std::string& key,
                        const std::string& value, const std::string& file)
{
    // A value cannot hold a line break: it would start a new key.
    std::string clean;
    for (char c : value)
        if (c != '\n' && c != '\r')
            clean += c;
    return ModifyKey(section, key, &clean, file);
}

bool DeleteProfileKey(const std::string& section, const std::string& key, const std::string& file)
{
    return ModifyKey(section, key, nullptr, file);
}

} // namespace kv
