#include "link/TransactPause.h"

#include "log/DebugLog.h"
#include "settings/Profile.h"

#include <sys/stat.h>

namespace kv {

namespace {
constexpr const char* kSysIni = "syskor.ini";
constexpr const char* kSysSection = "sysinf";
constexpr const char* kSleepKey = "slps";
} // namespace

CTransactPause::FileKey CTransactPause::KeyOf(const std::string& path)
{
    FileKey k;
    k.path = path;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return k;
    k.exists = true;
    k.dev = uint64_t(st.st_dev);
    k.ino = uint64_t(st.st_ino);
    k.size = int64_t(st.st_size);
    k.mtimeNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    k.ctimeNs = int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return k;
}

int CTransactPause::Milliseconds()
{
    std::lock_guard g(m_lock);
    FileKey key = KeyOf(ProfilePath(kSysIni));
    if (m_bKnown && key == m_key)
        return m_nValue;
    const int raw = GetProfileInt(kSysSection, kSleepKey, kDefaultTransactPauseMs, kSysIni);
    ++m_nReads;
    int v = raw;
    if (v < 0)
        v = 0;
    else if (v > kMaxTransactPauseMs)
        v = kMaxTransactPauseMs;
    if (v != raw)
        DEBUG_LOG(LEVEL_ST, "slps %d out of range, %d used", raw, v);
    m_nValue = v;
    m_key = std::move(key);
    m_bKnown = true;
    return m_nValue;
}

CTransactPause& SharedTransactPause()
{
    static CTransactPause pause;
    return pause;
}

unsigned CTransactPause::Reads() const
{
    std::lock_guard g(m_lock);
    return m_nReads;
}

} // namespace kv
