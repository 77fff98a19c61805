// The registry tree: the file backend, the overlay table, the writers and
// CReg. The on-disk form is described in Reg.h.
#include "settings/Reg.h"

#include "settings/FileUtil.h"
#include "settings/Profile.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <mutex>
#include <shared_mutex>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kv {

namespace {

constexpr const char* kValuesFile = ".values";
constexpr const char* kDwordTag = "REG_DWORD:";
constexpr const char* kStringTag = "REG_SZ:";

// Writers of the file tree take this lock; readers need none because every
// change of a values file is an atomic rename.
std::mutex& WriteLock()
{
    static std::mutex m;
    return m;
}

bool SameName(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

std::vector<std::string> SplitPath(const std::string& path)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t bs = path.find('\\', start);
        if (bs == std::string::npos)
            bs = path.size();
        if (bs > start)
            parts.push_back(path.substr(start, bs - start));
        start = bs + 1;
    }
    return parts;
}

const char kHex[] = "0123456789ABCDEF";

void AppendEscaped(std::string& out, unsigned char c)
{
    out += '%';
    out += kHex[c >> 4];
    out += kHex[c & 15];
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// %XX → byte; a '%' not followed by two hex digits stays as it is.
std::string Unescape(const std::string& s)
{
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            int hi = HexDigit(s[i + 1]), lo = HexDigit(s[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += char(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

std::string EscapeComponent(const std::string& name)
{
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c == '%' || c == '/' || c == 0 || (i == 0 && c == '.'))
            AppendEscaped(out, c);
        else
            out += char(c);
    }
    return out;
}

std::string EscapeText(const std::string& text, bool isName)
{
    std::string out;
    for (char ch : text) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c == '%' || c == '\r' || c == '\n' || c == 0 || (isName && c == '='))
            AppendEscaped(out, c);
        else
            out += ch;
    }
    return out;
}

bool IsFolder(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The folder of one child key of base: an exact match first, else the first
// case-insensitive match. "" when there is none.
std::string FindChild(const std::string& base, const std::string& escaped)
{
    std::string exact = base + "/" + escaped;
    if (IsFolder(exact))
        return exact;
    DIR* d = ::opendir(base.c_str());
    if (!d)
        return "";
    std::string found;
    while (dirent* e = ::readdir(d)) {
        if (strcasecmp(e->d_name, escaped.c_str()) == 0 && IsFolder(base + "/" + e->d_name)) {
            found = base + "/" + e->d_name;
            break;
        }
    }
    ::closedir(d);
    return found;
}

// The folder of a key; with create, missing folders are made (0700).
std::string KeyFolder(HKEY root, const std::string& path, bool create)
{
    const char* rootName = RegRootName(root);
    if (!rootName)
        return "";
    std::string folder = RegistryDir() + "/" + rootName;
    if (create ? !MakeOwnerDirs(folder) : !IsFolder(folder))
        return "";
    for (const std::string& part : SplitPath(path)) {
        std::string esc = EscapeComponent(part);
        std::string child = FindChild(folder, esc);
        if (child.empty()) {
            if (!create)
                return "";
            child = folder + "/" + esc;
            if (::mkdir(child.c_str(), 0700) != 0 && errno != EEXIST)
                return "";
        }
        folder = child;
    }
    return folder;
}

using ValueList = std::vector<std::pair<std::string, RegValue>>;

bool ParseDword(const std::string& s, DWORD& out)
{
    if (s.empty() || s.size() > 10)
        return false;
    unsigned long long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + unsigned(c - '0');
    }
    if (v > 0xFFFFFFFFull)
        return false;
    out = DWORD(v);
    return true;
}

ValueList ParseValues(const std::string& text)
{
    ValueList list;
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos)
            nl = text.size();
        std::string line = text.substr(start, nl - start);
        start = nl + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string name = Unescape(line.substr(0, eq));
        std::string rest = line.substr(eq + 1);
        RegValue v;
        if (rest.compare(0, std::strlen(kDwordTag), kDwordTag) == 0) {
            v.type = REG_DWORD;
            if (!ParseDword(rest.substr(std::strlen(kDwordTag)), v.dword))
                continue;
        } else if (rest.compare(0, std::strlen(kStringTag), kStringTag) == 0) {
            v.type = REG_SZ;
            v.text = Unescape(rest.substr(std::strlen(kStringTag)));
        } else {
            continue;
        }
        bool seen = std::any_of(list.begin(), list.end(),
                                [&](const auto& p) { return SameName(p.first, name); });
        if (!seen)
            list.emplace_back(std::move(name), std::move(v));
    }
    return list;
}

std::string SerializeValues(const ValueList& list)
{
    std::string out;
    for (const auto& [name, v] : list) {
        out += EscapeText(name, true);
        out += '=';
        if (v.type == REG_DWORD) {
            out += kDwordTag;
            out += std::to_string(v.dword);
        } else {
            out += kStringTag;
            out += EscapeText(v.text, false);
        }
        out += '\n';
    }
    return out;
}

