// What pppd's log lines mean to the dial-up client: each line of a running
// `pppd nodetach` is turned into a connection state, an interface name or an
// error code; its exit status into the error of a dial that ended. Pure
// functions, no threads, fed by the pppd backend and by the fuzzer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kvnet {

struct PppdEvent {
    enum Kind { None, State, Interface, Error, LinkDown } kind = None;
    uint32_t state = 0;    // Kind::State: a connection state of RasCodes.h
    int error = 0;         // Kind::Error: a result code of RasCodes.h
    std::string interface; // Kind::Interface: "ppp0"
    std::string subject;   // Kind::Error: what the line names (an option, a tty, a file); may be empty
    std::string line;      // Kind::Error: the line without pppd's "pppd: " prefix
};

// One output line (without its newline).
PppdEvent ParsePppdLine(std::string_view line);

// The result code of a pppd that exited with `status` before the link came
// up (0 when the status names no failure).
int PppdExitError(int status);

// Splits accumulated output into lines: takes every complete line off the
// front of buffer, calling fn for each; a line longer than maxLine is cut.
template <typename Fn>
void TakePppdLines(std::string& buffer, Fn fn, size_t maxLine = 1024)
{
    size_t start = 0;
    for (;;) {
        const size_t nl = buffer.find('\n', start);
        if (nl == std::string::npos)
            break;
        std::string_view line(buffer.data() + start, nl - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        fn(line.substr(0, maxLine));
        start = nl + 1;
    }
    buffer.erase(0, start);
    if (buffer.size() > maxLine)
        buffer.erase(0, buffer.size() - maxLine);
}

} // namespace kvnet
