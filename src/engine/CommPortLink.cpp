// The DIAG link over CCommPort: line settings, open, and the transaction.
#include "engine/CommPortLink.h"

#include "engine/DrvComm.h"

namespace kv {

bool CCommPortLink::Open(int comPort, uint32_t baud)
{
    m_port.SetEventMask(EV_RXFLAG);
    m_port.SetPortNumber(uint32_t(comPort));
    m_port.ConfigureLine(0x7E, 115200, 8, 0, 0, 2);
    m_port.SetBaudRate(baud);
    m_port.ConfigureLine(0x7E, baud, 8, 0, 0, 2);
    if (m_port.OpenPort() != 1)
        return false;
    // The engine waits for answers itself: no trace messages to the owner.
    m_port.SetNotifyMode(false);
    return true;
}

int CCommPortLink::Transact(const DiagRequest& request, uint8_t* reply, size_t replySize,
                            size_t& replyLength)
{
    const uint8_t rc = m_port.Transact(request, reply, replySize);
    replyLength = rc == kDiagAnswered ? m_port.LastResponseLength() : 0;
    return rc;
}

PortChoice DiscoverModemPort()
{
    PortDiscovery d;
    PortChoice pc;
    pc.comPort = d.FindComPort();
    pc.deviceKind = d.DeviceKind();
    return pc;
}

void UseModemPort(CDmEngine& engine, CCommPort& port, const std::string& devicePath)
{
    port.SetDevicePath(devicePath);
    if (!devicePath.empty())
        engine.SetDiscovery([] { return PortChoice{1, DEVICE_KIND_NV}; });
    else
        engine.SetDiscovery(DiscoverModemPort);
}

} // namespace kv