bool LoadValues(const std::string& folder, ValueList& list)
{
    std::string text;
    if (!ReadWholeFile(folder + "/" + kValuesFile, text))
        return false;
    list = ParseValues(text);
    return true;
}

class FileBackend : public IRegistryBackend {
public:
    bool KeyExists(HKEY root, const std::string& path) override
    {
        return !KeyFolder(root, path, false).empty();
    }

    bool QueryValue(HKEY root, const std::string& path, const std::string& name,
                    RegValue& out) override
    {
        std::string folder = KeyFolder(root, path, false);
        ValueList list;
        if (folder.empty() || !LoadValues(folder, list))
            return false;
        for (const auto& [n, v] : list)
            if (SameName(n, name)) {
                out = v;
                return true;
            }
        return false;
    }

    bool ListSubKeys(HKEY root, const std::string& path, std::vector<std::string>& out) override
    {
        std::string folder = KeyFolder(root, path, false);
        if (folder.empty())
            return false;
        DIR* d = ::opendir(folder.c_str());
        if (!d)
            return false;
        while (dirent* e = ::readdir(d)) {
            if (e->d_name[0] == '.' || !IsFolder(folder + "/" + e->d_name))
                continue;
            out.push_back(Unescape(e->d_name));
        }
        ::closedir(d);
        return true;
    }

    bool ListValues(HKEY root, const std::string& path, std::vector<std::string>& out) override
    {
        std::string folder = KeyFolder(root, path, false);
        if (folder.empty())
            return false;
        ValueList list;
        LoadValues(folder, list);
        for (const auto& p : list)
            out.push_back(p.first);
        return true;
    }
};

struct Overlay {
    HKEY root;
    std::vector<std::string> prefix;
    std::shared_ptr<IRegistryBackend> provider;
};

std::shared_mutex& OverlayLock()
{
    static std::shared_mutex m;
    return m;
}

std::vector<Overlay>& Overlays() // kept sorted by prefix length, longest first
{
    static std::vector<Overlay> list;
    return list;
}

bool SamePrefix(const std::vector<std::string>& a, const std::vector<std::string>& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (!SameName(a[i], b[i]))
            return false;
    return true;
}

// The providers that cover a key, longest prefix first, then the file tree.
std::vector<std::shared_ptr<IRegistryBackend>> BackendsFor(HKEY root, const std::string& path)
{
    std::vector<std::shared_ptr<IRegistryBackend>> out;
    std::vector<std::string> parts = SplitPath(path);
    {
        std::shared_lock<std::shared_mutex> lock(OverlayLock());
        for (const Overlay& o : Overlays()) {
            if (o.root != root || o.prefix.size() > parts.size())
                continue;
            bool covers = true;
            for (size_t i = 0; i < o.prefix.size() && covers; ++i)
                covers = SameName(o.prefix[i], parts[i]);
            if (covers)
                out.push_back(o.provider);
        }
    }
    out.push_back(FileRegistryBackend());
    return out;
}

void AddUnique(std::vector<std::string>& into, const std::vector<std::string>& from)
{
    for (const std::string& s : from)
        if (std::none_of(into.begin(), into.end(), [&](const std::string& t) { return SameName(s, t); }))
            into.push_back(s);
}

// Loads, changes and stores one key's values under the write lock.
template <typename Change>
bool ChangeValues(HKEY root, const std::string& path, bool create, Change change)
{
    if (!RegRootName(root) || SplitPath(path).empty())
        return false;
    std::lock_guard<std::mutex> lock(WriteLock());
    std::string folder = KeyFolder(root, path, create);
    if (folder.empty())
        return !create; // deleting from a missing key: nothing to do
    ValueList list;
    LoadValues(folder, list);
    if (!change(list))
        return true; // nothing changed
    return ReplaceFileAtomically(folder + "/" + kValuesFile, SerializeValues(list));
}

bool SetValue(HKEY root, const std::string& path, const std::string& name, const RegValue& v)
{
    return ChangeValues(root, path, true, [&](ValueList& list) {
        for (auto& p : list)
            if (SameName(p.first, name)) {
                p.second = v;
                return true;
            }
        list.emplace_back(name, v);
        return true;
    });
}

} // namespace

const char* RegRootName(HKEY root)
{
    switch (root) {
    case HKEY_CLASSES_ROOT: return "HKCR";
    case HKEY_CURRENT_USER: return "HKCU";
    case HKEY_LOCAL_MACHINE: return "HKLM";
    case HKEY_USERS: return "HKU";
    case HKEY_CURRENT_CONFIG: return "HKCC";
    default: return nullptr;
    }
}

std::string RegistryDir() { return SettingsDir() + "/registry"; }

