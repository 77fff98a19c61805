// Which installed profile dials which number.
#include "net/PppdPeers.h"

#include "net/RasCodes.h"

#include <cstring>

namespace kvnet {

std::string PeerForDialString(const std::string& number)
{
    if (number == rastext::kDialCdma)
        return kPeerCdma;
    if (number == rastext::kDialGsm)
        return kPeerGsm;
    return {};
}

} // namespace kvnet
