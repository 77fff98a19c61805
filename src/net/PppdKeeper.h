// Starting pppd so that it never outlives us.
//
// pppd is setuid root, and the kernel clears a child's parent-death signal
// (PR_SET_PDEATHSIG) on an exec that changes credentials, so pppd itself
// cannot be told to die with us. Instead a small keeper process of ours (a
// fork, no exec, not setuid) sits between us and pppd: it holds the read end
// of a "lifeline" pipe whose only write end lives in our process. When we end
// in any way (kill -9 included) the kernel closes that end, the keeper sees
// end-of-file and hangs up pppd's whole process group, SIGTERM first, SIGKILL
// if it lingers. pppd leads a group of its own, so the chat script and any
// other child holding its output pipe go with it; the keeper stays outside
// that group so it can still pass pppd's exit status on.
//
// A user may signal a setuid process that it started because the real uid
// still matches: the keeper runs as the user, like us.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace kvnet {

struct KeptPppd {
    pid_t keeper = -1; // our child: reap it, its exit status is pppd's
    pid_t group = -1;  // pppd's pid, which is also its process group
    int lifeline = -1; // close it to have the keeper hang pppd up
};

// Runs program with args (args[0] included) with stdin on /dev/null and
// stdout and stderr on outFd. Returns 0, or the errno that kept the program
// from starting (the keeper is then already reaped).
int StartKeptPppd(const std::string& program, const std::vector<std::string>& args, int outFd, KeptPppd& out);

// How long the keeper gives a group SIGTERM before SIGKILL.
inline constexpr int kKeeperGraceMs = 3000;

} // namespace kvnet
