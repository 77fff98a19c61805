// Error texts of the dial-up service.
#include "net/RasErrors.h"

#include "net/RasCodes.h"

namespace kvnet {

int RasErrorString(int error, std::string& text)
{
    switch (error) {
    case RAS_ERR_BUFFER_TOO_SMALL: text = "The buffer is too small."; break;
    case RAS_ERR_NO_CONNECTION: text = "The connection is not active."; break;
    case RAS_ERR_REMOTE_DISCONNECT: text = "The connection was closed by the remote computer."; break;
    case RAS_ERR_PORT_NOT_AVAILABLE:
        text = "The modem is already in use or is not configured properly.";
        break;
    case RAS_ERR_NO_ANSWER: text = "There was no answer from the modem or the network."; break;
    case RAS_ERR_AUTHENTICATION:
        text = "Access was denied because the user name or password is not valid.";
        break;
    case RAS_ERR_HARDWARE: text = "The dial-up program could not run or ended with an error."; break;
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
    return RAS_OK;
}

} // namespace kvnet
