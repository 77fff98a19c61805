// Runs a piece of a test as a normal user. Root may reopen a tty that a
// normal user may not (exclusive mode, ownership), so tests of reopening run
// their steps through RunAsNormalUser: as root, in a child process that has
// dropped to uid/gid 65534 (nobody); otherwise in this process.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace kvtest {

// Two unprivileged users for tests of one user against another: the victim
// (the normal user of RunAsNormalUser) and an attacker.
inline constexpr uid_t kVictimUid = 65534;
inline constexpr uid_t kAttackerUid = 65533;

// fn returns "" when its steps held, else what went wrong. The result is
// fn's text, or what kept the child from running it. A child that does not
// finish within timeoutMs is killed and reported.
std::string RunAsNormalUser(const std::function<std::string()>& fn, int timeoutMs = 60000);

// The same with these supplementary groups (as root: set in the child
// before it drops to uid 65534; otherwise fn runs here as the user is).
std::string RunAsNormalUserInGroups(const std::function<std::string()>& fn, const std::vector<gid_t>& groups,
                                    int timeoutMs = 60000);

// As RunAsNormalUser, as user and group uid; only as root (else "" is never
// returned: the steps do not run and the result says so).
std::string RunAsUser(uid_t uid, const std::function<std::string()>& fn, int timeoutMs = 60000);

// True when the tests can act as the two users above (they run as root).
bool CanRunAsTwoUsers();

// True when RunAsNormalUser really runs as a normal user here (not root, or
// root that can drop its privileges).
bool CanRunAsNormalUser();

} // namespace kvtest
