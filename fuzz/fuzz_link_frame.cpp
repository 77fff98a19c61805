// Received bytes as the transaction sees them: piece splitting, matching
// and decoding into a payload buffer, plus the encode/decode round trip.
#include "link/DiagFrame.h"
#include "support/DiagDecodeReference.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t command = data[0];
    std::vector<uint8_t> rx(data + 1, data + size); // exact size: overreads show
    // a small payload buffer makes the "piece too long" path reachable
    const size_t cap = 1 + command % 64;
    std::vector<uint8_t> payload(cap);
    size_t n = 0;
    kv::FindDiagAnswer(rx.data(), rx.size(), command, payload.data(), cap, n);
    if (n > cap)
        std::abort();
    // the answer must also echo the request's first bytes (sub-command, NV item)
    const size_t echoLen = std::min<size_t>(rx.size(), 1 + command % 5);
    if (echoLen > 0) {
        const std::vector<uint8_t> echo(rx.begin(), rx.begin() + ptrdiff_t(echoLen));
        if (kv::FindDiagAnswer(rx.data(), rx.size(), echo.data(), echo.size(), payload.data(), cap, n)
            && (n > cap || n < echoLen || std::memcmp(payload.data(), echo.data(), echoLen) != 0))
            std::abort();
    }
    std::vector<uint8_t> big(4096);
    kv::DecodeDiagPiece(rx.data(), rx.size(), big.data(), big.size(), n);

    // the decode gives what the plain byte-at-a-time decode gives, with any
    // buffer size (cap bytes exactly: a write past it shows)
    for (size_t c : {cap, rx.size(), size_t(4096)}) {
        std::vector<uint8_t> a(c), b(c);
        size_t na = 0, nb = 0;
        const bool ga = kv::DecodeDiagPiece(rx.data(), rx.size(), a.data(), c, na);
        const bool gb = kvtest::ReferenceDecodeDiagPiece(rx.data(), rx.size(), b.data(), c, nb);
        if (ga != gb || na != nb || (na > 0 && std::memcmp(a.data(), b.data(), na) != 0))
            std::abort();
    }

    // whatever is encoded decodes back to itself
    const auto frame = kv::EncodeDiagFrame(rx.data(), rx.size());
    std::vector<uint8_t> back(rx.size() + 2);
    if (!kv::DecodeDiagPiece(frame.data(), frame.size() - 1, back.data(), back.size(), n))
        std::abort();
    if (!rx.empty() && (n != rx.size() || std::memcmp(back.data(), rx.data(), n) != 0))
        std::abort();
    return 0;
}
