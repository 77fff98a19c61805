// The registry as this program sees it: a tree of keys holding named DWORD
// and string values, read through CReg. On Linux the tree is a folder tree
// of our own that the modem simulator and the tests write, and a live view of
// the USB serial devices can be laid over parts of it (see
// InstallRegistryOverlay).
//
// On-disk form of the file tree, below <settings dir>/registry/:
//
//   <root>/<component>/<component>/.../.values
//
//   - <root> is the root key's short name: HKCR, HKCU, HKLM, HKU or HKCC.
//   - A key path "SYSTEM\CurrentControlSet\Enum" is split at backslashes
//     (empty components from doubled, leading or trailing backslashes are
//     dropped) and each component is one folder. In a folder name the
//     characters '%' and '/', a NUL, and a leading '.' are written as %XX
//     (upper-case hex), so "USB\VID_19D2&PID_6502&MI_02\5&1A2B" becomes the
//     folders "USB", "VID_19D2&PID_6502&MI_02", "5&1A2B". Names compare
//     case-insensitively, as registry names do; a writer reuses an existing
//     folder of the same name in any case.
//   - ".values" holds the key's values, one per line ("\n" or "\r\n"):
//         name=REG_DWORD:decimal       e.g.  Count=REG_DWORD:2
//         name=REG_SZ:text             e.g.  PortName=REG_SZ:COM7
//     The name is everything before the first '='; the empty name is the
//     key's default value. In names '%', '=', CR, LF and NUL are written as
//     %XX; in text '%', CR, LF and NUL are. A DWORD is 0 to 4294967295.
//     Lines that do not parse are ignored; the first line of a name wins.
//   - A key exists when its folder exists (a key may have no ".values").
//   - Folders are 0700 and files 0600; every change of ".values" replaces
//     the file atomically.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kv {

using HKEY = uint32_t;
using DWORD = uint32_t;

// Predefined root keys (0 is "no root").
constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
constexpr HKEY HKEY_USERS = 0x80000003u;
constexpr HKEY HKEY_CURRENT_CONFIG = 0x80000005u;

// Value types.
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_DWORD = 4;

// Short name of a root key as used for its folder ("HKLM"), or nullptr for an
// unknown root.
const char* RegRootName(HKEY root);

struct RegValue {
    DWORD type = 0;   // REG_SZ or REG_DWORD
    DWORD dword = 0;  // for REG_DWORD
    std::string text; // for REG_SZ
};

// A source of keys and values. Paths are below the root, backslash-separated,
// without leading or trailing backslash. Implementations must be callable
// from any thread.
class IRegistryBackend {
public:
    virtual ~IRegistryBackend() = default;
    virtual bool KeyExists(HKEY root, const std::string& path) = 0;
    // Fills out and returns true when the key has a value of that name.
    virtual bool QueryValue(HKEY root, const std::string& path, const std::string& name,
                            RegValue& out) = 0;
    // Names of the key's sub-keys / values; false when the key does not exist.
    virtual bool ListSubKeys(HKEY root, const std::string& path, std::vector<std::string>& out) = 0;
    virtual bool ListValues(HKEY root, const std::string& path, std::vector<std::string>& out) = 0;
};

// The folder of the file tree: <settings dir>/registry.
std::string RegistryDir();
// The folder that holds (or would hold) one key in the file tree, resolving
// existing folders case-insensitively. "" for an unknown root. Used by
// watchers that need a path to watch.
std::string RegistryKeyFolder(HKEY root, const std::string& path);

// The file tree as a backend (reads only; the writers below change it).
std::shared_ptr<IRegistryBackend> FileRegistryBackend();

// Lays a provider over every key at or below prefix (matched per component,
// case-insensitively). For a key under several overlays the longest prefix is
// asked first; when no overlay knows a value or key, the file tree answers.
// Sub-key and value lists are the union. Installing again for the same root
// and prefix replaces the provider; nullptr removes it.
void InstallRegistryOverlay(HKEY root, const std::string& prefix,
                            std::shared_ptr<IRegistryBackend> provider);
void RemoveAllRegistryOverlays();

// Reads through the overlays and the file tree (what CReg uses).
bool RegKeyExists(HKEY root, const std::string& path);
bool RegQueryValue(HKEY root, const std::string& path, const std::string& name, RegValue& out);
bool RegListSubKeys(HKEY root, const std::string& path, std::vector<std::string>& out);
bool RegListValues(HKEY root, const std::string& path, std::vector<std::string>& out);

// Writers of the file tree (the simulator, tests and tools). Setting a value
// creates the key and its parents. Deleting a missing value or key succeeds.
// All return false on a bad root, an empty path or a file-system failure.
bool RegCreateKey(HKEY root, const std::string& path);
bool RegSetDword(HKEY root, const std::string& path, const std::string& name, DWORD value);
bool RegSetString(HKEY root, const std::string& path, const std::string& name,
                  const std::string& text);
bool RegDeleteValue(HKEY root, const std::string& path, const std::string& name);
// Removes the key with all its sub-keys.
bool RegDeleteKey(HKEY root, const std::string& path);

// One registry key, opened anew for each read. Every failure (root 0, no
// key, no value, a value of the other type) yields the default.
class CReg {
public:
    CReg() = default;
    virtual ~CReg() = default;

    void SetKey(HKEY root, const std::string& path)
    {
        m_hRoot = root;
        m_strPath = path;
    }
    HKEY Root() const { return m_hRoot; }
    const std::string& Path() const { return m_strPath; }

    // A REG_DWORD value, else def.
    DWORD ReadDword(const std::string& name, DWORD def) const;
    // A REG_SZ value into out (true), else false and out left unchanged.
    bool ReadString(const std::string& name, std::string& out) const;
    // A REG_SZ value, else def.
    std::string ReadStringDefault(const std::string& name, const std::string& def) const;

private:
    HKEY m_hRoot = 0;
    std::string m_strPath;
};

} // namespace kv
