// The package's dial-up profiles under /etc while a test runs (as root), for
// tests that run the system's pppd. What was there before is put back.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kvtest {

class InstalledProfiles {
public:
    // Copies peers/korvianet-cdma, peers/korvianet-gsm and
    // chatscripts/korvianet from fromDir (a copy of packaging/ppp) to
    // /etc/ppp/peers and /etc/chatscripts, root:root 0644.
    bool Install(const std::string& fromDir);
    ~InstalledProfiles();

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

// Tests that install the profiles take turns (ctest runs them side by side).
class ProfileLock {
public:
    ProfileLock();
    ~ProfileLock();
    ProfileLock(const ProfileLock&) = delete;
    ProfileLock& operator=(const ProfileLock&) = delete;

private:
    int m_fd = -1;
};

// True when /etc holds the profiles a normal user's dial needs.
bool ProfilesInstalled();

} // namespace kvtest
