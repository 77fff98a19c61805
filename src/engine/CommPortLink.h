// The engine's DIAG link over the serial port object, and the default port
// discovery the engine runs at each start.
#pragma once

#include "engine/DmEngine.h"
#include "engine/DmLink.h"
#include "link/CommPort.h"

#include <string>

namespace kv {

class CCommPortLink : public IDmLink {
public:
    explicit CCommPortLink(CCommPort& port) : m_port(port) {}

    bool Open(int comPort, uint32_t baud) override;
    void Close() override { m_port.ClosePort(); }
    bool IsOpen() const override { return m_port.IsOpen(); }
    bool HungUp() const override { return m_port.HungUp(); }
    int OpenError() const override { return m_port.OpenError(); }
    void CancelWait() override { m_port.CancelTransaction(); }
    int Transact(const DiagRequest& request, uint8_t* reply, size_t replySize,
                 size_t& replyLength) override;

    CCommPort& Port() { return m_port; }

private:
    CCommPort& m_port;
};

// Port discovery as the engine needs it: the COM number (0 when no modem
// was found) and the device kind.
PortChoice DiscoverModemPort();

// Where the engine finds the modem: a given tty (a path, e.g. the
// command-line tool's --device) is the modem's diagnostic port, with NV
// items; with none, port discovery runs at each start.
void UseModemPort(CDmEngine& engine, CCommPort& port, const std::string& devicePath);

} // namespace kv
