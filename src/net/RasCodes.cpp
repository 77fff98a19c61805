// The connection states' texts.
#include "net/RasCodes.h"

#include <iterator>

namespace kvnet {

int DialStateText(uint32_t state, const char*& text, bool& connected)
{
    static const char* const kTexts[] = {
        "Opening\nthe port...",
        "Port opened\nsuccessfully",
        "Connecting \nto the device",
        "Device connected\nsuccessfully",
        "All devices in the device chain have successfully connected",
        "Verifying..Username\nand password",
        "An authentication\nevent has occurred",
        "Requested another\nvalidation attempt\nwith a new user",
        "Server has\nrequested\na callback number",
        "The client has requested to change the password",
        "Registering\nyour computer\non the network",
        "The link-speed calculation phase is starting",
        "An authentication request is being acknowledged",
        "Reauthentication is starting",
        "The client has successfully completed authentication",
        "The line is about to disconnect for callback",
        "Delaying to give the modem time to reset for callback",
        "Waiting for an incoming call from server",
        "Projection result information is available",
        "User authentication is  being initiated or retried",
        "Client has been called back and is about to resume authentication",
        "Logging on to the network...",
    };
    connected = false;
    text = "";
    if (state < std::size(kTexts)) {
        text = kTexts[state];
        return 0;
    }
    if (state == 22 || state == 23 || (state >= 0x1000 && state <= 0x1003))
        return 0;
    if (state == RASCS_Connected) {
        text = "Connection\nSuccess\nPlease wait...";
        connected = true;
        return 1;
    }
    if (state == RASCS_Disconnected) {
        text = "Disconnected";
        return 1;
    }
    return 0;
}

} // namespace kvnet
