#include "settings/StaticApn.h"

#include "settings/FileUtil.h"
#include "settings/SettingsKeys.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace kv {

std::vector<std::string> ParseStaticApnList(const std::string& text)
{
    std::vector<std::string> list;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos)
            nl = text.size();
        std::string line = text.substr(pos, nl - pos);
        pos = nl + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (size_t nul = line.find('\0'); nul != std::string::npos)
            line.resize(nul);
        if (line.empty())
            continue;
        if (line.size() > kApnLineMax) {
            list.push_back(line.substr(0, kApnLineMax));
            break;
        }
        list.push_back(line);
    }
    return list;
}

bool ReadStaticApnList(std::vector<std::string>& out, const std::string& path)
{
    out.clear();
    std::string text;
    if (!ReadWholeFile(path, text))
        return false;
    out = ParseStaticApnList(text);
    return true;
}

std::string UpperAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return text;
}

namespace {
void AppendEntry(std::string& out, const std::string& entry)
{
    std::string clean;
    for (char c : entry)
        if (c != '\n' && c != '\r' && c != '\0')
            clean += c;
    if (clean.empty())
        return;
    out += UpperAscii(clean);
    out += '\n';
}
} // namespace

std::string FormatStaticApnList(const std::vector<std::string>& kept, const std::string* added)
{
    std::string out;
    for (const std::string& l : kept)
        AppendEntry(out, l);
    if (added)
        AppendEntry(out, *added);
    return out;
}

bool WriteStaticApnList(const std::vector<std::string>& kept, const std::string* added,
                        const std::string& path)
{
    return ReplaceFileAtomically(path, FormatStaticApnList(kept, added));
}

bool EnsureStaticApnFile(const std::string& path)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

} // namespace kv
