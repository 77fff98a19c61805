#include "host/PortOpenText.h"

#include "engine/DmTexts.h"

#include <cerrno>

namespace kv {

PortOpenReason ClassifyPortOpenError(int err)
{
    if (err == EACCES || err == EPERM)
        return PortOpenReason::NoPermission;
    if (err == EBUSY || err == EWOULDBLOCK)
        return PortOpenReason::Busy;
    return PortOpenReason::Other;
}

std::string PortOpenAdvice(int err)
{
    switch (ClassifyPortOpenError(err)) {
    case PortOpenReason::NoPermission:
        return "No permission to use the modem's port: plug the modem in again so that the "
               "installed device rule gives you access, or ask the administrator to add you to "
               "the dialout group.";
    case PortOpenReason::Busy:
        return "Another program is using the modem's port: close it (another Korvianet, a "
               "terminal program or a modem manager) and try again.";
    case PortOpenReason::Other:
        break;
    }
    return "";
}

std::string PortNotOpenedText(int err)
{
    const std::string advice = PortOpenAdvice(err);
    return advice.empty() ? std::string(dmtext::kPortNotOpened)
                          : std::string(dmtext::kPortNotOpened) + "\n" + advice;
}

} // namespace kv