std::string RegistryKeyFolder(HKEY root, const std::string& path)
{
    const char* rootName = RegRootName(root);
    if (!rootName)
        return "";
    // Resolve what exists, then spell the rest as a writer would.
    std::string folder = RegistryDir() + "/" + rootName;
    bool exists = IsFolder(folder);
    for (const std::string& part : SplitPath(path)) {
        std::string esc = EscapeComponent(part);
        std::string child = exists ? FindChild(folder, esc) : "";
        if (child.empty()) {
            exists = false;
            child = folder + "/" + esc;
        }
        folder = child;
    }
    return folder;
}

std::shared_ptr<IRegistryBackend> FileRegistryBackend()
{
    static std::shared_ptr<IRegistryBackend> backend = std::make_shared<FileBackend>();
    return backend;
}

void InstallRegistryOverlay(HKEY root, const std::string& prefix,
                            std::shared_ptr<IRegistryBackend> provider)
{
    std::vector<std::string> parts = SplitPath(prefix);
    std::unique_lock<std::shared_mutex> lock(OverlayLock());
    auto& list = Overlays();
    list.erase(std::remove_if(list.begin(), list.end(),
                              [&](const Overlay& o) { return o.root == root && SamePrefix(o.prefix, parts); }),
               list.end());
    if (!provider)
        return;
    Overlay o{root, parts, std::move(provider)};
    auto at = std::find_if(list.begin(), list.end(),
                           [&](const Overlay& x) { return x.prefix.size() < o.prefix.size(); });
    list.insert(at, std::move(o));
}

void RemoveAllRegistryOverlays()
{
    std::unique_lock<std::shared_mutex> lock(OverlayLock());
    Overlays().clear();
}

bool RegKeyExists(HKEY root, const std::string& path)
{
    if (!RegRootName(root))
        return false;
    for (auto& b : BackendsFor(root, path))
        if (b->KeyExists(root, path))
            return true;
    return false;
}

bool RegQueryValue(HKEY root, const std::string& path, const std::string& name, RegValue& out)
{
    if (!RegRootName(root))
        return false;
    for (auto& b : BackendsFor(root, path))
        if (b->QueryValue(root, path, name, out))
            return true;
    return false;
}

bool RegListSubKeys(HKEY root, const std::string& path, std::vector<std::string>& out)
{
    if (!RegRootName(root))
        return false;
    bool any = false;
    for (auto& b : BackendsFor(root, path)) {
        std::vector<std::string> names;
        if (b->ListSubKeys(root, path, names)) {
            any = true;
            AddUnique(out, names);
        }
    }
    return any;
}

bool RegListValues(HKEY root, const std::string& path, std::vector<std::string>& out)
{
    if (!RegRootName(root))
        return false;
    bool any = false;
    for (auto& b : BackendsFor(root, path)) {
        std::vector<std::string> names;
        if (b->ListValues(root, path, names)) {
            any = true;
            AddUnique(out, names);
        }
    }
    return any;
}

bool RegCreateKey(HKEY root, const std::string& path)
{
    if (!RegRootName(root) || SplitPath(path).empty())
        return false;
    std::lock_guard<std::mutex> lock(WriteLock());
    return !KeyFolder(root, path, true).empty();
}

bool RegSetDword(HKEY root, const std::string& path, const std::string& name, DWORD value)
{
    RegValue v;
    v.type = REG_DWORD;
    v.dword = value;
    return SetValue(root, path, name, v);
}

bool RegSetString(HKEY root, const std::string& path, const std::string& name,
                  const std::string& text)
{
    RegValue v;
    v.type = REG_SZ;
    v.text = text;
    return SetValue(root, path, name, v);
}

bool RegDeleteValue(HKEY root, const std::string& path, const std::string& name)
{
    return ChangeValues(root, path, false, [&](ValueList& list) {
        size_t before = list.size();
        list.erase(std::remove_if(list.begin(), list.end(),
                                  [&](const auto& p) { return SameName(p.first, name); }),
                   list.end());
        return list.size() != before;
    });
}

bool RegDeleteKey(HKEY root, const std::string& path)
{
    if (!RegRootName(root) || SplitPath(path).empty())
        return false;
    std::lock_guard<std::mutex> lock(WriteLock());
    std::string folder = KeyFolder(root, path, false);
    if (folder.empty())
        return true;
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    return !ec;
}

DWORD CReg::ReadDword(const std::string& name, DWORD def) const
{
    RegValue v;
    if (m_hRoot == 0 || !RegQueryValue(m_hRoot, m_strPath, name, v) || v.type != REG_DWORD)
        return def;
    return v.dword;
}

bool CReg::ReadString(const std::string& name, std::string& out) const
{
    RegValue v;
    if (m_hRoot == 0 || !RegQueryValue(m_hRoot, m_strPath, name, v) || v.type != REG_SZ)
        return false;
    out = v.text;
    return true;
}

std::string CReg::ReadStringDefault(const std::string& name, const std::string& def) const
{
    std::string out;
    return ReadString(name, out) ? out : def;
}

} // namespace kv
