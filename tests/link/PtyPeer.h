// A modem played from the test thread: the master side of a pty pair whose
// slave is the port under test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kvtest {

class PtyPeer {
public:
    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    bool Ok() const { return m_master >= 0; }
    const std::string& SlavePath() const { return m_slave; }
    // Reads bytes up to and including the next 0x7E (empty on time-out).
    std::vector<uint8_t> ReadFrame(int timeoutMs = 10000);
    // Reads whatever arrives within timeoutMs.
    std::vector<uint8_t> ReadSome(int timeoutMs);
    void Send(const std::vector<uint8_t>& bytes);
    // Unplug: closes the master side.
    void Close();

private:
    int m_master = -1;
    std::string m_slave;
};

// The frame of a payload (escaped body, FCS, flag).
std::vector<uint8_t> Frame(const std::vector<uint8_t>& payload);

} // namespace kvtest
