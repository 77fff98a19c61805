// The command interpreter of the modem's data interface: what pppd's chat
// script talks to before the data call, and the byte sink the call becomes.
// Pure: bytes from the host go in, bytes for the host come out; the pty and
// the thread around it are SimDataPort's.
//
// In command state the modem takes Hayes lines ("AT...", ended by CR; LF is
// ignored), echoes them while echo is on (ATE1, the default) and answers
// with verbose results ("\r\nOK\r\n") or, after ATV0, numeric ones ("0\r").
// Dialling a data number (#777, *99#, *99***N#) answers CONNECT and enters
// the call; any other number answers NO CARRIER. In the call every byte is
// taken and counted, nothing is answered (PPP frames included), until the
// host hangs up (drops DTR: closes the port) or the carrier is lost.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kv::sim {

class DataCallModem {
public:
    // Bytes from the host; returns what the modem sends back.
    std::string Feed(const char* data, size_t len);
    // The host closed the port: a call ends without a word and the settings
    // go back to their defaults, as on a DTR drop with &D2.
    void HostHungUp();
    // The carrier goes: in a call, the modem leaves it with NO CARRIER (the
    // returned bytes); otherwise the next dial fails with NO CARRIER.
    std::string LoseCarrier();

    bool InCall() const { return m_inCall; }
    // Bytes the host sent during calls so far.
    uint64_t CallBytes() const { return m_callBytes; }
    // Dials answered CONNECT so far.
    unsigned Calls() const { return m_calls; }
    bool FailNextDial() const { return m_failNextDial; }

private:
    enum Result { kOk = 0, kConnect = 1, kNoCarrier = 3, kError = 4 };
    std::string Line(const std::string& line);
    std::string Dial(const std::string& number);
    std::string ResultText(Result r) const;
    std::string InfoText(const std::string& text) const;
    void Reset();

    bool m_inCall = false;
    bool m_echo = true;
    bool m_verbose = true;
    bool m_failNextDial = false;
    bool m_overflow = false; // the line went past its limit
    std::string m_line;
    uint64_t m_callBytes = 0;
    unsigned m_calls = 0;
};

} // namespace kv::sim
