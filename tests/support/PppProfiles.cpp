#include "support/PppProfiles.h"

#include "support/TempSettings.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kvtest {

namespace {

bool Exists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

} // namespace

bool InstalledProfiles::Install(const std::string& fromDir)
{
    const std::pair<const char*, const char*> files[] = {
        {"peers/korvianet-cdma", "/etc/ppp/peers/korvianet-cdma"},
        {"peers/korvianet-gsm", "/etc/ppp/peers/korvianet-gsm"},
        {"chatscripts/korvianet", "/etc/chatscripts/korvianet"},
    };
    for (const auto& [from, to] : files) {
        std::optional<std::string> before;
        if (Exists(to))
            before = ReadFileBytes(to);
        m_saved.emplace_back(to, before);
        WriteFileBytes(to, ReadFileBytes(fromDir + "/" + from));
        if (::chmod(to, 0644) != 0 || ::chown(to, 0, 0) != 0)
            return false;
    }
    return true;
}

InstalledProfiles::~InstalledProfiles()
{
    for (const auto& [path, before] : m_saved) {
        if (before)
            WriteFileBytes(path, *before);
        else
            ::unlink(path.c_str());
    }
}

ProfileLock::ProfileLock()
{
    m_fd = ::open("/tmp/korvianet-real-pppd.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd >= 0)
        ::flock(m_fd, LOCK_EX);
}

ProfileLock::~ProfileLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool ProfilesInstalled()
{
    return Exists("/etc/ppp/peers/korvianet-cdma") && Exists("/etc/chatscripts/korvianet");
}

} // namespace kvtest
