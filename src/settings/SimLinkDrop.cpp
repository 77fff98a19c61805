#include "settings/SimLinkDrop.h"

#include "settings/FileUtil.h"
#include "settings/Profile.h"

namespace kv {

namespace {
std::string DropPath() { return SettingsDir() + "/" + kSimLinkDropFile; }
} // namespace

uint64_t SimLinkDrops()
{
    std::string text;
    if (!ReadWholeFile(DropPath(), text))
        return 0;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9' || v > 1000000000000ull)
            break;
        v = v * 10 + uint64_t(c - '0');
    }
    return v;
}

bool AddSimLinkDrop()
{
    EnsureSettingsDir();
    return ReplaceFileAtomically(DropPath(), std::to_string(SimLinkDrops() + 1) + "\n");
}

} // namespace kv
