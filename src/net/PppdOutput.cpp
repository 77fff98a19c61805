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

PppdEvent ErrorEvent(int error)
{
    PppdEvent e;
    e.kind = PppdEvent::Error;
    e.error = error;
    return e;
}

} // namespace

PppdEvent ParsePppdLine(std::string_view line)
{
    // Leading blanks and a "pppd[123]: " style prefix are not part of the text.
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
        line.remove_prefix(1);
    if (Starts(line, "pppd")) {
        const size_t colon = line.find(": ");
        if (colon != std::string_view::npos && colon < 24)
            line.remove_prefix(colon + 2);
    }
    if (line.empty())
        return {};

    // Failures first: they end the dial.
    if (Has(line, "lacks kernel support for PPP") || (Has(line, "/dev/ppp") && Has(line, "No such")))
        return ErrorEvent(RAS_ERR_NO_PPP_SUPPORT);
    if (Has(line, "authentication failed") || Has(line, "Authentication failed")
        || Has(line, "No secret found") || Has(line, "No CHAP secret found"))
        return ErrorEvent(RAS_ERR_AUTHENTICATION);
    if (Has(line, "Connect script failed") || Has(line, "LCP: timeout sending Config-Requests")
        || Has(line, "Init script failed"))
        return ErrorEvent(RAS_ERR_NO_ANSWER);
    if (Has(line, "is locked by pid") || Has(line, "Can't lock") || Has(line, "Failed to open")
        || Has(line, "Couldn't open") || (Has(line, "Device ") && Has(line, "does not exist")))
        return ErrorEvent(RAS_ERR_PORT_NOT_AVAILABLE);
    if (Has(line, "must be root") || Has(line, "privilege") || Has(line, "unrecognized option") || Has(line, "In file")
        || Has(line, "Can't open options file"))
        return ErrorEvent(RAS_ERR_HARDWARE);

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
    case 3: return RAS_ERR_HARDWARE;          // not setuid-root and not run by root
    case 4: return RAS_ERR_NO_PPP_SUPPORT;
    case 5: return RAS_ERR_REMOTE_DISCONNECT; // stopped by a signal
    case 6:
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
