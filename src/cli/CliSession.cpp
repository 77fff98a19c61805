#include "cli/CliSession.h"

#include "cli/CliOutput.h"
#include "engine/CommPortLink.h"
#include "engine/DmTexts.h"
#include "host/PortOpenText.h"
#include "host/HostIds.h"
#include "link/CommPort.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace kvcli {

namespace {
constexpr int64_t kStartTimeoutMs = 60000;
// Card states at which the start-up chain stops short of the messages.
constexpr uint8_t kCardStops = kv::CARDF_NO_CARD | kv::CARDF_PIN_CANCELLED | kv::CARDF_BLOCKED;
} // namespace

std::string PortProblem(const std::string& path, int* error)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (error)
            *error = errno;
        if (errno == ENOENT)
            return "it does not exist (the modem was unplugged?)";
        if (errno == EACCES || errno == EPERM)
            return std::string(std::strerror(errno)) + " (is the user in the tty's group, e.g. dialout?)";
        return std::strerror(errno);
    }
    std::string problem;
    if (!::isatty(fd))
        problem = "it is not a terminal";
    else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (error)
            *error = errno;
        problem = errno == EWOULDBLOCK ? "another program is using it" : std::strerror(errno);
    }
    ::close(fd);
    return problem;
}

PortCheck CheckModemPort(const GlobalOptions& opts)
{
    PortCheck pc;
    if (!opts.device.empty()) {
        pc.path = opts.device;
    } else {
        pc.com = kv::DiscoverModemPort().comPort;
        if (pc.com <= 0)
            return pc;
        pc.path = kv::CCommPort::ComDevicePath(uint32_t(pc.com));
        char target[PATH_MAX];
        const ssize_t n = ::readlink(pc.path.c_str(), target, sizeof target - 1);
        if (n > 0)
            pc.target.assign(target, size_t(n));
    }
    pc.problem = PortProblem(pc.path, &pc.error);
    return pc;
}

std::string PortUnusableText(const PortCheck& pc, const std::string& where)
{
    std::string text = std::string(kv::dmtext::kPortNotOpened) + "\nkorvianet-cli: the modem's port " + where
                       + " cannot be used: " + pc.problem;
    const std::string advice = kv::PortOpenAdvice(pc.error);
    if (!advice.empty())
        text += "\nkorvianet-cli: " + advice;
    return text;
}

std::unique_ptr<kv::CMessagingSession> OpenSession(const GlobalOptions& opts, bool readPhonebooks, int& status,
                                                   bool cardMayStop,
                                                   const std::function<void(kv::CMessagingSession&)>& prepare)
{
    const PortCheck pc = CheckModemPort(opts);
    if (pc.path.empty()) {
        status = Fail(kExitNoDevice, "no modem found (see 'korvianet-cli ports')");
        return nullptr;
    }
    const std::string where = (pc.com > 0 ? "COM" + std::to_string(pc.com) + " " : std::string())
                              + Shown(pc.path) + (pc.target.empty() ? "" : " -> " + Shown(pc.target));
    if (!pc.problem.empty()) {
        status = Fail(kExitNoDevice, PortUnusableText(pc, where));
        return nullptr;
    }
    kv::CMessagingSession::Options o;
    if (!PrepareDatabase(o.dbPath)) {
        status = kExitFailure;
        return nullptr;
    }
    o.device = opts.device;
    o.readPhonebooks = readPhonebooks;
    if (cardMayStop)
        o.startTimeoutMs = 0; // the wait below replaces the session's own
    auto s = std::make_unique<kv::CMessagingSession>(o);
    if (prepare)
        prepare(*s);
    bool started = s->Start();
    const kv::ModemState& st = s->Host().State();
    if (!started && cardMayStop && s->Engine().ThreadRunning()) {
        kv::CHeadlessHost& host = s->Host();
        host.RunUntil(
            [&] {
                return !s->Engine().ThreadRunning() || host.CloseRequested()
                       || host.ControlEnabled(kv::IDC_SMS_TOGGLE) || (st.m_ucCardFlags.load() & kCardStops) != 0;
            },
            kStartTimeoutMs);
        started = s->Engine().ThreadRunning() && !host.CloseRequested()
                  && (host.ControlEnabled(kv::IDC_SMS_TOGGLE) || (st.m_ucCardFlags.load() & kCardStops) != 0);
    }
    if (!started && s->Engine().ThreadRunning() && (st.m_ucCardFlags.load() & kv::CARDF_BLOCKED)) {
        status = Fail(kExitFailure, std::string("the card in the modem on ") + where + " " + kCardBlockedText);
        return nullptr;
    }
    if (!started) {
        const bool running = s->Engine().ThreadRunning();
        status = Fail(kExitTimedOut, "the modem on " + where
                                         + (running ? " did not finish starting in time"
                                                    : " stopped answering during start-up"));
        return nullptr;
    }
    return s;
}

} // namespace kvcli
