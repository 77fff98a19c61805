// pppd's log lines mapped to connection states and errors.
#include "net/PppdOutput.h"

#include "net/RasCodes.h"

#include <cctype>

namespace kvnet {

namespace {

bool Has(std::string_view s, std::string_view what) { return s.find(what) != std::string_view::npos; }
bool Starts(std::string_view s, std::string_view what) { return s.substr(0, what.size()) == what; }

// "ppp" followed by digits, as a word.
std::string InterfaceAfter(std::string_view s, std::string_view marker)
{
    const size_t p = s.find(marker);
    if (p == std::string_view::npos)
        return {};
    std::string_view rest = s.substr(p + marker.size());
    if (!Starts(rest, "ppp"))
        return {};
    size_t n = 3;
    while (n < rest.size() && n < 12 && std::isdigit(static_cast<unsigned char>(rest[n])))
        ++n;
    if (n == 3)
        return {};
    return std::string(rest.substr(0, n));
}

PppdEvent StateEvent(uint32_t state)
{
    PppdEvent e;
    e.kind = PppdEvent::State;
    e.state = state;
    return e;
}

PppdEvent ErrorEvent(int error, std::string_view line, std::string_view subject = {})
{
    PppdEvent e;
    e.kind = PppdEvent::Error;
    e.error = error;
    e.line = std::string(line);
    e.subject = std::string(subject.substr(0, 200));
    return e;
}

// The text between the first `open` and the next `close` after it.
std::string_view Between(std::string_view s, std::string_view open, std::string_view close)
{
    const size_t a = s.find(open);
    if (a == std::string_view::npos)
        return {};
    const size_t from = a + open.size();
    const size_t b = s.find(close, from);
    return b == std::string_view::npos ? std::string_view() : s.substr(from, b - from);
}

// The first word of s.
std::string_view FirstWord(std::string_view s) { return s.substr(0, s.find(' ')); }

// pppd names itself before its messages as "pppd", "pppd[812]" or the path
// it was started by ("/usr/sbin/pppd").
std::string_view WithoutPrefix(std::string_view line)
{
    const size_t colon = line.find(": ");
    if (colon == std::string_view::npos || colon > 64)
        return line;
    std::string_view who = line.substr(0, colon);
    if (const size_t br = who.find('['); br != std::string_view::npos && who.back() == ']')
        who = who.substr(0, br);
    const size_t slash = who.rfind('/');
    if (slash != std::string_view::npos)
        who.remove_prefix(slash + 1);
    return who == "pppd" ? line.substr(colon + 2) : line;
}

// Lines that say pppd refused what it was given, before it opened anything.
PppdEvent OptionError(std::string_view line)
{
    // "using the noauth option requires root privilege"
    if (Has(line, "requires root privilege"))
        return ErrorEvent(RAS_ERR_OPTION_REFUSED, line, Between(line, "using the ", " option"));
    // "connect option set in /etc/ppp/peers/x cannot be overridden"
    if (Has(line, "cannot be overridden"))
        return ErrorEvent(RAS_ERR_OPTION_REFUSED, line, FirstWord(line));
    // "Can't open options file /etc/ppp/peers/x: No such file or directory"
    if (Starts(line, "Can't open options file ")) {
        std::string_view file = line.substr(24);
        file = file.substr(0, file.find(": "));
        if (Starts(file, "/etc/ppp/peers/"))
            return ErrorEvent(RAS_ERR_PROFILE_MISSING, line, file);
        return ErrorEvent(RAS_ERR_HARDWARE, line, file);
    }
    // "unrecognized option '/dev/ttyUSB7'": a device path pppd could not
    // find is not an option to it; "In file F: unrecognized option 'foo'".
    if (Has(line, "option '")) {
        const std::string_view name = Between(line, "option '", "'");
        if (Starts(name, "/"))
            return ErrorEvent(RAS_ERR_PORT_NOT_AVAILABLE, line, name);
        return ErrorEvent(RAS_ERR_OPTION_REFUSED, line, name);
    }
    if (Has(line, "must be root") || Has(line, "privilege"))
        return ErrorEvent(RAS_ERR_HARDWARE, line);
    return {};
}

} // namespace

PppdEvent ParsePppdLine(std::string_view line)
{
    // Leading blanks and a "pppd[123]: " style prefix are not part of the text.
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
        line.remove_prefix(1);
    line = WithoutPrefix(line);
    if (line.empty())
        return {};

    // Failures first: they end the dial.
    if (Has(line, "lacks kernel support for PPP") || (Has(line, "/dev/ppp") && (Has(line, "No such") || Has(line, "Couldn't open")))
        || Has(line, "create the /dev/ppp device"))
        return ErrorEvent(RAS_ERR_NO_PPP_SUPPORT, line);
    if (Has(line, "authentication failed") || Has(line, "Authentication failed")
        || Has(line, "No secret found") || Has(line, "No CHAP secret found"))
        return ErrorEvent(RAS_ERR_AUTHENTICATION, line);
    if (Has(line, "Connect script failed") || Has(line, "LCP: timeout sending Config-Requests")
        || Has(line, "Init script failed"))
        return ErrorEvent(RAS_ERR_NO_ANSWER, line);
    // "Device ttyUSB0 is locked by pid 4711"
    if (Has(line, "is locked by pid"))
        return ErrorEvent(RAS_ERR_PORT_IN_USE, line, Between(line, "Device ", " is locked"));
    // "Failed to open /dev/ttyUSB0: Permission denied"
    if (Starts(line, "Failed to open ") || Starts(line, "Couldn't open "))
        return ErrorEvent(RAS_ERR_PORT_NOT_AVAILABLE, line, Between(line, "open ", ": "));
    if (Has(line, "Can't lock") || Has(line, "Can't create lock file") || (Has(line, "Device ") && Has(line, "does not exist")))
        return ErrorEvent(RAS_ERR_PORT_NOT_AVAILABLE, line);
    if (PppdEvent e = OptionError(line); e.kind == PppdEvent::Error)
        return e;

    // The link going down.
    if (Starts(line, "Modem hangup") || Starts(line, "Connection terminated")
        || Starts(line, "Hangup (SIGHUP)") || Has(line, "Terminating on signal"))
        return PppdEvent{PppdEvent::LinkDown, 0, 0, {}};

    // Progress.
    if (Starts(line, "Using interface ")) {
        PppdEvent e;
        e.interface = InterfaceAfter(line, "Using interface ");
        if (!e.interface.empty())
            e.kind = PppdEvent::Interface;
        return e;
    }
    if (Starts(line, "Serial connection established"))
        return StateEvent(RASCS_DeviceConnected);
    if (Starts(line, "Connect: ") && Has(line, "<-->"))
        return StateEvent(RASCS_AllDevicesConnected);
    if (Has(line, "PAP AuthReq") || Has(line, "CHAP Response") || Starts(line, "sent [PAP"))
        return StateEvent(RASCS_Authenticate);
    if (Has(line, "authentication succeeded"))
        return StateEvent(RASCS_Authenticated);
    if (Starts(line, "local  IP address") || Starts(line, "local IP address"))
        return StateEvent(RASCS_Projected);
    if (Starts(line, "remote IP address"))
        return StateEvent(RASCS_Connected);
    if (Has(line, "IPCP ConfReq") || Starts(line, "sent [IPCP"))
        return StateEvent(RASCS_AuthProject);
    return {};
}

int PppdExitError(int status)
{
    switch (status) {
    case 0: return 0;
    case 2: return RAS_ERR_OPTION_REFUSED;    // an option error
    case 3: return RAS_ERR_HARDWARE;          // not setuid-root and not run by root
    case 4: return RAS_ERR_NO_PPP_SUPPORT;
    case 5: return RAS_ERR_REMOTE_DISCONNECT; // stopped by a signal
    case 6: return RAS_ERR_PORT_IN_USE;       // the tty could not be locked
    case 7: return RAS_ERR_PORT_NOT_AVAILABLE;
    case 8:
    case 18: return RAS_ERR_NO_ANSWER;        // connect / init script failed
    case 11:
    case 19: return RAS_ERR_AUTHENTICATION;
    case 10:
    case 15:
    case 16:
    case 17: return RAS_ERR_REMOTE_DISCONNECT;
    default: return RAS_ERR_HARDWARE;
    }
}

} // namespace kvnet
