// The simulated modem's data interface over arbitrary host bytes, fed in
// pieces of fuzzed sizes, with carrier losses and hang-ups between them.
// Besides memory errors it checks what a dialler relies on: in a call
// nothing is answered and every byte is counted; out of one, what the
// modem says is bounded by what came (a command character yields at most
// one line).
#include "sim/DataCallModem.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    kv::sim::DataCallModem m;
    size_t i = 0, fed = 0, said = 0;
    while (i < size) {
        const uint8_t op = data[i++];
        if (op == 0xF0) {
            m.HostHungUp();
            if (m.InCall())
                std::abort();
            continue;
        }
        if (op == 0xF1) {
            const bool was = m.InCall();
            const std::string out = m.LoseCarrier();
            if (m.InCall() || was == out.empty())
                std::abort();
            continue;
        }
        const size_t len = std::min<size_t>(op % 64, size - i);
        const bool inCall = m.InCall();
        const uint64_t before = m.CallBytes();
        const std::string out = m.Feed(reinterpret_cast<const char*>(data + i), len);
        if (inCall && (!out.empty() || m.CallBytes() != before + len))
            std::abort();
        fed += len;
        said += out.size();
        if (said > 64 * (fed + 1))
            std::abort();
        i += len;
    }
    return 0;
}
