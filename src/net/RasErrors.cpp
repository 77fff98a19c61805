// Error texts of the dial-up service.
#include "net/RasErrors.h"

#include "net/RasCodes.h"

namespace kvnet {

namespace {

// What the dialler said, as a closing remark; bounded so that the whole text
// fits the 256-byte error-text buffer of the client.
std::string Remark(const std::string& line)
{
    if (line.empty())
        return {};
    std::string clean;
    for (unsigned char c : line.substr(0, 120))
        clean += (c < 0x20 || c == 0x7F) ? ' ' : char(c);
    return " (pppd: " + clean + ")";
}

std::string Named(const std::string& subject) { return subject.empty() ? std::string() : " " + subject; }

} // namespace

int RasErrorString(int error, std::string& text) { return RasErrorString(error, "", "", text); }

int RasErrorString(int error, const std::string& subject, const std::string& line, std::string& text)
{
    const std::string said = Remark(line);
    switch (error) {
    case RAS_ERR_BUFFER_TOO_SMALL: text = "The buffer is too small."; break;
    case RAS_ERR_NO_CONNECTION: text = "The connection is not active."; break;
    case RAS_ERR_REMOTE_DISCONNECT: text = "The connection was closed by the remote computer." + said; break;
    case RAS_ERR_ACCESS_DENIED:
        // Membership of a group is read at login: joining it is not enough.
        text = "You may not run the dial-up program" + (subject.empty() ? std::string(" pppd") : Named(subject))
               + ": join the group dip (sudo adduser $USER dip), then log out and log in again.";
        break;
    case RAS_ERR_PORT_IN_USE:
        text = "The modem's data port" + Named(subject)
               + " is in use by another program: close that program, then connect again." + said;
        break;
    case RAS_ERR_PORT_NOT_AVAILABLE:
        text = "The modem's data port" + Named(subject)
               + " could not be opened: check that the modem is plugged in and that you may use it." + said;
        break;
    case RAS_ERR_PROFILE_MISSING:
        text = "The dial-up profile" + Named(subject)
               + " is not installed: reinstall the korvianet package (or run scripts/install-peers.sh as root).";
        break;
    case RAS_ERR_OPTION_REFUSED:
        text = subject.empty() ? "The dial-up program refused the options of the dial-up entry." + said
                               : "The dial-up program refused the option \"" + subject + "\"." + said;
        break;
    case RAS_ERR_NO_ANSWER:
        text = "There was no answer from the modem or the network: check the signal and the modem's service." + said;
        break;
    case RAS_ERR_AUTHENTICATION:
        text = "Access was denied because the user name or password is not valid." + said;
        break;
    case RAS_ERR_HARDWARE: text = "The dial-up program could not run or ended with an error." + said; break;
    case RAS_ERR_NO_PPP_SUPPORT:
        text = "The kernel has no PPP support (/dev/ppp is missing): load the ppp_generic module.";
        break;
    case RAS_ERR_ALREADY_EXISTS: text = "The entry already exists."; break;
    case RAS_ERR_ENTRY_NOT_FOUND: text = "The phonebook entry does not exist."; break;
    case RAS_ERR_BAD_ARGUMENT: text = "A value cannot be used in the dial-up entry."; break;
    case RAS_ERR_CANNOT_WRITE: text = "The phonebook could not be written."; break;
    case RAS_ERR_NOT_LOADED: text = "The dial-up service is not available."; break;
    default: return RAS_ERR_BAD_ARGUMENT;
    }
    if (text.size() > 255)
        text.resize(255);
    return RAS_OK;
}

} // namespace kvnet
